# Sourced: a throw-away Wine session in which cputemp.exe finds the simulated
# thermal driver, and the steps that drive it. A session serves one
# architecture, with Debian's Wine for it in a root of its own (RIG_TARBALL,
# scripts/lib/emulated_wine.sh), a foreign one run through qemu-user by
# binfmt_misc; the caller is in a mount namespace of its own. x86's driver is
# the x64 one: Wine's kernel is 64-bit on x86 machines.
#
#   rig_session ARCH BUILD_DIR DRIVER_DIR
#                     a session with the driver (from DRIVER_DIR) running and
#                     ARCH's cputemp.exe (from BUILD_DIR) beside the stand-in
#                     cfgmgr32.dll, in C:\cputemp
#   rig_reset         stop the driver, forget every registration and parameter
#   rig_register [REFERENCE]  register one interface; prints its path
#   rig_start / rig_stop      the driver service
#   rig_prepare KEY SETUP [NAME=VALUE...]
#                     the driver ready for one run of cputemp: SETUP (a
#                     function of rig steps from a reset driver, done unless
#                     the session's last set-up was KEY's too), then its
#                     Parameters (Reading, FailStatus) with Requests at 0
#   rig_run           cputemp.exe through cmd: its output, then "exit=<code>"
#   rig_plain ARGS... a Wine program with Wine's own cfgmgr32
#   rig_requests      device control requests the driver has seen
#   rig_probe PATH    the driver's answers to requests cputemp never makes
#   rig_finish        stop Wine and remove the session
#
# The one retry policy. qemu sometimes aborts a Wine process of its own accord
# (an assertion of its own, when the process returns from a signal handler);
# the process then ends with status 0, so the rig reads qemu's message instead.
# A rig step that such an abort ended, or that failed while it ended one of
# the session's own processes (the driver's host, say), is done again, up to
# RIG_STEP_TRIES times in all. A session whose set-up fails (its own, or a
# run's in rig_prepare) is built afresh, up to RIG_SESSION_TRIES times in all.
# Both say what they redo. cputemp's own runs are never retried.
RIG_STEP_TRIES=6
RIG_SESSION_TRIES=3
RIG_ABORTED='^qemu-[^:]*: .*Assertion .* failed'

RIG_SERVICE=cputemp_sim
RIG_PARAMETERS='HKEY_LOCAL_MACHINE\System\CurrentControlSet\Services\cputemp_sim\Parameters'
RIG_CLASS='HKEY_LOCAL_MACHINE\System\CurrentControlSet\Control\DeviceClasses\{c5a3f341-e8a3-4579-9e09-db61b3a39c1e}'
RIG_DEVICES='HKEY_LOCAL_MACHINE\System\CurrentControlSet\Enum\ROOT\CPUTEMPSIM'
RIG_SERVER=/usr/lib/wine/wineserver
RIG_ARCH=
RIG_ROOT=     # the root Wine runs in (chroot)
RIG_WINE=
RIG_MADE=     # what rig_finish removes: the prefix, or the root
RIG_LOG=      # where the session's own processes (services, the driver's host) write
RIG_BUILDS=0  # sessions built
RIG_PREPARED= # the key of the set-up the driver is in

# rig_launch OVERRIDES ARGS...: a Wine program; an emulator abort reads as
# status 134, as SIGABRT would.
rig_launch() {
    local overrides=$1 err status=0
    shift
    err=$(mktemp)
    WINEDEBUG=-all WINEDLLOVERRIDES=$overrides ${RIG_ROOT:+chroot "$RIG_ROOT"} "$RIG_WINE" "$@" \
        2>"$err" || status=$?
    grep -q "$RIG_ABORTED" "$err" && status=134
    grep -v "$RIG_ABORTED" "$err" >&2
    rm -f "$err"
    return "$status"
}

rig_wine() {
    rig_launch "mscoree,mshtml=;cfgmgr32=n" "$@"
}

rig_plain() {
    rig_launch "mscoree,mshtml=" "$@"
}

rig_server() {
    ${RIG_ROOT:+chroot "$RIG_ROOT"} "$RIG_SERVER" "$@"
}

# The prefix as seen from here.
rig_here() {
    echo "$RIG_ROOT$WINEPREFIX"
}

rig_aborts() {
    grep -c "$RIG_ABORTED" "$RIG_LOG" 2>/dev/null || true
}

