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

// The chips that list as the CPU's, each with its chosen channels as the
// members of an interface of its own in Chosen, in chip order. Whether a chip
// is a package, a part of one or several depends on its driver's other chips:
// the interfaces are made once every chip has been seen.
struct SeenChip {
    const ChipRule* Rule;
    char Name[sizeof(IndexedEntry::Name)]; // hwmonN
    char Leaf[64];      // where in the chip it is read: "/temp1_input", "/device/temp2_input"
    std::size_t Chosen; // its interface in SeenChips::Chosen
    bool Done;
};
struct SeenChips {
    InterfaceTable Chosen;
    SeenChip* Items;
    std::size_t Count;
    std::size_t Capacity;
};

// The chosen channels of the chip whose files are in Directory, one interface.
void AddChannels(const char* Directory, const Numbers& Set, Trust How, InterfaceTable* Table)
{
    char prefix[PATH_CAP];
    if (JoinPath(prefix, Directory, "/temp")) {
        AddNumberedInterface(Table, prefix, Set, "_input", "_input", How);
    }
}

// Chip Entry (hwmonN) under Root, when it is the CPU's, into Seen.
void SeeChip(const char* Root, int RootFd, const IndexedEntry& Entry, SeenChips* Seen,
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
    const std::size_t before = Seen->Chosen.Count;
    if (!complete) {
        Table->OutOfMemory = true;
    } else if (chosen.Count > 0 && JoinPath(directory, Root, relative)) {
        AddChannels(directory, chosen, SYSFS, &Seen->Chosen);
    }
    SeenChip* seen = Seen->Chosen.Count > before
                         ? AddItem(&Seen->Items, &Seen->Count, &Seen->Capacity)
                         : nullptr;
    if (seen != nullptr) {
        *seen = SeenChip{rule, {}, {}, before, false};
        memcpy(seen->Name, Entry.Name, sizeof(seen->Name));
        snprintf(seen->Leaf, sizeof(seen->Leaf), "%s/temp%llu_input", chip + strcspn(chip, "/"),
                 chosen.Items[0]);
    } else if (Seen->Chosen.Count > before) {
        Table->OutOfMemory = true;
    }
    FreeNumbers(&chosen);
}

// The members of seen chip I into the interface begun last in Table; each an
// interface of its own when Apart.
void CopyMembers(const SeenChips& Seen, std::size_t I, bool Apart, InterfaceTable* Table)
{
    const Interface& from = Seen.Chosen.Items[Seen.Items[I].Chosen];
    const char* member = Seen.Chosen.Text + from.FirstMember;
    for (std::size_t m = 0; m < from.MemberCount; ++m, member += strlen(member) + 1) {
        if (Apart) {
            AddInterface(Table, member, SYSFS);
        }
        AddInterfaceMember(Table, member);
    }
}

// The name of seen chip I's own interface: its first member.
const char* NameOf(const SeenChips& Seen, std::size_t I)
{
    return Seen.Chosen.Text + Seen.Chosen.Items[Seen.Items[I].Chosen].Name;
}

// Whether seen chips I and J are of one group, whatever the topology: a
// driver's chips but those that are each a package (or a package a channel),
// and per core those read at the same channel.
bool SameGroup(const SeenChip& I, const SeenChip& J)
{
    const Grouping kind = I.Rule->Group;
    return I.Rule == J.Rule && kind != CHIP_PER_PACKAGE && kind != CHANNEL_PER_PACKAGE &&
           (kind != CHIP_PER_CORE || strcmp(I.Leaf, J.Leaf) == 0);
}

