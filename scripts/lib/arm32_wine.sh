# Sourced: an emulated 32-bit ARM Windows userland. Debian 12's armhf Wine in a
# root of its own, run through qemu-arm 10 from bookworm-backports (Debian 12's
# qemu 7.2 takes minutes to start each Wine process), via binfmt_misc.
# Needs scripts/lib/roots.sh, scripts/lib/debian_sources.sh and scripts/lib/binfmt.sh.

ARM32_QEMU_SUITE=bookworm-backports

# arm32_qemu: prints the path of qemu-arm 10, unpacked once from the
# backports' qemu-user package (statically linked, so it runs in any root).
arm32_qemu() {
    local apt=$ROOTS_CACHE/apt-backports deb version qemu
    mkdir -p "$ROOTS_CACHE" || return 1
    qemu=$(ls "$ROOTS_CACHE"/qemu-arm-10* 2>/dev/null | tail -n 1)
    if [ -z "$qemu" ]; then
        private_apt_update "$apt" >/dev/null 2>&1 || return 1
        (cd "$apt" && private_apt "$apt" download "qemu-user/$ARM32_QEMU_SUITE" >/dev/null 2>&1) ||
            return 1
        deb=$(ls "$apt"/qemu-user_*.deb | head -n 1)
        version=$(dpkg-deb -f "$deb" Version)
        version=${version#*:} # no colon: the path goes into a binfmt_misc entry
        case $version in 10.*) ;; *) echo "qemu-user $version is not qemu 10" >&2; return 1 ;; esac
        dpkg-deb --fsys-tarfile "$deb" | tar -xO ./usr/bin/qemu-arm >"$ROOTS_CACHE/qemu-arm-$version.part"
        chmod +x "$ROOTS_CACHE/qemu-arm-$version.part"
        mv "$ROOTS_CACHE/qemu-arm-$version.part" "$ROOTS_CACHE/qemu-arm-$version"
        rm -rf "$apt"
        qemu=$ROOTS_CACHE/qemu-arm-$version
    fi
    echo "$qemu"
}

# arm32_wine_root: prints a tarball of an armhf Debian 12 root with Wine.
arm32_wine_root() {
    clean_root armhf wine,wine32,libwine
}
