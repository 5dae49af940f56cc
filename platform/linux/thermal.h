// The Linux platform layer: the CPU thermal interface class served from the
// kernel's hwmon chips and thermal zones. An interface is one CPU package: a
// socket, or the one SoC of a board. Internal to the layer and its tests.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/linux/win_codes.h"

// Where the kernel lists its sensor chips and its thermal zones.
constexpr char HWMON_CLASS_ROOT[] = "/sys/class/hwmon";
constexpr char THERMAL_CLASS_ROOT[] = "/sys/class/thermal";
// Names the one sensor to read, where the rules cannot choose.
constexpr char SENSOR_VARIABLE[] = "CPUTEMP_SENSOR";
// Longest file path the layer builds, terminator included (Linux's PATH_MAX).
constexpr std::size_t PATH_CAP = 4096;
// Longest interface path the layer lists: what the core's path buffer holds.
constexpr std::size_t INTERFACE_PATH_MAX = 255;
// The most sensors one interface reads.
constexpr std::size_t MAX_MEMBERS = 64;
// Names, types and labels are a few words; a text that fills this is none.
constexpr std::size_t ATTRIBUTE_CAP = 128;

// ---- The catalogue (catalogue.cpp): which sensors are the CPU's.

// What a zone, or a channel that its firmware names, measures.
enum SensorClass {
    NOT_CPU,
    CPU_PACKAGE, // one package as a whole: an interface of its own
    CPU_CORES,   // a core or a cluster: together, the package's interface
    CPU_SOC,     // the SoC as a whole: the interface when no cores are named
};
// Type is the zone's type (or a firmware's channel label), compared without case.
SensorClass ClassifyZone(const char* Type);

// What a chip's channels stand for when none of them has a label.
enum Unlabelled { NONE_IS_CPU, TEMP1_IS_CPU, ALL_ARE_CPU };
// How a chip's channels map to packages.
enum Grouping {
    CHIP_PER_PACKAGE, // the chip's chosen channels are one interface
    CHIP_PER_CORE,    // every chip of the name together are one interface
    CHANNEL_PER_PACKAGE,
};
struct LabelRule;
struct ChipRule {
    const char* Name;
    const LabelRule* Labels; // in the order they are tried
    std::size_t LabelCount;
    bool LabelsLikeZones; // the firmware names its channels as trees name zones
    Unlabelled WhenUnlabelled;
    Grouping Group;
};
// The rule for a chip of this name, or null when its chip is not the CPU's.
const ChipRule* FindChipRule(const char* Name);
// How well a channel's label marks the CPU reading: 0 is the best, a higher
// rank is taken only when no channel ranks better, NOT_RANKED never. Several
// channels of one rank are read together (cores) or only the first of them
// counts (the package's own sensor): *Several says which.
constexpr int NOT_RANKED = -1;
int RankLabel(const ChipRule* Rule, const char* Label, bool* Several);

// ---- Reading sysfs (sysfs.cpp).

// A directory's entries <Prefix><N><Suffix>, N decimal as the kernel writes
// it (no leading zeros), in ascending N. *Entries is malloc'd and the caller
// frees it; a directory that cannot be read has none. False only when memory
// ran out.
struct IndexedEntry {
    unsigned long long Number;
    char Name[32];
};
bool ListIndexed(int DirectoryFd, const char* Prefix, const char* Suffix, IndexedEntry** Entries,
                 std::size_t* Count);

// A small attribute's text, read with one bounded read as sysfs serves it,
// without its one trailing newline: false when it cannot be opened or read,
// fills the buffer, or holds a NUL.
bool ReadAttribute(int DirectoryFd, const char* Relative, char (&Text)[ATTRIBUTE_CAP]);

// Interface paths as UTF-8, each NUL-terminated, in a heap block that grows.
struct PathList {
    char* Text;
    std::size_t Length; // bytes in use, terminators included
    std::size_t Capacity;
    std::size_t Count;
    bool OutOfMemory; // set once a path could not be added
};
void AppendPath(PathList* List, const char* Path);
// Head and Tail in Out; false when they do not fit.
bool JoinPath(char (&Out)[PATH_CAP], const char* Head, const char* Tail);
void FreePathList(PathList* List);

