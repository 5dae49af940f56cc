// The Linux platform layer: the CPU thermal interface class served from the
// kernel's hwmon chips and thermal zones. Internal to the layer and its tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include <dirent.h>

#include "platform/linux/win_codes.h"

// Where the kernel lists its sensor chips and its thermal zones.
constexpr char HWMON_CLASS_ROOT[] = "/sys/class/hwmon";
constexpr char THERMAL_CLASS_ROOT[] = "/sys/class/thermal";
// Names the one sensor to read, where the rules cannot choose.
constexpr char SENSOR_VARIABLE[] = "CPUTEMP_SENSOR";
// Longest file path the layer builds, terminator included (Linux's PATH_MAX).
constexpr std::size_t PATH_CAP = 4096;

// Where the interfaces of the CPU thermal class come from: the user's sensor
// when Override is not null, else the CPU chips under HwmonRoot, else the CPU
// zones under ThermalRoot.
struct SensorSources {
    const char* HwmonRoot;
    const char* ThermalRoot;
    const char* Override;
};

// Interface paths as UTF-8, each NUL-terminated, in a heap block that grows.
struct PathList {
    char* Text;
    std::size_t Length; // bytes in use, terminators included
    std::size_t Capacity;
    std::size_t Count;
    bool OutOfMemory; // set once a path could not be added
};

// Appends Directory, Directory/Name or Directory/Name/Leaf: the parts up to the
// first null one.
void AppendPath(PathList* List, const char* Directory, const char* Name, const char* Leaf);
void FreePathList(PathList* List);

// The entries of a directory, read straight from the descriptor the caller
// opened (and goes on using for openat): no DIR and its extra system calls.
struct Listing {
    int Fd;
    std::size_t Used; // bytes of entries in Buffer
    std::size_t At;   // the next entry's offset in Buffer
    alignas(dirent64) char Buffer[8192];
};
void StartListing(Listing* List, int DirectoryFd);
// The next entry's name, or null at the end or on an error.
const char* NextEntry(Listing* List);

// Appends one item to the malloc'd array *Items of *Count, growing it by
// doubling; null, and nothing changed, when memory ran out.
template <class Item> Item* AddItem(Item** Items, std::size_t* Count, std::size_t* Capacity)
{
    if (*Count == *Capacity) {
        const std::size_t grown = *Capacity == 0 ? 16 : *Capacity * 2;
        auto* more = static_cast<Item*>(realloc(*Items, grown * sizeof(Item)));
        if (more == nullptr) {
            return nullptr;
        }
        *Items = more;
        *Capacity = grown;
    }
    return &(*Items)[(*Count)++];
}

// A directory's entries <Prefix><N>, N decimal, in ascending N (ties by name).
struct IndexedEntry {
    unsigned long long Number;
    char Name[32];
};
// *Entries is malloc'd and the caller frees it; a directory that cannot be
// opened has none. False only when memory ran out.
bool ListIndexedEntries(int DirectoryFd, const char* Prefix, IndexedEntry** Entries,
                        std::size_t* Count);
// <Prefix><N><Suffix> with N of 1 to 19 decimal digits (the kernel's are ints).
bool ParseIndexedName(const char* Name, const char* Prefix, const char* Suffix,
                      unsigned long long* Number);

// A small attribute file's whole text, read in one go as sysfs serves it. False
// when it cannot be opened or read, or does not fit in Capacity bytes.
bool ReadAttributeText(int DirectoryFd, const char* Relative, char* Text, std::size_t Capacity,
                       std::size_t* Length);
// The text's length without one trailing newline.
std::size_t WithoutNewline(const char* Text, std::size_t Length);

// Tier 1: the CPU channel of each recognised hwmon chip under Root, in
// ascending chip number, as paths of tempK_input files.
void ListCpuChips(const char* Root, PathList* List);
// Tier 2: the CPU zones under Root, in ascending zone number, as zone paths.
void ListCpuZones(const char* Root, PathList* List);

// Whether a zone's `type` text names a CPU sensor: with one trailing newline
// removed and compared case-insensitively, it contains "cpu", starts with "soc",
// "package", "bigcore", "littlecore" or "cluster", or is "x86_pkg_temp".
bool IsCpuZoneType(const char* Text, std::size_t Length);

// How a chip's temperature channels rank as the CPU reading: 0 is the best, a
// higher rank is taken only when no channel ranks better, and NOT_CPU never.
constexpr int NOT_CPU = -1;
// Null when the chip's name (without its newline) is not a CPU chip's.
struct CpuChipRule;
const CpuChipRule* FindCpuChipRule(const char* Name, std::size_t Length);
int RankChannelLabel(const CpuChipRule* Rule, const char* Label, std::size_t Length);

// The interface list as CM_Get_Device_Interface_ListW lays it out, in a malloc'd
// block of *ListCch units that the caller frees.
CONFIGRET BuildInterfaceList(const SensorSources* Sources, WCHAR** List, ULONG* ListCch);
// The size query and the list query over Sources; see interface_list.cpp for how
// the two share one scan.
CONFIGRET QueryInterfaceListSize(const SensorSources* Sources, ULONG* ListCch);
CONFIGRET QueryInterfaceList(const SensorSources* Sources, WCHAR* Buffer, ULONG BufferCch);

// A temperature file's text, fed in pieces as it is read: an optional '-',
// decimal digits and an optional final newline, in millidegrees Celsius.
struct TemperatureText {
    std::int64_t Magnitude; // saturates far above anything that fits a reading
    std::size_t Length;
    bool Negative;
    bool HasDigits;
    bool HasNewline;
    bool Malformed;
};

void ScanTemperatureText(TemperatureText* Text, const char* Bytes, std::size_t Count);

// Tenths of a kelvin, (millidegrees + 273150) / 100, or ERROR_INVALID_DATA for a
// malformed text, a value below absolute zero or a reading beyond 32 bits.
DWORD ReadingFromTemperatureText(const TemperatureText* Text, ULONG* Reading);

// The Windows error a failed open(2) or read(2) stands for.
DWORD ErrorFromOpenErrno(int Errno);
DWORD ErrorFromReadErrno(int Errno);
