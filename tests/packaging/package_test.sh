#!/usr/bin/env bash
# Checks what scripts/package made. Usage: package_test.sh SOURCE_DIR CHECK [BUILD_DIR]
#   install     cmake --install of BUILD_DIR lays out bin/ and the man page
#   deb         each package's fields, files and binary architecture
#   apt-ARCH    the package installed with apt on a clean Debian 12 root of
#               ARCH (amd64, armhf), run there, and removed without a trace
#   lintian     no lintian errors or warnings
#   man         the man page lints and renders cleanly
#   zips        each Windows zip (x64, x86, arm32) holds the .exe, its README and the license
#   tarballs    each portable tarball holds the binary, the manual, README, LICENSE
#   empty-root  each static binary runs alone in an otherwise empty root
set -euo pipefail
source_dir=$1
check=$2
fail() { echo "FAIL: $*"; exit 1; }
skip() { echo "SKIPPED: $*"; exit 77; }
. "$source_dir/scripts/lib/binfmt.sh"
. "$source_dir/scripts/lib/roots.sh"

deb_of() {
    case $1 in
    amd64) ls "$source_dir"/build/deb/cputemp_*_amd64.deb 2>/dev/null | head -n 1 ;;
    *) ls "$source_dir"/build/linux-$1/cputemp_*_$1.deb 2>/dev/null | head -n 1 ;;
    esac
}
machine_of() {
    case $1 in
    amd64) echo "Advanced Micro Devices X86-64" ;;
    armhf) echo ARM ;;
    arm64) echo AArch64 ;;
    esac
}
# make_tree DIR: a one-zone sysfs tree, the CPU at 45 C.
make_tree() {
    mkdir -p "$1/class/thermal/thermal_zone0"
    printf 'x86_pkg_temp\n' >"$1/class/thermal/thermal_zone0/type"
    printf '45000\n' >"$1/class/thermal/thermal_zone0/temp"
}

case $check in
install)
    prefix=$(mktemp -d)
    trap 'rm -rf "$prefix"' EXIT
    cmake --install "$3" --prefix "$prefix" >/dev/null
    files=$(cd "$prefix" && find . -type f | sort | tr '\n' ' ')
    [ "$files" = "./bin/cputemp ./share/man/man1/cputemp.1 " ] || fail "installed $files"
    ;;
deb)
    scratch=$(mktemp -d)
    trap 'rm -rf "$scratch"' EXIT
    for arch in amd64 armhf arm64; do
        deb=$(deb_of $arch)
        [ -n "$deb" ] || fail "no $arch package: run scripts/package"
        [ "$(dpkg-deb -f "$deb" Package)" = cputemp ] || fail "$arch: package name"
        [ "$(dpkg-deb -f "$deb" Architecture)" = $arch ] ||
            fail "$arch: Architecture $(dpkg-deb -f "$deb" Architecture)"
        dpkg-deb -f "$deb" Depends | grep -qx 'libc6 (>= 2\.[0-9]*)' ||
            fail "$arch: Depends $(dpkg-deb -f "$deb" Depends)"
        files=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $6 }' | sort | tr '\n' ' ')
        expected="./usr/bin/cputemp ./usr/share/doc/cputemp/changelog.gz ./usr/share/doc/cputemp/copyright ./usr/share/man/man1/cputemp.1.gz "
        [ "$files" = "$expected" ] || fail "$arch: files $files"
        mkdir "$scratch/$arch"
        dpkg-deb --fsys-tarfile "$deb" | tar -C "$scratch/$arch" -x ./usr/bin/cputemp
        machine=$(readelf -h "$scratch/$arch/usr/bin/cputemp" | awk -F: '/Machine/ { gsub(/^ +/, "", $2); print $2 }')
        [ "$machine" = "$(machine_of $arch)" ] || fail "$arch: the binary is for $machine"
    done
    ;;
