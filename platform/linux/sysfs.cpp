// Reading sysfs the cheap way: directory listings, small attribute texts, and
// the paths the scans build; and opening only regular files where the path is
// the user's.
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "platform/linux/thermal.h"

namespace {

constexpr size_t NUMBER_MAX_DIGITS = 19;

// A getdents64 record: the inode (8 bytes), the next offset (8), the record's
// length (2), the file type (1), then the name and its NUL.
constexpr size_t RECORD_LENGTH_AT = 16;
constexpr size_t NAME_AT = 19;

int CompareEntries(const void* a, const void* b)
{
    const auto* left = static_cast<const IndexedEntry*>(a);
    const auto* right = static_cast<const IndexedEntry*>(b);
    return left->Number < right->Number ? -1 : left->Number > right->Number ? 1 : 0;
}

// Appends Text at *Length; false once it does not fit.
bool Put(char (&Path)[PATH_CAP], size_t* Length, const char* Text)
{
    const size_t length = strlen(Text);
    if (length >= sizeof(Path) - *Length) {
        return false;
    }
    memcpy(Path + *Length, Text, length + 1);
    *Length += length;
    return true;
}

// <Prefix><N><Suffix> with N of 1 to 19 decimal digits, without leading zeros.
bool ParseIndexedName(const char* Name, const char* Prefix, const char* Suffix,
                      unsigned long long* Number)
{
    const size_t prefixLength = strlen(Prefix);
    if (strncmp(Name, Prefix, prefixLength) != 0) {
        return false;
    }
    const char* digits = Name + prefixLength;
    const size_t count = strspn(digits, "0123456789");
    if (count == 0 || count > NUMBER_MAX_DIGITS || (digits[0] == '0' && count > 1) ||
        strcmp(digits + count, Suffix) != 0) {
        return false;
    }
    *Number = strtoull(digits, nullptr, 10);
    return true;
}

} // namespace

bool ListIndexed(int DirectoryFd, const char* Prefix, const char* Suffix, IndexedEntry** Entries,
                 size_t* Count)
{
    *Entries = nullptr;
    *Count = 0;
    // Straight from the descriptor the caller opened and goes on using for
    // openat: no DIR and its extra system calls. The system call itself, as
    // not every C library wraps it.
    alignas(8) char buffer[8192];
    size_t capacity = 0;
    for (;;) {
        const long got = syscall(SYS_getdents64, DirectoryFd, buffer, sizeof(buffer));
        if (got <= 0) {
            break;
        }
        for (long at = 0; at < got;) {
            unsigned short length = 0;
            memcpy(&length, buffer + at + RECORD_LENGTH_AT, sizeof(length));
            const char* name = buffer + at + NAME_AT;
            at += length;
            unsigned long long number = 0;
            if (!ParseIndexedName(name, Prefix, Suffix, &number) ||
                strlen(name) >= sizeof(IndexedEntry::Name)) {
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
            memcpy(added->Name, name, strlen(name) + 1);
        }
    }
    if (*Count > 1) {
        qsort(*Entries, *Count, sizeof(IndexedEntry), CompareEntries);
    }
    return true;
}

bool ExhaustedBy(int Errno)
{
    return Errno == EMFILE || Errno == ENFILE || Errno == ENOMEM;
}

namespace {

// Relative as an O_PATH descriptor, looked up without opening it for reading,
// when it is a regular file; -1 with errno (ENOENT for any other kind).
int RegularObject(int DirectoryFd, const char* Relative)
{
    const int object = openat(DirectoryFd, Relative, O_PATH | O_CLOEXEC);
    if (object < 0) {
        return -1;
    }
    struct stat st;
    const int error = fstat(object, &st) != 0 ? errno : S_ISREG(st.st_mode) ? 0 : ENOENT;
    if (error == 0) {
        return object;
    }
    close(object);
    errno = error;
    return -1;
}

} // namespace

bool IsRegular(int DirectoryFd, const char* Relative)
{
    const int object = RegularObject(DirectoryFd, Relative);
    if (object < 0) {
        return false;
    }
    close(object);
    return true;
}

int OpenRegular(int DirectoryFd, const char* Relative)
{
    const int object = RegularObject(DirectoryFd, Relative);
    if (object < 0) {
        return -1;
    }
    char self[sizeof("/proc/self/fd/") + 12];
    snprintf(self, sizeof(self), "/proc/self/fd/%d", object);
    const int fd = open(self, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    const int error = errno;
    close(object);
    errno = error;
    return fd;
}

int OpenValue(int DirectoryFd, const char* Relative, Trust How)
{
    // Non-blocking and no controlling terminal, should a sysfs file ever be
    // anything else; sysfs files ignore both.
    return How == CHECKED
               ? OpenRegular(DirectoryFd, Relative)
               : openat(DirectoryFd, Relative, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
}

bool ReadAttribute(int DirectoryFd, const char* Relative, char (&Text)[ATTRIBUTE_CAP], Trust How)
{
    const int fd = OpenValue(DirectoryFd, Relative, How);
    if (fd < 0) {
        return false;
    }
    ssize_t got = 0;
    do {
        // sysfs hands an attribute over whole: one read, and a full one is too long.
        got = read(fd, Text, sizeof(Text) - 1);
    } while (got < 0 && errno == EINTR);
    const int error = got < 0 ? errno : 0;
    close(fd);
    errno = error;
    if (got < 0 || static_cast<size_t>(got) == sizeof(Text) - 1) {
        return false;
    }
    size_t length = static_cast<size_t>(got);
    if (length > 0 && Text[length - 1] == '\n') {
        --length;
    }
    Text[length] = 0;
    return strlen(Text) == length;
}

bool JoinPath(char (&Out)[PATH_CAP], const char* Head, const char* Tail)
{
    size_t length = 0;
    return Put(Out, &length, Head) && Put(Out, &length, Tail);
}
