// The second tier: thermal zones whose type names the CPU, as the catalogue
// classes them. A package zone is an interface of its own; otherwise the zones
// of the CPU's cores and clusters together are the one interface, read at the
// hottest, and only where there are none the zones of the SoC as a whole. A
// zone's interface path is its directory; opening it opens the zone's temp file.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

#include "platform/linux/thermal.h"

void ListCpuZones(const char* Root, PathList* List)
{
    const int rootFd = open(Root, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (rootFd < 0) {
        return; // no thermal class: no zones
    }
    char prefix[PATH_CAP];
    char path[PATH_CAP];
    if (!JoinPath(prefix, Root, "/thermal_zone")) {
        close(rootFd);
        return;
    }
    IndexedEntry* zones = nullptr;
    std::size_t count = 0;
    if (!ListIndexed(rootFd, "thermal_zone", "", &zones, &count)) {
        List->OutOfMemory = true;
    }
    Members cores{};
    Members soc{};
    std::size_t packages = 0;
    for (std::size_t i = 0; i < count; ++i) {
        char relative[sizeof(IndexedEntry::Name) + sizeof("/type")];
        char type[ATTRIBUTE_CAP];
        snprintf(relative, sizeof(relative), "%s/type", zones[i].Name);
        // No stat first: a zone entry that is not a directory fails this open.
        if (!ReadAttribute(rootFd, relative, type)) {
            continue;
        }
        switch (ClassifyZone(type)) {
        case CPU_PACKAGE:
            if (FormatMembers(path, prefix, &zones[i].Number, 1, "")) {
                AppendPath(List, path);
                ++packages;
            }
            break;
        case CPU_CORES:
            AddMember(&cores, zones[i].Number);
            break;
        case CPU_SOC:
            AddMember(&soc, zones[i].Number);
            break;
        case NOT_CPU:
            break;
        }
    }
    const Members& chosen = cores.Count > 0 ? cores : soc;
    if (packages == 0 && chosen.Count > 0 &&
        FormatMembers(path, prefix, chosen.Numbers, chosen.Count, "")) {
        AppendPath(List, path);
    }
    free(zones);
    close(rootFd);
}
