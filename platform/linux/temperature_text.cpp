#include "platform/linux/thermal.h"

namespace {

constexpr std::int64_t MAGNITUDE_CAP = 1000000000000000; // 10^15
constexpr std::int64_t ABSOLUTE_ZERO_MILLIDEGREES = 273150;
constexpr std::int64_t MILLIDEGREES_PER_TENTH_KELVIN = 100;
constexpr std::int64_t MAX_READING = 0xFFFFFFFF;

} // namespace

void ScanTemperatureText(TemperatureText* Text, const char* Bytes, std::size_t Count)
{
    for (std::size_t i = 0; i < Count && !Text->Malformed; ++i, ++Text->Length) {
        const char c = Bytes[i];
        const bool open = !Text->HasNewline; // only a final newline is allowed
        if (open && c >= '0' && c <= '9') {
            Text->HasDigits = true;
            const std::int64_t next = Text->Magnitude * 10 + (c - '0');
            Text->Magnitude = next > MAGNITUDE_CAP ? MAGNITUDE_CAP : next;
        } else if (open && c == '-' && Text->Length == 0) {
            Text->Negative = true;
        } else if (open && c == '\n' && Text->HasDigits) {
            Text->HasNewline = true;
        } else {
            Text->Malformed = true;
        }
    }
}

DWORD ReadingFromTemperatureText(const TemperatureText* Text, ULONG* Reading)
{
    if (Text->Malformed || !Text->HasDigits) {
        return ERROR_INVALID_DATA;
    }
    const std::int64_t millidegrees = Text->Negative ? -Text->Magnitude : Text->Magnitude;
    if (millidegrees < -ABSOLUTE_ZERO_MILLIDEGREES) {
        return ERROR_INVALID_DATA;
    }
    const std::int64_t tenths =
        (millidegrees + ABSOLUTE_ZERO_MILLIDEGREES) / MILLIDEGREES_PER_TENTH_KELVIN;
    if (tenths > MAX_READING) {
        return ERROR_INVALID_DATA;
    }
    *Reading = static_cast<ULONG>(tenths);
    return ERROR_SUCCESS;
}
