// The second tier: thermal zones whose type names a CPU sensor. A zone's
// interface path is its directory; opening it opens the zone's temp file.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

#include "platform/linux/thermal.h"

namespace {

// The kernel caps a zone type at 20 characters; anything this long is not one.
constexpr std::size_t TYPE_TEXT_CAP = 256;

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

// Zone names of CPU sensors that do not say "cpu": the SoC, its package and its
// CPU clusters (RK3588's package-thermal, bigcore0-thermal, littlecore-thermal).
constexpr const char* CPU_TYPE_PREFIXES[] = {"soc", "package", "bigcore", "littlecore", "cluster"};

bool IsCpuZone(int RootFd, const char* Name)
{
    char relative[sizeof(IndexedEntry::Name) + sizeof("/type")];
    snprintf(relative, sizeof(relative), "%s/type", Name);
    // No stat first: a zone entry that is not a directory fails this open.
    char text[TYPE_TEXT_CAP];
    std::size_t length = 0;
    return ReadAttributeText(RootFd, relative, text, sizeof(text), &length) &&
           IsCpuZoneType(text, length);
}

} // namespace

bool IsCpuZoneType(const char* Text, std::size_t Length)
{
    Length = WithoutNewline(Text, Length);
    for (const char* prefix : CPU_TYPE_PREFIXES) {
        if (MatchesAt(Text, Length, 0, prefix)) {
            return true;
        }
    }
    if (Length == strlen("x86_pkg_temp") && MatchesAt(Text, Length, 0, "x86_pkg_temp")) {
        return true;
    }
    for (std::size_t at = 0; at < Length; ++at) {
        if (MatchesAt(Text, Length, at, "cpu")) {
            return true;
        }
    }
    return false;
}

void ListCpuZones(const char* Root, PathList* List)
{
    const int rootFd = open(Root, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (rootFd < 0) {
        return; // no thermal class: no zones
    }
    IndexedEntry* zones = nullptr;
    std::size_t count = 0;
    if (!ListIndexedEntries(rootFd, "thermal_zone", &zones, &count)) {
        List->OutOfMemory = true;
    }
    for (std::size_t i = 0; i < count; ++i) {
        if (IsCpuZone(rootFd, zones[i].Name)) {
            AppendPath(List, Root, zones[i].Name, nullptr);
        }
    }
    free(zones);
    close(rootFd);
}
