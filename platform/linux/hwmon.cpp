// The first tier: the hwmon chips of the catalogue, an interface per CPU
// package, reading the package's own sensor where its labels show one and the
// hottest of its cores where they do not. Only names and labels are read
// here; a chip of any other name is never opened past its name.
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <fcntl.h>
#include <unistd.h>

#include "platform/linux/thermal.h"

namespace {

// Where a chip keeps its attributes: in its own directory, or, before 3.13
// and for drivers that still register the old way, in its parent device.
constexpr const char* CHIP_LAYOUTS[] = {"", "/device"};
constexpr size_t NO_LAYOUT = sizeof(CHIP_LAYOUTS) / sizeof(CHIP_LAYOUTS[0]);

// The chip's channels that read the CPU, by Rule; with no rule, all of them.
// Channels have gaps: only the listing tells them. False when a resource ran
// out, so that no channel is left out for want of one.
bool ChooseChannels(const ChipRule* Rule, int ChipFd, Trust How, Numbers* Chosen)
{
    IndexedEntry* inputs = nullptr;
    size_t count = 0;
    bool exhausted = !ListIndexed(ChipFd, "temp", "_input", &inputs, &count);
    // In the user's directory an input is a channel only as a regular file.
    size_t kept = 0;
    for (size_t i = 0; i < count; ++i) {
        if (How == SYSFS || IsRegular(ChipFd, inputs[i].Name)) {
            inputs[kept++] = inputs[i];
        } else {
            exhausted = exhausted || ExhaustedBy(errno);
        }
    }
    count = kept;
    int best = NOT_RANKED;
    bool bestSeveral = false;
    bool labelled = false;
    for (size_t i = 0; Rule != nullptr && i < count; ++i) {
        char name[sizeof(IndexedEntry::Name)];
        char label[ATTRIBUTE_CAP];
        snprintf(name, sizeof(name), "temp%llu_label", inputs[i].Number);
        if (!ReadAttribute(ChipFd, name, label, How)) {
            exhausted = exhausted || ExhaustedBy(errno);
            continue;
        }
        labelled = true;
        bool several = false;
        const int rank = RankLabel(Rule, label, &several);
        if (rank == NOT_RANKED || (best != NOT_RANKED && rank > best)) {
            continue;
        }
        if (rank != best) {
            Chosen->Count = 0;
            best = rank;
            bestSeveral = several;
        }
        if (Chosen->Count == 0 || bestSeveral) {
            AddNumber(Chosen, inputs[i].Number);
        }
        if (rank == 0 && !several) {
            break; // the package's own sensor, the first of the best kind
        }
    }
    const Unlabelled unlabelled = Rule != nullptr ? Rule->WhenUnlabelled : ALL_ARE_CPU;
    for (size_t i = 0; !labelled && i < count; ++i) {
        if (unlabelled == ALL_ARE_CPU || (unlabelled == TEMP1_IS_CPU && inputs[i].Number == 1)) {
            AddNumber(Chosen, inputs[i].Number);
        }
    }
    free(inputs);
    return !exhausted && !Chosen->Exhausted;
}

// Where chip Name under RootFd keeps its attributes (an index of
// CHIP_LAYOUTS), and its name text; NO_LAYOUT when it has none. *Exhausted
// says whether a resource ran out on the way.
size_t ReadChipName(int RootFd, const char* Name, Trust How, char (&Text)[ATTRIBUTE_CAP],
                    bool* Exhausted)
{
    for (size_t layout = 0; layout < NO_LAYOUT; ++layout) {
        char relative[sizeof(IndexedEntry::Name) + sizeof("/device/name")];
        snprintf(relative, sizeof(relative), "%s%s/name", Name, CHIP_LAYOUTS[layout]);
        if (ReadAttribute(RootFd, relative, Text, How)) {
            return layout;
        }
        *Exhausted = *Exhausted || ExhaustedBy(errno);
    }
    return NO_LAYOUT;
}

// A chip that lists as the CPU's, with its chosen channels: its members.
// Whether a chip is a package, a part of one or several depends on its
// driver's other chips: packages are assigned once every chip has been seen.
struct SeenChip {
    const ChipRule* Rule;
    char Name[sizeof(IndexedEntry::Name)]; // hwmonN
    size_t Layout;                         // where its files are, in CHIP_LAYOUTS
    Numbers Channels;                      // read at temp<N>_input
    long Die;                              // of a driver's dies, as the topology tells
    size_t Package;                        // the interface it goes to, in list order
};
struct SeenChips {
    SeenChip* Items;
    size_t Count;
    size_t Capacity;
};
constexpr size_t UNASSIGNED = SIZE_MAX;

// Chip Entry (hwmonN) under RootFd, when it is the CPU's, into Seen.
void SeeChip(int RootFd, const IndexedEntry& Entry, SeenChips* Seen, InterfaceTable* Table)
{
    char text[ATTRIBUTE_CAP];
    bool exhausted = false;
    const size_t layout = ReadChipName(RootFd, Entry.Name, SYSFS, text, &exhausted);
    const ChipRule* rule = layout != NO_LAYOUT ? FindChipRule(text) : nullptr;
    Table->Exhausted = Table->Exhausted || exhausted;
    if (rule == nullptr) {
        return;
    }
    char chip[sizeof(IndexedEntry::Name) + sizeof("/device")];
    snprintf(chip, sizeof(chip), "%s%s", Entry.Name, CHIP_LAYOUTS[layout]);
    const int chipFd = openat(RootFd, chip, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (chipFd < 0) {
        Table->Exhausted = Table->Exhausted || ExhaustedBy(errno);
        return;
    }
    Numbers chosen{};
    const bool complete = ChooseChannels(rule, chipFd, SYSFS, &chosen);
    close(chipFd);
    SeenChip* seen = complete && chosen.Count > 0
                         ? AddItem(&Seen->Items, &Seen->Count, &Seen->Capacity)
                         : nullptr;
    if (seen == nullptr) {
        Table->Exhausted = Table->Exhausted || !complete || chosen.Count > 0;
        FreeNumbers(&chosen);
        return;
    }
    *seen = SeenChip{rule, {}, layout, chosen, -1, UNASSIGNED};
    memcpy(seen->Name, Entry.Name, sizeof(seen->Name));
}

// Whether seen chip J is of chip I's group, whatever the topology: a driver's
// chips but those that are each a package (or a package a channel), and per
// core those read at the same channel of the same file.
bool SameGroup(const SeenChip& I, const SeenChip& J)
{
    const Grouping kind = I.Rule->Group;
    return I.Rule == J.Rule && kind != CHIP_PER_PACKAGE && kind != CHANNEL_PER_PACKAGE &&
           (kind != CHIP_PER_CORE ||
            (I.Layout == J.Layout && I.Channels.Items[0] == J.Channels.Items[0]));
}

// Whether seen chip J is in the group of chip I, among the chips that have
// no package yet.
bool InGroup(const SeenChips& Seen, size_t I, size_t J)
{
    return J == I ||
           (Seen.Items[J].Package == UNASSIGNED && SameGroup(Seen.Items[I], Seen.Items[J]));
}

// The die each chip of the group at I measures, from its device link; false
// unless they are 0 to Count - 1, each once.
bool ReadDies(int RootFd, SeenChips* Seen, size_t I, size_t Count)
{
    for (size_t j = I; j < Seen->Count; ++j) {
        if (!InGroup(*Seen, I, j)) {
            continue;
        }
        SeenChip& chip = Seen->Items[j];
        char link[sizeof(SeenChip::Name) + sizeof("/device")];
        char target[PATH_CAP];
        snprintf(link, sizeof(link), "%s/device", chip.Name);
        const ssize_t length = readlinkat(RootFd, link, target, sizeof(target) - 1);
        if (length <= 0) {
            return false;
        }
        target[length] = 0;
        const char* slash = strrchr(target, '/');
        chip.Die = DieOfDevice(slash != nullptr ? slash + 1 : target);
        if (chip.Die < 0 || static_cast<size_t>(chip.Die) >= Count) {
            return false;
        }
        for (size_t other = I; other < j; ++other) {
            if (InGroup(*Seen, I, other) && Seen->Items[other].Die == chip.Die) {
                return false;
            }
        }
    }
    return true;
}

// Gives each seen chip its package, numbered in the order the packages are
// listed: group by group, in the order of their first chips, and a driver's
// dies in the topology's order. The count of packages.
size_t AssignPackages(int RootFd, const char* CpuRoot, SeenChips* Seen)
{
    size_t next = 0;     // the group's first package
    size_t packages = 0; // in the topology, counted once, when first needed
    bool counted = false;
    for (size_t i = 0; i < Seen->Count; ++i) {
        if (Seen->Items[i].Package != UNASSIGNED) {
            continue;
        }
        size_t count = 0;
        for (size_t j = i; j < Seen->Count; ++j) {
            if (InGroup(*Seen, i, j)) {
                ++count;
            }
        }
        // Chips per package: one package for the group, unless they are a
        // driver's dies: a package each, or where the topology tells which
        // die is whose, that many dies a package.
        size_t perPackage = count;
        bool byDie = false;
        switch (Seen->Items[i].Rule->Group) {
        case CHIP_PER_PACKAGE:
        case CHANNEL_PER_PACKAGE: // alone in its group
        case CHIP_PER_CORE:
        case SOC_CHIPS:
            break;
        case CHIP_PER_DIE:
            if (count > 1 && !counted) {
                packages = CountPackages(CpuRoot);
                counted = true;
            }
            byDie = count > 1 && packages > 0 && count % packages == 0 &&
                    ReadDies(RootFd, Seen, i, count);
            perPackage = byDie ? count / packages : 1;
            break;
        }
        size_t nth = 0;
        for (size_t j = i; j < Seen->Count; ++j) {
            if (InGroup(*Seen, i, j)) {
                SeenChip& chip = Seen->Items[j];
                const size_t place = byDie ? static_cast<size_t>(chip.Die) : nth;
                chip.Package = next + place / perPackage;
                ++nth;
            }
        }
        next += count / perPackage;
    }
    return next;
}

// Each package, in order, as one interface named after the first member of
// its first chip; of a chip whose channels are packages, each channel one.
void AddPackages(const char* Root, const SeenChips& Seen, size_t Packages, InterfaceTable* Table)
{
    for (size_t package = 0; package < Packages; ++package) {
        bool begun = false;
        for (size_t i = 0; i < Seen.Count; ++i) {
            const SeenChip& chip = Seen.Items[i];
            for (size_t c = 0; chip.Package == package && c < chip.Channels.Count; ++c) {
                char member[PATH_CAP];
                const int length =
                    snprintf(member, sizeof(member), "%s/%s%s/temp%llu_input", Root, chip.Name,
                             CHIP_LAYOUTS[chip.Layout], chip.Channels.Items[c]);
                if (length < 0 || static_cast<size_t>(length) >= sizeof(member)) {
                    break; // longer than any path: the rest are too
                }
                if (!begun || chip.Rule->Group == CHANNEL_PER_PACKAGE) {
                    AddInterface(Table, member, SYSFS);
                    begun = true;
                }
                AddInterfaceMember(Table, member);
            }
        }
    }
}

} // namespace

void ListCpuChips(const char* Root, const char* CpuRoot, InterfaceTable* Table)
{
    const int rootFd = open(Root, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (rootFd < 0) {
        Table->Exhausted = ExhaustedBy(errno);
        return;
    }
    IndexedEntry* chips = nullptr;
    size_t count = 0;
    if (!ListIndexed(rootFd, "hwmon", "", &chips, &count)) {
        Table->Exhausted = true;
    }
    SeenChips seen{};
    for (size_t i = 0; i < count; ++i) {
        SeeChip(rootFd, chips[i], &seen, Table);
    }
    if (!Table->Exhausted) {
        AddPackages(Root, seen, AssignPackages(rootFd, CpuRoot, &seen), Table);
    }
    for (size_t i = 0; i < seen.Count; ++i) {
        FreeNumbers(&seen.Items[i].Channels);
    }
    free(seen.Items);
    free(chips);
    close(rootFd);
}

void AddChipDirectory(const char* Path, InterfaceTable* Table)
{
    // A directory is opened for its listing: no open of one acts.
    const int chipFd = open(Path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (chipFd < 0) {
        Table->Exhausted = ExhaustedBy(errno);
        return;
    }
    char text[ATTRIBUTE_CAP];
    bool exhausted = false;
    // As a chip of the catalogue reads, all its channels together where it is
    // not one.
    const size_t layout = ReadChipName(chipFd, ".", CHECKED, text, &exhausted);
    if (layout != NO_LAYOUT) {
        const ChipRule* rule = FindChipRule(text);
        char files[sizeof("./device")];
        snprintf(files, sizeof(files), ".%s", CHIP_LAYOUTS[layout]);
        const int filesFd = openat(chipFd, files, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        Numbers chosen{};
        char prefix[PATH_CAP];
        const int length =
            snprintf(prefix, sizeof(prefix), "%s%s/temp", Path, CHIP_LAYOUTS[layout]);
        if (filesFd < 0) {
            exhausted = ExhaustedBy(errno);
        } else if (!ChooseChannels(rule, filesFd, CHECKED, &chosen)) {
            exhausted = true;
        } else if (chosen.Count > 0 && length > 0 && static_cast<size_t>(length) < sizeof(prefix)) {
            AddNumberedInterface(Table, prefix, chosen, "_input", "_input", CHECKED);
        }
        FreeNumbers(&chosen);
        if (filesFd >= 0) {
            close(filesFd);
        }
    }
    Table->Exhausted = Table->Exhausted || exhausted;
    close(chipFd);
}
