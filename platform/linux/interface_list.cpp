// Configuration Manager's interface list for the CPU thermal class. Its
// interfaces are those of the first tier that has any: the CPU packages of the
// hwmon chips, else of the CPU thermal zones. A sensor the user names replaces both.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <sys/stat.h>

#include "platform/linux/thermal.h"

namespace {

// The list the size query built, for the list query that follows it on the same
// thread. Windows callers ask for the size, allocate, then ask for the list; one
// walk of /sys serves both, and the list served is the one whose size was
// given. The list query takes it over and frees it; a list query with none
// pending scans afresh. Nothing is kept for an empty list.
thread_local WCHAR* PendingList = nullptr;
thread_local ULONG PendingCch = 0;

void DropPendingList()
{
    free(PendingList);
    PendingList = nullptr;
    PendingCch = 0;
}

// The user's sensor, when it can be what CreateFileW opens: a temperature
// file, a zone directory (holding temp), or a hwmon chip's directory, read as
// that chip's aggregate. Anything else, a device, a FIFO or a socket above
// all, is never opened: opening some acts (a pty is made, a serial line
// raises DTR, a watchdog arms).
void AddUserSensor(const char* Path, PathList* List)
{
    std::size_t units = 0;
    struct stat st;
    if (!Utf16FromUtf8(Path, nullptr, &units) || stat(Path, &st) != 0) {
        return;
    }
    if (S_ISREG(st.st_mode)) {
        AppendPath(List, Path);
        return;
    }
    if (!S_ISDIR(st.st_mode)) {
        return;
    }
    char temp[PATH_CAP + sizeof("/temp")];
    snprintf(temp, sizeof(temp), "%s/temp", Path);
    if (stat(temp, &st) == 0) {
        if (S_ISREG(st.st_mode)) {
            AppendPath(List, Path);
        }
        return;
    }
    AddChipDirectory(Path, List);
}

bool IsCpuThermalClass(const GUID* InterfaceClass)
{
    return memcmp(InterfaceClass, &CpuThermalInterfaceGuid, sizeof(GUID)) == 0;
}

bool HasDeviceFilter(const WCHAR* DeviceId)
{
    return DeviceId != nullptr && DeviceId[0] != 0;
}

constexpr ULONG KNOWN_LIST_FLAGS = CM_GET_DEVICE_INTERFACE_LIST_ALL_DEVICES;

CONFIGRET CheckArguments(const WCHAR* DeviceId, ULONG Flags)
{
    if ((Flags & ~KNOWN_LIST_FLAGS) != 0) {
        return CR_INVALID_FLAG;
    }
    // Sensors have no device instances to filter by.
    return HasDeviceFilter(DeviceId) ? CR_INVALID_DEVICE_ID : CR_SUCCESS;
}

SensorSources SystemSources()
{
    // Never from the environment of a set-user-ID or set-group-ID run, which
    // would make it a reader of files its user may not read.
    const char* sensor = secure_getenv(SENSOR_VARIABLE);
    return {HWMON_CLASS_ROOT, THERMAL_CLASS_ROOT,
            sensor != nullptr && sensor[0] != 0 ? sensor : nullptr};
}

} // namespace

