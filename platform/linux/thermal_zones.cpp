// The second tier: thermal zones whose type names the CPU, as the catalogue
// classes them. A package zone is an interface of its own; otherwise the zones
// of the CPU's cores and clusters together are the one interface, read at the
// hottest, and only where there are none the zones of the SoC as a whole. A
// zone's interface is named after its (first) directory, and reads its temp file.
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <fcntl.h>
#include <unistd.h>

#include "platform/linux/thermal.h"

void ListCpuZones(const char* Root, InterfaceTable* Table)
{
    const int rootFd = open(Root, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (rootFd < 0) {
        Table->Exhausted = ExhaustedBy(errno); // else no thermal class: no zones
        return;
    }
    char prefix[PATH_CAP];
    if (!JoinPath(prefix, Root, "/thermal_zone")) {
        close(rootFd);
        return;
    }
    IndexedEntry* zones = nullptr;
    size_t count = 0;
    if (!ListIndexed(rootFd, "thermal_zone", "", &zones, &count)) {
        Table->Exhausted = true;
    }
    Numbers cores{};
    Numbers soc{};
    size_t packages = 0;
    for (size_t i = 0; i < count; ++i) {
        char relative[sizeof(IndexedEntry::Name) + sizeof("/type")];
        char type[ATTRIBUTE_CAP];
        snprintf(relative, sizeof(relative), "%s/type", zones[i].Name);
        // No stat first: a zone entry that is not a directory fails this open.
        if (!ReadAttribute(rootFd, relative, type)) {
            Table->Exhausted = Table->Exhausted || ExhaustedBy(errno);
            continue;
        }
        switch (ClassifyZone(type)) {
        case CPU_PACKAGE:
            AddNumberedInterface(Table, prefix, Numbers{&zones[i].Number, 1, 1, false}, "/temp", "",
                                 SYSFS);
            ++packages;
            break;
        case CPU_CORES:
            AddNumber(&cores, zones[i].Number);
            break;
        case CPU_SOC:
            AddNumber(&soc, zones[i].Number);
            break;
        case NOT_CPU:
            break;
        }
    }
    Table->Exhausted = Table->Exhausted || cores.Exhausted || soc.Exhausted;
    if (packages == 0) {
        AddNumberedInterface(Table, prefix, cores.Count > 0 ? cores : soc, "/temp", "", SYSFS);
    }
    FreeNumbers(&cores);
    FreeNumbers(&soc);
    free(zones);
    close(rootFd);
}
