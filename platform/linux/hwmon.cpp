// The first tier: hwmon chips that measure the CPU itself, recognised by name,
// one interface each: the channel their labels mark as the CPU's. Nothing but
// names and labels is read here; a chip of any other name is never opened.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

#include "platform/linux/thermal.h"

struct CpuChipRule {
    const char* Name;
    // Null: labels say nothing and the lowest channel is the CPU.
    int (*Rank)(const char* Label, std::size_t Length);
    // Older parts of the family label nothing; temp1 is then the CPU.
    bool Temp1WhenUnlabelled;
};

namespace {

// Names and labels are a few words; anything longer is not one we know.
constexpr std::size_t ATTRIBUTE_TEXT_CAP = 128;

bool Is(const char* Text, std::size_t Length, const char* Word)
{
    return Length == strlen(Word) && memcmp(Text, Word, Length) == 0;
}

// Word followed by a decimal number, such as "Core 12".
bool IsNumbered(const char* Text, std::size_t Length, const char* Word)
{
    const std::size_t wordLength = strlen(Word);
    if (Length <= wordLength || memcmp(Text, Word, wordLength) != 0) {
        return false;
    }
    for (std::size_t i = wordLength; i < Length; ++i) {
        if (Text[i] < '0' || Text[i] > '9') {
            return false;
        }
    }
    return true;
}

bool EndsWith(const char* Text, std::size_t Length, const char* Word)
{
    const std::size_t wordLength = strlen(Word);
    return Length >= wordLength && memcmp(Text + Length - wordLength, Word, wordLength) == 0;
}

int RankCoretemp(const char* Label, std::size_t Length)
{
    if (IsNumbered(Label, Length, "Package id ") || IsNumbered(Label, Length, "Physical id ")) {
        return 0;
    }
    return IsNumbered(Label, Length, "Core ") ? 1 : NOT_CPU;
}

// Tctl is the control value, offset upwards on some parts; Tdie, where the
// chip has it, is the die itself.
int RankK10temp(const char* Label, std::size_t Length)
{
    if (Is(Label, Length, "Tdie")) {
        return 0;
    }
    return Is(Label, Length, "Tctl") ? 1 : NOT_CPU;
}

// Several sockets label their channels "cpu0 Tdie", "cpu1 Tdie" and so on.
int RankZenpower(const char* Label, std::size_t Length)
{
    if (Is(Label, Length, "Tdie") || EndsWith(Label, Length, " Tdie")) {
        return 0;
    }
    return Is(Label, Length, "Tctl") ? 1 : NOT_CPU;
}

// Its power channels share the directory; only this one is a temperature.
int RankApmXgene(const char* Label, std::size_t Length)
{
    return Is(Label, Length, "SoC Temperature") ? 0 : NOT_CPU;
}

constexpr CpuChipRule CPU_CHIPS[] = {
    {"coretemp", RankCoretemp, false},  {"k10temp", RankK10temp, true},
    {"zenpower", RankZenpower, false},  {"k8temp", nullptr, false},
    {"apm_xgene", RankApmXgene, false},
};

// Where a chip keeps its attributes: in its own directory, or, before 3.13, in
// its parent device.
constexpr const char* CHIP_LAYOUTS[] = {"", "/device"};

// One file of a temperature channel: tempK_input or tempK_label.
struct ChannelFile {
    unsigned long long Number;
    bool IsLabel;
    char Name[32];
};

int CompareChannelFiles(const void* a, const void* b)
{
    const ChannelFile* left = static_cast<const ChannelFile*>(a);
    const ChannelFile* right = static_cast<const ChannelFile*>(b);
    if (left->Number != right->Number) {
        return left->Number < right->Number ? -1 : 1;
    }
    return static_cast<int>(left->IsLabel) - static_cast<int>(right->IsLabel);
}

// The chip's temperature inputs and labels, in ascending channel number, each
// input before its label. Channels have gaps: only the listing tells them.
bool ListChannelFiles(int ChipFd, ChannelFile** Files, std::size_t* Count)
{
    *Files = nullptr;
    *Count = 0;
    Listing listing;
    StartListing(&listing, ChipFd);
    std::size_t capacity = 0;
    bool ok = true;
    for (const char* name = NextEntry(&listing); name != nullptr; name = NextEntry(&listing)) {
        unsigned long long number = 0;
        const bool isInput = ParseIndexedName(name, "temp", "_input", &number);
        if ((!isInput && !ParseIndexedName(name, "temp", "_label", &number)) ||
            strlen(name) >= sizeof(ChannelFile::Name)) {
            continue;
        }
        ChannelFile* added = AddItem(Files, Count, &capacity);
        if (added == nullptr) {
            ok = false;
            break;
        }
        added->Number = number;
        added->IsLabel = !isInput;
        memcpy(added->Name, name, strlen(name) + 1);
    }
    if (!ok) {
        free(*Files);
        *Files = nullptr;
        *Count = 0;
        return false;
    }
    if (*Count > 1) {
        qsort(*Files, *Count, sizeof(ChannelFile), CompareChannelFiles);
    }
    return true;
}

// The input file of the channel that reads the CPU, or null.
const ChannelFile* ChooseChannel(const CpuChipRule* Rule, int ChipFd, const ChannelFile* Files,
                                 std::size_t Count)
{
    if (Rule->Rank == nullptr) {
        for (std::size_t i = 0; i < Count; ++i) {
            if (!Files[i].IsLabel) {
                return &Files[i];
            }
        }
        return nullptr;
    }
    const ChannelFile* input = nullptr;  // the last input seen: a label's own if numbers match
    const ChannelFile* chosen = nullptr; // the chosen channel's input; null if it has none
    int chosenRank = NOT_CPU;
    bool anyLabel = false;
    for (std::size_t i = 0; i < Count; ++i) {
        const ChannelFile* file = &Files[i];
        if (!file->IsLabel) {
            input = file;
            continue;
        }
        anyLabel = true;
        char label[ATTRIBUTE_TEXT_CAP];
        std::size_t length = 0;
        if (!ReadAttributeText(ChipFd, file->Name, label, sizeof(label), &length)) {
            continue;
        }
        const int rank = Rule->Rank(label, WithoutNewline(label, length));
        if (rank != NOT_CPU && (chosenRank == NOT_CPU || rank < chosenRank)) {
            chosenRank = rank;
            chosen = input != nullptr && input->Number == file->Number ? input : nullptr;
            if (rank == 0) {
                break; // the lowest channel of the best kind
            }
        }
    }
    if (chosenRank != NOT_CPU) {
        return chosen;
    }
    for (std::size_t i = 0; !anyLabel && Rule->Temp1WhenUnlabelled && i < Count; ++i) {
        if (Files[i].Number == 1) {
            return &Files[i];
        }
    }
    return nullptr;
}

// The CPU channel of chip Name (hwmonN) under RootFd, appended as a path.
void AddCpuChannel(const char* Root, int RootFd, const char* Name, PathList* List)
{
    // Kernels before 3.13 keep every attribute, name included, in device/.
    char chip[sizeof(IndexedEntry::Name) + sizeof("/device")];
    char relative[sizeof(chip) + sizeof("/name")];
    char text[ATTRIBUTE_TEXT_CAP];
    std::size_t length = 0;
    bool named = false;
    for (const char* layout : CHIP_LAYOUTS) {
        snprintf(chip, sizeof(chip), "%s%s", Name, layout);
        snprintf(relative, sizeof(relative), "%s/name", chip);
        if (ReadAttributeText(RootFd, relative, text, sizeof(text), &length)) {
            named = true;
            break;
        }
    }
    const CpuChipRule* rule = named ? FindCpuChipRule(text, WithoutNewline(text, length)) : nullptr;
    if (rule == nullptr) {
        return;
    }
    const int chipFd = openat(RootFd, chip, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (chipFd < 0) {
        return;
    }
    ChannelFile* files = nullptr;
    std::size_t count = 0;
    if (!ListChannelFiles(chipFd, &files, &count)) {
        List->OutOfMemory = true;
    }
    const ChannelFile* input = ChooseChannel(rule, chipFd, files, count);
    if (input != nullptr) {
        AppendPath(List, Root, chip, input->Name);
    }
    free(files);
    close(chipFd);
}

} // namespace

const CpuChipRule* FindCpuChipRule(const char* Name, std::size_t Length)
{
    for (const CpuChipRule& rule : CPU_CHIPS) {
        if (Is(Name, Length, rule.Name)) {
            return &rule;
        }
    }
    return nullptr;
}

int RankChannelLabel(const CpuChipRule* Rule, const char* Label, std::size_t Length)
{
    return Rule->Rank != nullptr ? Rule->Rank(Label, Length) : NOT_CPU;
}

void ListCpuChips(const char* Root, PathList* List)
{
    const int rootFd = open(Root, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (rootFd < 0) {
        return;
    }
    IndexedEntry* chips = nullptr;
    std::size_t count = 0;
    if (!ListIndexedEntries(rootFd, "hwmon", &chips, &count)) {
        List->OutOfMemory = true;
    }
    for (std::size_t i = 0; i < count; ++i) {
        AddCpuChannel(Root, rootFd, chips[i].Name, List);
    }
    free(chips);
    close(rootFd);
}
