// Reading sysfs the cheap way: directory listings, small attribute texts and
// the list of paths the scans build.
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include "platform/linux/thermal.h"

namespace {

constexpr std::size_t NUMBER_MAX_DIGITS = 19;

int CompareEntries(const void* a, const void* b)
{
    const IndexedEntry* left = static_cast<const IndexedEntry*>(a);
    const IndexedEntry* right = static_cast<const IndexedEntry*>(b);
    if (left->Number != right->Number) {
        return left->Number < right->Number ? -1 : 1;
    }
    return strcmp(left->Name, right->Name); // thermal_zone7 and thermal_zone07
}

bool Reserve(PathList* List, std::size_t More)
{
    if (List->Capacity - List->Length >= More) {
        return true;
    }
    std::size_t grown = List->Capacity == 0 ? 1024 : List->Capacity * 2;
    while (grown - List->Length < More) {
        grown *= 2;
    }
    char* text = static_cast<char*>(realloc(List->Text, grown));
    if (text == nullptr) {
        return false;
    }
    List->Text = text;
    List->Capacity = grown;
    return true;
}

} // namespace

void StartListing(Listing* List, int DirectoryFd)
{
    List->Fd = DirectoryFd;
    List->Used = 0;
    List->At = 0;
}

const char* NextEntry(Listing* List)
{
    if (List->At >= List->Used) {
        const ssize_t got = getdents64(List->Fd, List->Buffer, sizeof(List->Buffer));
        if (got <= 0) {
            return nullptr;
        }
        List->Used = static_cast<std::size_t>(got);
        List->At = 0;
    }
    const auto* entry = reinterpret_cast<const dirent64*>(List->Buffer + List->At);
    List->At += entry->d_reclen;
    return entry->d_name;
}

bool ParseIndexedName(const char* Name, const char* Prefix, const char* Suffix,
                      unsigned long long* Number)
{
    const std::size_t prefixLength = strlen(Prefix);
    if (strncmp(Name, Prefix, prefixLength) != 0) {
        return false;
    }
    const char* digits = Name + prefixLength;
    std::size_t count = 0;
    unsigned long long value = 0;
    while (digits[count] >= '0' && digits[count] <= '9') {
        if (++count > NUMBER_MAX_DIGITS) {
            return false;
        }
        value = value * 10 + static_cast<unsigned long long>(digits[count - 1] - '0');
    }
    if (count == 0 || strcmp(digits + count, Suffix) != 0) {
        return false;
    }
    *Number = value;
    return true;
}

bool ListIndexedEntries(int DirectoryFd, const char* Prefix, IndexedEntry** Entries,
                        std::size_t* Count)
{
    *Entries = nullptr;
    *Count = 0;
    Listing listing;
    StartListing(&listing, DirectoryFd);
    std::size_t capacity = 0;
    bool ok = true;
    for (const char* name = NextEntry(&listing); name != nullptr; name = NextEntry(&listing)) {
        unsigned long long number = 0;
        if (!ParseIndexedName(name, Prefix, "", &number) ||
            strlen(name) >= sizeof(IndexedEntry::Name)) {
            continue;
        }
        IndexedEntry* added = AddItem(Entries, Count, &capacity);
        if (added == nullptr) {
            ok = false;
            break;
        }
        added->Number = number;
        memcpy(added->Name, name, strlen(name) + 1);
    }
    if (!ok) {
        free(*Entries);
        *Entries = nullptr;
        *Count = 0;
        return false;
    }
    if (*Count > 1) {
        qsort(*Entries, *Count, sizeof(IndexedEntry), CompareEntries);
    }
    return true;
}

bool ReadAttributeText(int DirectoryFd, const char* Relative, char* Text, std::size_t Capacity,
                       std::size_t* Length)
{
    const int fd = openat(DirectoryFd, Relative, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        return false;
    }
    std::size_t length = 0;
    bool complete = false;
    while (length < Capacity) {
        const ssize_t got = read(fd, Text + length, Capacity - length);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            complete = got == 0;
            break;
        }
        length += static_cast<std::size_t>(got);
        if (length < Capacity) {
            complete = true; // sysfs hands an attribute over whole; a short read ends it
            break;
        }
    }
    close(fd);
    *Length = length;
    return complete;
}

std::size_t WithoutNewline(const char* Text, std::size_t Length)
{
    return Length > 0 && Text[Length - 1] == '\n' ? Length - 1 : Length;
}

void AppendPath(PathList* List, const char* Directory, const char* Name, const char* Leaf)
{
    if (List->OutOfMemory) {
        return;
    }
    const char* parts[] = {Directory, Name, Leaf};
    std::size_t needed = 0;
    for (const char* part : parts) {
        needed += part != nullptr ? strlen(part) + 1 : 0; // its '/' or the final NUL
    }
    if (!Reserve(List, needed)) {
        List->OutOfMemory = true;
        return;
    }
    char* out = List->Text + List->Length;
    for (const char* part : parts) {
        if (part == nullptr) {
            break;
        }
        if (out != List->Text + List->Length) {
            *out++ = '/';
        }
        const std::size_t length = strlen(part);
        memcpy(out, part, length);
        out += length;
    }
    *out = 0;
    List->Length += needed;
    ++List->Count;
}

void FreePathList(PathList* List)
{
    free(List->Text);
    *List = PathList{};
}
