// The first tier: the hwmon chips of the catalogue, an interface per CPU
// package, reading the package's own sensor where its labels show one and the
// hottest of its cores where they do not. Only names and labels are read
// here; a chip of any other name is never opened past its name.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

#include "platform/linux/thermal.h"

namespace {

// Where a chip keeps its attributes: in its own directory, or, before 3.13
// and for drivers that still register the old way, in its parent device.
constexpr const char* CHIP_LAYOUTS[] = {"", "/device"};

// The chip's channels that read the CPU, by Rule; with no rule, all of them.
// Channels have gaps: only the listing tells them. False when a resource ran
// out, so that no channel is left out for want of one.
bool ChooseChannels(const ChipRule* Rule, int ChipFd, Trust How, Numbers* Chosen)
{
    IndexedEntry* inputs = nullptr;
    std::size_t count = 0;
    bool exhausted = !ListIndexed(ChipFd, "temp", "_input", &inputs, &count);
    // In the user's directory an input is a channel only as a regular file.
    std::size_t kept = 0;
    for (std::size_t i = 0; i < count; ++i) {
        if (How == SYSFS || IsRegular(ChipFd, inputs[i].Name)) {
            inputs[kept++] = inputs[i];
        } else {
            exhausted = exhausted || Exhausted(errno);
        }
    }
    count = kept;
    int best = NOT_RANKED;
    bool bestSeveral = false;
    bool labelled = false;
    for (std::size_t i = 0; Rule != nullptr && i < count; ++i) {
        char name[sizeof(IndexedEntry::Name)];
        char label[ATTRIBUTE_CAP];
        snprintf(name, sizeof(name), "temp%llu_label", inputs[i].Number);
        if (!ReadAttribute(ChipFd, name, label, How)) {
            exhausted = exhausted || Exhausted(errno);
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
    for (std::size_t i = 0; !labelled && i < count; ++i) {
        if (unlabelled == ALL_ARE_CPU || (unlabelled == TEMP1_IS_CPU && inputs[i].Number == 1)) {
            AddNumber(Chosen, inputs[i].Number);
        }
    }
    free(inputs);
    return !exhausted && !Chosen->OutOfMemory;
}

// Where chip Name under RootFd keeps its attributes ("hwmonN" or
// "hwmonN/device"), and its name text; false when it has none. *RanOut says
// whether a resource ran out on the way.
bool ReadChipName(int RootFd, const char* Name, Trust How, char (&Chip)[64],
                  char (&Text)[ATTRIBUTE_CAP], bool* RanOut)
{
    for (const char* layout : CHIP_LAYOUTS) {
        char relative[sizeof(Chip) + sizeof("/name")];
        snprintf(Chip, sizeof(Chip), "%s%s", Name, layout);
        snprintf(relative, sizeof(relative), "%s/name", Chip);
        if (ReadAttribute(RootFd, relative, Text, How)) {
            return true;
        }
        *RanOut = *RanOut || Exhausted(errno);
    }
    return false;
}

// Chips of a driver that registers one per core, gathered into one interface
// named after the first: hwmon3/temp1_input for hwmon3 to hwmon6. Each is read
// at the same place in its chip.
struct CoreGroup {
    const ChipRule* Rule;
    char Leaf[64]; // "/temp1_input" or "/device/temp1_input"
    Numbers Chips;
};

// The chosen channels of the chip whose files are in Directory, one interface.
void AddChannels(const char* Directory, const Numbers& Set, Trust How, InterfaceTable* Table)
{
    char prefix[PATH_CAP];
    if (JoinPath(prefix, Directory, "/temp")) {
        AddNumberedInterface(Table, prefix, Set, "_input", "_input", How);
    }
}

// The interfaces of chip Name (hwmonN) under Root, or its part in a CoreGroup.
void AddChip(const char* Root, int RootFd, const IndexedEntry& Entry, CoreGroup* Group,
             InterfaceTable* Table)
{
    char chip[64];
    char text[ATTRIBUTE_CAP];
    bool exhausted = false;
    const ChipRule* rule = ReadChipName(RootFd, Entry.Name, SYSFS, chip, text, &exhausted)
                               ? FindChipRule(text)
                               : nullptr;
    Table->OutOfMemory = Table->OutOfMemory || exhausted;
    if (rule == nullptr) {
        return;
    }
    const int chipFd = openat(RootFd, chip, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (chipFd < 0) {
        Table->OutOfMemory = Table->OutOfMemory || Exhausted(errno);
        return;
    }
    Numbers chosen{};
    const bool complete = ChooseChannels(rule, chipFd, SYSFS, &chosen);
    close(chipFd);
    char directory[PATH_CAP];
    char relative[sizeof(chip) + 1];
    snprintf(relative, sizeof(relative), "/%s", chip);
    if (!complete) {
        Table->OutOfMemory = true;
    } else if (chosen.Count == 0 || !JoinPath(directory, Root, relative)) {
        // no channel of the CPU's, or a path longer than any
    } else if (rule->Group == CHIP_PER_PACKAGE) {
        AddChannels(directory, chosen, SYSFS, Table);
    } else if (rule->Group == CHANNEL_PER_PACKAGE) {
        for (std::size_t i = 0; i < chosen.Count; ++i) {
            AddChannels(directory, Numbers{&chosen.Items[i], 1, 1, false}, SYSFS, Table);
        }
    } else {
        char leaf[sizeof(CoreGroup::Leaf)];
        snprintf(leaf, sizeof(leaf), "%s/temp%llu_input", chip + strcspn(chip, "/"),
                 chosen.Items[0]);
        if (Group->Rule == nullptr) {
            Group->Rule = rule;
            memcpy(Group->Leaf, leaf, sizeof(leaf));
        }
        // Another driver's, or read elsewhere: an interface of its own.
        if (Group->Rule != rule || strcmp(Group->Leaf, leaf) != 0) {
            AddChannels(directory, chosen, SYSFS, Table);
        } else {
            AddNumber(&Group->Chips, Entry.Number);
        }
    }
    FreeNumbers(&chosen);
}

} // namespace

void ListCpuChips(const char* Root, InterfaceTable* Table)
{
    const int rootFd = open(Root, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (rootFd < 0) {
        Table->OutOfMemory = Exhausted(errno);
        return;
    }
    IndexedEntry* chips = nullptr;
    std::size_t count = 0;
    if (!ListIndexed(rootFd, "hwmon", "", &chips, &count)) {
        Table->OutOfMemory = true;
    }
    CoreGroup group{};
    for (std::size_t i = 0; i < count; ++i) {
        AddChip(Root, rootFd, chips[i], &group, Table);
    }
    char prefix[PATH_CAP];
    if (group.Chips.OutOfMemory) {
        Table->OutOfMemory = true;
    } else if (group.Chips.Count > 0 && JoinPath(prefix, Root, "/hwmon")) {
        AddNumberedInterface(Table, prefix, group.Chips, group.Leaf, group.Leaf, SYSFS);
    }
    FreeNumbers(&group.Chips);
    free(chips);
    close(rootFd);
}

void AddChipDirectory(const char* Path, InterfaceTable* Table)
{
    // A directory is opened for its listing: no open of one acts.
    const int chipFd = open(Path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (chipFd < 0) {
        Table->OutOfMemory = Exhausted(errno);
        return;
    }
    char chip[64];
    char text[ATTRIBUTE_CAP];
    bool exhausted = false;
    // As a chip of the catalogue reads, all its channels together where it is
    // not one.
    if (ReadChipName(chipFd, ".", CHECKED, chip, text, &exhausted)) {
        const ChipRule* rule = FindChipRule(text);
        const int filesFd = openat(chipFd, chip, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        Numbers chosen{};
        char directory[PATH_CAP];
        if (filesFd < 0) {
            exhausted = Exhausted(errno);
        } else if (!ChooseChannels(rule, filesFd, CHECKED, &chosen)) {
            exhausted = true;
        } else if (chosen.Count > 0 && JoinPath(directory, Path, chip + 1)) {
            AddChannels(directory, chosen, CHECKED, Table);
        }
        FreeNumbers(&chosen);
        if (filesFd >= 0) {
            close(filesFd);
        }
    }
    Table->OutOfMemory = Table->OutOfMemory || exhausted;
    close(chipFd);
}
