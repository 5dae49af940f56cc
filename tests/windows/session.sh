# Sourced by the Wine tests: a rig session (sim/rig.sh) for one Windows
# architecture, or a skip (exit 77) that says why this machine cannot have one.
#   wine_namespace SCRIPT ARGS...   first thing: the emulated architectures
#                                   run in a mount namespace of their own
#   wine_session SOURCE_DIR ARCH BUILD_DIR DRIVER_DIR
skip() { echo "SKIPPED: $*"; exit 77; }

wine_emulated() {
    case $1 in arm32 | arm64) return 0 ;; *) return 1 ;; esac
}

wine_namespace() {
    local script=$1 arch=$3
    wine_emulated "$arch" || return 0
    [ -z "${CPUTEMP_WINE_NAMESPACE:-}" ] || return 0
    unshare -m true 2>/dev/null || skip "needs a private mount namespace (root)"
    exec unshare -m env CPUTEMP_WINE_NAMESPACE=1 "$@"
}

wine_session() {
    local source_dir=$1 arch=$2 build=$3 driver=$4 qemu
    [ -f "$build/cputemp.exe" ] || skip "$build/cputemp.exe is not built: run scripts/package"
    [ -f "$driver/sim/cputemp_sim.sys" ] || skip "no simulated driver in $driver: run scripts/package"
    . "$source_dir/sim/rig.sh"
    trap rig_finish EXIT
    case $arch in
    x64 | x86)
        [ -x /usr/lib/wine/wine64 ] || skip "wine64 is not installed"
        if [ "$arch" = x86 ]; then
            [ -x /usr/lib/wine/wine ] || skip "wine32 is not installed"
            if [ -e /proc/sys/fs/binfmt_misc/qemu-i386 ] ||
                ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
                skip "this machine's kernel runs no 32-bit x86 program itself; Wine is not run emulated"
            fi
        fi
        ;;
    arm32)
        . "$source_dir/scripts/lib/roots.sh"
        . "$source_dir/scripts/lib/debian_sources.sh"
        . "$source_dir/scripts/lib/binfmt.sh"
        . "$source_dir/scripts/lib/arm32_wine.sh"
        mount --make-rprivate / 2>/dev/null || skip "needs a private mount namespace (root)"
        qemu=$(arm32_qemu) || skip "qemu-arm 10 could not be had from $ARM32_QEMU_SUITE"
        CPUTEMP_QEMU_ARM=$qemu enable_binfmt arm || skip "no binfmt_misc to run ARM programs"
        RIG_TARBALL=$(arm32_wine_root) || skip "no armhf root with Wine could be made (mmdebstrap)"
        ;;
    *)
        echo "wine_session: no such architecture: $arch"
        exit 2
        ;;
    esac
    rig_session "$arch" "$build" "$driver"
}
