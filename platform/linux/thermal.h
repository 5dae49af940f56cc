// The Linux platform layer: the CPU thermal interface class served from the
// kernel's hwmon chips and thermal zones. An interface is one CPU package: a
// socket, or the one SoC of a board. Internal to the layer and its tests.
//
// One section per file, each building only on those above it. A run goes
// through them from the bottom: cfgmgr.cpp scans the sources into a table of
// interfaces (interface_table.cpp keeps it), thermal_device.cpp opens a
// listed interface as its members and reads them.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>

#include "platform/linux/win_codes.h"

// Where the kernel lists its sensor chips and its thermal zones.
constexpr char HWMON_CLASS_ROOT[] = "/sys/class/hwmon";
constexpr char THERMAL_CLASS_ROOT[] = "/sys/class/thermal";
// Names the one sensor to read, where the rules cannot choose.
constexpr char SENSOR_VARIABLE[] = "CPUTEMP_SENSOR";
// Longest file path the layer builds, terminator included (Linux's PATH_MAX).
constexpr size_t PATH_CAP = 4096;
// Names, types and labels are a few words; a text that fills this is none.
constexpr size_t ATTRIBUTE_CAP = 128;

// ---- utf.cpp: sysfs names are ASCII, the user's path need not be.

// UTF-8 to UTF-16 units; Out may be null to count them. False for text that is
// not UTF-8, overlong forms and surrogates included.
bool Utf16FromUtf8(const char* Text, WCHAR* Out, size_t* Units);
// UTF-16 to UTF-8 in Out: ERROR_SUCCESS, ERROR_INVALID_NAME for an unpaired
// surrogate, or ERROR_FILENAME_EXCED_RANGE when it does not fit.
DWORD Utf8FromUtf16(const WCHAR* Text, char (&Out)[PATH_CAP]);

// ---- arrays.cpp: malloc'd arrays that grow, for lists of any length.

// Appends one item to the malloc'd array *Items of *Count, growing it by
// doubling; null, and nothing changed, when memory ran out.
template <class Item> Item* AddItem(Item** Items, size_t* Count, size_t* Capacity)
{
    if (*Count == *Capacity) {
        if (*Capacity > SIZE_MAX / 2 / sizeof(Item)) {
            return nullptr;
        }
        const size_t grown = *Capacity == 0 ? 16 : *Capacity * 2;
        auto* more = static_cast<Item*>(realloc(*Items, grown * sizeof(Item)));
        if (more == nullptr) {
            return nullptr;
        }
        *Items = more;
        *Capacity = grown;
    }
    return &(*Items)[(*Count)++];
}

// Numbers of sensors (zones, channels, chips).
struct Numbers {
    unsigned long long* Items;
    size_t Count;
    size_t Capacity;
    bool Exhausted; // set once a number could not be added
};
void AddNumber(Numbers* Set, unsigned long long Number);
void FreeNumbers(Numbers* Set);

// ---- sysfs.cpp: listings, small attribute texts, paths, and opens that act on
// nothing but a regular file.

// Errors that say a resource ran out (descriptors, memory), not that a sensor
// is absent: a scan or an open that meets one fails rather than choose or
// read without the sensor.
bool ExhaustedBy(int Errno);

// A directory's entries <Prefix><N><Suffix>, N decimal as the kernel writes
// it (no leading zeros), in ascending N. *Entries is malloc'd and the caller
// frees it; a directory that cannot be read has none. False only when memory
// ran out.
struct IndexedEntry {
    unsigned long long Number;
    char Name[32];
};
bool ListIndexed(int DirectoryFd, const char* Prefix, const char* Suffix, IndexedEntry** Entries,
                 size_t* Count);

