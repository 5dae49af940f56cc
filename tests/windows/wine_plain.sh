#!/usr/bin/env bash
# A Windows build under plain Wine, whose Configuration Manager list calls are
# stubs that answer CR_FAILURE (0x13): the real start-up, the console's text
# mode (CR LF) and the exit code, as Windows programs see them. Output byte for
# byte, with and without arguments; the exit status as Linux narrows -273
# (239), and as cmd sees it (-273).
# Usage: wine_plain.sh SOURCE_DIR ARCH BUILD_DIR DRIVER_DIR
set -euo pipefail
. "$1/tests/windows/session.sh"
wine_namespace "$0" "$@"
wine_session "$@"
build=$3

mkdir -p "$(rig_here)/drive_c/plain"
cp "$build/cputemp.exe" "$(rig_here)/drive_c/plain/"
printf '@echo off\r\nC:\\plain\\cputemp.exe\r\necho exit=%%ERRORLEVEL%%\r\n' \
    >"$(rig_here)/drive_c/plain/run.bat"
stubbed=$'Error 0x13 retrieving device interface list size.\r\n'
failures=0

# plain NAME EXPECTED_OUTPUT EXPECTED_STATUS COMMAND...: one run of Wine.
plain() {
    local name=$1 expected=$2 want=$3 out status=0
    shift 3
    out=$(rig_plain "$@" 2>/dev/null; s=$?; printf .; exit "$s") || status=$?
    out=${out%.}
    if [ "$out" != "$expected" ] || [ "$status" -ne "$want" ]; then
        printf 'FAIL %s\n  expected %q, status %s\n  got      %q, status %s\n' "$name" \
            "$expected" "$want" "$out" "$status"
        failures=$((failures + 1))
    else
        echo "ok   $name"
    fi
}

plain stubbed_list_call "$stubbed" 239 'C:\plain\cputemp.exe'
plain arguments_change_nothing "$stubbed" 239 'C:\plain\cputemp.exe' --help -v "two words" '/?'
plain cmd_sees_minus_273 "${stubbed}exit=-273"$'\r\n' 239 cmd /c 'C:\plain\run.bat'

echo "$RIG_ARCH plain Wine: $failures failed"
[ "$failures" -eq 0 ]