// The numbers of an interface's sensors (zones, channels, chips), ascending.
struct Members {
    unsigned long long Numbers[MAX_MEMBERS];
    std::size_t Count;
};
// Adds Number while there is room: the rest of a huge set is left out.
void AddMember(Members* Set, unsigned long long Number);

// An interface that reads several sensors at their hottest: "<Prefix>{2-5,9}<Suffix>"
// for <Prefix>2<Suffix> and the rest; one member is its plain path. Numbers
// ascend; members that would take the path beyond INTERFACE_PATH_MAX are left
// out, from the last. False when not even one fits PATH_CAP.
bool FormatMembers(char (&Path)[PATH_CAP], const char* Prefix, const unsigned long long* Numbers,
                   std::size_t Count, const char* Suffix);
// The members of such a path (its last brace group), or false when it has none.
struct MemberSet {
    std::size_t PrefixLength;
    const char* Suffix;
    unsigned long long Numbers[MAX_MEMBERS];
    std::size_t Count;
};
bool ParseMembers(const char* Path, MemberSet* Set);

// ---- The two tiers and the user's sensor.

// Tier 1: an interface per CPU package of the catalogued hwmon chips under Root.
void ListCpuChips(const char* Root, PathList* List);
// Tier 2: the CPU zones under Root: each package zone, else the cores and
// clusters together, else the SoC zones together.
void ListCpuZones(const char* Root, PathList* List);
// A chip directory the user named: its catalogued channels, or all of them.
void AddChipDirectory(const char* Path, PathList* List);

// Where the interfaces of the CPU thermal class come from: the user's sensor
// when Override is not null, else the CPU chips under HwmonRoot, else the CPU
// zones under ThermalRoot.
struct SensorSources {
    const char* HwmonRoot;
    const char* ThermalRoot;
    const char* Override;
};

// The interface list as CM_Get_Device_Interface_ListW lays it out, in a malloc'd
// block of *ListCch units that the caller frees.
CONFIGRET BuildInterfaceList(const SensorSources* Sources, WCHAR** List, ULONG* ListCch);
// The size query and the list query over Sources; see interface_list.cpp for how
// the two share one scan.
CONFIGRET QueryInterfaceListSize(const SensorSources* Sources, ULONG* ListCch);
CONFIGRET QueryInterfaceList(const SensorSources* Sources, WCHAR* Buffer, ULONG BufferCch);

// ---- The thermal read (thermal_device.cpp).

// A temperature file's text: an optional '-', decimal digits and an optional
// final newline, in millidegrees Celsius. Tenths of a kelvin,
// (millidegrees + 273150) / 100, or ERROR_INVALID_DATA for anything else, a
// value below absolute zero or a reading beyond 32 bits.
DWORD ReadingFromText(const char* Text, std::size_t Length, ULONG* Reading);
// The longest text a temperature file may hold; a read that fills it is a bad value.
constexpr std::size_t VALUE_CAP = 32;

// The Windows error a failed open(2) or read(2) stands for.
DWORD ErrorFromOpenErrno(int Errno);
DWORD ErrorFromReadErrno(int Errno);

// ---- UTF-8 and UTF-16 (utf.cpp): sysfs names are ASCII, the user's path need not be.

// UTF-8 to UTF-16 units; Out may be null to count them. False for text that is
// not UTF-8, overlong forms and surrogates included.
bool Utf16FromUtf8(const char* Text, WCHAR* Out, std::size_t* Units);
// UTF-16 to UTF-8 in Out: ERROR_SUCCESS, ERROR_INVALID_NAME for an unpaired
// surrogate, or ERROR_FILENAME_EXCED_RANGE when it does not fit.
DWORD Utf8FromUtf16(const WCHAR* Text, char (&Out)[PATH_CAP]);
