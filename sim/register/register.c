/*
 * cputemp-sim-register: registers one device of the simulated thermal driver
 * and its CPU thermal interface through SetupDi, as an installer would, and
 * prints the interface's path. An optional argument is the reference string.
 * The interface is listed as present once the driver has started and linked it.
 */
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
/* windows.h first: the others build on its types. */
#include <setupapi.h>
#include <stdio.h>

static const GUID CpuThermalInterface = {
    0xC5A3F341, 0xE8A3, 0x4579, {0x9E, 0x09, 0xDB, 0x61, 0xB3, 0xA3, 0x9C, 0x1E}};

int wmain(int argc, WCHAR** argv)
{
    const WCHAR* reference = argc > 1 ? argv[1] : NULL;
    SP_DEVINFO_DATA device;
    SP_DEVICE_INTERFACE_DATA iface;
    BYTE buffer[sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W) + 1024 * sizeof(WCHAR)];
    SP_DEVICE_INTERFACE_DETAIL_DATA_W* detail = (SP_DEVICE_INTERFACE_DETAIL_DATA_W*)buffer;
    int status = 1;

    HDEVINFO set = SetupDiCreateDeviceInfoList(&CpuThermalInterface, NULL);
    if (set == INVALID_HANDLE_VALUE) {
        fprintf(stderr, "SetupDiCreateDeviceInfoList: %lu\n", GetLastError());
        return 1;
    }
    device.cbSize = sizeof(device);
    iface.cbSize = sizeof(iface);
    detail->cbSize = sizeof(*detail);
    if (!SetupDiCreateDeviceInfoW(set, L"CPUTEMPSIM", &CpuThermalInterface, NULL, NULL,
                                  DICD_GENERATE_ID, &device)) {
        fprintf(stderr, "SetupDiCreateDeviceInfoW: %lu\n", GetLastError());
    } else if (!SetupDiRegisterDeviceInfo(set, &device, 0, NULL, NULL, NULL)) {
        fprintf(stderr, "SetupDiRegisterDeviceInfo: %lu\n", GetLastError());
    } else if (!SetupDiCreateDeviceInterfaceW(set, &device, &CpuThermalInterface, reference, 0,
                                              &iface)) {
        fprintf(stderr, "SetupDiCreateDeviceInterfaceW: %lu\n", GetLastError());
    } else if (!SetupDiGetDeviceInterfaceDetailW(set, &iface, detail, sizeof(buffer), NULL, NULL)) {
        fprintf(stderr, "SetupDiGetDeviceInterfaceDetailW: %lu\n", GetLastError());
    } else {
        printf("%ls\n", detail->DevicePath);
        status = 0;
    }
    SetupDiDestroyDeviceInfoList(set);
    return status;
}
