# Sourced: sets up a throw-away Wine prefix in which cputemp.exe finds the
# simulated thermal driver, and drives it. Needs wine64 (and wine32 for the x86
# build) and the mingw-x64 and mingw-x86 builds.
#
#   rig_init PREFIX X64_BUILD_DIR X86_BUILD_DIR
#   rig_reset                     stop the driver, forget every registration
#   rig_register [REFERENCE]      register one interface; prints its path
#   rig_param NAME VALUE          a REG_DWORD in the driver's Parameters
#   rig_start / rig_stop          the driver service
#   rig_run ARCH                  run the x64 or x86 cputemp.exe through cmd,
#                                 printing its output, then "exit=<code>"
#   rig_requests                  device control requests the driver has seen
#   rig_probe PATH                the driver's answers to requests cputemp never makes
#   rig_finish                    stop Wine and remove the prefix

RIG_WINE=/usr/lib/wine/wine64
RIG_SERVER=/usr/lib/wine/wineserver
RIG_SERVICE=cputemp_sim
RIG_PARAMETERS='HKLM\System\CurrentControlSet\Services\cputemp_sim\Parameters'
RIG_CLASS='HKLM\System\CurrentControlSet\Control\DeviceClasses\{c5a3f341-e8a3-4579-9e09-db61b3a39c1e}'
RIG_DEVICES='HKLM\System\CurrentControlSet\Enum\ROOT\CPUTEMPSIM'

rig_wine() {
    WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;cfgmgr32=n" "$RIG_WINE" "$@"
}

rig_init() {
    export WINEPREFIX=$1
    local x64=$2 x86=$3 arch
    mkdir -p "$WINEPREFIX"
    # A service started right after the prefix is made can race its set-up:
    # let wineboot finish, then keep one server up for the whole run.
    rig_wine wineboot -i >/dev/null 2>&1
    "$RIG_SERVER" -w
    "$RIG_SERVER" -p
    cp "$x64/sim/cputemp_sim.sys" "$WINEPREFIX/drive_c/windows/system32/drivers/"
    rig_wine sc create "$RIG_SERVICE" type= kernel \
        binPath= 'C:\windows\system32\drivers\cputemp_sim.sys' >/dev/null
    for arch in x64 x86; do
        local from=$x64
        [ "$arch" = x86 ] && from=$x86
        mkdir -p "$WINEPREFIX/drive_c/cputemp/$arch"
        # The stand-in list calls sit beside the .exe, where only this prefix loads them.
        cp "$from/cputemp.exe" "$from/sim/cfgmgr32.dll" "$WINEPREFIX/drive_c/cputemp/$arch/"
        printf '@echo off\r\nC:\\cputemp\\%s\\cputemp.exe\r\necho exit=%%ERRORLEVEL%%\r\n' \
            "$arch" >"$WINEPREFIX/drive_c/cputemp/run-$arch.bat"
    done
    cp "$x64/sim/cputemp-sim-register.exe" "$x64/sim/cputemp-sim-probe.exe" \
        "$WINEPREFIX/drive_c/cputemp/"
}

rig_state() {
    rig_wine sc query "$RIG_SERVICE" | tr -d '\r' | awk '/STATE/ { print $4 }'
}

# sc start and stop return before the service has settled; wait for it.
rig_wait_for() {
    local want=$1 tries
    for tries in $(seq 40); do
        [ "$(rig_state)" = "$want" ] && return 0
        sleep 0.25
    done
    echo "rig: $RIG_SERVICE did not reach $want" >&2
    return 1
}

rig_start() {
    local tries
    for tries in 1 2 3 4 5; do
        rig_wine sc start "$RIG_SERVICE" >/dev/null 2>&1
        rig_wait_for RUNNING 2>/dev/null && return 0
    done
    echo "rig: $RIG_SERVICE would not start" >&2
    return 1
}

rig_stop() {
    [ "$(rig_state)" = STOPPED ] && return 0
    rig_wine sc stop "$RIG_SERVICE" >/dev/null 2>&1
    rig_wait_for STOPPED
}

rig_reset() {
    rig_stop
    rig_wine reg delete "$RIG_CLASS" /f >/dev/null 2>&1 || true
    rig_wine reg delete "$RIG_DEVICES" /f >/dev/null 2>&1 || true
    rig_wine reg delete "$RIG_PARAMETERS" /f >/dev/null 2>&1 || true
    rig_wine reg add "$RIG_PARAMETERS" /f >/dev/null
}

rig_register() {
    rig_wine 'C:\cputemp\cputemp-sim-register.exe' "$@" | tr -d '\r'
}

rig_param() {
    rig_wine reg add "$RIG_PARAMETERS" /v "$1" /t REG_DWORD /d "$2" /f >/dev/null
}

rig_requests() {
    local value
    value=$(rig_wine reg query "$RIG_PARAMETERS" /v Requests 2>/dev/null | tr -d '\r' |
        awk '/Requests/ { print $3 }')
    echo $((${value:-0}))
}

rig_probe() {
    rig_wine 'C:\cputemp\cputemp-sim-probe.exe' "$1" | tr -d '\r'
}

rig_run() {
    rig_wine cmd /c "C:\\cputemp\\run-$1.bat"
}

rig_finish() {
    rig_stop >/dev/null 2>&1 || true
    "$RIG_SERVER" -k 2>/dev/null || true
    rm -rf "$WINEPREFIX"
}
