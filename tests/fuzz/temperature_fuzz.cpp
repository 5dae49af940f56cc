// The Linux layer's reading of a sensor's text against a plain reference
// conversion.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/linux/thermal.h"

namespace {

// An optional '-', decimal digits, an optional final newline; millidegrees
// Celsius to tenths of a kelvin, refusing what lies below absolute zero or
// beyond 32 bits.
DWORD Reference(std::string Text, ULONG* Reading)
{
    if (!Text.empty() && Text.back() == '\n') {
        Text.pop_back();
    }
    const bool negative = !Text.empty() && Text[0] == '-';
    std::string digits = Text.substr(negative ? 1 : 0);
    if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos) {
        return ERROR_INVALID_DATA;
    }
    digits.erase(0, std::min(digits.find_first_not_of('0'), digits.size() - 1));
    if (digits.size() > 15) { // far beyond either limit
        return ERROR_INVALID_DATA;
    }
    const long long magnitude = std::stoll(digits);
    const long long millidegrees = negative ? -magnitude : magnitude;
    if (millidegrees < -273150 || (millidegrees + 273150) / 100 > 0xFFFFFFFFLL) {
        return ERROR_INVALID_DATA;
    }
    *Reading = static_cast<ULONG>((millidegrees + 273150) / 100);
    return ERROR_SUCCESS;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size)
{
    // What one bounded read can hand over: a longer text never reaches the parser.
    if (Size >= VALUE_CAP) {
        return 0;
    }
    const std::string text(reinterpret_cast<const char*>(Data), Size);
    ULONG reading = 0xA5A5A5A5;
    ULONG expected = 0xA5A5A5A5;
    const DWORD error = ReadingFromText(text.data(), text.size(), &reading);
    const DWORD expectedError = Reference(text, &expected);
    if (error != expectedError || reading != expected) {
        fprintf(stderr, "temperature_fuzz: error %u reading %u, expected error %u reading %u\n",
                error, reading, expectedError, expected);
        abort();
    }
    return 0;
}
