# Sourced by the Wine tests: a rig session (sim/rig.sh) for one Windows
# architecture, or a skip (exit 77) that says why this machine cannot have one.
# Every architecture's Wine lives in a root of its own (scripts/lib/emulated_wine.sh),
# run in namespaces of their own; a foreign one through qemu-user.
#   wine_namespace SCRIPT ARGS...   first thing: into those namespaces
#   wine_session SOURCE_DIR ARCH BUILD_DIR DRIVER_DIR
skip() { echo "SKIPPED: $*"; exit 77; }

# Since Linux 6.7 a user namespace can have a binfmt_misc of its own: the
# session registers its qemu there and leaves the machine's handlers alone.
# Older kernels get a mount namespace and the machine-wide handler.
WINE_USER_NAMESPACE=(unshare --user --map-root-user --mount --pid --fork --mount-proc)

wine_namespace() {
    [ -z "${CPUTEMP_WINE_NAMESPACE:-}" ] || return 0
    if "${WINE_USER_NAMESPACE[@]}" mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc \
        2>/dev/null; then
        exec "${WINE_USER_NAMESPACE[@]}" env CPUTEMP_WINE_NAMESPACE=user "$@"
    fi
    unshare -m true 2>/dev/null || skip "needs a private mount namespace (root)"
    exec unshare -m env CPUTEMP_WINE_NAMESPACE=mount "$@"
}

wine_session() {
    local source_dir=$1 arch=$2 build=$3 driver=$4 qemu handler
    [ -f "$build/cputemp.exe" ] || skip "$build/cputemp.exe is not built: run scripts/package"
    [ -f "$driver/sim/cputemp_sim.sys" ] || skip "no simulated driver in $driver: run scripts/package"
    . "$source_dir/sim/rig.sh"
    . "$source_dir/scripts/lib/roots.sh"
    . "$source_dir/scripts/lib/debian_sources.sh"
    . "$source_dir/scripts/lib/binfmt.sh"
    . "$source_dir/scripts/lib/emulated_wine.sh"
    trap rig_finish EXIT
    if [ "$CPUTEMP_WINE_NAMESPACE" = user ]; then
        mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc ||
            skip "no binfmt_misc of the namespace's own"
    else
        mount --make-rprivate / 2>/dev/null || skip "needs a private mount namespace (root)"
    fi
    handler=$(wine_handler "$arch")
    if [ -n "$handler" ]; then
        qemu=$(emulated_qemu "$arch") || skip "no qemu for $arch could be had"
        binfmt_handler "$handler" "$qemu" || skip "no binfmt_misc handler for $arch programs"
        echo "$arch: qemu-$handler registered in the $CPUTEMP_WINE_NAMESPACE namespace's binfmt_misc"
    fi
    RIG_TARBALL=$(emulated_wine_root "$arch") ||
        skip "no root with $arch's Wine could be made (mmdebstrap)"
    rig_session "$arch" "$build" "$driver"
}
