#!/usr/bin/env bash
# The 32-bit ARM Windows build under plain emulated ARM32 Wine, whose
# Configuration Manager list calls are stubs: output byte for byte (CR LF) and
# the exit status as Linux narrows -273.
# Usage: arm32_wine.sh SOURCE_DIR ARM32_BUILD_DIR
set -euo pipefail
skip() { echo "SKIPPED: $*"; exit 77; }
if [ -z "${CPUTEMP_ARM32_NAMESPACE:-}" ]; then
    unshare -m true 2>/dev/null || skip "needs a private mount namespace (root)"
    exec unshare -m env CPUTEMP_ARM32_NAMESPACE=1 "$0" "$@"
fi
source_dir=$1 build=$2
. "$source_dir/tests/windows/arm32_session.sh"
arm32_session "$source_dir" "$build"

mkdir -p "$(rig_here)/drive_c/plain"
cp "$build/cputemp.exe" "$(rig_here)/drive_c/plain/"
# Wine's own cfgmgr32 here, not the stand-in: no override.
status=0
WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" chroot "$RIG_ROOT" "$RIG_WINE" \
    'C:\plain\cputemp.exe' extra arguments >"$RIG_ROOT/plain.out" || status=$?
out=$(cat "$RIG_ROOT/plain.out"; printf .)
out=${out%.}
expected=$'Error 0x13 retrieving device interface list size.\r\n'
failures=0
if [ "$out" != "$expected" ]; then
    printf 'FAIL output\n  expected %q\n  got      %q\n' "$expected" "$out"
    failures=1
fi
if [ "$status" -ne 239 ]; then
    echo "FAIL exit status $status, expected 239 (-273)"
    failures=1
fi
[ "$failures" -eq 0 ] && echo "ok   plain Wine: the stubbed list call, exit 239"
exit "$failures"
