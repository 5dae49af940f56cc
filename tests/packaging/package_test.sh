#!/usr/bin/env bash
# Checks what scripts/package made. Usage: package_test.sh SOURCE_DIR CHECK [BUILD_DIR]
#   install  cmake --install of BUILD_DIR lays out bin/ and the man page
#   deb      the package's fields and files, and the installed binary's run
#   lintian  no lintian errors
#   man      the man page lints and renders cleanly
#   zips     each Windows zip holds the .exe and its README
set -euo pipefail
source_dir=$1
check=$2
fail() { echo "FAIL: $*"; exit 1; }
skip() { echo "SKIPPED: $*"; exit 77; }
deb=$(ls "$source_dir"/build/deb/cputemp_*.deb 2>/dev/null | head -n 1)

case $check in
install)
    prefix=$(mktemp -d)
    trap 'rm -rf "$prefix"' EXIT
    cmake --install "$3" --prefix "$prefix" >/dev/null
    files=$(cd "$prefix" && find . -type f | sort | tr '\n' ' ')
    [ "$files" = "./bin/cputemp ./share/man/man1/cputemp.1 " ] || fail "installed $files"
    ;;
deb)
    [ -n "$deb" ] || fail "no package in build/deb: run scripts/package"
    [ "$(dpkg-deb -f "$deb" Package)" = cputemp ] || fail "package name"
    dpkg-deb -f "$deb" Depends | grep -q '^libc6 (>= ' || fail "Depends: $(dpkg-deb -f "$deb" Depends)"
    root=$(mktemp -d)
    trap 'rm -rf "$root"' EXIT
    dpkg -x "$deb" "$root/install"
    files=$(cd "$root/install" && find . -type f | sort | tr '\n' ' ')
    expected="./usr/bin/cputemp ./usr/share/doc/cputemp/changelog.gz ./usr/share/doc/cputemp/copyright ./usr/share/man/man1/cputemp.1.gz "
    [ "$files" = "$expected" ] || fail "files: $files"
    # The installed binary against a one-zone tree of our own on /sys/class/thermal.
    mkdir -p "$root/thermal/thermal_zone0"
    printf 'x86_pkg_temp\n' >"$root/thermal/thermal_zone0/type"
    printf '45000\n' >"$root/thermal/thermal_zone0/temp"
    unshare -m true 2>/dev/null || skip "needs a private mount namespace (root)"
    status=0
    unshare -m sh -c "mount --make-rprivate / && mount --bind '$root/thermal' /sys/class/thermal &&
        exec '$root/install/usr/bin/cputemp'" >"$root/out" || status=$?
    [ "$status" -eq 45 ] || fail "exit status $status"
    [ "$(od -An -c "$root/out" | tr -s ' ')" = " C P U T e m p : 4 5 C \n" ] ||
        fail "output $(od -An -c "$root/out")"
    ;;
lintian)
    [ -n "$deb" ] || fail "no package in build/deb: run scripts/package"
    lintian --fail-on error "$deb"
    ;;
man)
    mandoc -T lint -W warning "$source_dir/docs/cputemp.1"
    groff -ww -z -man "$source_dir/docs/cputemp.1"
    rendered=$(MANWIDTH=80 man -l "$source_dir/docs/cputemp.1" 2>&1 >/dev/null)
    [ -z "$rendered" ] || fail "man -l: $rendered"
    MANWIDTH=80 man -l "$source_dir/docs/cputemp.1" | grep -q '^EXIT STATUS' || fail "no EXIT STATUS"
    ;;
zips)
    for arch in x64 x86; do
        zip=$(ls "$source_dir"/build/mingw-$arch/cputemp-*-windows-$arch.zip 2>/dev/null | head -n 1)
        [ -n "$zip" ] || fail "no $arch zip: run scripts/package"
        version=$(basename "$zip" -windows-$arch.zip)
        listed=$(unzip -Z1 "$zip" | sort | tr '\n' ' ')
        [ "$listed" = "$version-windows-$arch/README.txt $version-windows-$arch/cputemp.exe " ] ||
            fail "$arch zip holds $listed"
    done
    ;;
*)
    fail "unknown check $check"
    ;;
esac
echo "ok $check"
