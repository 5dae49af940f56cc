// Reading sysfs the cheap way: directory listings, small attribute texts, and
// the paths the scans build.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include "platform/linux/thermal.h"

namespace {

constexpr std::size_t NUMBER_MAX_DIGITS = 19;
// Runs of this many consecutive numbers or more are written as a range.
constexpr std::size_t RANGE_MIN = 3;

int CompareEntries(const void* a, const void* b)
{
    const auto* left = static_cast<const IndexedEntry*>(a);
    const auto* right = static_cast<const IndexedEntry*>(b);
    return left->Number < right->Number ? -1 : left->Number > right->Number ? 1 : 0;
}

// Appends one item to the malloc'd array *Items of *Count, growing it by
// doubling; null, and nothing changed, when memory ran out.
template <class Item> Item* AddItem(Item** Items, std::size_t* Count, std::size_t* Capacity)
{
    if (*Count == *Capacity) {
        const std::size_t grown = *Capacity == 0 ? 16 : *Capacity * 2;
        auto* more = static_cast<Item*>(realloc(*Items, grown * sizeof(Item)));
        if (more == nullptr) {
            return nullptr;
        }
        *Items = more;
        *Capacity = grown;
    }
    return &(*Items)[(*Count)++];
}

// Appends Text, or a number, at *Length; false once it does not fit.
bool Put(char (&Path)[PATH_CAP], std::size_t* Length, const char* Text)
{
    const std::size_t length = strlen(Text);
    if (length >= sizeof(Path) - *Length) {
        return false;
    }
    memcpy(Path + *Length, Text, length + 1);
    *Length += length;
    return true;
}

bool Put(char (&Path)[PATH_CAP], std::size_t* Length, unsigned long long Number)
{
    char digits[24];
    snprintf(digits, sizeof(digits), "%llu", Number);
    return Put(Path, Length, digits);
}

// <Prefix><N><Suffix> with N of 1 to 19 decimal digits, without leading zeros.
bool ParseIndexedName(const char* Name, const char* Prefix, const char* Suffix,
                      unsigned long long* Number)
{
    const std::size_t prefixLength = strlen(Prefix);
    if (strncmp(Name, Prefix, prefixLength) != 0) {
        return false;
    }
    const char* digits = Name + prefixLength;
    const std::size_t count = strspn(digits, "0123456789");
    if (count == 0 || count > NUMBER_MAX_DIGITS || (digits[0] == '0' && count > 1) ||
        strcmp(digits + count, Suffix) != 0) {
        return false;
    }
    *Number = strtoull(digits, nullptr, 10);
    return true;
}

} // namespace

bool ListIndexed(int DirectoryFd, const char* Prefix, const char* Suffix, IndexedEntry** Entries,
                 std::size_t* Count)
{
    *Entries = nullptr;
    *Count = 0;
    // Straight from the descriptor the caller opened and goes on using for
    // openat: no DIR and its extra system calls.
    alignas(dirent64) char buffer[8192];
    std::size_t capacity = 0;
    for (;;) {
        const ssize_t got = getdents64(DirectoryFd, buffer, sizeof(buffer));
        if (got <= 0) {
            break;
        }
        for (ssize_t at = 0; at < got;) {
            const auto* entry = reinterpret_cast<const dirent64*>(buffer + at);
            at += entry->d_reclen;
            unsigned long long number = 0;
            if (!ParseIndexedName(entry->d_name, Prefix, Suffix, &number) ||
                strlen(entry->d_name) >= sizeof(IndexedEntry::Name)) {
                continue;
            }
            IndexedEntry* added = AddItem(Entries, Count, &capacity);
            if (added == nullptr) {
                free(*Entries);
                *Entries = nullptr;
                *Count = 0;
                return false;
            }
            added->Number = number;
            memcpy(added->Name, entry->d_name, strlen(entry->d_name) + 1);
        }
    }
    if (*Count > 1) {
        qsort(*Entries, *Count, sizeof(IndexedEntry), CompareEntries);
    }
    return true;
}