// The die each chip of Group measures, from its device link; false unless
// they are 0 to Count - 1, each once.
bool ReadDies(int RootFd, const SeenChips& Seen, const std::size_t* Group, std::size_t Count,
              long* Dies)
{
    for (std::size_t g = 0; g < Count; ++g) {
        char link[sizeof(SeenChip::Name) + sizeof("/device")];
        char target[PATH_CAP];
        snprintf(link, sizeof(link), "%s/device", Seen.Items[Group[g]].Name);
        const ssize_t length = readlinkat(RootFd, link, target, sizeof(target) - 1);
        if (length <= 0) {
            return false;
        }
        target[length] = 0;
        const char* slash = strrchr(target, '/');
        Dies[g] = DieOfDevice(slash != nullptr ? slash + 1 : target);
        if (Dies[g] < 0 || static_cast<std::size_t>(Dies[g]) >= Count) {
            return false;
        }
        for (std::size_t other = 0; other < g; ++other) {
            if (Dies[other] == Dies[g]) {
                return false;
            }
        }
    }
    return true;
}

// The interfaces of the seen chips, each group where its first chip is: a
// chip of a package its own; a driver's chips per core or of the SoC one; a
// driver's chips per die one per package where the topology tells which;
// else each chip its own.
void ListSeenChips(int RootFd, const char* CpuRoot, SeenChips* Seen, InterfaceTable* Table)
{
    std::size_t* group = static_cast<std::size_t*>(malloc((Seen->Count + 1) * sizeof(std::size_t)));
    // Each chip's die, then the interface it goes to.
    long* slots = static_cast<long*>(malloc((Seen->Count + 1) * sizeof(long)));
    std::size_t packages = 0;
    bool counted = false;
    Table->OutOfMemory = Table->OutOfMemory || group == nullptr || slots == nullptr;
    for (std::size_t i = 0; !Table->OutOfMemory && i < Seen->Count; ++i) {
        SeenChip& first = Seen->Items[i];
        if (first.Done) {
            continue;
        }
        std::size_t count = 0;
        for (std::size_t j = i; j < Seen->Count; ++j) {
            if (!Seen->Items[j].Done && (j == i || SameGroup(first, Seen->Items[j]))) {
                Seen->Items[j].Done = true;
                group[count++] = j;
            }
        }
        // The interface each chip of the group goes to: one for them all,
        // unless they are a driver's dies: one per package where the topology
        // tells which, else one each.
        const Grouping kind = first.Rule->Group;
        std::size_t made = 1; // interfaces
        for (std::size_t g = 0; g < count; ++g) {
            slots[g] = 0;
        }
        if (kind == CHIP_PER_DIE && count > 1) {
            if (!counted) {
                packages = CountPackages(CpuRoot);
                counted = true;
            }
            const bool told = packages > 0 && count % packages == 0 &&
                              ReadDies(RootFd, *Seen, group, count, slots);
            made = told ? packages : count;
            for (std::size_t g = 0; g < count; ++g) {
                slots[g] =
                    told ? slots[g] / static_cast<long>(count / packages) : static_cast<long>(g);
            }
        }
        const bool apart = kind == CHANNEL_PER_PACKAGE;
        for (std::size_t n = 0; n < made; ++n) {
            bool begun = apart; // a channel per package begins its own
            for (std::size_t g = 0; g < count; ++g) {
                if (static_cast<std::size_t>(slots[g]) != n) {
                    continue;
                }
                if (!begun) {
                    AddInterface(Table, NameOf(*Seen, group[g]), SYSFS);
                    begun = true;
                }
                CopyMembers(*Seen, group[g], apart, Table);
            }
        }
    }
    free(group);
    free(slots);
}

} // namespace

void ListCpuChips(const char* Root, const char* CpuRoot, InterfaceTable* Table)
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
    SeenChips seen{};
    for (std::size_t i = 0; i < count; ++i) {
        SeeChip(Root, rootFd, chips[i], &seen, Table);
    }
    Table->OutOfMemory = Table->OutOfMemory || seen.Chosen.OutOfMemory;
    ListSeenChips(rootFd, CpuRoot, &seen, Table);
    FreeInterfaceTable(&seen.Chosen);
    free(seen.Items);
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
