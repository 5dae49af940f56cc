#!/usr/bin/env bash
# A Windows build end to end under Wine against the simulated thermal driver:
# output byte for byte (CR LF, as the console's text mode writes it) and the
# exit code as cmd sees it, for each scenario.
# Usage: sim_e2e.sh SOURCE_DIR ARCH BUILD_DIR DRIVER_DIR
set -euo pipefail
[ -z "${CPUTEMP_TRACE:-}" ] || set -x
. "$1/tests/windows/session.sh"
wine_namespace "$0" "$@"
# A set-up step that fails ends the run: say which.
trap 'echo "sim_e2e: the step at line $LINENO failed"' ERR
wine_session "$@"
arch=$2

failures=0
# same NAME EXPECTED GOT
same() {
    if [ "$2" != "$3" ]; then
        printf 'FAIL %s\n  expected %q\n  got      %q\n' "$1" "$2" "$3"
        failures=$((failures + 1))
    else
        echo "ok   $1"
    fi
}

# check NAME EXPECTED_OUTPUT EXPECTED_REQUESTS KEY SETUP [NAME=VALUE...]: the
# driver made ready (rig_prepare), then the tool run once.
check() {
    local name=$1 expected=$2 requests=$3 got
    shift 3
    rig_prepare "$@" || { echo "sim_e2e: the rig could not be made ready for $name"; exit 1; }
    got=$(rig_run; printf .)
    same "$name" "$expected after $requests requests" "${got%.} after $(rig_requests) requests"
}

several=$'Warning: More than one device interface instance found. \r\nSelecting first matching device.\r\n\r\n'
none=$'Error: No active device interfaces found.\r\n Is the sample driver loaded?'
long_reference=$(printf 'r%.0s' $(seq 200))

# The driver's state for each run, from a reset driver (see rig_prepare).
one() { rig_register >/dev/null && rig_start; }
two() { rig_register >/dev/null && rig_register >/dev/null && rig_start; }
# Not listed before the driver links it, and nothing to open when listed
# without it; linked when it starts.
stopped() { one && rig_stop && rig_register >/dev/null; }
relinked() { stopped && rig_start; }
# 264 units: reported, and never opened, so no request reaches the driver.
long() { rig_register "$long_reference" >/dev/null && rig_start; }

check one_interface $'CPU Temp: 45 C\r\nexit=45\r\n' 1 one one
check below_freezing $'CPU Temp: -1 C\r\nexit=-1\r\n' 1 one one Reading=2729
check reading_zero $'CPU Temp: -273 C\r\nexit=-273\r\n' 1 one one Reading=0
# STATUS_INVALID_DEVICE_REQUEST
check request_fails $'failed:0x1\r\nexit=-273\r\n' 1 one one FailStatus=0xC0000010
check two_interfaces "${several}"$'CPU Temp: 45 C\r\nexit=45\r\n' 1 two two
check registered_while_stopped "$none"$'exit=-273\r\n' 0 stopped stopped
check linked_at_start "${several}"$'CPU Temp: 45 C\r\nexit=45\r\n' 1 relinked relinked
check path_too_long $'Error: StringCchCopy failed with HRESULT 0x8007007aexit=-273\r\n' 0 long long

# The driver itself, once: what cputemp never asks, and a clean unload (its
# link gone, and its device too, or it could not start again).
if [ "$arch" = x64 ]; then
    rig_reset && path=$(rig_register) && rig_start
    same driver_answers "open: ok
read: ok 3181, 4 bytes
other code: error 1, output untouched
short request: error 87, output untouched
short output: error 122, output untouched" "$(rig_probe "$path")"
    rig_stop
    same driver_unlinks_at_unload "open: error 2" "$(rig_probe "$path")"
    rig_start
    same driver_starts_again "open: ok" "$(rig_probe "$path" | head -n 1)"
fi

echo "$arch: $failures failed"
[ "$failures" -eq 0 ]
