// What an interface is, and how its members get from the listing to the open.
// A scan makes a table of interfaces, each a name and the value files it
// reads at their hottest. The table is kept after the scan (interface_list.cpp
// serves its names as the list), and CreateFileW opens a listed name as its
// members. A path that no scan listed opens as itself, and only as itself:
// nothing is read back out of a name.
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

#include "platform/linux/thermal.h"

namespace {

// The last scan's table, for the list query and the opens that follow it on
// the same thread. Freed by the next scan, or at exit.
thread_local InterfaceTable Kept;
// Set once the exit handler is registered; an atomic flag rather than
// pthread_once, whose wake-up would cost every run a system call.
std::atomic<bool> DropsAtExit{false};

void DropKept()
{
    FreeInterfaceTable(&Kept);
}

// Appends Text and its NUL to the table's text; its offset, or false.
bool PutText(InterfaceTable* Table, const char* Text, std::size_t* Offset)
{
    const std::size_t needed = strlen(Text) + 1;
    if (Table->TextCapacity - Table->Length < needed) {
        std::size_t grown = Table->TextCapacity == 0 ? 1024 : Table->TextCapacity;
        while (grown - Table->Length < needed && grown <= SIZE_MAX / 2) {
            grown *= 2;
        }
        char* text = grown - Table->Length < needed
                         ? nullptr
                         : static_cast<char*>(realloc(Table->Text, grown));
        if (text == nullptr) {
            Table->OutOfMemory = true;
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

// Opening a member fails this way only when it is not there: it is left out
// while another opens. Anything else (a resource that ran out, a refusal)
// fails the interface, so that no member is dropped from its reading silently.
bool Absent(int Errno)
{
    return Errno == ENOENT || Errno == ENOTDIR || Errno == ENXIO || Errno == ENODEV ||
           Errno == EISDIR;
}

const Interface* FindKept(const char* Path)
{
    for (std::size_t i = 0; i < Kept.Count; ++i) {
        if (strcmp(Kept.Text + Kept.Items[i].Name, Path) == 0) {
            return &Kept.Items[i];
        }
    }
    return nullptr;
}

void CloseAll(int* Fds, std::size_t Count)
{
    for (std::size_t i = 0; i < Count; ++i) {
        close(Fds[i]);
    }
    free(Fds);
}

// An unlisted path: a zone directory opens its temp, anything else itself,
// and only a regular file of either.
int OpenAsItself(const char* Path)
{
    char zoneTemp[PATH_CAP];
    if (!JoinPath(zoneTemp, Path, "/temp")) {
        errno = ENAMETOOLONG;
        return -1;
    }
    const int fd = OpenRegular(AT_FDCWD, zoneTemp);
    return fd < 0 && errno == ENOTDIR ? OpenRegular(AT_FDCWD, Path) : fd;
}

// <Prefix><Number><Suffix> in Out; false when it does not fit.
bool Numbered(char (&Out)[PATH_CAP], const char* Prefix, unsigned long long Number,
              const char* Suffix)
{
    const int length = snprintf(Out, sizeof(Out), "%s%llu%s", Prefix, Number, Suffix);
    return length > 0 && static_cast<std::size_t>(length) < sizeof(Out);
}

} // namespace

void AddInterface(InterfaceTable* Table, const char* Name, Trust How)
{
    std::size_t name = 0;
    if (Table->OutOfMemory || !PutText(Table, Name, &name)) {
        return;
    }
    Interface* added = AddItem(&Table->Items, &Table->Count, &Table->Capacity);
    if (added == nullptr) {
        Table->OutOfMemory = true;
        return;
    }
    *added = Interface{name, Table->Length, 0, How};
}

void AddInterfaceMember(InterfaceTable* Table, const char* Path)
{
    std::size_t member = 0;
    if (!Table->OutOfMemory && Table->Count > 0 && PutText(Table, Path, &member)) {
        ++Table->Items[Table->Count - 1].MemberCount;
    }
}

void AddNumberedInterface(InterfaceTable* Table, const char* Prefix, const Numbers& Set,
                          const char* MemberSuffix, const char* NameSuffix, Trust How)
{
    for (std::size_t i = 0; i < Set.Count; ++i) {
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

void KeepInterfaces(InterfaceTable* Table)
{
    if (!DropsAtExit.exchange(true)) {
        atexit(DropKept);
    }
    DropKept();
    Kept = *Table;
    *Table = InterfaceTable{};
}

const InterfaceTable* KeptInterfaces()
{
    return &Kept;
}

void DropKeptInterfaces()
{
    DropKept();
}

DWORD OpenInterface(const char* Path, int** Fds, std::size_t* Count)
{
    *Fds = nullptr;
    *Count = 0;
    const Interface* listed = FindKept(Path);
    if (listed != nullptr && listed->MemberCount == 0) {
        listed = nullptr;
    }
    const std::size_t members = listed != nullptr ? listed->MemberCount : 1;
    int* fds = static_cast<int*>(malloc(members * sizeof(int)));
    if (fds == nullptr) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    if (listed == nullptr) {
        fds[0] = OpenAsItself(Path);
        if (fds[0] < 0) {
            const DWORD error = ErrorFromOpenErrno(errno);
            free(fds);
            return error;
        }
        *Fds = fds;
        *Count = 1;
        return ERROR_SUCCESS;
    }
    std::size_t opened = 0;
    int firstAbsent = 0;
    const char* member = Kept.Text + listed->FirstMember;
    for (std::size_t i = 0; i < members; ++i, member += strlen(member) + 1) {
        const int fd = OpenValue(AT_FDCWD, member, listed->How);
        if (fd >= 0) {
            fds[opened++] = fd;
            continue;
        }
        const int error = errno;
        if (!Absent(error)) {
            CloseAll(fds, opened);
            return ErrorFromOpenErrno(error);
        }
        firstAbsent = firstAbsent == 0 ? error : firstAbsent;
    }
    if (opened == 0) {
        free(fds);
        return ErrorFromOpenErrno(firstAbsent);
    }
    *Fds = fds;
    *Count = opened;
    return ERROR_SUCCESS;
}
