// What an interface is, and the one scan kept from the listing to the open.
// A scan makes a table of interfaces, each a name and the value files it
// reads at their hottest. The table is kept after the scan (cfgmgr.cpp serves
// its names as the list), and CreateFileW opens a listed name as its members.
// A path that no scan listed opens as itself: nothing is read back out of a name.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "platform/linux/thermal.h"

namespace {

// The last scan's table, for the list query and the opens that follow it;
// freed by the next scan. Pending while the size query's scan awaits its
// list query: Windows callers ask for the size, allocate, then ask for the
// list, and one walk of /sys serves both.
InterfaceTable Kept;
bool Pending = false;

// Appends Text and its NUL to the table's text; its offset, or false.
bool PutText(InterfaceTable* Table, const char* Text, size_t* Offset)
{
    const size_t needed = strlen(Text) + 1;
    if (Table->TextCapacity - Table->Length < needed) {
        size_t grown = Table->TextCapacity == 0 ? 1024 : Table->TextCapacity;
        while (grown - Table->Length < needed && grown <= SIZE_MAX / 2) {
            grown *= 2;
        }
        char* text = grown - Table->Length < needed
                         ? nullptr
                         : static_cast<char*>(realloc(Table->Text, grown));
        if (text == nullptr) {
            Table->Exhausted = true;
            return false;
        }
        Table->Text = text;
        Table->TextCapacity = grown;
    }
    memcpy(Table->Text + Table->Length, Text, needed);
    *Offset = Table->Length;
    Table->Length += needed;
    return true;
}

// <Prefix><Number><Suffix> in Out; false when it does not fit.
bool Numbered(char (&Out)[PATH_CAP], const char* Prefix, unsigned long long Number,
              const char* Suffix)
{
    const int length = snprintf(Out, sizeof(Out), "%s%llu%s", Prefix, Number, Suffix);
    return length > 0 && static_cast<size_t>(length) < sizeof(Out);
}

} // namespace

void AddInterface(InterfaceTable* Table, const char* Name, Trust How)
{
    size_t name = 0;
    if (Table->Exhausted || !PutText(Table, Name, &name)) {
        return;
    }
    Interface* added = AddItem(&Table->Items, &Table->Count, &Table->Capacity);
    if (added == nullptr) {
        Table->Exhausted = true;
        return;
    }
    *added = Interface{name, Table->Length, 0, How};
}

void AddInterfaceMember(InterfaceTable* Table, const char* Path)
{
    size_t member = 0;
    if (!Table->Exhausted && Table->Count > 0 && PutText(Table, Path, &member)) {
        ++Table->Items[Table->Count - 1].MemberCount;
    }
}

void AddNumberedInterface(InterfaceTable* Table, const char* Prefix, const Numbers& Set,
                          const char* MemberSuffix, const char* NameSuffix, Trust How)
{
    for (size_t i = 0; i < Set.Count; ++i) {
        char member[PATH_CAP];
        char name[PATH_CAP];
        if (!Numbered(member, Prefix, Set.Items[i], MemberSuffix) ||
            (i == 0 && !Numbered(name, Prefix, Set.Items[i], NameSuffix))) {
            return; // longer than any path: the rest are too
        }
        if (i == 0) {
            AddInterface(Table, name, How);
        }
        AddInterfaceMember(Table, member);
    }
}

void FreeInterfaceTable(InterfaceTable* Table)
{
    free(Table->Text);
    free(Table->Items);
    *Table = InterfaceTable{};
}

const char* NameOf(const InterfaceTable& Table, const Interface& Item)
{
    return Table.Text + Item.Name;
}

const char* FirstMember(const InterfaceTable& Table, const Interface& Item)
{
    return Table.Text + Item.FirstMember;
}

const char* NextMember(const char* Member)
{
    return Member + strlen(Member) + 1;
}

void KeepScan(InterfaceTable* Table)
{
    FreeInterfaceTable(&Kept);
    Kept = *Table;
    *Table = InterfaceTable{};
    Pending = true;
}

void DropScan()
{
    FreeInterfaceTable(&Kept);
    Pending = false;
}

bool TakePendingScan()
{
    const bool pending = Pending;
    Pending = false;
    return pending;
}

const InterfaceTable& KeptScan()
{
    return Kept;
}

const Interface* FindKept(const char* Name)
{
    for (size_t i = 0; i < Kept.Count; ++i) {
        if (strcmp(NameOf(Kept, Kept.Items[i]), Name) == 0) {
            return &Kept.Items[i];
        }
    }
    return nullptr;
}
