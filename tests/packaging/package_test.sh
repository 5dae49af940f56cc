#!/usr/bin/env bash
# Checks what scripts/package made for one target (in DIR, for ARCH).
# Usage: package_test.sh SOURCE_DIR CHECK [DIR [ARCH]]
#   install     cmake --install of DIR lays out bin/ and the man page
#   man         the man page lints and renders cleanly
#   deb         the package's fields, files and binary architecture
#   apt         the package installed with apt on a clean Debian 12 root of
#               ARCH, run there, and removed without a trace
#   lintian     no lintian errors or warnings
#   tarball     the portable tarball holds the binary, the manual, README, LICENSE
#   empty-root  its static binary runs alone in an otherwise empty root
#   zip         the Windows zip holds the .exe, its README and the license
# A target that scripts/package did not configure (its toolchain could not be
# had) is reported skipped; one that it configured must have its artefact.
set -euo pipefail
source_dir=$1 check=$2 dir=${3:-} arch=${4:-}
fail() { echo "FAIL: $*"; exit 1; }
skip() { echo "SKIPPED: $*"; exit 77; }
. "$source_dir/scripts/lib/binfmt.sh"
. "$source_dir/scripts/lib/roots.sh"

# artefact PATTERN: the one file of DIR that matches.
artefact() {
    local found
    found=$(ls "$dir"/$1 2>/dev/null | head -n 1)
    if [ -z "$found" ]; then
        [ -e "$dir/CMakeCache.txt" ] || skip "$dir was not built: run scripts/package"
        fail "no $1 in $dir: run scripts/package"
    fi
    echo "$found"
}
machine_of() {
    case $1 in
    amd64) echo "Advanced Micro Devices X86-64" ;;
    armhf) echo ARM ;;
    arm64) echo AArch64 ;;
    esac
}
# run_in_root ROOT TREE OUT COMMAND...: runs COMMAND chrooted into ROOT with
# TREE on its /sys, in a mount namespace of its own; its status.
run_in_root() {
    local root=$1 tree=$2 out=$3 status=0
    shift 3
    unshare -m sh -c "mount --make-rprivate / && mount --bind '$tree' '$root/sys' &&
        exec chroot '$root' $*" >"$out" || status=$?
    return "$status"
}
# make_tree DIR: a one-zone sysfs tree, the CPU at 45 C.
make_tree() {
    mkdir -p "$1/class/thermal/thermal_zone0"
    printf 'x86_pkg_temp\n' >"$1/class/thermal/thermal_zone0/type"
    printf '45000\n' >"$1/class/thermal/thermal_zone0/temp"
}
# ran_at_45 STATUS OUT: the one line and the exit status a 45 C zone gives.
ran_at_45() {
    [ "$1" -eq 45 ] || fail "$arch: exit status $1"
    [ "$(od -An -c "$2" | tr -s ' ')" = " C P U T e m p : 4 5 C \n" ] ||
        fail "$arch: output $(od -An -c "$2")"
}
case $check in
apt | empty-root)
    [ "$arch" = amd64 ] || enable_binfmt arm aarch64 || skip "no binfmt_misc handler for $arch binaries"
    ;;
esac

case $check in
install)
    prefix=$(mktemp -d)
    trap 'rm -rf "$prefix"' EXIT
    cmake --install "$dir" --prefix "$prefix" >/dev/null
    files=$(cd "$prefix" && find . -type f | sort | tr '\n' ' ')
    expected="./bin/cputemp ./bin/cputemp-textfile ./lib/nagios/plugins/check_cputemp \
./lib/systemd/system/cputemp-textfile.service ./lib/systemd/system/cputemp-textfile.timer \
./share/man/man1/check_cputemp.1 ./share/man/man1/cputemp-textfile.1 ./share/man/man1/cputemp.1 "
    [ "$files" = "$expected" ] || fail "installed $files"
    ;;