bool ReadAttribute(int DirectoryFd, const char* Relative, char (&Text)[ATTRIBUTE_CAP])
{
    const int fd = openat(DirectoryFd, Relative, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        return false;
    }
    ssize_t got = 0;
    do {
        // sysfs hands an attribute over whole: one read, and a full one is too long.
        got = read(fd, Text, sizeof(Text) - 1);
    } while (got < 0 && errno == EINTR);
    close(fd);
    if (got < 0 || static_cast<std::size_t>(got) == sizeof(Text) - 1) {
        return false;
    }
    std::size_t length = static_cast<std::size_t>(got);
    if (length > 0 && Text[length - 1] == '\n') {
        --length;
    }
    Text[length] = 0;
    return strlen(Text) == length;
}

void AppendPath(PathList* List, const char* Path)
{
    const std::size_t needed = strlen(Path) + 1;
    if (List->OutOfMemory) {
        return;
    }
    if (List->Capacity - List->Length < needed) {
        std::size_t grown = List->Capacity == 0 ? 1024 : List->Capacity * 2;
        while (grown - List->Length < needed) {
            grown *= 2;
        }
        char* text = static_cast<char*>(realloc(List->Text, grown));
        if (text == nullptr) {
            List->OutOfMemory = true;
            return;
        }
        List->Text = text;
        List->Capacity = grown;
    }
    memcpy(List->Text + List->Length, Path, needed);
    List->Length += needed;
    ++List->Count;
}

bool JoinPath(char (&Out)[PATH_CAP], const char* Head, const char* Tail)
{
    std::size_t length = 0;
    return Put(Out, &length, Head) && Put(Out, &length, Tail);
}

void FreePathList(PathList* List)
{
    free(List->Text);
    *List = PathList{};
}

void AddMember(Members* Set, unsigned long long Number)
{
    if (Set->Count < MAX_MEMBERS) {
        Set->Numbers[Set->Count++] = Number;
    }
}

bool FormatMembers(char (&Path)[PATH_CAP], const char* Prefix, const unsigned long long* Numbers,
                   std::size_t Count, const char* Suffix)
{
    for (std::size_t kept = Count; kept > 0; --kept) {
        std::size_t length = 0;
        bool fits = Put(Path, &length, Prefix);
        if (kept == 1) {
            fits = fits && Put(Path, &length, Numbers[0]);
        } else {
            fits = fits && Put(Path, &length, "{");
            for (std::size_t i = 0; fits && i < kept;) {
                std::size_t run = 1;
                while (i + run < kept && Numbers[i + run] == Numbers[i] + run) {
                    ++run;
                }
                run = run < RANGE_MIN ? 1 : run;
                fits = (i == 0 || Put(Path, &length, ",")) && Put(Path, &length, Numbers[i]) &&
                       (run == 1 ||
                        (Put(Path, &length, "-") && Put(Path, &length, Numbers[i + run - 1])));
                i += run;
            }
            fits = fits && Put(Path, &length, "}");
        }
        fits = fits && Put(Path, &length, Suffix);
        // A single member too long for the core's buffer still goes: the core
        // reports it as such.
        if (fits && (length <= INTERFACE_PATH_MAX || kept == 1)) {
            return true;
        }
    }
    return false;
}

bool ParseMembers(const char* Path, MemberSet* Set)
{
    const char* open = strrchr(Path, '{');
    const char* close = open != nullptr ? strchr(open, '}') : nullptr;
    if (close == nullptr) {
        return false;
    }
    Set->PrefixLength = static_cast<std::size_t>(open - Path);
    Set->Suffix = close + 1;
    Set->Count = 0;
    // Numbers and ranges, comma-separated; the kernel's numbers are ints.
    for (const char* at = open + 1; at < close;) {
        char* end = nullptr;
        if (strspn(at, "0123456789") == 0) {
            return false;
        }
        const unsigned long long first = strtoull(at, &end, 10);
        unsigned long long last = first;
        if (*end == '-') {
            if (strspn(end + 1, "0123456789") == 0) {
                return false;
            }
            last = strtoull(end + 1, &end, 10);
        }
        if (last < first || last - first >= MAX_MEMBERS - Set->Count || last > INT32_MAX ||
            (*end != ',' && end != close)) {
            return false;
        }
        for (unsigned long long n = first; n <= last; ++n) {
            Set->Numbers[Set->Count++] = n;
        }
        at = end == close ? close : end + 1;
        if (end != close && at == close) {
            return false; // a trailing comma
        }
    }
    return Set->Count > 0;
}
