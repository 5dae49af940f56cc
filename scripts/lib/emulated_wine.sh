# Sourced: Debian 12's Wine for each Windows architecture in a root of its own,
# the foreign parts run through qemu-user by binfmt_misc:
#   x64, x86  an amd64 root with i386 beside it (wine64 and wine32), built from
#             the main archive when the security archive cannot serve i386;
#             32-bit x86 through qemu-i386 10 where the kernel runs none itself
#   arm32     armhf, through qemu-arm 10 from bookworm-backports (Debian 12's
#             qemu 7.2 spends about a minute starting each Wine process)
#   arm64     arm64, through Debian 12's own qemu-aarch64 (qemu-user-static)
# Needs scripts/lib/roots.sh, scripts/lib/debian_sources.sh and scripts/lib/binfmt.sh.

EMULATED_QEMU_SUITE=bookworm-backports

# wine_handler ARCH: the qemu-user handler ARCH's Wine programs need here
# (arm, aarch64, i386), or nothing when this machine runs them itself.
wine_handler() {
    case $1 in
    arm32) echo arm ;;
    arm64) echo aarch64 ;;
    x86) i386_runs_natively || echo i386 ;;
    esac
}

# emulated_qemu ARCH: prints the path of ARCH's interpreter: Debian 12's
# qemu-aarch64, or qemu-arm or qemu-i386 10 unpacked once from the backports'
# qemu-user package (statically linked, so they run in any root).
emulated_qemu() {
    local apt=$ROOTS_CACHE/apt-backports name qemu lock
    case $1 in
    arm64)
        [ -x /usr/bin/qemu-aarch64-static ] && echo /usr/bin/qemu-aarch64-static
        return
        ;;
    arm32) name=qemu-arm ;;
    x86) name=qemu-i386 ;;
    *) return 1 ;;
    esac
    mkdir -p "$ROOTS_CACHE" || return 1
    # One fetcher at a time, as for the roots.
    exec {lock}>"$ROOTS_CACHE/qemu-user.lock"
    flock "$lock"
    qemu=$(ls "$ROOTS_CACHE/$name"-10* 2>/dev/null | grep -v '\.part$' | tail -n 1)
    if [ -z "$qemu" ] && fetch_qemu_user "$apt"; then
        qemu=$(ls "$ROOTS_CACHE/$name"-10* 2>/dev/null | grep -v '\.part$' | tail -n 1)
    fi
    exec {lock}>&-
    [ -n "$qemu" ] && echo "$qemu"
}

# fetch_qemu_user APT_DIR: qemu-arm and qemu-i386 10 into the cache, as
# qemu-NAME-VERSION.
fetch_qemu_user() {
    local apt=$1 deb version name
    private_apt_update "$apt" >/dev/null 2>&1 || return 1
    (cd "$apt" && private_apt "$apt" download "qemu-user/$EMULATED_QEMU_SUITE" >/dev/null 2>&1) ||
        return 1
    deb=$(ls "$apt"/qemu-user_*.deb | head -n 1)
    version=$(dpkg-deb -f "$deb" Version)
    version=${version#*:} # no colon: the path goes into a binfmt_misc entry
    case $version in 10.*) ;; *) echo "qemu-user $version is not qemu 10" >&2; return 1 ;; esac
    for name in qemu-arm qemu-i386; do
        dpkg-deb --fsys-tarfile "$deb" | tar -xO "./usr/bin/$name" >"$ROOTS_CACHE/$name-$version.part"
        chmod +x "$ROOTS_CACHE/$name-$version.part"
        mv "$ROOTS_CACHE/$name-$version.part" "$ROOTS_CACHE/$name-$version"
    done
    rm -rf "$apt"
}

# emulated_wine_root ARCH: prints a tarball of a Debian 12 root with ARCH's Wine.
emulated_wine_root() {
    case $1 in
    x64 | x86) clean_root amd64,i386 wine,wine64,wine32:i386,libwine,libwine:i386 ;;
    arm32) clean_root armhf wine,wine32,libwine ;;
    arm64) clean_root arm64 wine,wine64,libwine ;;
    esac
}