# rig_step COMMAND...: a step of the rig, done again (and said so) after an
# emulator abort.
rig_step() {
    local try status before
    for try in $(seq "$RIG_STEP_TRIES"); do
        before=$(rig_aborts)
        status=0
        "$@" || status=$?
        if [ "$status" -lt 128 ] && { [ "$status" -eq 0 ] || [ "$(rig_aborts)" = "$before" ]; }; then
            return "$status"
        fi
        [ "$try" -lt "$RIG_STEP_TRIES" ] &&
            echo "rig: the emulator aborted a Wine process during '$*'; doing it again" >&2
    done
    return "$status"
}

# One attempt at a session; rig_session makes the attempts.
rig_setup() {
    local build=$1 driver=$2 here
    RIG_WINE=/usr/lib/wine/wine64
    [ "$RIG_ARCH" = arm32 ] && RIG_WINE=/usr/lib/wine/wine
    RIG_ROOT=$(mktemp -d "/tmp/cputemp-$RIG_ARCH-XXXXXX")
    RIG_MADE=$RIG_ROOT
    WINEPREFIX=/prefix
    # As the namespace's root may own nothing but its own files and make no
    # devices: the machine's /dev is bound over the root's.
    tar -C "$RIG_ROOT" --no-same-owner --exclude='./dev/*' -xf "$RIG_TARBALL" &&
        mount -t proc proc "$RIG_ROOT/proc" &&
        mount --rbind /dev "$RIG_ROOT/dev" || return 1
    export WINEPREFIX
    RIG_LOG=$RIG_MADE.log
    here=$(rig_here)
    mkdir -p "$here"
    rig_step rig_wine wineboot -i >/dev/null || return 1
    rig_server -w
    cp "$driver/sim/cputemp_sim.sys" "$here/drive_c/windows/system32/drivers/" || return 1
    # No display, and the driver's service: one import, where sc create would
    # be one more process for the emulator to abort.
    rig_import '[HKEY_CURRENT_USER\Software\Wine\Drivers]' '"Graphics"="null"' '' \
        '[HKEY_LOCAL_MACHINE\System\CurrentControlSet\Services\cputemp_sim]' \
        '"Type"=dword:00000001' '"Start"=dword:00000003' '"ErrorControl"=dword:00000001' \
        '"ImagePath"="C:\\windows\\system32\\drivers\\cputemp_sim.sys"' || return 1
    # The server saves the registry as it ends. Then one server for the
    # session, whose first program brings up services.exe and the rest, which
    # write to the session's log from then on.
    rig_server -k
    rig_server -w
    rig_server -p
    WINEDEBUG=-all ${RIG_ROOT:+chroot "$RIG_ROOT"} "$RIG_WINE" cmd /c exit 2>>"$RIG_LOG" || return 1
    mkdir -p "$here/drive_c/cputemp"
    # The stand-in list calls sit beside the .exe, where only this prefix loads them.
    cp "$build/cputemp.exe" "$build/sim/cfgmgr32.dll" "$driver/sim/cputemp-sim-register.exe" \
        "$driver/sim/cputemp-sim-probe.exe" "$here/drive_c/cputemp/" || return 1
    printf '@echo off\r\nC:\\cputemp\\cputemp.exe\r\necho exit=%%ERRORLEVEL%%\r\n' \
        >"$here/drive_c/cputemp/run.bat"
    rig_start
}

rig_session() {
    RIG_ARCH=$1
    RIG_FROM=("$2" "$3")
    RIG_BUILDS=0
    rig_build
}

# A fresh session, while the budget allows.
rig_build() {
    local started
    while [ "$RIG_BUILDS" -lt "$RIG_SESSION_TRIES" ]; do
        RIG_BUILDS=$((RIG_BUILDS + 1))
        RIG_PREPARED=
        started=$SECONDS
        if rig_setup "${RIG_FROM[@]}"; then
            echo "rig: $RIG_ARCH session ready in $((SECONDS - started)) s (session $RIG_BUILDS)"
            return 0
        fi
        rig_finish
        echo "rig: the $RIG_ARCH session could not be set up (session $RIG_BUILDS)"
    done
    echo "rig: no $RIG_ARCH session could be set up in $RIG_SESSION_TRIES attempts"
    return 1
}

rig_prepare() {
    local key=$1 setup=$2
    shift 2
    while :; do
        if { [ "$RIG_PREPARED" = "$key" ] || { rig_reset && "$setup"; }; } && rig_params "$@"; then
            RIG_PREPARED=$key
            return 0
        fi
        echo "rig: the driver could not be set up for '$key'; building a fresh session"
        rig_finish
        rig_build || return 1
    done
}

