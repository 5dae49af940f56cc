// Configuration Manager's interface list for the CPU thermal class. Its
// interfaces are those of the first tier that has any: the CPU packages of the
// hwmon chips, else of the CPU thermal zones. A sensor the user names replaces both.
#include <cerrno>
#include <cstdint>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/linux/thermal.h"

namespace {

// Whether the kept table is the size query's scan, not yet served. Windows
// callers ask for the size, allocate, then ask for the list; one walk of /sys
// serves both, and the list served is the one whose size was given. A list
// query with none pending scans afresh.
thread_local bool ScanPending = false;

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

} // namespace

// The user's path, decided on the objects themselves: a regular file, a
// directory holding a regular temp (a zone), or else a chip's directory. A
// device, a FIFO or a socket is never opened for reading: opening some acts
// (a pty is made, a serial line raises DTR, a watchdog arms, a FIFO's writer
// is let go). The opens repeat the checks (OpenRegular): the object read is
// the object checked.
void AddUserSensor(const char* Path, InterfaceTable* Table)
{
    std::size_t units = 0;
    if (!Utf16FromUtf8(Path, nullptr, &units)) {
        return;
    }
    const int object = open(Path, O_PATH | O_CLOEXEC);
    if (object < 0) {
        Table->OutOfMemory = Exhausted(errno);
        return;
    }
    struct stat st;
    if (fstat(object, &st) != 0) {
        Table->OutOfMemory = Exhausted(errno);
    } else if (S_ISREG(st.st_mode)) {
        AddInterface(Table, Path, CHECKED);
        AddInterfaceMember(Table, Path);
    } else if (S_ISDIR(st.st_mode)) {
        const int temp = openat(object, "temp", O_PATH | O_CLOEXEC);
        if (temp >= 0) {
            char member[PATH_CAP];
            if (fstat(temp, &st) == 0 && S_ISREG(st.st_mode) && JoinPath(member, Path, "/temp")) {
                AddInterface(Table, Path, CHECKED);
                AddInterfaceMember(Table, member);
            }
            close(temp);
        } else if (Exhausted(errno)) {
            Table->OutOfMemory = true;
        } else {
            AddChipDirectory(Path, Table);
        }
    }
    close(object);
}

namespace {

// The length of the list of Table's names in UTF-16 units, terminators
// included. Every name is UTF-8: sysfs names are ASCII and the user's was checked.
unsigned long long ListUnits(const InterfaceTable& Table)
{
    unsigned long long total = 1; // the list's final NUL
    for (std::size_t i = 0; i < Table.Count; ++i) {
        std::size_t units = 0;
        Utf16FromUtf8(Table.Text + Table.Items[i].Name, nullptr, &units);
        total += units + 1;
    }
    return total;
}

// Scans Sources into the kept table, in place of the one kept before; the
// list's length in units, terminators included.
CONFIGRET Scan(const SensorSources* Sources, ULONG* ListCch)
{
    DropKeptInterfaces();
    InterfaceTable table{};
    if (Sources->Override != nullptr) {
        AddUserSensor(Sources->Override, &table);
    } else {
        ListCpuChips(Sources->HwmonRoot, Sources->CpuRoot, &table);
        if (table.Count == 0 && !table.OutOfMemory) {
            ListCpuZones(Sources->ThermalRoot, &table);
        }
    }
    const unsigned long long total = ListUnits(table);
    // A length must fit the ULONG it is reported in, and its bytes a size_t.
    if (table.OutOfMemory || total > 0xFFFFFFFFULL || total > SIZE_MAX / sizeof(WCHAR)) {
        FreeInterfaceTable(&table);
        return CR_OUT_OF_MEMORY;
    }
    KeepInterfaces(&table);
    *ListCch = static_cast<ULONG>(total);
    return CR_SUCCESS;
}

} // namespace

CONFIGRET QueryInterfaceListSize(const SensorSources* Sources, ULONG* ListCch)
{
    const CONFIGRET result = Scan(Sources, ListCch);
    ScanPending = result == CR_SUCCESS;
    return result;
}

CONFIGRET QueryInterfaceList(const SensorSources* Sources, WCHAR* Buffer, ULONG BufferCch)
{
    ULONG listCch = 0;
    if (!ScanPending) {
        const CONFIGRET result = Scan(Sources, &listCch);
        if (result != CR_SUCCESS) {
            return result;
        }
    }
    ScanPending = false;
    const InterfaceTable* table = KeptInterfaces();
    if (BufferCch < ListUnits(*table)) {
        return CR_BUFFER_SMALL;
    }
    WCHAR* out = Buffer;
    for (std::size_t i = 0; i < table->Count; ++i) {
        std::size_t units = 0;
        Utf16FromUtf8(table->Text + table->Items[i].Name, out, &units);
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
