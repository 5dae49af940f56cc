// Compiled for 32-bit ARM Windows only: the layouts the thermal request and the
// interface class have there.
#include <stddef.h>

#include "platform/platform.h"

static_assert(sizeof(void*) == 4, "a 32-bit target");
static_assert(sizeof(THERMAL_WAIT_READ) == 12, "three 32-bit fields");
static_assert(offsetof(THERMAL_WAIT_READ, Timeout) == 0, "Timeout first");
static_assert(offsetof(THERMAL_WAIT_READ, LowTemperature) == 4, "then LowTemperature");
static_assert(offsetof(THERMAL_WAIT_READ, HighTemperature) == 8, "then HighTemperature");
static_assert(sizeof(GUID) == 16 && offsetof(GUID, Data4) == 8, "GUID layout");
static_assert(sizeof(WCHAR) == 2 && sizeof(ULONG) == 4, "Windows' sizes");
static_assert(IOCTL_THERMAL_READ_TEMPERATURE == 0x00294090, "thermal read control code");

// The interface class as the target lays the constant out in memory; the
// check reads these bytes back from the object.
extern const GUID ThermalClassAsStored;
const GUID ThermalClassAsStored = CpuThermalInterfaceGuid;
