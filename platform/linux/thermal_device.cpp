// File and device I/O for the thermal interfaces. Opening a listed interface
// opens its members, the temperature files the kept scan names for it; any
// other path opens as itself. The thermal read request reads them afresh and
// answers the hottest of those that answer.
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <fcntl.h>
#include <unistd.h>

#include "platform/linux/thermal.h"

namespace {

// Per thread, as Windows keeps it.
thread_local DWORD LastError = ERROR_SUCCESS;

// The open interfaces, each the descriptors of its sensors; a handle is a
// slot's number plus one, so that no open device is NULL and a closed one is
// told apart. A handle is the process's, as on Windows: any thread may use it.
constexpr size_t MAX_OPEN = 8;
struct Sensor {
    bool Open;
    size_t Count;
    int* Fds; // malloc'd
};
Sensor Sensors[MAX_OPEN];

constexpr int64_t ABSOLUTE_ZERO_MILLIDEGREES = 273150;
constexpr int64_t MILLIDEGREES_PER_TENTH_KELVIN = 100;
constexpr int64_t MAX_READING = 0xFFFFFFFF;

Sensor* SensorOf(HANDLE Handle)
{
    const auto slot = reinterpret_cast<uintptr_t>(Handle) - 1;
    return slot < MAX_OPEN && Sensors[slot].Open ? &Sensors[slot] : nullptr;
}

BOOL Fail(DWORD Error)
{
    LastError = Error;
    return FALSE;
}

// One sensor's value, read afresh from its start (a sysfs attribute is sampled
// when read at offset 0) with one bounded read.
DWORD ReadSensor(int Fd, ULONG* Reading)
{
    char text[VALUE_CAP];
    ssize_t got = 0;
    do {
        got = pread(Fd, text, sizeof(text), 0);
    } while (got < 0 && errno == EINTR);
    if (got < 0) {
        return ErrorFromReadErrno(errno);
    }
    // sysfs hands a value over whole; one that fills the buffer is longer
    // than any temperature.
    if (static_cast<size_t>(got) == sizeof(text)) {
        return ERROR_INVALID_DATA;
    }
    return ReadingFromText(text, static_cast<size_t>(got), Reading);
}

// Opening a member fails this way only when it is not there: it is left out
// while another opens. Anything else (a resource that ran out, a refusal)
// fails the interface, so that no member is dropped from its reading silently.
bool Absent(int Errno)
{
    return Errno == ENOENT || Errno == ENOTDIR || Errno == ENXIO || Errno == ENODEV ||
           Errno == EISDIR;
}

void CloseAll(int* Fds, size_t Count)
{
    for (size_t i = 0; i < Count; ++i) {
        close(Fds[i]);
    }
}

// An unlisted path: a zone directory opens its temp, anything else itself,
// and only a regular file of either. -1 with errno.
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

// The value files that opening Path reads into Fds (room for as many as its
// members, or one): a listed interface's members, else Path itself. Members
// that are absent are left out while another opens; 0, or the errno that
// fails the whole.
int OpenSensors(const char* Path, const Interface* Listed, int* Fds, size_t* Count)
{
    *Count = 0;
    if (Listed == nullptr) {
        Fds[0] = OpenAsItself(Path);
        *Count = Fds[0] < 0 ? 0 : 1;
        return Fds[0] < 0 ? errno : 0;
    }
    int firstAbsent = 0;
    const char* member = FirstMember(KeptScan(), *Listed);
    for (size_t i = 0; i < Listed->MemberCount; ++i, member = NextMember(member)) {
        const int fd = OpenValue(AT_FDCWD, member, Listed->How);
        if (fd >= 0) {
            Fds[(*Count)++] = fd;
            continue;
        }
        const int error = errno;
        if (!Absent(error)) {
            CloseAll(Fds, *Count);
            *Count = 0;
            return error;
        }
        firstAbsent = firstAbsent == 0 ? error : firstAbsent;
    }
    return *Count > 0 ? 0 : firstAbsent;
}

} // namespace

DWORD ReadingFromText(const char* Text, size_t Length, ULONG* Reading)
{
    char number[VALUE_CAP];
    if (Length > 0 && Text[Length - 1] == '\n') {
        --Length;
    }
    if (Length == 0 || Length >= sizeof(number)) {
        return ERROR_INVALID_DATA;
    }
    memcpy(number, Text, Length);
    number[Length] = 0;
    // The shape first, so that the one conversion takes no sign, space or NUL
    // of its own.
    const size_t sign = number[0] == '-' ? 1 : 0;
    const size_t digits = strspn(number + sign, "0123456789");
    if (digits == 0 || sign + digits != Length) {
        return ERROR_INVALID_DATA;
    }
    errno = 0;
    const long long millidegrees = strtoll(number, nullptr, 10);
    if (errno == ERANGE || millidegrees < -ABSOLUTE_ZERO_MILLIDEGREES ||
        millidegrees > MAX_READING * MILLIDEGREES_PER_TENTH_KELVIN) {
        return ERROR_INVALID_DATA;
    }
    const int64_t tenths =
        (millidegrees + ABSOLUTE_ZERO_MILLIDEGREES) / MILLIDEGREES_PER_TENTH_KELVIN;
    if (tenths > MAX_READING) {
        return ERROR_INVALID_DATA;
    }
    *Reading = static_cast<ULONG>(tenths);
    return ERROR_SUCCESS;
}

