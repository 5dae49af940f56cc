# Sourced by the Wine tests: a rig session (sim/rig.sh) for one Windows
# architecture, or a skip (exit 77) that says why this machine cannot have one.
#   wine_namespace SCRIPT ARGS...   first thing: the emulated architectures
#                                   run in namespaces of their own
#   wine_session SOURCE_DIR ARCH BUILD_DIR DRIVER_DIR
skip() { echo "SKIPPED: $*"; exit 77; }

wine_emulated() {
    case $1 in arm32 | arm64) return 0 ;; *) return 1 ;; esac
}

# Since Linux 6.7 a user namespace can have a binfmt_misc of its own: the
# emulated session registers its qemu there and leaves the machine's handlers
# alone. Older kernels get a mount namespace and the machine-wide handler.
WINE_USER_NAMESPACE=(unshare --user --map-root-user --mount --pid --fork --mount-proc)

wine_namespace() {
    local arch=$3
    wine_emulated "$arch" || return 0
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
    trap rig_finish EXIT
    if wine_emulated "$arch"; then
        . "$source_dir/scripts/lib/roots.sh"
        . "$source_dir/scripts/lib/debian_sources.sh"
        . "$source_dir/scripts/lib/binfmt.sh"
        . "$source_dir/scripts/lib/emulated_wine.sh"
        qemu=$(emulated_qemu "$arch") || skip "no qemu for $arch could be had"
        if [ "$CPUTEMP_WINE_NAMESPACE" = user ]; then
            mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc ||
                skip "no binfmt_misc of the namespace's own"
            echo "$arch: qemu registered in this user namespace's own binfmt_misc"
        else
            mount --make-rprivate / 2>/dev/null || skip "needs a private mount namespace (root)"
            echo "$arch: qemu registered in the machine's binfmt_misc (no binfmt_misc per namespace)"
        fi
        handler=arm
        [ "$arch" = arm64 ] && handler=aarch64
        binfmt_handler "$handler" "$qemu" || skip "no binfmt_misc handler for $arch programs"
        RIG_TARBALL=$(emulated_wine_root "$arch") ||
            skip "no $arch root with Wine could be made (mmdebstrap)"
    else
        [ -x /usr/lib/wine/wine64 ] || skip "wine64 is not installed"
        if [ "$arch" = x86 ]; then
            [ -x /usr/lib/wine/wine ] || skip "wine32 is not installed"
            if [ -e /proc/sys/fs/binfmt_misc/qemu-i386 ] ||
                ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
                skip "this machine's kernel runs no 32-bit x86 program itself; Wine is not run emulated"
            fi
        fi
    fi
    rig_session "$arch" "$build" "$driver"
}
