#!/usr/bin/env bash
# Builds every target again from the same commit, in another directory, later,
# under another umask and time zone, and compares every artifact that
# scripts/package listed in build/SHA256SUMS byte for byte; on a difference it
# says where, and what the archives or images hold differently.
# Usage: reproducible.sh SOURCE_DIR
set -euo pipefail
src=$(cd "$1" && pwd)
cd "$src"
. scripts/lib/paths.sh
skip() {
    echo "SKIPPED: $*"
    exit 77
}
[ -s "$SUMS" ] || skip "no $SUMS: run scripts/package first"
command -v git >/dev/null && git rev-parse --git-dir >/dev/null 2>&1 || skip "not a git checkout"
# The first build is of the work tree: only a clean one is the commit.
[ -z "$(git status --porcelain --untracked-files=no)" ] ||
    skip "uncommitted changes: a clone of the commit would build other sources"

work=$(mktemp -d /tmp/cputemp-again.XXXXXX)
trap 'rm -rf "$work"' EXIT
git clone --quiet --no-local "$src" "$work/cputemp"
if ! (cd "$work/cputemp" && umask 0002 && TZ=Pacific/Kiritimati scripts/package \
    >"$work/package.log" 2>&1); then
    cat "$work/package.log"
    echo "FAIL: scripts/package failed in the second checkout"
    exit 1
fi

# What each kind of file holds, for a reader of the difference.
contents() {
    case $1 in
    *.deb) dpkg-deb --info "$1" && dpkg-deb --contents "$1" ;;
    *.tar.gz) tar --list --verbose --full-time --numeric-owner --gzip --file "$1" ;;
    *.zip) unzip -Z -v "$1" ;;
    *.exe) llvm-readobj-19 --file-headers "$1" ;;
    esac
}

failures=0
# What is published, and nothing a build leaves beside it.
stray=$(awk '$2 !~ /[.](deb|tar[.]gz|zip|exe)$/ { print $2 }' "$SUMS")
[ -z "$stray" ] || { echo "FAIL $SUMS lists what is no artifact: $stray"; failures=$((failures + 1)); }
while read -r _ file; do
    first=$src/$BUILD/$file
    again=$work/cputemp/$BUILD/$file
    if [ ! -e "$again" ]; then
        echo "FAIL $file: not made the second time"
        failures=$((failures + 1))
    elif cmp -s "$first" "$again"; then
        echo "same $file"
    else
        failures=$((failures + 1))
        echo "FAIL $file: $(cmp -l "$first" "$again" 2>/dev/null | wc -l) bytes differ, from offset $(cmp "$first" "$again" | awk '{ print $5 }' | tr -d ,)"
        if command -v diffoscope >/dev/null; then
            diffoscope --text - "$first" "$again" | head -n 60 || true
        else
            diff <(contents "$first" 2>&1) <(contents "$again" 2>&1) | head -n 40 || true
        fi
    fi
done <"$SUMS"
if ! cmp -s "$SUMS" "$work/cputemp/$SUMS"; then
    echo "FAIL SHA256SUMS"
    diff "$SUMS" "$work/cputemp/$SUMS" || true
    failures=$((failures + 1))
fi
[ "$failures" -eq 0 ] || exit 1
echo "every artifact the same, and SHA256SUMS"
