// Configuration Manager's interface list for the CPU thermal class. Its
// interfaces are those of the first tier that has any: the CPU channels of the
// hwmon chips, else the CPU thermal zones. A sensor the user names replaces both.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>

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

// UTF-8 to UTF-16 units; Out may be null to count them. False for text that is
// not UTF-8, overlong forms and surrogates included.
bool Utf16FromUtf8(const char* Text, WCHAR* Out, std::size_t* Units)
{
    std::size_t units = 0;
    for (const auto* c = reinterpret_cast<const unsigned char*>(Text); *c != 0;) {
        unsigned int code = *c;
        std::size_t more = 0;
        unsigned int least = 0;
        if (code >= 0xF0 && code <= 0xF4) {
            code &= 0x07;
            more = 3;
            least = 0x10000;
        } else if (code >= 0xE0 && code <= 0xEF) {
            code &= 0x0F;
            more = 2;
            least = 0x800;
        } else if (code >= 0xC2 && code <= 0xDF) {
            code &= 0x1F;
            more = 1;
            least = 0x80;
        } else if (code >= 0x80) {
            return false;
        }
        ++c;
        for (std::size_t i = 0; i < more; ++i, ++c) {
            if ((*c & 0xC0) != 0x80) {
                return false;
            }
            code = (code << 6) | (*c & 0x3Fu);
        }
        if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
            return false;
        }
        if (code >= 0x10000) {
            if (Out != nullptr) {
                Out[units] = static_cast<WCHAR>(0xD800 + ((code - 0x10000) >> 10));
                Out[units + 1] = static_cast<WCHAR>(0xDC00 + ((code - 0x10000) & 0x3FF));
            }
            units += 2;
        } else {
            if (Out != nullptr) {
                Out[units] = static_cast<WCHAR>(code);
            }
            ++units;
        }
    }
    *Units = units;
    return true;
}

// The user's sensor is an interface when it can be what CreateFileW opens: a
// temperature file, or a directory holding one named temp (a zone).
bool SensorExists(const char* Path)
{
    struct stat st;
    if (stat(Path, &st) != 0) {
        return false;
    }
    if (!S_ISDIR(st.st_mode)) {
        return true;
    }
    char temp[PATH_CAP + sizeof("/temp")];
    snprintf(temp, sizeof(temp), "%s/temp", Path);
    return access(temp, F_OK) == 0;
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
        if (Utf16FromUtf8(Sources->Override, nullptr, &units) && SensorExists(Sources->Override)) {
            AppendPath(&paths, Sources->Override, nullptr, nullptr);
        }
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