man)
    for page in "$source_dir"/docs/*.1; do
        mandoc -T lint -W warning "$page"
        groff -ww -z -man "$page"
        rendered=$(MANWIDTH=80 man -l "$page" 2>&1 >/dev/null)
        [ -z "$rendered" ] || fail "man -l $(basename "$page"): $rendered"
    done
    MANWIDTH=80 man -l "$source_dir/docs/cputemp.1" | grep -q '^EXIT STATUS' || fail "no EXIT STATUS"
    ;;
deb)
    deb=$(artefact "cputemp_*_$arch.deb")
    scratch=$(mktemp -d)
    trap 'rm -rf "$scratch"' EXIT
    [ "$(dpkg-deb -f "$deb" Package)" = cputemp ] || fail "$arch: package name"
    [ "$(dpkg-deb -f "$deb" Architecture)" = "$arch" ] ||
        fail "$arch: Architecture $(dpkg-deb -f "$deb" Architecture)"
    dpkg-deb -f "$deb" Depends | grep -qx 'libc6 (>= 2\.[0-9]*)' ||
        fail "$arch: Depends $(dpkg-deb -f "$deb" Depends)"
    files=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $6 }' | sort | tr '\n' ' ')
    expected="./usr/bin/cputemp ./usr/bin/cputemp-textfile ./usr/lib/nagios/plugins/check_cputemp \
./usr/lib/systemd/system/cputemp-textfile.service ./usr/lib/systemd/system/cputemp-textfile.timer \
./usr/share/doc/cputemp/changelog.gz ./usr/share/doc/cputemp/copyright \
./usr/share/man/man1/check_cputemp.1.gz ./usr/share/man/man1/cputemp-textfile.1.gz \
./usr/share/man/man1/cputemp.1.gz "
    [ "$files" = "$expected" ] || fail "$arch: files $files"
    dpkg-deb --fsys-tarfile "$deb" | tar -C "$scratch" -x ./usr/bin/cputemp
    machine=$(readelf -h "$scratch/usr/bin/cputemp" | awk -F: '/Machine/ { gsub(/^ +/, "", $2); print $2 }')
    [ "$machine" = "$(machine_of "$arch")" ] || fail "$arch: the binary is for $machine"
    ;;
apt)
    # Installed as a user installs it, on a clean Debian 12 root of that architecture.
    deb=$(artefact "cputemp_*_$arch.deb")
    unshare -m true 2>/dev/null || skip "needs a private mount namespace (root)"
    tarball=$(clean_root "$arch") || skip "could not make a Debian 12 $arch root (mmdebstrap)"
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
    run_in_root "$work/root" "$work/sys" "$work/out" /usr/bin/cputemp || status=$?
    ran_at_45 "$status" "$work/out"
    # The monitoring programs, installed disabled, and run there.
    for unit in cputemp-textfile.service cputemp-textfile.timer; do
        [ -f "$work/root/usr/lib/systemd/system/$unit" ] || fail "no $unit"
        [ -z "$(find "$work/root/etc/systemd" -name "$unit" 2>/dev/null)" ] || fail "$unit enabled"
    done
    status=0
    run_in_root "$work/root" "$work/sys" "$work/out" /usr/lib/nagios/plugins/check_cputemp -w 80 || status=$?
    [ "$status" -eq 0 ] && [ "$(cat "$work/out")" = "CPUTEMP OK - 45 C | cpu_temp=45;80;" ] ||
        fail "check_cputemp: $(cat "$work/out"), status $status"
    mkdir -p "$work/root/tmp/textfile"
    run_in_root "$work/root" "$work/sys" "$work/out" /usr/bin/cputemp-textfile /tmp/textfile ||
        fail "cputemp-textfile"
    grep -qx 'cputemp_celsius 45' "$work/root/tmp/textfile/cputemp.prom" ||
        fail "cputemp.prom: $(cat "$work/root/tmp/textfile/cputemp.prom")"
    chroot "$work/root" man -w cputemp >/dev/null 2>&1 || [ -f "$work/root/usr/share/man/man1/cputemp.1.gz" ] ||
        fail "no manual installed"
    in_root apt-get remove -y -q cputemp >"$work/remove.log" 2>&1 || fail "apt-get remove"
    listing >"$work/after"
    left=$(diff "$work/before" "$work/after") || fail "left behind: $left"
    [ -z "$(chroot "$work/root" dpkg-query -W -f='${Status}' cputemp 2>/dev/null | grep -v 'not-installed')" ] ||
        fail "dpkg still knows cputemp: $(chroot "$work/root" dpkg-query -W -f='${Status}' cputemp)"
    ;;
lintian)
    lintian --fail-on error,warning "$(artefact "cputemp_*_$arch.deb")"
    ;;
tarball)
    tarball=$(artefact "cputemp-*-linux-$arch.tar.gz")
    top=$(basename "$tarball" .tar.gz)
    listed=$(tar -tzf "$tarball" | grep -v '/$' | sort | tr '\n' ' ')
    expected="$top/LICENSE $top/README.md $top/bin/check_cputemp $top/bin/cputemp \
$top/bin/cputemp-textfile $top/lib/systemd/system/cputemp-textfile.service \
$top/lib/systemd/system/cputemp-textfile.timer $top/share/man/man1/check_cputemp.1 \
$top/share/man/man1/cputemp-textfile.1 $top/share/man/man1/cputemp.1 "
    [ "$listed" = "$expected" ] || fail "$arch tarball holds $listed"
    ;;
empty-root)
    # The static binary alone in an otherwise empty root, with a tree on /sys.
    tarball=$(artefact "cputemp-*-linux-$arch.tar.gz")
    unshare -m true 2>/dev/null || skip "needs a private mount namespace (root)"
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
    mkdir "$work/root" "$work/root/sys"
    tar -C "$work/root" -xzf "$tarball" --strip-components=2 --wildcards '*/bin/cputemp'
    readelf -l "$work/root/cputemp" | grep -q 'Requesting program interpreter' && fail "$arch: not static"
    [ -z "$(readelf -d "$work/root/cputemp" | grep NEEDED)" ] || fail "$arch: needs libraries"
    make_tree "$work/tree"
    status=0
    run_in_root "$work/root" "$work/tree" "$work/out" /cputemp || status=$?
    ran_at_45 "$status" "$work/out"
    ;;
zip)
    zip=$(artefact "cputemp-*-windows-$arch.zip")
    version=$(basename "$zip" -windows-$arch.zip)
    listed=$(unzip -Z1 "$zip" | sort | tr '\n' ' ')
    [ "$listed" = "$version-windows-$arch/LICENSE.txt $version-windows-$arch/README.txt $version-windows-$arch/cputemp.exe " ] ||
        fail "$arch zip holds $listed"
    ;;
*)
    fail "unknown check $check"
    ;;
esac
echo "ok $check${arch:+ $arch}"