CONFIGRET BuildInterfaceList(const SensorSources* Sources, WCHAR** List, ULONG* ListCch)
{
    *List = nullptr;
    *ListCch = 0;
    PathList paths{};
    std::size_t units = 0;
    if (Sources->Override != nullptr) {
        AddUserSensor(Sources->Override, &paths);
    } else {
        ListCpuChips(Sources->HwmonRoot, &paths);
        if (paths.Count == 0 && !paths.OutOfMemory) {
            ListCpuZones(Sources->ThermalRoot, &paths);
        }
    }
    if (paths.OutOfMemory) {
        FreePathList(&paths);
        return CR_OUT_OF_MEMORY;
    }

    // Every path is UTF-8: sysfs names are ASCII and the user's was checked.
    unsigned long long total = 1; // the list's final NUL
    for (std::size_t at = 0; at < paths.Length; at += strlen(paths.Text + at) + 1) {
        Utf16FromUtf8(paths.Text + at, nullptr, &units);
        total += units + 1;
    }
    // A length must fit the ULONG it is reported in, and its bytes a size_t.
    const bool fits = total <= 0xFFFFFFFFULL && total <= SIZE_MAX / sizeof(WCHAR);
    WCHAR* list = fits
                      ? static_cast<WCHAR*>(malloc(static_cast<std::size_t>(total) * sizeof(WCHAR)))
                      : nullptr;
    if (list == nullptr) {
        FreePathList(&paths);
        return CR_OUT_OF_MEMORY;
    }
    WCHAR* out = list;
    for (std::size_t at = 0; at < paths.Length; at += strlen(paths.Text + at) + 1) {
        Utf16FromUtf8(paths.Text + at, out, &units);
        out[units] = 0;
        out += units + 1;
    }
    *out = 0;
    FreePathList(&paths);
    *List = list;
    *ListCch = static_cast<ULONG>(total);
    return CR_SUCCESS;
}

CONFIGRET QueryInterfaceListSize(const SensorSources* Sources, ULONG* ListCch)
{
    DropPendingList();
    WCHAR* list = nullptr;
    const CONFIGRET result = BuildInterfaceList(Sources, &list, ListCch);
    if (result == CR_SUCCESS && *ListCch > 1) {
        PendingList = list;
        PendingCch = *ListCch;
    } else {
        free(list);
    }
    return result;
}

CONFIGRET QueryInterfaceList(const SensorSources* Sources, WCHAR* Buffer, ULONG BufferCch)
{
    WCHAR* list = PendingList;
    ULONG listCch = PendingCch;
    PendingList = nullptr;
    PendingCch = 0;
    if (list == nullptr) {
        const CONFIGRET result = BuildInterfaceList(Sources, &list, &listCch);
        if (result != CR_SUCCESS) {
            return result;
        }
    }
    CONFIGRET result = CR_SUCCESS;
    if (BufferCch < listCch) {
        result = CR_BUFFER_SMALL;
    } else {
        memcpy(Buffer, list, listCch * sizeof(WCHAR));
    }
    free(list);
    return result;
}

CONFIGRET CM_Get_Device_Interface_List_SizeW(PULONG pulLen, LPGUID InterfaceClassGuid,
                                             DEVINSTID_W pDeviceID, ULONG ulFlags)
{
    if (pulLen == nullptr || InterfaceClassGuid == nullptr) {
        return CR_INVALID_POINTER;
    }
    *pulLen = 0;
    const CONFIGRET checked = CheckArguments(pDeviceID, ulFlags);
    if (checked != CR_SUCCESS) {
        return checked;
    }
    if (!IsCpuThermalClass(InterfaceClassGuid)) {
        *pulLen = 1; // another class has no interfaces here
        return CR_SUCCESS;
    }
    const SensorSources sources = SystemSources();
    return QueryInterfaceListSize(&sources, pulLen);
}

CONFIGRET CM_Get_Device_Interface_ListW(LPGUID InterfaceClassGuid, DEVINSTID_W pDeviceID,
                                        PZZWSTR Buffer, ULONG BufferLen, ULONG ulFlags)
{
    if (InterfaceClassGuid == nullptr || Buffer == nullptr) {
        return CR_INVALID_POINTER;
    }
    const CONFIGRET checked = CheckArguments(pDeviceID, ulFlags);
    if (checked != CR_SUCCESS) {
        return checked;
    }
    if (!IsCpuThermalClass(InterfaceClassGuid)) {
        if (BufferLen < 1) {
            return CR_BUFFER_SMALL;
        }
        Buffer[0] = 0;
        return CR_SUCCESS;
    }
    const SensorSources sources = SystemSources();
    return QueryInterfaceList(&sources, Buffer, BufferLen);
}
