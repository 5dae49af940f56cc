// Discovery against every answer the platform could give, lawful or not: the
// scripted platform answers from the fuzz bytes, and after each input the
// checks below hold or the target aborts. Reads and writes outside the list
// block fault on its guard page; outside the destination, AddressSanitizer
// reports them.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "discovery/discovery.h"
#include "tests/double/scripted_platform.h"

namespace {

// Lengths where the arithmetic turns: empty, one unit, the block's byte count
// reaching 32 bits, the top.
constexpr ULONG EDGE_LENGTHS[] = {0, 1, 2, 255, 256, 257, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF};
// The allocator refuses anything larger, as memory runs out on a small device.
constexpr std::size_t MALLOC_LIMIT = 1 << 20;

struct Reader {
    const std::uint8_t* Data;
    std::size_t Size;

    std::uint32_t Take(std::size_t Bytes)
    {
        std::uint32_t value = 0;
        for (std::size_t i = 0; i < Bytes && Size > 0; ++i, ++Data, --Size) {
            value |= static_cast<std::uint32_t>(*Data) << (8 * i);
        }
        return value;
    }
};

// Byte 0 picks the failures and how the length relates to the list; the list's
// units follow last.
Scenario ScenarioFrom(Reader In)
{
    const std::uint32_t choice = In.Take(1);
    const std::uint32_t lengthMode = (choice >> 3) & 3;
    Scenario s;
    s.SizeResult = (choice & 1) != 0 ? In.Take(4) | 1 : 0;
    s.ListResult = (choice & 2) != 0 ? In.Take(4) | 1 : 0;
    s.MallocFails = (choice & 4) != 0;
    s.MallocLimit = MALLOC_LIMIT;
    const std::uint32_t lengthBytes = In.Take(4);
    while (In.Size >= 2) {
        s.ListUnits.push_back(static_cast<char16_t>(In.Take(2)));
    }
    const auto listLength = static_cast<ULONG>(s.ListUnits.size());
    switch (lengthMode) {
    case 0: // as announced
        s.SizeLength = listLength;
        break;
    case 1: // announced a little off, either way
        s.SizeLength = listLength + static_cast<ULONG>(static_cast<std::int8_t>(lengthBytes));
        break;
    case 2:
        s.SizeLength = EDGE_LENGTHS[lengthBytes % std::size(EDGE_LENGTHS)];
        break;
    default:
        s.SizeLength = lengthBytes;
    }
    return s;
}

[[noreturn]] void Fail(const char* What, const std::string& Detail)
{
    fprintf(stderr, "discovery_fuzz: %s: %s\n", What, Detail.c_str());
    abort();
}

std::string Hex(std::uint32_t Value)
{
    char text[16];
    snprintf(text, sizeof(text), "%x", Value);
    return text;
}

const std::string WARNING = "Warning: More than one device interface instance found. \n"
                            "Selecting first matching device.\n\n";
const std::string TOO_LONG = "Error: StringCchCopy failed with HRESULT 0x8007007a";

// The one error message the output may hold after the warning, if any.
bool IsFixedMessage(const std::string& Text, const Scenario& S)
{
    return Text.empty() ||
           Text == "Error 0x" + Hex(S.SizeResult) + " retrieving device interface list size.\n" ||
           Text == "Error: No active device interfaces found.\n Is the sample driver loaded?" ||
           Text == "Error allocating memory for device interface list.\n" ||
           Text == "Error 0x" + Hex(S.ListResult) + " retrieving device interface list.\n" ||
           Text == TOO_LONG;
}

std::size_t Count(const std::vector<std::string>& Calls, const std::string& Call)
{
    std::size_t n = 0;
    for (const auto& c : Calls) {
        n += c == Call ? 1 : 0;
    }
    return n;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size)
{
    const Scenario s = ScenarioFrom({Data, Size});
    SetScenario(s);

    // A block of its own, so that AddressSanitizer sees a write past it.
    auto* destination =
        static_cast<WCHAR(*)[DEVICE_PATH_CCH]>(malloc(sizeof(WCHAR[DEVICE_PATH_CCH])));
    memset(*destination, 0, sizeof(*destination));
    char* text = nullptr;
    std::size_t textLength = 0;
    FILE* const console = stdout;
    stdout = open_memstream(&text, &textLength);
    ArmAllocationRecording(true);
    FindDevicePath(*destination);
    ArmAllocationRecording(false);
    fclose(stdout);
    stdout = console;
    const std::string output(text, textLength);
    free(text);

    // Freed exactly once whenever it was allocated, never anything else.
    const std::vector<std::string>& calls = RecordedCalls();
    bool allocated = false;
    for (const auto& c : calls) {
        if (c.rfind("malloc(", 0) == 0) {
            const std::size_t bytes = std::stoull(c.substr(7));
            allocated = !s.MallocFails && bytes != 0 && bytes <= MALLOC_LIMIT;
        }
    }
    if (Count(calls, "free(block)") != (allocated ? 1U : 0U) || Count(calls, "free(other)") != 0 ||
        Count(calls, "free(null)") != 0) {
        Fail("block not freed exactly once", std::to_string(allocated));
    }

    // At most one message besides the warning, and only the fixed texts.
    std::string rest = output;
    const bool warned = rest.rfind(WARNING, 0) == 0;
    if (warned) {
        rest.erase(0, WARNING.size());
    }
    if (!IsFixedMessage(rest, s)) {
        Fail("unexpected output", output);
    }

    // The destination: empty, or the first entry as the block cut it and a NUL.
    std::u16string expected;
    const bool listed = Count(calls, "CM_Get_Device_Interface_ListW(class=thermal, device=null, "
                                     "buffer=block zeroed, len=" +
                                         std::to_string(s.SizeLength) + ", flags=0x0)") == 1;
    if (listed && s.ListResult == 0) {
        for (ULONG i = 0; i < s.SizeLength && i < s.ListUnits.size() && s.ListUnits[i] != 0; ++i) {
            expected.push_back(s.ListUnits[i]);
        }
        if (expected.size() >= DEVICE_PATH_CCH) {
            if (rest != TOO_LONG) {
                Fail("long entry not reported", output);
            }
            expected.clear();
        }
    }
    for (std::size_t i = 0; i < DEVICE_PATH_CCH; ++i) {
        const char16_t want = i < expected.size() ? expected[i] : u'\0';
        if ((*destination)[i] != want) {
            Fail("destination", "unit " + std::to_string(i));
        }
    }
    free(destination);
    return 0;
}
