# Sourced: sets up a throw-away Wine prefix in which cputemp.exe finds the
# simulated thermal driver, and drives it. Needs wine64 (and wine32 for the x86
# build) and the mingw-x64 and mingw-x86 builds.
#
#   rig_init PREFIX X64_BUILD_DIR X86_BUILD_DIR
#   rig_init_arm32 ROOT ARM32_BUILD_DIR   the same in ROOT, an armhf root with
#                                 Wine, run through qemu-arm (binfmt_misc)
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

# The root Wine runs in (chroot), for the emulated ARM32 Windows; empty: this one.
RIG_ROOT=
# How often a step of the rig (never a run of cputemp) is tried again after the
# emulator aborted it: qemu-arm sometimes kills a Wine process of its own accord.
RIG_RETRIES=0

rig_wine() {
    WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;cfgmgr32=n" \
        ${RIG_ROOT:+chroot "$RIG_ROOT"} "$RIG_WINE" "$@"
}

rig_server() {
    ${RIG_ROOT:+chroot "$RIG_ROOT"} "$RIG_SERVER" "$@"
}

# The prefix as seen from here.
rig_here() {
    echo "$RIG_ROOT$WINEPREFIX"
}

# rig_step COMMAND...: a step of the rig, tried again (and said so) when a
# signal ended it.
rig_step() {
    local tries=0 status
    while :; do
        status=0
        "$@" || status=$?
        if [ "$status" -lt 128 ] || [ "$tries" -ge "$RIG_RETRIES" ]; then
            return "$status"
        fi
        tries=$((tries + 1))
        echo "rig: the emulator aborted '$*' (status $status); trying again" >&2
    done
}

rig_init() {
    export WINEPREFIX=$1
    local x64=$2 x86=$3 arch
    mkdir -p "$WINEPREFIX"
    # A service started right after the prefix is made can race its set-up:
    # let wineboot finish, then keep one server up for the whole run.
    rig_wine wineboot -i >/dev/null 2>&1
    rig_server -w
    rig_server -p
    cp "$x64/sim/cputemp_sim.sys" "$(rig_here)/drive_c/windows/system32/drivers/"
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

rig_init_arm32() {
    RIG_ROOT=$1
    RIG_WINE=/usr/lib/wine/wine
    RIG_RETRIES=3
    export WINEPREFIX=/prefix
    local build=$2 here
    here=$(rig_here)
    mkdir -p "$here"
    rig_step rig_wine wineboot -i >/dev/null 2>&1 || return 1
    rig_server -w
    rig_server -p
    cp "$build/sim/cputemp_sim.sys" "$here/drive_c/windows/system32/drivers/" || return 1
    # One import instead of sc create, whose process the emulator aborts most
    # often: no display here, and the driver's service, which services.exe
    # starts with the session.
    printf '%s\r\n' 'REGEDIT4' '' '[HKEY_CURRENT_USER\Software\Wine\Drivers]' \
        '"Graphics"="null"' '' \
        '[HKEY_LOCAL_MACHINE\System\CurrentControlSet\Services\cputemp_sim]' \
        '"Type"=dword:00000001' '"Start"=dword:00000002' '"ErrorControl"=dword:00000001' \
        '"ImagePath"="C:\\windows\\system32\\drivers\\cputemp_sim.sys"' '' \
        >"$here/drive_c/setup.reg"
    rig_step rig_wine regedit /S 'C:\setup.reg' >/dev/null 2>&1 || return 1
    # services.exe reads its services when it starts: end this session (the
    # server saves the registry) so that the next one starts the driver.
    rig_server -k
    rig_server -w
    rig_server -p
    mkdir -p "$here/drive_c/cputemp/arm32"
    cp "$build/cputemp.exe" "$build/sim/cfgmgr32.dll" "$here/drive_c/cputemp/arm32/"
    printf '@echo off\r\nC:\\cputemp\\arm32\\cputemp.exe\r\necho exit=%%ERRORLEVEL%%\r\n' \
        >"$here/drive_c/cputemp/run-arm32.bat"
    cp "$build/sim/cputemp-sim-register.exe" "$build/sim/cputemp-sim-probe.exe" \
        "$here/drive_c/cputemp/"
}

rig_state() {
    rig_step rig_wine sc query "$RIG_SERVICE" | tr -d '\r' | awk '/STATE/ { print $4 }'
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
        rig_step rig_wine sc start "$RIG_SERVICE" >/dev/null 2>&1
        rig_wait_for RUNNING 2>/dev/null && return 0
        [ "$tries" -lt 5 ] && echo "rig: $RIG_SERVICE did not start; asking again" >&2
    done
    echo "rig: $RIG_SERVICE would not start (state: $(rig_state))" >&2
    return 1
}

rig_stop() {
    local tries
    for tries in 1 2 3; do
        [ "$(rig_state)" = STOPPED ] && return 0
        rig_step rig_wine sc stop "$RIG_SERVICE" >/dev/null 2>&1
        rig_wait_for STOPPED 2>/dev/null && return 0
        echo "rig: $RIG_SERVICE did not stop; asking again" >&2
    done
    echo "rig: $RIG_SERVICE would not stop (state: $(rig_state))" >&2
    return 1
}

rig_reset() {
    rig_stop
    rig_step rig_wine reg delete "$RIG_CLASS" /f >/dev/null 2>&1 || true
    rig_step rig_wine reg delete "$RIG_DEVICES" /f >/dev/null 2>&1 || true
    rig_step rig_wine reg delete "$RIG_PARAMETERS" /f >/dev/null 2>&1 || true
    rig_step rig_wine reg add "$RIG_PARAMETERS" /f >/dev/null
}

rig_register() {
    rig_step rig_wine 'C:\cputemp\cputemp-sim-register.exe' "$@" | tr -d '\r'
}

rig_param() {
    rig_step rig_wine reg add "$RIG_PARAMETERS" /v "$1" /t REG_DWORD /d "$2" /f >/dev/null
}

rig_requests() {
    local value
    value=$(rig_step rig_wine reg query "$RIG_PARAMETERS" /v Requests 2>/dev/null | tr -d '\r' |
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
    rig_server -k 2>/dev/null || true
    rm -rf "$(rig_here)"
}
