// The Linux platform layer: the thermal device interface class served from the
// kernel's thermal zones. Internal to the layer and its tests.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/linux/win_codes.h"

// Where the kernel lists its thermal zones.
constexpr char THERMAL_CLASS_ROOT[] = "/sys/class/thermal";
// Longest file path the layer builds, terminator included (Linux's PATH_MAX).
constexpr std::size_t PATH_CAP = 4096;

// Whether a zone's `type` text names a CPU sensor: with one trailing newline
// removed and compared case-insensitively, it contains "cpu", starts with "soc"
// or is "x86_pkg_temp".
bool IsCpuZoneType(const char* Text, std::size_t Length);

// The interface list of the CPU zones under Root, as CM_Get_Device_Interface_ListW
// lays it out: each zone's path NUL-terminated, in ascending zone number, then one
// more NUL. Sets *NeededCch to the list's length in UTF-16 units; writes the list
// into Buffer only when Buffer is not null and BufferCch units hold it, and answers
// CR_BUFFER_SMALL when they don't.
CONFIGRET ListCpuZones(const char* Root, WCHAR* Buffer, ULONG BufferCch, ULONG* NeededCch);

// A zone's `temp` text, fed in pieces as it is read: an optional '-', decimal
// digits and an optional final newline, in millidegrees Celsius.
struct TemperatureText {
    std::int64_t Magnitude; // saturates far above anything that fits a reading
    std::size_t Length;
    bool Negative;
    bool HasDigits;
    bool HasNewline;
    bool Malformed;
};

void ScanTemperatureText(TemperatureText* Text, const char* Bytes, std::size_t Count);

// Tenths of a kelvin, (millidegrees + 273150) / 100, or ERROR_INVALID_DATA for a
// malformed text, a value below absolute zero or a reading beyond 32 bits.
DWORD ReadingFromTemperatureText(const TemperatureText* Text, ULONG* Reading);

// The Windows error a failed open(2) or read(2) stands for.
DWORD ErrorFromOpenErrno(int Errno);
DWORD ErrorFromReadErrno(int Errno);
