# Sourced by the ARM32 Wine tests: a session of the emulated 32-bit ARM Windows
# (Debian 12's armhf Wine in a root of its own, run through qemu-arm 10 via
# binfmt_misc) with the simulated driver's service set up and running. Its
# set-up is tried up to three times, each in a fresh root, because qemu-arm
# sometimes aborts one of Wine's own processes; the output says when.
#   arm32_session SOURCE_DIR BUILD_DIR   sets RIG_ROOT and WINEPREFIX; skips (77)
#                                        where the machine cannot do it
# Run the test in a mount namespace of its own: the root gets /proc and /dev.

. "$1/scripts/lib/roots.sh"
. "$1/scripts/lib/debian_sources.sh"
. "$1/scripts/lib/binfmt.sh"
. "$1/scripts/lib/arm32_wine.sh"
. "$1/sim/rig.sh"

arm32_finish() {
    [ -n "${RIG_ROOT:-}" ] || return 0
    rig_finish >/dev/null 2>&1 || true
    umount -R "$RIG_ROOT/proc" "$RIG_ROOT/dev" 2>/dev/null || true
    rm -rf "$RIG_ROOT"
    RIG_ROOT=
}

arm32_session() {
    local source_dir=$1 build=$2 qemu tarball attempt root started
    [ -f "$build/cputemp.exe" ] || skip "$build/cputemp.exe is not built (no ARM32 sysroot here)"
    mount --make-rprivate / 2>/dev/null || skip "needs a private mount namespace (root)"
    qemu=$(arm32_qemu) || skip "qemu-arm 10 could not be had from $ARM32_QEMU_SUITE"
    CPUTEMP_QEMU_ARM=$qemu enable_binfmt arm || skip "no binfmt_misc to run ARM programs"
    tarball=$(arm32_wine_root) || skip "no armhf root with Wine could be made (mmdebstrap)"
    trap arm32_finish EXIT
    for attempt in 1 2 3; do
        root=$(mktemp -d /tmp/cputemp-arm32-XXXXXX)
        started=$SECONDS
        if tar -C "$root" -xf "$tarball" && mount -t proc proc "$root/proc" &&
            mount --rbind /dev "$root/dev" && rig_init_arm32 "$root" "$build" &&
            rig_wait_for RUNNING; then
            echo "arm32: session ready in $((SECONDS - started)) s (attempt $attempt)"
            return 0
        fi
        echo "arm32: session set-up failed (attempt $attempt); starting a fresh one"
        RIG_ROOT=$root
        arm32_finish
    done
    echo "arm32: no session could be set up in three attempts"
    return 1
}
