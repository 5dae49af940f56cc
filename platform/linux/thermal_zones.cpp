// Configuration Manager's interface list, served from the thermal zones: the
// interfaces of the CPU thermal class are the zones whose type names a CPU
// sensor, and an interface's path is its zone's directory.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "discovery/discovery.h"
#include "platform/linux/thermal.h"

namespace {

constexpr char ZONE_PREFIX[] = "thermal_zone";
constexpr std::size_t ZONE_PREFIX_LEN = sizeof(ZONE_PREFIX) - 1;
// Zone numbers beyond 19 digits cannot be ordered in 64 bits; the kernel's are ints.
constexpr std::size_t ZONE_NUMBER_MAX_DIGITS = 19;
constexpr std::size_t ZONE_NAME_CAP = ZONE_PREFIX_LEN + ZONE_NUMBER_MAX_DIGITS + 1;
// The kernel caps a zone type at 20 characters; anything this long is not one.
constexpr std::size_t TYPE_TEXT_CAP = 256;

struct Zone {
    unsigned long long Number;
    char Name[ZONE_NAME_CAP];
};

char LowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool MatchesAt(const char* Text, std::size_t Length, std::size_t At, const char* Word)
{
    const std::size_t wordLength = strlen(Word);
    if (At > Length || Length - At < wordLength) {
        return false;
    }
    for (std::size_t i = 0; i < wordLength; ++i) {
        if (LowerAscii(Text[At + i]) != Word[i]) {
            return false;
        }
    }
    return true;
}

// thermal_zone<N>, N decimal: sets *Number.
bool ParseZoneName(const char* Name, unsigned long long* Number)
{
    if (strncmp(Name, ZONE_PREFIX, ZONE_PREFIX_LEN) != 0) {
        return false;
    }
    const char* digits = Name + ZONE_PREFIX_LEN;
    const std::size_t count = strlen(digits);
    if (count == 0 || count > ZONE_NUMBER_MAX_DIGITS) {
        return false;
    }
    unsigned long long value = 0;
    for (std::size_t i = 0; i < count; ++i) {
        if (digits[i] < '0' || digits[i] > '9') {
            return false;
        }
        value = value * 10 + static_cast<unsigned long long>(digits[i] - '0');
    }
    *Number = value;
    return true;
}

bool JoinPath(char (&Out)[PATH_CAP], const char* Directory, const char* Name, const char* Leaf)
{
    const int n = Leaf != nullptr ? snprintf(Out, PATH_CAP, "%s/%s/%s", Directory, Name, Leaf)
                                  : snprintf(Out, PATH_CAP, "%s/%s", Directory, Name);
    return n > 0 && static_cast<std::size_t>(n) < PATH_CAP;
}

bool IsCpuZone(const char* Root, const char* Name)
{
    char path[PATH_CAP];
    struct stat st;
    if (!JoinPath(path, Root, Name, nullptr) || stat(path, &st) != 0 || !S_ISDIR(st.st_mode)) {
        return false;
    }
    if (!JoinPath(path, Root, Name, "type")) {
        return false;
    }
    const int fd = open(path, O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        return false;
    }
    char text[TYPE_TEXT_CAP];
    std::size_t length = 0;
    bool complete = false;
    while (length < sizeof(text)) {
        const ssize_t got = read(fd, text + length, sizeof(text) - length);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            complete = got == 0;
            break;
        }
        length += static_cast<std::size_t>(got);
    }
    close(fd);
    return complete && IsCpuZoneType(text, length);
}

int CompareZones(const void* a, const void* b)
{
    const Zone* left = static_cast<const Zone*>(a);
    const Zone* right = static_cast<const Zone*>(b);
    if (left->Number != right->Number) {
        return left->Number < right->Number ? -1 : 1;
    }
    return strcmp(left->Name, right->Name); // thermal_zone7 and thermal_zone07
}

// The CPU zones under Root, sorted; *Zones is malloc'd and the caller frees it.
// An unreadable or missing tree has none.
bool CollectCpuZones(const char* Root, Zone** Zones, std::size_t* Count)
{
    *Zones = nullptr;
    *Count = 0;
    DIR* directory = opendir(Root);
    if (directory == nullptr) {
        return true;
    }
    std::size_t capacity = 0;
    bool ok = true;
    for (const dirent* entry = readdir(directory); entry != nullptr; entry = readdir(directory)) {
        unsigned long long number = 0;
        if (!ParseZoneName(entry->d_name, &number) || !IsCpuZone(Root, entry->d_name)) {
            continue;
        }
        if (*Count == capacity) {
            const std::size_t grown = capacity == 0 ? 8 : capacity * 2;
            Zone* more = static_cast<Zone*>(realloc(*Zones, grown * sizeof(Zone)));
            if (more == nullptr) {
                ok = false;
                break;
            }
            *Zones = more;
            capacity = grown;
        }
        Zone* zone = &(*Zones)[(*Count)++];
        zone->Number = number;
        // ParseZoneName bounds the name to fit.
        memcpy(zone->Name, entry->d_name, strlen(entry->d_name) + 1);
    }
    closedir(directory);
    if (!ok) {
        free(*Zones);
        *Zones = nullptr;
        *Count = 0;
        return false;
    }
    if (*Count > 1) {
        qsort(*Zones, *Count, sizeof(Zone), CompareZones);
    }
    return true;
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

} // namespace

