// The CPU topology, for the drivers that register a chip per die: how many
// packages there are, and which die a chip measures. Read only when such a
// driver has several chips.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

#include "platform/linux/thermal.h"

namespace {

// A list of CPUs as the kernel writes one: "0-3,8-11", or "5".
struct CpuRange {
    unsigned long First;
    unsigned long Last;
};

// The ranges of Text into a malloc'd *Ranges; false for a text that is none.
bool ParseCpuList(const char* Text, CpuRange** Ranges, std::size_t* Count, std::size_t* Capacity)
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
        CpuRange* added = AddItem(Ranges, Count, Capacity);
        if (added == nullptr) {
            return false;
        }
        *added = range;
        at = *end == ',' ? end + 1 : end;
    }
    return true;
}

// Reads a CPU list under RootFd into *Ranges (appending).
bool ReadCpuList(int RootFd, const char* Relative, CpuRange** Ranges, std::size_t* Count,
                 std::size_t* Capacity)
{
    char text[ATTRIBUTE_CAP];
    return ReadAttribute(RootFd, Relative, text) && ParseCpuList(text, Ranges, Count, Capacity);
}

// The last CPU of the range in Ranges that holds Cpu, or false when none does.
bool Covered(const CpuRange* Ranges, std::size_t Count, unsigned long Cpu, unsigned long* Last)
{
    for (std::size_t i = 0; i < Count; ++i) {
        if (Cpu >= Ranges[i].First && Cpu <= Ranges[i].Last) {
            *Last = Ranges[i].Last;
            return true;
        }
    }
    return false;
}

// Far more than any machine has: a list that claims more is not believed.
constexpr std::size_t MAX_PACKAGES = 1024;

} // namespace

std::size_t CountPackages(const char* CpuRoot)
{
    const int rootFd = CpuRoot != nullptr ? open(CpuRoot, O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1;
    if (rootFd < 0) {
        return 0;
    }
    CpuRange* online = nullptr;
    std::size_t onlineCount = 0;
    std::size_t onlineCapacity = 0;
    CpuRange* seen = nullptr;
    std::size_t seenCount = 0;
    std::size_t seenCapacity = 0;
    std::size_t packages = 0;
    bool known = ReadCpuList(rootFd, "online", &online, &onlineCount, &onlineCapacity);
    // One read per package: each package's list covers its CPUs, and the next
    // CPU that none covers is in the next package.
    for (std::size_t r = 0; known && r < onlineCount; ++r) {
        for (unsigned long cpu = online[r].First; known && cpu <= online[r].Last; ++cpu) {
            unsigned long last = 0;
            if (Covered(seen, seenCount, cpu, &last)) {
                cpu = last < online[r].Last ? last : online[r].Last;
                continue;
            }
            char relative[64];
            snprintf(relative, sizeof(relative), "cpu%lu/topology/package_cpus_list", cpu);
            const std::size_t before = seenCount;
            // core_siblings_list before Linux 5.7.
            known = (ReadCpuList(rootFd, relative, &seen, &seenCount, &seenCapacity) ||
                     (snprintf(relative, sizeof(relative), "cpu%lu/topology/core_siblings_list",
                               cpu) > 0 &&
                      ReadCpuList(rootFd, relative, &seen, &seenCount, &seenCapacity))) &&
                    Covered(seen + before, seenCount - before, cpu, &last) &&
                    ++packages <= MAX_PACKAGES;
        }
    }
    free(online);
    free(seen);
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