// How a file is opened. The kernel's own trees hold only sysfs attributes,
// opened as they are; what the user's path leads to is opened only once it is
// known to be a regular file (OpenRegular).
enum Trust { SYSFS, CHECKED };
// Relative under DirectoryFd for reading, as Trust says; -1 with errno.
int OpenValue(int DirectoryFd, const char* Relative, Trust How);
// For reading, but only a regular file, decided on the object itself: it is
// looked up once, without side effects (O_PATH), checked with fstat, and
// that very object reopened through /proc/self/fd. Anything else fails with
// ENOENT, as a missing file does, and is never opened for reading.
int OpenRegular(int DirectoryFd, const char* Relative);
// Whether Relative is a regular file, told without opening it for reading.
bool IsRegular(int DirectoryFd, const char* Relative);

// A small attribute's text, read with one bounded read as sysfs serves it,
// without its one trailing newline: false when it cannot be opened or read,
// fills the buffer, or holds a NUL. errno then tells why (0 for the text).
bool ReadAttribute(int DirectoryFd, const char* Relative, char (&Text)[ATTRIBUTE_CAP],
                   Trust How = SYSFS);

// Head and Tail in Out; false when they do not fit.
bool JoinPath(char (&Out)[PATH_CAP], const char* Head, const char* Tail);

// ---- catalogue.cpp: which sensors are the CPU's.

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
// How a driver's chips and channels map to packages.
enum Grouping {
    CHIP_PER_PACKAGE, // the chip's chosen channels are one interface
    // A chip per package, or per die of one: the chips of one package are one
    // interface, where the CPU topology tells which those are.
    CHIP_PER_DIE,
    CHIP_PER_CORE, // every chip of the name, read at the same channel, one interface
    SOC_CHIPS,     // every chip of the name measures the one SoC: one interface
    CHANNEL_PER_PACKAGE,
};
struct LabelRule;
struct ChipRule {
    const char* Name;
    const LabelRule* Labels = nullptr; // in the order they are tried
    size_t LabelCount = 0;
    bool LabelsLikeZones = false; // the firmware names its channels as trees name zones
    Unlabelled WhenUnlabelled = NONE_IS_CPU;
    Grouping Group = CHIP_PER_PACKAGE;
};
// The rule for a chip of this name, or null when its chip is not the CPU's.
// '-' and '_' are the same character: older and vendor kernels allowed '-'
// in names where mainline now writes '_'.
const ChipRule* FindChipRule(const char* Name);
// How well a channel's label marks the CPU reading: 0 is the best, a higher
// rank is taken only when no channel ranks better, NOT_RANKED never. Several
// channels of one rank are read together (cores) or only the first of them
// counts (the package's own sensor): *Several says which.
constexpr int NOT_RANKED = -1;
int RankLabel(const ChipRule* Rule, const char* Label, bool* Several);
// For the tests: the catalogue's rules, Count of them.
const ChipRule* ChipRules(size_t* Count);

// ---- topology.cpp: the CPU topology, for the drivers of a chip per die.

// Where the kernel tells the CPUs' packages.
constexpr char CPU_TOPOLOGY_ROOT[] = "/sys/devices/system/cpu";
// The number of physical packages the online CPUs are in, or 0 when it cannot
// be told.
size_t CountPackages(const char* CpuRoot);
// The die a chip measures, from the name of its device: coretemp.N and
// APMC0D29:NN count dies (or packages) from 0, and AMD's northbridge function
// 0000:00:SS.3 is the die of node SS - 18h. -1 when the name tells none.
long DieOfDevice(const char* DeviceName);

// ---- interface_table.cpp: what an interface is, and the one kept scan.