# The service's state; fails when sc says none.
rig_query() {
    local state
    state=$(rig_wine sc query "$RIG_SERVICE" | tr -d '\r' | awk '/STATE/ { print $4 }') &&
        [ -n "$state" ] && echo "$state"
}

# rig_settle STATE: sc start and stop return before the driver has settled;
# wait for it, while it is pending. An emulated Wine process takes seconds to
# start.
rig_settle() {
    local want=$1 deadline=$((SECONDS + 60)) aborts other=0 state
    aborts=$(rig_aborts)
    while [ "$SECONDS" -lt "$deadline" ]; do
        state=$(rig_step rig_query) || state=
        [ "$state" = "$want" ] && return 0
        # Settled the other way (its host aborted, or the request lost): no
        # use waiting.
        case $state in RUNNING | STOPPED) other=$((other + 1)) ;; esac
        [ "$other" -lt 3 ] && [ "$(rig_aborts)" = "$aborts" ] || break
        sleep 0.25
    done
    echo "rig: $RIG_SERVICE did not reach $want (state: ${state:-unknown})" >&2
    return 1
}

# sc's own failure (already running, already stopped) is no matter: the state
# tells. An aborted sc asked nothing.
rig_start_once() {
    local status=0
    rig_wine sc start "$RIG_SERVICE" >/dev/null || status=$?
    [ "$status" -lt 128 ] || return "$status"
    rig_settle RUNNING
}

rig_stop_once() {
    local status=0
    [ "$(rig_step rig_query)" = STOPPED ] && return 0
    rig_wine sc stop "$RIG_SERVICE" >/dev/null || status=$?
    [ "$status" -lt 128 ] || return "$status"
    rig_settle STOPPED
}

rig_start() {
    rig_step rig_start_once
}

rig_stop() {
    rig_step rig_stop_once
}

# rig_import LINE...: one registry import, a line each.
rig_import() {
    printf '%s\r\n' REGEDIT4 '' "$@" '' >"$(rig_here)/drive_c/rig.reg" &&
        rig_step rig_wine regedit /S 'C:\rig.reg'
}

rig_reset() {
    rig_stop || return 1
    RIG_PREPARED=
    rig_import "[-$RIG_CLASS]" "[-$RIG_DEVICES]" "[-$RIG_PARAMETERS]"
}

# rig_params [NAME=VALUE...]: the driver's Parameters, every other one at its
# default, and the request count at 0.
rig_params() {
    local reading=3181 fail=0 pair
    for pair in "$@"; do
        case $pair in
        Reading=*) reading=${pair#*=} ;;
        FailStatus=*) fail=${pair#*=} ;;
        *) echo "rig: no parameter ${pair%%=*}" >&2; return 1 ;;
        esac
    done
    rig_import "[$RIG_PARAMETERS]" "$(printf '"Reading"=dword:%08x' "$reading")" \
        "$(printf '"FailStatus"=dword:%08x' "$fail")" '"Requests"=dword:00000000'
}

rig_register_once() {
    local path
    path=$(rig_wine 'C:\cputemp\cputemp-sim-register.exe' "$@" | tr -d '\r') && [ -n "$path" ] &&
        echo "$path"
}

rig_register() {
    rig_step rig_register_once "$@"
}

rig_requests_once() {
    local value
    value=$(rig_wine reg query "${RIG_PARAMETERS/HKEY_LOCAL_MACHINE/HKLM}" /v Requests |
        tr -d '\r' | awk '/Requests/ { print $3 }') && [ -n "$value" ] && echo $((value))
}

rig_requests() {
    rig_step rig_requests_once
}

rig_probe() {
    rig_wine 'C:\cputemp\cputemp-sim-probe.exe' "$1" | tr -d '\r'
}

rig_run() {
    rig_wine cmd /c 'C:\cputemp\run.bat'
}

rig_finish() {
    [ -n "$RIG_MADE" ] || return 0
    rig_server -k 2>/dev/null || true
    if [ -n "$RIG_ROOT" ]; then
        # Detached whole: in a user namespace the mounts under /dev are locked
        # to it and cannot be unmounted one by one.
        umount "$RIG_ROOT/proc" 2>/dev/null || true
        umount -l "$RIG_ROOT/dev" 2>/dev/null || true
    fi
    # Never into a mount that outlived its umount: the root's /dev is the machine's.
    rm -rf --one-file-system "$RIG_MADE" "$RIG_LOG" ||
        echo "rig: $RIG_MADE could not be removed whole" >&2
    RIG_MADE=
    RIG_ROOT=
}
