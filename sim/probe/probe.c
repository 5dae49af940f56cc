/*
 * cputemp-sim-probe PATH: asks the simulated driver behind an interface path
 * the questions cputemp never asks, and prints what each answer was. With
 * buffered I/O a failed request must leave the caller's output as it was.
 */
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
/* windows.h first: the others build on its types. */
#include <stdio.h>
#include <winioctl.h>

#define THERMAL_READ CTL_CODE(FILE_DEVICE_BATTERY, 0x24, METHOD_BUFFERED, FILE_READ_ACCESS)
#define UNTOUCHED 0xA5A5A5A5UL

static void Ask(HANDLE Device, const char* Name, DWORD Code, DWORD InSize, DWORD OutSize)
{
    ULONG request[3] = {0, 0, 0};
    ULONG reading = UNTOUCHED;
    DWORD returned = 0;
    if (DeviceIoControl(Device, Code, request, InSize, &reading, OutSize, &returned, NULL)) {
        printf("%s: ok %lu, %lu bytes\n", Name, reading, returned);
    } else {
        DWORD error = GetLastError();
        printf("%s: error %lu, output %s\n", Name, error,
               reading == UNTOUCHED ? "untouched" : "written");
    }
}

int wmain(int argc, WCHAR** argv)
{
    HANDLE device;
    if (argc != 2) {
        fprintf(stderr, "usage: cputemp-sim-probe PATH\n");
        return 2;
    }
    device = CreateFileW(argv[1], GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
    if (device == INVALID_HANDLE_VALUE) {
        printf("open: error %lu\n", GetLastError());
        return 1;
    }
    printf("open: ok\n");
    Ask(device, "read", THERMAL_READ, 12, 4);
    Ask(device, "other code",
        CTL_CODE(FILE_DEVICE_BATTERY, 0x25, METHOD_BUFFERED, FILE_READ_ACCESS), 12, 4);
    Ask(device, "short request", THERMAL_READ, 11, 4);
    Ask(device, "short output", THERMAL_READ, 12, 3);
    CloseHandle(device);
    return 0;
}
