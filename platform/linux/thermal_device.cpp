// File and device I/O for the thermal interfaces: opening an interface opens
// its temperature file (a zone's temp, or the hwmon channel's input itself), and
// the thermal read request reads it afresh.
#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

#include "platform/linux/thermal.h"

namespace {

thread_local DWORD LastError = ERROR_SUCCESS;

constexpr char ZONE_TEMP[] = "temp";
// Non-blocking, so that a FIFO named as the sensor cannot hang the run; sysfs
// files ignore the flag.
constexpr int SENSOR_OPEN_FLAGS = O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;

// Handles are descriptors offset by one, so that no open device is NULL.
HANDLE HandleFromFd(int Fd)
{
    return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(Fd) + 1);
}
int FdFromHandle(HANDLE Handle)
{
    const std::intptr_t value = reinterpret_cast<std::intptr_t>(Handle) - 1;
    return value >= 0 && value <= 0x7FFFFFFF ? static_cast<int>(value) : -1;
}

bool IsOpenFd(int Fd)
{
    return Fd >= 0 && fcntl(Fd, F_GETFD) != -1;
}

BOOL Fail(DWORD Error)
{
    LastError = Error;
    return FALSE;
}

// UTF-16 to UTF-8; answers the Windows error on failure.
DWORD PathFromInterfacePath(LPCWSTR Path, char (&Out)[PATH_CAP])
{
    std::size_t length = 0;
    auto put = [&](unsigned int byte) {
        if (length + 1 >= PATH_CAP) {
            return false;
        }
        Out[length++] = static_cast<char>(byte);
        return true;
    };
    for (std::size_t i = 0; Path[i] != 0; ++i) {
        unsigned int unit = Path[i];
        unsigned int code = unit;
        if (unit >= 0xD800 && unit <= 0xDBFF) {
            const unsigned int low = Path[i + 1];
            if (low < 0xDC00 || low > 0xDFFF) {
                return ERROR_INVALID_NAME;
            }
            code = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
            ++i;
        } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
            return ERROR_INVALID_NAME;
        }
        bool fits = true;
        if (code < 0x80) {
            fits = put(code);
        } else if (code < 0x800) {
            fits = put(0xC0 | (code >> 6)) && put(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            fits = put(0xE0 | (code >> 12)) && put(0x80 | ((code >> 6) & 0x3F)) &&
                   put(0x80 | (code & 0x3F));
        } else {
            fits = put(0xF0 | (code >> 18)) && put(0x80 | ((code >> 12) & 0x3F)) &&
                   put(0x80 | ((code >> 6) & 0x3F)) && put(0x80 | (code & 0x3F));
        }
        if (!fits) {
            return ERROR_FILENAME_EXCED_RANGE;
        }
    }
    Out[length] = 0;
    return ERROR_SUCCESS;
}

// A zone directory opens its temp file; anything else opens as it is. The
// opens tell which it is, zones (the common case) first: no stat.
int OpenSensor(const char* Path)
{
    char zoneTemp[PATH_CAP + sizeof(ZONE_TEMP)];
    snprintf(zoneTemp, sizeof(zoneTemp), "%s/%s", Path, ZONE_TEMP);
    const int fd = open(zoneTemp, SENSOR_OPEN_FLAGS);
    return fd < 0 && errno == ENOTDIR ? open(Path, SENSOR_OPEN_FLAGS) : fd;
}

} // namespace

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
    char path[PATH_CAP];
    const DWORD error = PathFromInterfacePath(lpFileName, path);
    if (error != ERROR_SUCCESS) {
        LastError = error;
        return INVALID_HANDLE_VALUE;
    }
    const int fd = OpenSensor(path);
    if (fd < 0) {
        LastError = ErrorFromOpenErrno(errno);
        return INVALID_HANDLE_VALUE;
    }
    return HandleFromFd(fd);
}

BOOL DeviceIoControl(HANDLE hDevice, DWORD dwIoControlCode, LPVOID lpInBuffer, DWORD nInBufferSize,
                     LPVOID lpOutBuffer, DWORD nOutBufferSize, LPDWORD lpBytesReturned,
                     LPOVERLAPPED /*lpOverlapped*/)
{
    if (lpBytesReturned != nullptr) {
        *lpBytesReturned = 0;
    }
    const int fd = FdFromHandle(hDevice);
    if (!IsOpenFd(fd)) {
        return Fail(ERROR_INVALID_HANDLE);
    }
    if (dwIoControlCode != IOCTL_THERMAL_READ_TEMPERATURE) {
        return Fail(ERROR_INVALID_FUNCTION);
    }
    if (lpInBuffer == nullptr || nInBufferSize < sizeof(THERMAL_WAIT_READ)) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    ULONG reading = 0;
    if (lpOutBuffer == nullptr || nOutBufferSize < sizeof(reading)) {
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    }

    // From the start every time: a sysfs attribute is sampled when read at offset 0.
    TemperatureText text{};
    char chunk[64];
    off_t offset = 0;
    for (;;) {
        const ssize_t got = pread(fd, chunk, sizeof(chunk), offset);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            return Fail(ErrorFromReadErrno(errno));
        }
        if (got == 0) {
            break;
        }
        ScanTemperatureText(&text, chunk, static_cast<std::size_t>(got));
        // sysfs hands a value over whole: a short read is its end.
        if (text.Malformed || static_cast<std::size_t>(got) < sizeof(chunk)) {
            break;
        }
        offset += got;
    }
    const DWORD error = ReadingFromTemperatureText(&text, &reading);
    if (error != ERROR_SUCCESS) {
        return Fail(error);
    }
    memcpy(lpOutBuffer, &reading, sizeof(reading));
    if (lpBytesReturned != nullptr) {
        *lpBytesReturned = sizeof(reading);
    }
    return TRUE;
}

DWORD GetLastError(void)
{
    return LastError;
}

BOOL CloseHandle(HANDLE hObject)
{
    const int fd = FdFromHandle(hObject);
    // Only EBADF leaves a descriptor open: after EINTR or EIO it is gone all the same.
    if (fd < 0 || (close(fd) != 0 && errno == EBADF)) {
        return Fail(ERROR_INVALID_HANDLE);
    }
    return TRUE;
}
