// The first tier: the hwmon chips of the catalogue, an interface per CPU
// package, reading the package's own sensor where its labels show one and the
// hottest of its cores where they do not. Only names and labels are read
// here; a chip of any other name is never opened past its name.
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
// Channels have gaps: only the listing tells them.
bool ChooseChannels(const ChipRule* Rule, int ChipFd, Members* Chosen, bool* OutOfMemory)
{
    Chosen->Count = 0;
    IndexedEntry* inputs = nullptr;
    std::size_t count = 0;
    *OutOfMemory = !ListIndexed(ChipFd, "temp", "_input", &inputs, &count);
    int best = NOT_RANKED;
    bool bestSeveral = false;
    bool labelled = false;
    for (std::size_t i = 0; Rule != nullptr && i < count; ++i) {
        char name[sizeof(IndexedEntry::Name)];
        char label[ATTRIBUTE_CAP];
        snprintf(name, sizeof(name), "temp%llu_label", inputs[i].Number);
        if (!ReadAttribute(ChipFd, name, label)) {
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
            AddMember(Chosen, inputs[i].Number);
        }
        if (rank == 0 && !several) {
            break; // the package's own sensor, the first of the best kind
        }
    }
    const Unlabelled unlabelled = Rule != nullptr ? Rule->WhenUnlabelled : ALL_ARE_CPU;
    for (std::size_t i = 0; !labelled && i < count; ++i) {
        if (unlabelled == ALL_ARE_CPU || (unlabelled == TEMP1_IS_CPU && inputs[i].Number == 1)) {
            AddMember(Chosen, inputs[i].Number);
        }
    }
    free(inputs);
    return Chosen->Count > 0;
}

// Where chip Name under RootFd keeps its attributes ("hwmonN" or
// "hwmonN/device"), and its name text; false when it has no name.
bool ReadChipName(int RootFd, const char* Name, char (&Chip)[64], char (&Text)[ATTRIBUTE_CAP])
{
    for (const char* layout : CHIP_LAYOUTS) {
        char relative[sizeof(Chip) + sizeof("/name")];
        snprintf(Chip, sizeof(Chip), "%s%s", Name, layout);
        snprintf(relative, sizeof(relative), "%s/name", Chip);
        if (ReadAttribute(RootFd, relative, Text)) {
            return true;
        }
    }
    return false;
}

// Chips of a driver that registers one per core, gathered into one interface:
// hwmon{3-6}/temp1_input. Each is read at the same place in its chip.
struct CoreGroup {
    const ChipRule* Rule;
    char Leaf[64]; // "/temp1_input" or "/device/temp1_input"
    Members Chips;
};

void AddChannels(const char* Directory, const Members& Set, PathList* List)
{
    char prefix[PATH_CAP];
    char path[PATH_CAP];
    if (JoinPath(prefix, Directory, "/temp") &&
        FormatMembers(path, prefix, Set.Numbers, Set.Count, "_input")) {
        AppendPath(List, path);
    }
}

// The interfaces of chip Name (hwmonN) under Root, or its part in a CoreGroup.
void AddChip(const char* Root, int RootFd, const IndexedEntry& Entry, CoreGroup* Group,
             PathList* List)
{
    char chip[64];
    char text[ATTRIBUTE_CAP];
    const ChipRule* rule =
        ReadChipName(RootFd, Entry.Name, chip, text) ? FindChipRule(text) : nullptr;
    if (rule == nullptr) {
        return;
    }
    const int chipFd = openat(RootFd, chip, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (chipFd < 0) {
        return;
    }
    Members chosen;
    bool outOfMemory = false;
    const bool found = ChooseChannels(rule, chipFd, &chosen, &outOfMemory);
    close(chipFd);
    List->OutOfMemory = List->OutOfMemory || outOfMemory;
    if (!found) {
        return;
    }
    char directory[PATH_CAP];
    char relative[sizeof(chip) + 1];
    snprintf(relative, sizeof(relative), "/%s", chip);
    if (!JoinPath(directory, Root, relative)) {
        return;
    }
    switch (rule->Group) {
    case CHIP_PER_PACKAGE:
        AddChannels(directory, chosen, List);
        break;
    case CHANNEL_PER_PACKAGE:
        for (std::size_t i = 0; i < chosen.Count; ++i) {
            AddChannels(directory, Members{{chosen.Numbers[i]}, 1}, List);
        }
        break;
    case CHIP_PER_CORE: {
        char leaf[sizeof(CoreGroup::Leaf)];
        snprintf(leaf, sizeof(leaf), "%s/temp%llu_input", chip + strcspn(chip, "/"),
                 chosen.Numbers[0]);
        if (Group->Rule == nullptr) {
            Group->Rule = rule;
            memcpy(Group->Leaf, leaf, sizeof(leaf));
        }
        // Another driver's, or read elsewhere: an interface of its own.
        if (Group->Rule != rule || strcmp(Group->Leaf, leaf) != 0) {
            AddChannels(directory, chosen, List);
        } else {
            AddMember(&Group->Chips, Entry.Number);
        }
        break;
    }
    }
}

} // namespace

void ListCpuChips(const char* Root, PathList* List)
{
    const int rootFd = open(Root, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (rootFd < 0) {
        return;
    }
    IndexedEntry* chips = nullptr;
    std::size_t count = 0;
    if (!ListIndexed(rootFd, "hwmon", "", &chips, &count)) {
        List->OutOfMemory = true;
    }
    CoreGroup group{};
    for (std::size_t i = 0; i < count; ++i) {
        AddChip(Root, rootFd, chips[i], &group, List);
    }
    if (group.Chips.Count > 0) {
        char prefix[PATH_CAP];
        char path[PATH_CAP];
        if (JoinPath(prefix, Root, "/hwmon") &&
            FormatMembers(path, prefix, group.Chips.Numbers, group.Chips.Count, group.Leaf)) {
            AppendPath(List, path);
        }
    }
    free(chips);
    close(rootFd);
}

void AddChipDirectory(const char* Path, PathList* List)
{
    const int chipFd = open(Path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (chipFd < 0) {
        return;
    }
    char chip[64];
    char text[ATTRIBUTE_CAP];
    // As a chip of the catalogue reads, all its channels together where it is
    // not one.
    if (ReadChipName(chipFd, ".", chip, text)) {
        const ChipRule* rule = FindChipRule(text);
        const int filesFd = openat(chipFd, chip, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        Members chosen;
        bool outOfMemory = false;
        char directory[PATH_CAP];
        if (filesFd >= 0 && ChooseChannels(rule, filesFd, &chosen, &outOfMemory) &&
            JoinPath(directory, Path, chip + 1)) {
            AddChannels(directory, chosen, List);
        }
        List->OutOfMemory = List->OutOfMemory || outOfMemory;
        if (filesFd >= 0) {
            close(filesFd);
        }
    }
    close(chipFd);
}