DWORD ErrorFromOpenErrno(int Errno)
{
    switch (Errno) {
    case ENOENT:
        return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
    case ELOOP:
        return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EROFS:
        return ERROR_ACCESS_DENIED;
    case EMFILE:
    case ENFILE:
        return ERROR_TOO_MANY_OPEN_FILES;
    case ENOMEM:
        return ERROR_NOT_ENOUGH_MEMORY;
    case ENAMETOOLONG:
        return ERROR_FILENAME_EXCED_RANGE;
    default:
        return ERROR_OPEN_FAILED;
    }
}

DWORD ErrorFromReadErrno(int Errno)
{
    if (Errno == ENOMEM || Errno == ENOBUFS) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    return (Errno == EAGAIN || Errno == EWOULDBLOCK || Errno == ENODATA) ? ERROR_NOT_READY
                                                                         : ERROR_READ_FAULT;
}

HANDLE CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD /*dwShareMode*/,
                   LPSECURITY_ATTRIBUTES /*lpSecurityAttributes*/, DWORD dwCreationDisposition,
                   DWORD /*dwFlagsAndAttributes*/, HANDLE /*hTemplateFile*/)
{
    if (lpFileName == nullptr || lpFileName[0] == 0) {
        LastError = ERROR_PATH_NOT_FOUND;
        return INVALID_HANDLE_VALUE;
    }
    if (dwCreationDisposition != OPEN_EXISTING) {
        LastError = ERROR_INVALID_PARAMETER; // a sensor cannot be created
        return INVALID_HANDLE_VALUE;
    }
    if ((dwDesiredAccess & GENERIC_WRITE) != 0) {
        LastError = ERROR_ACCESS_DENIED;
        return INVALID_HANDLE_VALUE;
    }
    size_t slot = 0;
    while (slot < MAX_OPEN && Sensors[slot].Open) {
        ++slot;
    }
    if (slot == MAX_OPEN) {
        LastError = ERROR_TOO_MANY_OPEN_FILES;
        return INVALID_HANDLE_VALUE;
    }
    char path[PATH_CAP];
    const DWORD error = Utf8FromUtf16(lpFileName, path);
    if (error != ERROR_SUCCESS) {
        LastError = error;
        return INVALID_HANDLE_VALUE;
    }
    const Interface* listed = FindKept(path);
    listed = listed != nullptr && listed->MemberCount > 0 ? listed : nullptr;
    Sensor& sensor = Sensors[slot];
    sensor.Fds =
        static_cast<int*>(malloc((listed != nullptr ? listed->MemberCount : 1) * sizeof(int)));
    if (sensor.Fds == nullptr) {
        LastError = ERROR_NOT_ENOUGH_MEMORY;
        return INVALID_HANDLE_VALUE;
    }
    const int failed = OpenSensors(path, listed, sensor.Fds, &sensor.Count);
    if (failed != 0) {
        free(sensor.Fds);
        sensor = Sensor{};
        LastError = ErrorFromOpenErrno(failed);
        return INVALID_HANDLE_VALUE;
    }
    sensor.Open = true;
    return reinterpret_cast<HANDLE>(slot + 1);
}

BOOL DeviceIoControl(HANDLE hDevice, DWORD dwIoControlCode, LPVOID lpInBuffer, DWORD nInBufferSize,
                     LPVOID lpOutBuffer, DWORD nOutBufferSize, LPDWORD lpBytesReturned,
                     LPOVERLAPPED /*lpOverlapped*/)
{
    if (lpBytesReturned != nullptr) {
        *lpBytesReturned = 0;
    }
    const Sensor* sensor = SensorOf(hDevice);
    if (sensor == nullptr) {
        return Fail(ERROR_INVALID_HANDLE);
    }
    if (dwIoControlCode != IOCTL_THERMAL_READ_TEMPERATURE) {
        return Fail(ERROR_INVALID_FUNCTION);
    }
    if (lpInBuffer == nullptr || nInBufferSize < sizeof(THERMAL_WAIT_READ)) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    ULONG hottest = 0;
    if (lpOutBuffer == nullptr || nOutBufferSize < sizeof(hottest)) {
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    }
    // A sensor that does not answer is left out while another does; when none
    // does, the first one's error. Memory that ran out fails the request: a
    // reading without that sensor could be too low.
    DWORD first = ERROR_SUCCESS;
    size_t answered = 0;
    for (size_t i = 0; i < sensor->Count; ++i) {
        ULONG reading = 0;
        const DWORD error = ReadSensor(sensor->Fds[i], &reading);
        if (error == ERROR_NOT_ENOUGH_MEMORY) {
            return Fail(error);
        }
        if (error != ERROR_SUCCESS) {
            first = first == ERROR_SUCCESS ? error : first;
            continue;
        }
        hottest = answered++ == 0 || reading > hottest ? reading : hottest;
    }
    if (answered == 0) {
        return Fail(first);
    }
    memcpy(lpOutBuffer, &hottest, sizeof(hottest));
    if (lpBytesReturned != nullptr) {
        *lpBytesReturned = sizeof(hottest);
    }
    return TRUE;
}

DWORD GetLastError(void)
{
    return LastError;
}

BOOL CloseHandle(HANDLE hObject)
{
    Sensor* sensor = SensorOf(hObject);
    if (sensor == nullptr) {
        return Fail(ERROR_INVALID_HANDLE);
    }
    // A close that fails (EINTR, EIO) still frees the descriptor.
    CloseAll(sensor->Fds, sensor->Count);
    free(sensor->Fds);
    *sensor = Sensor{};
    return TRUE;
}