bool IsCpuZoneType(const char* Text, std::size_t Length)
{
    if (Length > 0 && Text[Length - 1] == '\n') {
        --Length;
    }
    if (MatchesAt(Text, Length, 0, "soc") ||
        (Length == strlen("x86_pkg_temp") && MatchesAt(Text, Length, 0, "x86_pkg_temp"))) {
        return true;
    }
    for (std::size_t at = 0; at < Length; ++at) {
        if (MatchesAt(Text, Length, at, "cpu")) {
            return true;
        }
    }
    return false;
}

CONFIGRET ListCpuZones(const char* Root, WCHAR* Buffer, ULONG BufferCch, ULONG* NeededCch)
{
    Zone* zones = nullptr;
    std::size_t count = 0;
    if (!CollectCpuZones(Root, &zones, &count)) {
        return CR_OUT_OF_MEMORY;
    }
    const std::size_t rootLength = strlen(Root);
    unsigned long long needed = 1; // the list's final NUL
    for (std::size_t i = 0; i < count; ++i) {
        needed += rootLength + 1 + strlen(zones[i].Name) + 1;
    }
    CONFIGRET result = CR_SUCCESS;
    if (needed > 0xFFFFFFFFULL) {
        result = CR_OUT_OF_MEMORY;
    } else {
        *NeededCch = static_cast<ULONG>(needed);
        if (Buffer != nullptr && BufferCch < needed) {
            result = CR_BUFFER_SMALL;
        } else if (Buffer != nullptr) {
            // Zone paths are ASCII: the root is ours and zone names are digits.
            WCHAR* out = Buffer;
            for (std::size_t i = 0; i < count; ++i) {
                for (const char* c = Root; *c != 0; ++c) {
                    *out++ = static_cast<WCHAR>(static_cast<unsigned char>(*c));
                }
                *out++ = u'/';
                for (const char* c = zones[i].Name; *c != 0; ++c) {
                    *out++ = static_cast<WCHAR>(*c);
                }
                *out++ = 0;
            }
            *out = 0;
        }
    }
    free(zones);
    return result;
}

CONFIGRET CM_Get_Device_Interface_List_SizeW(PULONG pulLen, LPGUID InterfaceClassGuid,
                                             DEVINSTID_W pDeviceID, ULONG ulFlags)
{
    if (pulLen == nullptr || InterfaceClassGuid == nullptr) {
        return CR_INVALID_POINTER;
    }
    *pulLen = 0;
    if ((ulFlags & ~KNOWN_LIST_FLAGS) != 0) {
        return CR_INVALID_FLAG;
    }
    if (HasDeviceFilter(pDeviceID)) {
        return CR_INVALID_DEVICE_ID; // zones have no device instances to filter by
    }
    if (!IsCpuThermalClass(InterfaceClassGuid)) {
        *pulLen = 1;
        return CR_SUCCESS;
    }
    return ListCpuZones(THERMAL_CLASS_ROOT, nullptr, 0, pulLen);
}

CONFIGRET CM_Get_Device_Interface_ListW(LPGUID InterfaceClassGuid, DEVINSTID_W pDeviceID,
                                        PZZWSTR Buffer, ULONG BufferLen, ULONG ulFlags)
{
    if (InterfaceClassGuid == nullptr || Buffer == nullptr) {
        return CR_INVALID_POINTER;
    }
    if ((ulFlags & ~KNOWN_LIST_FLAGS) != 0) {
        return CR_INVALID_FLAG;
    }
    if (HasDeviceFilter(pDeviceID)) {
        return CR_INVALID_DEVICE_ID;
    }
    if (!IsCpuThermalClass(InterfaceClassGuid)) {
        if (BufferLen < 1) {
            return CR_BUFFER_SMALL;
        }
        Buffer[0] = 0;
        return CR_SUCCESS;
    }
    ULONG needed = 0;
    return ListCpuZones(THERMAL_CLASS_ROOT, Buffer, BufferLen, &needed);
}