// An interface is a name, listed as its path, and the value files it reads
// at their hottest: its members. A scan's table is kept, members and all,
// from the listing to the open; a name is never parsed back into members.
struct Interface {
    size_t Name;        // offset of its text in the table's Text
    size_t FirstMember; // offset of the first member; the rest follow it
    size_t MemberCount;
    Trust How;
};
struct InterfaceTable {
    char* Text; // NUL-terminated names and members
    size_t Length;
    size_t TextCapacity;
    Interface* Items;
    size_t Count;
    size_t Capacity;
    bool Exhausted; // set once the scan lost something for want of a resource
};
// A new interface of that name; the members added next are its own.
void AddInterface(InterfaceTable* Table, const char* Name, Trust How);
void AddInterfaceMember(InterfaceTable* Table, const char* Path);
// An interface of the members <Prefix><N><MemberSuffix>, named after its first
// as <Prefix><N><NameSuffix>.
void AddNumberedInterface(InterfaceTable* Table, const char* Prefix, const Numbers& Set,
                          const char* MemberSuffix, const char* NameSuffix, Trust How);
void FreeInterfaceTable(InterfaceTable* Table);
const char* NameOf(const InterfaceTable& Table, const Interface& Item);
// An interface's members, one after the other: the first, then the next of each.
const char* FirstMember(const InterfaceTable& Table, const Interface& Item);
const char* NextMember(const char* Member);

// The kept scan. The size query's scan is kept for the list query after it
// (pending), and the list query's for the opens after it, until the next scan.
// Keeping takes the table over and frees the one kept before.
void KeepScan(InterfaceTable* Table);
// No scan kept, none pending: a scan that failed leaves nothing to serve.
void DropScan();
// Whether a kept scan awaits its list query; the query takes it.
bool TakePendingScan();
const InterfaceTable& KeptScan();
// The kept interface of that name, or null.
const Interface* FindKept(const char* Name);

// ---- hwmon.cpp: the first tier, and the chip the user names.

// An interface per CPU package of the catalogued hwmon chips under Root;
// CpuRoot (may be null) holds the CPU topology, read only when a driver of a
// chip per die has several chips.
void ListCpuChips(const char* Root, const char* CpuRoot, InterfaceTable* Table);
// A chip directory the user named: its catalogued channels, or all of them.
void AddChipDirectory(const char* Path, InterfaceTable* Table);

// ---- thermal_zones.cpp: the second tier.

// The CPU zones under Root: each package zone, else the cores and clusters
// together, else the SoC zones together.
void ListCpuZones(const char* Root, InterfaceTable* Table);

// ---- user_sensor.cpp: the sensor the user names.

// A temperature file, a zone directory, or a chip directory read at its
// catalogued channels, or all of them; only regular files.
void AddUserSensor(const char* Path, InterfaceTable* Table);

// ---- cfgmgr.cpp: the Configuration Manager's two calls.

// Where the interfaces of the CPU thermal class come from: the user's sensor
// when Override is not null, else the CPU chips under HwmonRoot, else the CPU
// zones under ThermalRoot.
struct SensorSources {
    const char* HwmonRoot;
    const char* ThermalRoot;
    const char* Override;
    const char* CpuRoot = nullptr; // the CPU topology; none: each chip a package
};
// The size query and the list query over Sources, as the two calls make them
// over the system's; the tests give their own trees.
CONFIGRET QueryInterfaceListSize(const SensorSources* Sources, ULONG* ListCch);
CONFIGRET QueryInterfaceList(const SensorSources* Sources, WCHAR* Buffer, ULONG BufferCch);

// ---- thermal_device.cpp: file and device I/O, the thermal read request.

// A temperature file's text: an optional '-', decimal digits and an optional
// final newline, in millidegrees Celsius. Tenths of a kelvin,
// (millidegrees + 273150) / 100, or ERROR_INVALID_DATA for anything else, a
// value below absolute zero or a reading beyond 32 bits.
DWORD ReadingFromText(const char* Text, size_t Length, ULONG* Reading);
// The longest text a temperature file may hold; a read that fills it is a bad value.
constexpr size_t VALUE_CAP = 32;
// The Windows error a failed open(2) or read(2) stands for; also for the tests.
DWORD ErrorFromOpenErrno(int Errno);
DWORD ErrorFromReadErrno(int Errno);
