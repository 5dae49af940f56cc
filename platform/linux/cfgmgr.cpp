// The Configuration Manager's two calls for the CPU thermal class: the list's
// size and the list. Its interfaces are those of the first tier that has any:
// the CPU packages of the hwmon chips, else of the CPU thermal zones. A sensor
// the user names replaces both. The size query's scan serves the list query
// after it, so that the list handed over is the one whose size was given.
#include <stdint.h>
#include <string.h>

#include "platform/linux/thermal.h"

namespace {

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
            sensor != nullptr && sensor[0] != 0 ? sensor : nullptr, CPU_TOPOLOGY_ROOT};
}

// The length of the list of Table's names in UTF-16 units, terminators
// included. Every name is UTF-8: sysfs names are ASCII and the user's was checked.
unsigned long long ListUnits(const InterfaceTable& Table)
{
    unsigned long long total = 1; // the list's final NUL
    for (size_t i = 0; i < Table.Count; ++i) {
        size_t units = 0;
        Utf16FromUtf8(NameOf(Table, Table.Items[i]), nullptr, &units);
        total += units + 1;
    }
    return total;
}

// Scans Sources and keeps the scan, in place of the one kept before; the
// list's length in units, terminators included. A scan that fails keeps none.
CONFIGRET Scan(const SensorSources* Sources, ULONG* ListCch)
{
    DropScan();
    InterfaceTable table{};
    if (Sources->Override != nullptr) {
        AddUserSensor(Sources->Override, &table);
    } else {
        ListCpuChips(Sources->HwmonRoot, Sources->CpuRoot, &table);
        if (table.Count == 0 && !table.Exhausted) {
            ListCpuZones(Sources->ThermalRoot, &table);
        }
    }
    const unsigned long long total = ListUnits(table);
    // A length must fit the ULONG it is reported in, and its bytes a size_t.
    if (table.Exhausted || total > 0xFFFFFFFFULL || total > SIZE_MAX / sizeof(WCHAR)) {
        FreeInterfaceTable(&table);
        return CR_OUT_OF_MEMORY;
    }
    KeepScan(&table);
    *ListCch = static_cast<ULONG>(total);
    return CR_SUCCESS;
}

} // namespace

CONFIGRET QueryInterfaceListSize(const SensorSources* Sources, ULONG* ListCch)
{
    return Scan(Sources, ListCch);
}

CONFIGRET QueryInterfaceList(const SensorSources* Sources, WCHAR* Buffer, ULONG BufferCch)
{
    // A list query with no scan pending scans afresh.
    ULONG listCch = 0;
    if (!TakePendingScan()) {
        const CONFIGRET result = Scan(Sources, &listCch);
        if (result != CR_SUCCESS) {
            return result;
        }
        TakePendingScan(); // served now
    }
    const InterfaceTable& table = KeptScan();
    if (BufferCch < ListUnits(table)) {
        return CR_BUFFER_SMALL;
    }
    WCHAR* out = Buffer;
    for (size_t i = 0; i < table.Count; ++i) {
        size_t units = 0;
        Utf16FromUtf8(NameOf(table, table.Items[i]), out, &units);
        out[units] = 0;
        out += units + 1;
    }
    *out = 0;
    return CR_SUCCESS;
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
