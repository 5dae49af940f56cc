#!/usr/bin/env bash
# The Windows build end to end under Wine against the simulated thermal driver:
# output byte for byte (CR LF, as the console's text mode writes it) and the
# exit code as cmd sees it, for each scenario.
# Usage: sim_e2e.sh SOURCE_DIR X64_BUILD_DIR X86_BUILD_DIR ARCH (x64, x86)
#        sim_e2e.sh SOURCE_DIR ARM32_BUILD_DIR - arm32  (emulated ARM32 Wine)
set -euo pipefail
[ -z "${CPUTEMP_TRACE:-}" ] || set -x
source_dir=$1 x64=$2 x86=$3 arch=$4
skip() { echo "SKIPPED: $*"; exit 77; }
# A set-up step that fails ends the run: say which.
trap 'echo "sim_e2e: the step at line $LINENO failed"' ERR
if [ "$arch" = arm32 ]; then
    # Each attempt in a mount namespace of its own. qemu-arm can kill a Wine
    # process of the rig's (sc, the driver's host) at any step: when the rig
    # fails before any check on cputemp's output has, the whole run is done
    # again in a fresh session, up to three times. A failed check never is.
    if [ -z "${CPUTEMP_ARM32_NAMESPACE:-}" ]; then
        unshare -m true 2>/dev/null || skip "needs a private mount namespace (root)"
        log=$(mktemp)
        trap 'rm -f "$log"' EXIT
        for attempt in 1 2 3; do
            status=0
            unshare -m env CPUTEMP_ARM32_NAMESPACE=1 "$0" "$@" | tee "$log" || status=$?
            if [ "$status" -eq 0 ] || [ "$status" -eq 77 ] || grep -q '^FAIL ' "$log"; then
                exit "$status"
            fi
            echo "arm32: the rig failed (status $status) before any check did (attempt $attempt)"
        done
        exit 1
    fi
    . "$source_dir/tests/windows/arm32_session.sh"
    arm32_session "$source_dir" "$x64"
else
    [ -x /usr/lib/wine/wine64 ] || skip "wine64 is not installed"
    [ "$arch" = x64 ] || [ -x /usr/lib/wine/wine ] || skip "wine32 is not installed"
    if [ "$arch" = x86 ] && { [ -e /proc/sys/fs/binfmt_misc/qemu-i386 ] ||
        ! /usr/lib/wine/wine --version >/dev/null 2>&1; }; then
        skip "this machine's kernel runs no 32-bit x86 program itself; Wine is not run emulated"
    fi
    . "$source_dir/sim/rig.sh"

    prefix=$(mktemp -d /tmp/cputemp-sim-XXXXXX)
    trap rig_finish EXIT
    rig_init "$prefix" "$x64" "$x86"
fi

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

# check NAME EXPECTED_OUTPUT EXPECTED_REQUESTS: runs the tool once.
check() {
    local got
    got=$(rig_run "$arch"; printf .)
    same "$1" "$2 after $3 requests" "${got%.} after $(rig_requests) requests"
}

several=$'Warning: More than one device interface instance found. \r\nSelecting first matching device.\r\n\r\n'
none=$'Error: No active device interfaces found.\r\n Is the sample driver loaded?'
long_reference=$(printf 'r%.0s' $(seq 200))

rig_reset && rig_register >/dev/null && rig_start
check one_interface $'CPU Temp: 45 C\r\nexit=45\r\n' 1

rig_param Reading 2729
check below_freezing $'CPU Temp: -1 C\r\nexit=-1\r\n' 2
rig_param Reading 0
check reading_zero $'CPU Temp: -273 C\r\nexit=-273\r\n' 3

rig_param Reading 3181
rig_param FailStatus 0xC0000010 # STATUS_INVALID_DEVICE_REQUEST
check request_fails $'failed:0x1\r\nexit=-273\r\n' 4

rig_reset && rig_register >/dev/null && rig_register >/dev/null && rig_start
check two_interfaces "${several}"$'CPU Temp: 45 C\r\nexit=45\r\n' 1

# Not listed before the driver links it, and nothing to open when listed
# without it.
rig_reset && rig_register >/dev/null && rig_start && rig_stop && rig_register >/dev/null
check registered_while_stopped "$none"$'exit=-273\r\n' 0
rig_start
check linked_at_start "${several}"$'CPU Temp: 45 C\r\nexit=45\r\n' 1

# 264 units: reported, and never opened, so no request reaches the driver.
rig_reset && rig_register "$long_reference" >/dev/null && rig_start
check path_too_long $'Error: StringCchCopy failed with HRESULT 0x8007007aexit=-273\r\n' 0

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
