# Sourced: emulated Windows-on-ARM userlands, Debian 12's Wine for armhf or
# arm64 in a root of its own, run through qemu-user by binfmt_misc:
#   arm32  qemu-arm 10 from bookworm-backports (Debian 12's qemu 7.2 spends
#          about a minute starting each Wine process)
#   arm64  Debian 12's own qemu-aarch64 (qemu-user-static)
# Needs scripts/lib/roots.sh, scripts/lib/debian_sources.sh and scripts/lib/binfmt.sh.

EMULATED_QEMU_SUITE=bookworm-backports

# emulated_qemu ARCH: prints the path of the interpreter, qemu-arm 10 unpacked
# once from the backports' qemu-user package (statically linked, so it runs in
# any root).
emulated_qemu() {
    local apt=$ROOTS_CACHE/apt-backports qemu lock
    if [ "$1" = arm64 ]; then
        [ -x /usr/bin/qemu-aarch64-static ] && echo /usr/bin/qemu-aarch64-static
        return
    fi
    mkdir -p "$ROOTS_CACHE" || return 1
    # One fetcher at a time, as for the roots.
    exec {lock}>"$ROOTS_CACHE/qemu-arm.lock"
    flock "$lock"
    qemu=$(ls "$ROOTS_CACHE"/qemu-arm-10* 2>/dev/null | grep -v '\.part$' | tail -n 1)
    if [ -z "$qemu" ]; then
        qemu=$(fetch_qemu_arm "$apt")
    fi
    exec {lock}>&-
    [ -n "$qemu" ] && echo "$qemu"
}

fetch_qemu_arm() {
    local apt=$1 deb version
    private_apt_update "$apt" >/dev/null 2>&1 || return 1
    (cd "$apt" && private_apt "$apt" download "qemu-user/$EMULATED_QEMU_SUITE" >/dev/null 2>&1) ||
        return 1
    deb=$(ls "$apt"/qemu-user_*.deb | head -n 1)
    version=$(dpkg-deb -f "$deb" Version)
    version=${version#*:} # no colon: the path goes into a binfmt_misc entry
    case $version in 10.*) ;; *) echo "qemu-user $version is not qemu 10" >&2; return 1 ;; esac
    dpkg-deb --fsys-tarfile "$deb" | tar -xO ./usr/bin/qemu-arm >"$ROOTS_CACHE/qemu-arm-$version.part"
    chmod +x "$ROOTS_CACHE/qemu-arm-$version.part"
    mv "$ROOTS_CACHE/qemu-arm-$version.part" "$ROOTS_CACHE/qemu-arm-$version"
    rm -rf "$apt"
    echo "$ROOTS_CACHE/qemu-arm-$version"
}

# emulated_wine_root ARCH: prints a tarball of a Debian 12 root with Wine.
emulated_wine_root() {
    case $1 in
    arm32) clean_root armhf wine,wine32,libwine ;;
    arm64) clean_root arm64 wine,wine64,libwine ;;
    esac
}
