// cputemp: reads the CPU temperature from the thermal device once, prints it in
// whole degrees Celsius and returns it as the exit status.
#include <stdio.h>
#include <string.h>

#include "discovery/discovery.h"
#include "platform/platform.h"

// Whole kelvins to whole degrees Celsius; the reading is in tenths of a kelvin.
constexpr int KELVIN_OFFSET = 273;
constexpr ULONG TENTHS_PER_KELVIN = 10;

int main(int /*argc*/, char* /*argv*/[])
{
    WCHAR devicePath[DEVICE_PATH_CCH];
    memset(devicePath, 0, sizeof(devicePath));
    ULONG reading = 0;
    // Absolute zero stands for "no temperature": after a failed open and after
    // a failed request, whatever the driver left in the reading, so that a
    // half-written answer never passes for a temperature.
    int celsius = -KELVIN_OFFSET;

    FindDevicePath(devicePath);

    HANDLE device = CreateFileW(devicePath, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (device == INVALID_HANDLE_VALUE) {
        return celsius;
    }

    THERMAL_WAIT_READ request;
    memset(&request, 0, sizeof(request));
    DWORD bytesReturned = 0;
    if (DeviceIoControl(device, IOCTL_THERMAL_READ_TEMPERATURE, &request, sizeof(request), &reading,
                        sizeof(reading), &bytesReturned, nullptr)) {
        reading /= TENTHS_PER_KELVIN;
        celsius = static_cast<int>(reading) - KELVIN_OFFSET;
        printf("CPU Temp: %d C\n", celsius);
    } else {
        DWORD error = GetLastError();
        printf("failed:0x%x\n", static_cast<unsigned int>(error));
    }

    CloseHandle(device);
    return celsius;
}
