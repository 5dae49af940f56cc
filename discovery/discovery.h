// Finding the thermal device: the first present interface of its class.
#pragma once

#include <stddef.h>

// CpuThermalInterfaceGuid, the class searched, comes with the platform.
#include "platform/platform.h"

// Capacity of the device path buffer, in UTF-16 units, terminator included.
constexpr size_t DEVICE_PATH_CCH = 256;

// Writes the first present interface path of CpuThermalInterfaceGuid into
// DevicePath, which the caller has zero-filled. Reports every problem on
// standard output itself and leaves DevicePath all zeros then.
void FindDevicePath(WCHAR (&DevicePath)[DEVICE_PATH_CCH]);
