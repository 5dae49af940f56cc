// The CPU topology, for the drivers that register a chip per die: how many
// packages there are, and which die a chip measures. Read only when such a
// driver has several chips.
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <fcntl.h>
#include <unistd.h>

#include "platform/linux/thermal.h"

namespace {

// A list of CPUs as the kernel writes one: "0-3,8-11", or "5".
struct CpuRange {
    unsigned long First;
    unsigned long Last;
};
struct CpuList {
    CpuRange* Items;
    size_t Count;
    size_t Capacity;
};

// The ranges of Text, appended to List; false for a text that is none.
bool ParseCpuList(const char* Text, CpuList* List)
{
    for (const char* at = Text; *at != 0;) {
        char* end = nullptr;
        if (strspn(at, "0123456789") == 0) {
            return false;
        }
        CpuRange range{strtoul(at, &end, 10), 0};
        range.Last = range.First;
        if (*end == '-') {
            if (strspn(end + 1, "0123456789") == 0) {
                return false;
            }
            range.Last = strtoul(end + 1, &end, 10);
        }
        if (range.Last < range.First || (*end != ',' && *end != 0)) {
            return false;
        }
        CpuRange* added = AddItem(&List->Items, &List->Count, &List->Capacity);
        if (added == nullptr) {
            return false;
        }
        *added = range;
        at = *end == ',' ? end + 1 : end;
    }
    return true;
}

// Reads a CPU list under RootFd, appended to List.
bool ReadCpuList(int RootFd, const char* Relative, CpuList* List)
{
    char text[ATTRIBUTE_CAP];
    return ReadAttribute(RootFd, Relative, text) && ParseCpuList(text, List);
}

// The CPUs of Cpu's package, appended to List: package_cpus_list, or
// core_siblings_list before Linux 5.7.
bool ReadPackageOf(int RootFd, unsigned long Cpu, CpuList* List)
{
    constexpr const char* NAMES[] = {"package_cpus_list", "core_siblings_list"};
    for (const char* name : NAMES) {
        char relative[64];
        snprintf(relative, sizeof(relative), "cpu%lu/topology/%s", Cpu, name);
        if (ReadCpuList(RootFd, relative, List)) {
            return true;
        }
    }
    return false;
}

// The last CPU of the range in Ranges that holds Cpu, or false when none does.
bool Covered(const CpuRange* Ranges, size_t Count, unsigned long Cpu, unsigned long* Last)
{
    for (size_t i = 0; i < Count; ++i) {
        if (Cpu >= Ranges[i].First && Cpu <= Ranges[i].Last) {
            *Last = Ranges[i].Last;
            return true;
        }
    }
    return false;
}

// Far more than any machine has: a list that claims more is not believed.
constexpr size_t MAX_PACKAGES = 1024;

} // namespace

size_t CountPackages(const char* CpuRoot)
{
    const int rootFd = CpuRoot != nullptr ? open(CpuRoot, O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1;
    if (rootFd < 0) {
        return 0;
    }
    CpuList online{};
    CpuList seen{};
    size_t packages = 0;
    bool known = ReadCpuList(rootFd, "online", &online);
    // One read per package: each package's list covers its CPUs, and the next
    // CPU that none covers is in the next package.
    for (size_t r = 0; known && r < online.Count; ++r) {
        const CpuRange range = online.Items[r];
        for (unsigned long cpu = range.First; known && cpu <= range.Last; ++cpu) {
            unsigned long last = 0;
            if (Covered(seen.Items, seen.Count, cpu, &last)) {
                cpu = last < range.Last ? last : range.Last;
                continue;
            }
            const size_t before = seen.Count;
            known = ReadPackageOf(rootFd, cpu, &seen) &&
                    Covered(seen.Items + before, seen.Count - before, cpu, &last) &&
                    ++packages <= MAX_PACKAGES;
        }
    }
    free(online.Items);
    free(seen.Items);
    close(rootFd);
    return known ? packages : 0;
}

long DieOfDevice(const char* DeviceName)
{
    // A PCI function: 0000:00:18.3 and on.
    unsigned int domain = 0;
    unsigned int bus = 0;
    unsigned int slot = 0;
    unsigned int function = 0;
    int length = 0;
    if (sscanf(DeviceName, "%4x:%2x:%2x.%1x%n", &domain, &bus, &slot, &function, &length) == 4 &&
        DeviceName[length] == 0) {
        return slot >= 0x18 && slot <= 0x1F ? static_cast<long>(slot - 0x18) : -1;
    }
    // coretemp.N, APMC0D29:NN: the number after the last '.' or ':'.
    const char* dot = strrchr(DeviceName, '.');
    const char* colon = strrchr(DeviceName, ':');
    const char* digits = (dot > colon ? dot : colon);
    if (digits == nullptr || strspn(digits + 1, "0123456789") != strlen(digits + 1) ||
        digits[1] == 0 || strlen(digits + 1) > 6) {
        return -1;
    }
    return strtol(digits + 1, nullptr, 10);
}
