#!/usr/bin/env bash
# cputemp built as a distribution builds it: from a tarball of the commit (its
# tracked files, changes included), with the family's own tools, then
# installed and run against a sensor file (packaging/debian/tests/named-sensor).
# A second build of each gives the same package, without its tests.
#   debian  dpkg-buildpackage in a clean Debian 12 root holding the build
#           dependencies alone, with a descriptor left open across the build;
#           its ctest must pass every test, none skipped; lintian; the
#           autopkgtest tests against the built package in another clean root;
#           the second build with DEB_BUILD_OPTIONS=nocheck
#   rpm     rpmbuild -ba (%check runs ctest), rpmlint, rpm --root into an
#           empty root (--nodeps: Debian has no RPM C library), rpm -V; the
#           second build --nocheck
#   arch    makepkg as an unprivileged user (check() runs ctest), pacman -U
#           --root into an empty root (-dd); the second build --nocheck
# Usage: distro.sh SOURCE_DIR debian|rpm|arch
set -euo pipefail
source_dir=$(cd "$1" && pwd) family=$2
fail() { echo "FAIL: $*"; exit 1; }
skip() { echo "SKIPPED: $*"; exit 77; }
cd "$source_dir"
. scripts/lib/roots.sh
version=$(sed -n 's/^project(cputemp VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
# What packagers and their tools say of themselves, as a distribution sets it.
packager="The cputemp developers <cputemp@example.org>"
work=$(mktemp -d /tmp/cputemp-distro.XXXXXX)
chmod 755 "$work" # makepkg's unprivileged builder works below it
trap 'rm -rf --one-file-system "$work"' EXIT

# The source tarball, as `git archive` makes it: the commit's tracked files,
# with what is changed in them and not yet committed.
command -v git >/dev/null && git rev-parse --git-dir >/dev/null 2>&1 || skip "not a git checkout"
tree=$(git stash create)
tarball=$work/cputemp-$version.tar.gz
git archive --format=tar --prefix="cputemp-$version/" "${tree:-HEAD}" | gzip -n >"$tarball"
export SOURCE_DATE_EPOCH
SOURCE_DATE_EPOCH=$(git log -1 --format=%ct)

# tests_passed LOG: the build's ctest ran, every test passed and none was skipped.
tests_passed() {
    local summary
    summary=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests failed out of [0-9]+' "$1" | tail -n 1)
    [ -n "$summary" ] || fail "no ctest summary in the build log"
    echo "ctest: $summary"
    [[ $summary == "100% tests passed, 0 tests failed"* ]] || fail "$summary"
    ! grep -q 'The following tests did not run' "$1" ||
        fail "tests skipped: $(sed -n '/The following tests did not run/,/^$/p' "$1" | tr -s ' ')"
}
# no_tests_ran LOG WHAT: a build without its tests ran none.
no_tests_ran() {
    ! grep -q 'tests passed' "$1" || fail "$2 ran the tests"
}
# holds_monitoring LISTING: the monitoring programs and units are in the
# package's list of files.
holds_monitoring() {
    local file
    for file in /usr/bin/cputemp-textfile /check_cputemp /usr/lib/systemd/system/cputemp-textfile.service \
        /usr/lib/systemd/system/cputemp-textfile.timer; do
        grep -q -- "$file\$" "$1" || fail "no $file in the package"
    done
    echo "the monitoring programs and units are there"
}
# runs_installed ROOT: the installed binary's output and exit status.
runs_installed() {
    AUTOPKGTEST_TMP=$(mktemp -d "$work/run.XXXXXX") PATH="$1/usr/bin:$PATH" \
        sh packaging/debian/tests/named-sensor || fail "the installed cputemp"
}
# same FIRST SECOND: the two builds' package, byte for byte.
same() {
    cmp "$1" "$2" || fail "$(basename "$1") differs between the two builds"
    echo "same $(basename "$1") from both builds"
}

debian() {
    local arch tarball_root root built log testbed status
    arch=$(dpkg --print-architecture)
    tarball_root=$(clean_root "$arch" "$(build_root_packages)") ||
        skip "no Debian 12 root with the build dependencies could be made (mmdebstrap)"
    unshare -m true 2>/dev/null || skip "needs a private mount namespace (root)"
    root=$work/root
    mkdir "$root"
    tar -C "$root" -xf "$tarball_root"
    mkdir "$root/build"
    cp "$tarball" "$root/build/cputemp_$version.orig.tar.gz"
    cp -r packaging/debian "$root/build/debian"
    built=$work/built
    mkdir "$built"
    # build OPTIONS LOG: one build as root in the root, /proc mounted as a
    # buildd has it, descriptor 9 open throughout.
    build() {
        unshare -m sh -c "mount --make-rprivate / && mount -t proc proc '$root/proc' &&
            exec chroot '$root' sh -ec 'cd /build && rm -rf cputemp-$version &&
                tar -xzf cputemp_$version.orig.tar.gz && cp -r debian cputemp-$version/ &&
                cd cputemp-$version && DEB_BUILD_OPTIONS=\"$1\" dpkg-buildpackage -us -uc'" \
            9</dev/null >"$2" 2>&1 || { tail -n 40 "$2"; fail "dpkg-buildpackage ($1)"; }
    }
    log=$work/build.log
    build "parallel=2" "$log"
    tests_passed "$log"
    cp "$root/build/"*.deb "$root/build/"*.dsc "$root/build/"*.changes "$root/build/"*.buildinfo \
        "$root/build/"*.tar.* "$built/"
    # Errors and warnings but those that need a public address: a homepage,
    # a watch file, an ITP bug to close.
    status=0
    setpriv --reuid=nobody --regid=nogroup --clear-groups env HOME="$work" \
        lintian --display-info "$built/cputemp_${version}-1_$arch.changes" >"$work/lintian.log" 2>&1 ||
        status=$?
    cat "$work/lintian.log"
    [ "$status" -le 1 ] || fail "lintian could not run (status $status)"
    ! grep -E '^[EW]: ' "$work/lintian.log" |
        grep -vE ' (no-homepage-field|debian-watch-file-is-missing|initial-upload-closes-no-bugs)( |$)' ||
        fail "lintian"
    # In another clean root, as autopkgtest's own testbeds are (with
    # apt-utils), and with /proc, which the tool reads a named sensor through;
    # virt-unshare would want subordinate ids for root on the host. The source
    # package unpacked here and marked built (debian/files, as a build leaves
    # it): a .dsc or an unbuilt tree would want dpkg-dev in the testbed.
    testbed=$(clean_root "$arch" apt-utils) || skip "no Debian 12 root for autopkgtest (mmdebstrap)"
    mkdir "$work/testbed"
    tar -C "$work/testbed" -xf "$testbed"
    dpkg-source -x "$built/cputemp_${version}-1.dsc" "$work/source" >/dev/null 2>&1
    touch "$work/source/debian/files"
    unshare -m sh -c "mount --make-rprivate / && mount -t proc proc '$work/testbed/proc' &&
        exec autopkgtest --no-built-binaries '$built/cputemp_${version}-1_$arch.deb' \
            '$work/source' -- chroot '$work/testbed'" >"$work/autopkgtest.log" 2>&1 ||
        { cat "$work/autopkgtest.log"; fail "autopkgtest"; }
    grep -E '^named-sensor +PASS' "$work/autopkgtest.log" || fail "autopkgtest: named-sensor did not pass"
    grep -E '^monitoring +PASS' "$work/autopkgtest.log" || fail "autopkgtest: monitoring did not pass"
    build "parallel=2 nocheck" "$work/nocheck.log"
    no_tests_ran "$work/nocheck.log" nocheck
    for deb in "$built"/*.deb; do
        same "$deb" "$root/build/$(basename "$deb")"
    done
}

rpm_family() {
    local recipe=packaging/rpm/cputemp.spec top=$work/rpm root=$work/rpmroot package
    mkdir -p "$top/SOURCES" "$root"
    cp "$tarball" "$top/SOURCES/"
    # A builder's settings for packages that come out the same every time.
    local defines=(--define "_topdir $top" --define "packager $packager"
        --define "_buildhost cputemp.build" --define "source_date_epoch_from_changelog 1"
        --define "use_source_date_epoch_as_buildtime 1" --define "clamp_mtime_to_source_date_epoch 1")
    # rpm_build LOG [OPTION...]: one build, descriptor 9 open throughout.
    rpm_build() {
        local log=$1
        shift
        rpmbuild "${defines[@]}" --nodeps "$@" -ba "$recipe" 9</dev/null >"$log" 2>&1 ||
            { tail -n 40 "$log"; fail "rpmbuild $*"; }
    }
    rpm_build "$work/build.log"
    tests_passed "$work/build.log"
    package=$(ls "$top"/RPMS/*/cputemp-"$version"-*.rpm)
    # Errors but that of a signature, which needs a published key.
    rpmlint "$package" "$top"/SRPMS/*.rpm "$recipe" >"$work/rpmlint.log" 2>&1 || true
    cat "$work/rpmlint.log"
    ! grep -E ': E: ' "$work/rpmlint.log" | grep -v ': E: no-signature$' || fail "rpmlint errors"
    rpm --root "$root" --initdb
    rpm --root "$root" -i --nodeps "$package" 2>&1 | grep -v "use Alien\|what you are doing" || true
    rpm --root "$root" -q cputemp || fail "rpm -i"
    rpm --root "$root" -V --nodeps cputemp || fail "rpm -V"
    rpm --root "$root" -ql cputemp >"$work/files"
    holds_monitoring "$work/files"
    runs_installed "$root"
    mv "$package" "$work/first.rpm"
    # --nocheck, not --without check: the source package, whose digest the
    # binary one records, must be the same too.
    rpm_build "$work/nocheck.log" --nocheck
    no_tests_ran "$work/nocheck.log" --nocheck
    same "$work/first.rpm" "$package"
}

arch_family() {
    local dir=$work/arch root=$work/archroot package
    mkdir -p "$dir" "$root/var/lib/pacman"
    cp packaging/arch/PKGBUILD "$tarball" "$dir/"
    chown -R nobody: "$dir"
    # makepkg refuses root: as nobody, whose tests get their private mounts
    # from a user namespace.
    as_nobody() {
        (cd "$dir" && setpriv --reuid=nobody --regid=nogroup --clear-groups \
            env HOME="$dir" PACKAGER="$packager" makepkg --nodeps --noconfirm "$@")
    }
    as_nobody 9</dev/null >"$work/build.log" 2>&1 || { tail -n 40 "$work/build.log"; fail "makepkg"; }
    tests_passed "$work/build.log"
    package=$(ls "$dir"/cputemp-"$version"-1-*.pkg.tar.*)
    pacman -U --root "$root" --dbpath "$root/var/lib/pacman" --noconfirm -dd "$package" ||
        fail "pacman -U"
    pacman -Qk --root "$root" --dbpath "$root/var/lib/pacman" cputemp || fail "pacman -Qk"
    pacman -Ql --root "$root" --dbpath "$root/var/lib/pacman" cputemp >"$work/files"
    holds_monitoring "$work/files"
    runs_installed "$root"
    mv "$package" "$work/first.pkg"
    as_nobody --nocheck --force >"$work/nocheck.log" 2>&1 ||
        { tail -n 40 "$work/nocheck.log"; fail "makepkg --nocheck"; }
    no_tests_ran "$work/nocheck.log" --nocheck
    same "$work/first.pkg" "$package"
}

case $family in
debian) debian ;;
rpm) rpm_family ;;
arch) arch_family ;;
*) fail "unknown family $family" ;;
esac
echo "ok distro_$family"