apt-amd64 | apt-armhf)
    # Installed as a user installs it, on a clean Debian 12 root of that architecture.
    arch=${check#apt-}
    deb=$(deb_of $arch)
    [ -n "$deb" ] || fail "no $arch package: run scripts/package"
    unshare -m true 2>/dev/null || skip "needs a private mount namespace (root)"
    if [ $arch != amd64 ]; then
        enable_binfmt arm || skip "no binfmt_misc handler for $arch binaries"
    fi
    tarball=$(clean_root $arch) || skip "could not make a Debian 12 $arch root (mmdebstrap)"
    work=$(mktemp -d)
    # Every mount below is in a namespace of its own, gone with it.
    trap 'rm -rf "$work"' EXIT
    mkdir "$work/root"
    tar -C "$work/root" -xf "$tarball"
    make_tree "$work/sys"
    cp "$deb" "$work/root/tmp/"
    listing() { (cd "$work/root" && find . -xdev -path ./var -prune -o -path ./tmp -prune -o -print | sort); }
    listing >"$work/before"
    in_root() { unshare -m --fork --pid chroot "$work/root" "$@"; }
    in_root apt-get install -y -q "/tmp/$(basename "$deb")" >"$work/install.log" 2>&1 ||
        fail "apt-get install: $(tail -n 5 "$work/install.log")"
    [ "$(chroot "$work/root" dpkg-query -W -f='${Status}' cputemp)" = "install ok installed" ] ||
        fail "not installed"
    status=0
    unshare -m sh -c "mount --make-rprivate / && mount --bind '$work/sys' '$work/root/sys' &&
        exec chroot '$work/root' /usr/bin/cputemp" >"$work/out" || status=$?
    [ "$status" -eq 45 ] || fail "exit status $status"
    [ "$(od -An -c "$work/out" | tr -s ' ')" = " C P U T e m p : 4 5 C \n" ] ||
        fail "output $(od -An -c "$work/out")"
    chroot "$work/root" man -w cputemp >/dev/null 2>&1 || [ -f "$work/root/usr/share/man/man1/cputemp.1.gz" ] ||
        fail "no manual installed"
    in_root apt-get remove -y -q cputemp >"$work/remove.log" 2>&1 || fail "apt-get remove"
    listing >"$work/after"
    left=$(diff "$work/before" "$work/after") || fail "left behind: $left"
    [ -z "$(chroot "$work/root" dpkg-query -W -f='${Status}' cputemp 2>/dev/null | grep -v 'not-installed')" ] ||
        fail "dpkg still knows cputemp: $(chroot "$work/root" dpkg-query -W -f='${Status}' cputemp)"
    ;;
tarballs)
    for arch in x86_64 armhf arm64; do
        tarball=$(ls "$source_dir"/build/portable-$arch/cputemp-*-linux-$arch.tar.gz 2>/dev/null | head -n 1)
        [ -n "$tarball" ] || fail "no $arch tarball: run scripts/package"
        top=$(basename "$tarball" .tar.gz)
        listed=$(tar -tzf "$tarball" | grep -v '/$' | sort | tr '\n' ' ')
        [ "$listed" = "$top/LICENSE $top/README.md $top/bin/cputemp $top/share/man/man1/cputemp.1 " ] ||
            fail "$arch tarball holds $listed"
    done
    ;;
empty-root)
    # Each static binary alone in an otherwise empty root, with a tree on /sys.
    unshare -m true 2>/dev/null || skip "needs a private mount namespace (root)"
    enable_binfmt arm aarch64 || skip "no binfmt_misc handler for ARM binaries"
    for arch in x86_64 armhf arm64; do
        tarball=$(ls "$source_dir"/build/portable-$arch/cputemp-*-linux-$arch.tar.gz 2>/dev/null | head -n 1)
        [ -n "$tarball" ] || fail "no $arch tarball: run scripts/package"
        work=$(mktemp -d)
        tar -C "$work" -xzf "$tarball" --strip-components=2 --wildcards '*/bin/cputemp'
        readelf -l "$work/cputemp" | grep -q 'Requesting program interpreter' && fail "$arch: not static"
        [ -z "$(readelf -d "$work/cputemp" | grep NEEDED)" ] || fail "$arch: needs libraries"
        mkdir "$work/sys"
        make_tree "$work/tree"
        status=0
        unshare -m sh -c "mount --make-rprivate / && mount --bind '$work/tree' '$work/sys' &&
            exec chroot '$work' /cputemp" >"$work/out" || status=$?
        out=$(od -An -c "$work/out" | tr -s ' ')
        rm -rf "$work"
        [ "$status" -eq 45 ] || fail "$arch: exit status $status"
        [ "$out" = " C P U T e m p : 4 5 C \n" ] || fail "$arch: output $out"
    done
    ;;
lintian)
    for arch in amd64 armhf arm64; do
        deb=$(deb_of $arch)
        [ -n "$deb" ] || fail "no $arch package: run scripts/package"
        lintian --fail-on error,warning "$deb"
    done
    ;;
man)
    mandoc -T lint -W warning "$source_dir/docs/cputemp.1"
    groff -ww -z -man "$source_dir/docs/cputemp.1"
    rendered=$(MANWIDTH=80 man -l "$source_dir/docs/cputemp.1" 2>&1 >/dev/null)
    [ -z "$rendered" ] || fail "man -l: $rendered"
    MANWIDTH=80 man -l "$source_dir/docs/cputemp.1" | grep -q '^EXIT STATUS' || fail "no EXIT STATUS"
    ;;
zips)
    for arch in x64 x86 arm32; do
        zip=$(ls "$source_dir"/build/mingw-$arch/cputemp-*-windows-$arch.zip 2>/dev/null | head -n 1)
        if [ -z "$zip" ] && [ $arch = arm32 ] && [ ! -e "$source_dir/build/arm32-sysroot" ]; then
            echo "no arm32 zip: no ARM32 sysroot could be built here"
            continue
        fi
        [ -n "$zip" ] || fail "no $arch zip: run scripts/package"
        version=$(basename "$zip" -windows-$arch.zip)
        listed=$(unzip -Z1 "$zip" | sort | tr '\n' ' ')
        [ "$listed" = "$version-windows-$arch/LICENSE.txt $version-windows-$arch/README.txt $version-windows-$arch/cputemp.exe " ] ||
            fail "$arch zip holds $listed"
    done
    ;;
*)
    fail "unknown check $check"
    ;;
esac
echo "ok $check"
