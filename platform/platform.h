// The one seam between cputemp and the operating system. The core calls the
// platform by its Windows names; on Windows they are the SDK's own, elsewhere
// the declarations below, with Windows' sizes, served by whichever platform
// library the program is linked with.
#pragma once

#if defined(_WIN32)

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
// windows.h first: the others build on its types.
#include <cfgmgr32.h>
#include <winioctl.h>
#if defined(__has_include)
#if __has_include(<poclass.h>)
#include <poclass.h>
#endif
#endif

// Not every SDK ships the battery and thermal class header to user mode.
#ifndef IOCTL_THERMAL_READ_TEMPERATURE
#define IOCTL_THERMAL_READ_TEMPERATURE                                                             \
    CTL_CODE(FILE_DEVICE_BATTERY, 0x24, METHOD_BUFFERED, FILE_READ_ACCESS)
typedef struct _THERMAL_WAIT_READ {
    ULONG Timeout;
    ULONG LowTemperature;
    ULONG HighTemperature;
} THERMAL_WAIT_READ, *PTHERMAL_WAIT_READ;
#endif

#else // !_WIN32

#include <stdint.h>

using BYTE = uint8_t;
using WORD = uint16_t;
using DWORD = uint32_t;
using ULONG = uint32_t;
using LONG = int32_t;
using BOOL = int;
using WCHAR = char16_t;
using HANDLE = void*;
using LPVOID = void*;
using LPDWORD = DWORD*;
using PULONG = ULONG*;
using LPCWSTR = const WCHAR*;
using PZZWSTR = WCHAR*;
using DEVINSTID_W = WCHAR*;
using CONFIGRET = DWORD;
using HRESULT = LONG;

struct GUID {
    DWORD Data1;
    WORD Data2;
    WORD Data3;
    BYTE Data4[8];
};
using LPGUID = GUID*;

struct SECURITY_ATTRIBUTES;
using LPSECURITY_ATTRIBUTES = SECURITY_ATTRIBUTES*;
struct OVERLAPPED;
using LPOVERLAPPED = OVERLAPPED*;

struct THERMAL_WAIT_READ {
    ULONG Timeout;
    ULONG LowTemperature;
    ULONG HighTemperature;
};

constexpr HRESULT S_OK = 0;
constexpr bool FAILED(HRESULT hr)
{
    return hr < 0;
}

constexpr CONFIGRET CR_SUCCESS = 0x00;
constexpr ULONG CM_GET_DEVICE_INTERFACE_LIST_PRESENT = 0x0;

constexpr DWORD GENERIC_READ = 0x80000000;
constexpr DWORD OPEN_EXISTING = 3;
// Windows defines it as a cast of -1; a cast cannot be a constant expression.
#define INVALID_HANDLE_VALUE (reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1)))

// CTL_CODE(FILE_DEVICE_BATTERY, 0x24, METHOD_BUFFERED, FILE_READ_ACCESS)
constexpr DWORD IOCTL_THERMAL_READ_TEMPERATURE = (0x29u << 16) | (1u << 14) | (0x24u << 2) | 0u;

extern "C" {
CONFIGRET CM_Get_Device_Interface_List_SizeW(PULONG pulLen, LPGUID InterfaceClassGuid,
                                             DEVINSTID_W pDeviceID, ULONG ulFlags);
CONFIGRET CM_Get_Device_Interface_ListW(LPGUID InterfaceClassGuid, DEVINSTID_W pDeviceID,
                                        PZZWSTR Buffer, ULONG BufferLen, ULONG ulFlags);
HANDLE CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                   LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                   DWORD dwFlagsAndAttributes, HANDLE hTemplateFile);
BOOL DeviceIoControl(HANDLE hDevice, DWORD dwIoControlCode, LPVOID lpInBuffer, DWORD nInBufferSize,
                     LPVOID lpOutBuffer, DWORD nOutBufferSize, LPDWORD lpBytesReturned,
                     LPOVERLAPPED lpOverlapped);
DWORD GetLastError(void);
BOOL CloseHandle(HANDLE hObject);
}

#endif // _WIN32

// {C5A3F341-E8A3-4579-9E09-DB61B3A39C1E}: the device interface class of the
// CPU thermal sensor, which its driver registers. A constant: each user builds
// it in place rather than loading a shared copy.
inline constexpr GUID CpuThermalInterfaceGuid = {
    0xC5A3F341, 0xE8A3, 0x4579, {0x9E, 0x09, 0xDB, 0x61, 0xB3, 0xA3, 0x9C, 0x1E}};

static_assert(sizeof(WCHAR) == 2, "interface paths are UTF-16");
static_assert(sizeof(DWORD) == 4 && sizeof(ULONG) == 4 && sizeof(LONG) == 4,
              "Windows' integer sizes, LP64 included");
static_assert(sizeof(GUID) == 16, "GUID layout");
static_assert(sizeof(THERMAL_WAIT_READ) == 12, "thermal request layout");
static_assert(IOCTL_THERMAL_READ_TEMPERATURE == 0x00294090, "thermal read control code");
