// Discovery against the scripted platform: what it prints, what it leaves in the
// device path buffer and the calls it makes, for each answer the platform can give.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <sys/mman.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "discovery/bounded_copy.h"
#include "discovery/discovery.h"
#include "tests/double/scripted_platform.h"
#include "tests/support/case_name.h"

namespace {

using namespace std::string_literals;

const char NO_INTERFACE[] =
    "Error: No active device interfaces found.\n Is the sample driver loaded?";
const char ALLOCATION_FAILED[] = "Error allocating memory for device interface list.\n";
const char SEVERAL[] = "Warning: More than one device interface instance found. \n"
                       "Selecting first matching device.\n\n";
const char TOO_LONG[] = "Error: StringCchCopy failed with HRESULT 0x8007007a";

std::string SizeQuery()
{
    return "CM_Get_Device_Interface_List_SizeW(len=0, class=thermal, device=null, flags=0x0)";
}
std::string Malloc(unsigned long Units)
{
    return "malloc(" + std::to_string(Units * 2) + ")";
}
std::string ListQuery(unsigned long Units)
{
    return "CM_Get_Device_Interface_ListW(class=thermal, device=null, buffer=block zeroed, len=" +
           std::to_string(Units) + ", flags=0x0)";
}
std::string FreeBlock()
{
    return "free(block)";
}

std::vector<std::string> FullDiscovery(unsigned long Units)
{
    return {SizeQuery(), Malloc(Units), ListQuery(Units), FreeBlock()};
}

// A path of Count units: "\\?\" then letters, so that truncation shows.
std::u16string PathOf(std::size_t Count)
{
    std::u16string path = u"\\\\?\\";
    for (std::size_t i = path.size(); i < Count; ++i) {
        path += static_cast<char16_t>(u'a' + i % 26);
    }
    return path.substr(0, Count);
}

const std::u16string FIRST = u"\\\\?\\ACPI#THERMAL#0#{c5a3f341-e8a3-4579-9e09-db61b3a39c1e}";
const std::u16string SECOND = u"\\\\?\\ACPI#THERMAL#1#{c5a3f341-e8a3-4579-9e09-db61b3a39c1e}";

std::u16string List(std::initializer_list<std::u16string> Entries)
{
    std::u16string list;
    for (const auto& entry : Entries) {
        list += entry;
        list += u'\0';
    }
    list += u'\0';
    return list;
}

const std::u16string ONE = List({FIRST});
const std::u16string TWO = List({FIRST, SECOND});
const std::u16string MANY = List({SECOND, FIRST, u"x", u"y"});
const std::u16string TOO_LONG_THEN_ONE = List({PathOf(300), FIRST});

struct Outcome {
    std::string Output;
    std::u16string Path; // up to the first NUL
    bool RestIsZero;     // every unit after the path's terminator
    std::vector<std::string> Calls;
};

// Runs discovery with standard output captured in a file.
Outcome Discover(const Scenario& S)
{
    SetScenario(S);
    fflush(stdout);
    FILE* capture = tmpfile();
    const int saved = dup(STDOUT_FILENO);
    dup2(fileno(capture), STDOUT_FILENO);

    WCHAR path[DEVICE_PATH_CCH];
    memset(path, 0, sizeof(path));
    ArmAllocationRecording(true);
    FindDevicePath(path);
    ArmAllocationRecording(false);

    fflush(stdout);
    dup2(saved, STDOUT_FILENO);
    close(saved);
    Outcome outcome;
    rewind(capture);
    for (int c = fgetc(capture); c != EOF; c = fgetc(capture)) {
        outcome.Output += static_cast<char>(c);
    }
    fclose(capture);

    std::size_t length = 0;
    while (length < DEVICE_PATH_CCH && path[length] != 0) {
        ++length;
    }
    outcome.Path.assign(path, length);
    outcome.RestIsZero = true;
    for (std::size_t i = length; i < DEVICE_PATH_CCH; ++i) {
        outcome.RestIsZero = outcome.RestIsZero && path[i] == 0;
    }
    outcome.Calls = RecordedCalls();
    return outcome;
}

Scenario SizeFails(CONFIGRET Result)
{
    Scenario s;
    s.SizeResult = Result;
    return s;
}

Scenario SizeIs(ULONG Length)
{
    Scenario s;
    s.SizeLength = Length;
    return s;
}

Scenario ListFails(CONFIGRET Result, ULONG Length)
{
    Scenario s;
    s.SizeLength = Length;
    s.ListResult = Result;
    return s;
}

Scenario MallocFails(ULONG Length)
{
    Scenario s = SizeIs(Length);
    s.MallocFails = true;
    return s;
}

// The list as given, announced with another length.
Scenario Announced(const std::u16string& List, ULONG Length)
{
    Scenario s = ScenarioWithList(List);
    s.SizeLength = Length;
    return s;
}

struct DiscoveryCase {
    const char* Name;
    Scenario Script;
    std::string Output;
    std::u16string Path;
    std::vector<std::string> Calls;
};

void PrintTo(const DiscoveryCase& Case, std::ostream* Out)
{
    *Out << Case.Name;
}

class DiscoveryTest : public testing::TestWithParam<DiscoveryCase> {};

TEST_P(DiscoveryTest, PrintsLeavesAndCalls)
{
    const DiscoveryCase& c = GetParam();
    const Outcome outcome = Discover(c.Script);
    EXPECT_EQ(outcome.Output, c.Output);
    EXPECT_EQ(outcome.Path, c.Path);
    EXPECT_TRUE(outcome.RestIsZero);
    EXPECT_EQ(outcome.Calls, c.Calls);
}

const DiscoveryCase DISCOVERY_CASES[] = {
    {"SizeQueryFails",
     SizeFails(0x13),
     "Error 0x13 retrieving device interface list size.\n",
     u"",
     {SizeQuery()}},
    {"SizeQueryCodeInLowercaseHex",
     SizeFails(0xFFFFFFFA),
     "Error 0xfffffffa retrieving device interface list size.\n",
     u"",
     {SizeQuery()}},
    {"LengthZero", SizeIs(0), NO_INTERFACE, u"", {SizeQuery()}},
    {"LengthOne", SizeIs(1), NO_INTERFACE, u"", {SizeQuery()}},
    {"LengthWhoseBytesPass32Bits", SizeIs(0x80000000), ALLOCATION_FAILED, u"", {SizeQuery()}},
    {"LengthAtTheTop", SizeIs(0xFFFFFFFF), ALLOCATION_FAILED, u"", {SizeQuery()}},
    {"AllocationFails", MallocFails(40), ALLOCATION_FAILED, u"", {SizeQuery(), Malloc(40)}},
    {"ListQueryFails", ListFails(0x1A, 40), "Error 0x1a retrieving device interface list.\n", u"",
     FullDiscovery(40)},
    {"OneInterface", ScenarioWithList(ONE), "", FIRST, FullDiscovery(ONE.size())},
    {"TwoInterfacesTakeTheFirst", ScenarioWithList(TWO), SEVERAL, FIRST, FullDiscovery(TWO.size())},
    {"SeveralInterfacesWarnOnce", ScenarioWithList(MANY), SEVERAL, SECOND,
     FullDiscovery(MANY.size())},
    {"EmptyFirstEntry", ScenarioWithList(u"\0\0"s), "", u"", FullDiscovery(2)},
    {"Entry255UnitsFits", ScenarioWithList(List({PathOf(255)})), "", PathOf(255),
     FullDiscovery(257)},
    {"Entry256UnitsTooLong", ScenarioWithList(List({PathOf(256)})), TOO_LONG, u"",
     FullDiscovery(258)},
    {"Entry257UnitsTooLong", ScenarioWithList(List({PathOf(257)})), TOO_LONG, u"",
     FullDiscovery(259)},
    {"TooLongAfterTheWarning", ScenarioWithList(TOO_LONG_THEN_ONE), std::string(SEVERAL) + TOO_LONG,
     u"", FullDiscovery(TOO_LONG_THEN_ONE.size())},
    // A platform that answers less than it announced: the zeroed block ends it.
    {"ShorterListThanAnnounced", Announced(List({FIRST}), 200), "", FIRST, FullDiscovery(200)},
    // Lists that break the platform's promise are cut at the block's end.
    {"NoTerminatorAtAll", Announced(u"COM7", 4), "", u"COM7", FullDiscovery(4)},
    {"NoFinalDoubleNul", Announced(u"COM7\0"s, 5), "", u"COM7", FullDiscovery(5)},
    {"EntryRunsPastTheBlockUnterminated", Announced(PathOf(400), 300), TOO_LONG, u"",
     FullDiscovery(300)},
    {"LongerListThanAnnounced", Announced(List({FIRST, SECOND}), 10), "", FIRST.substr(0, 10),
     FullDiscovery(10)},
};

INSTANTIATE_TEST_SUITE_P(Answers, DiscoveryTest, testing::ValuesIn(DISCOVERY_CASES),
                         CaseName<DiscoveryCase>);

TEST(InterfaceClass, HasThePlatformLayout)
{
    const unsigned char expected[16] = {0x41, 0xF3, 0xA3, 0xC5, 0xA3, 0xE8, 0x79, 0x45,
                                        0x9E, 0x09, 0xDB, 0x61, 0xB3, 0xA3, 0x9C, 0x1E};
    EXPECT_EQ(memcmp(&CpuThermalInterfaceGuid, expected, sizeof(expected)), 0);
}

struct CopyCase {
    const char* Name;
    std::u16string Source;
    std::size_t SourceCch;
    std::size_t DestinationCch;
    HRESULT Result;
    std::u16string Copied; // the destination up to its first NUL
};

void PrintTo(const CopyCase& Case, std::ostream* Out)
{
    *Out << Case.Name;
}

class BoundedCopyTest : public testing::TestWithParam<CopyCase> {};

// The source ends at a page that cannot be read: a read past the units the copy
// may look at faults.
TEST_P(BoundedCopyTest, CopiesTerminatesAndReportsTruncation)
{
    const CopyCase& c = GetParam();
    const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    void* mapping =
        mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(mapping, MAP_FAILED);
    auto* base = static_cast<unsigned char*>(mapping);
    ASSERT_EQ(mprotect(base + page, page, PROT_NONE), 0);
    // The copy may look at no more units than both bounds allow.
    const std::size_t readable = std::min({c.Source.size(), c.SourceCch, c.DestinationCch});
    auto* source = reinterpret_cast<WCHAR*>(base + page - readable * sizeof(WCHAR));
    memcpy(source, c.Source.data(), readable * sizeof(WCHAR));

    std::vector<WCHAR> destination(c.DestinationCch + 1, u'#');
    const HRESULT result =
        CopyDevicePath(destination.data(), c.DestinationCch, source, c.SourceCch);
    munmap(mapping, 2 * page);

    EXPECT_EQ(static_cast<unsigned int>(result), static_cast<unsigned int>(c.Result));
    if (c.DestinationCch == 0) {
        EXPECT_EQ(destination[0], u'#'); // nothing written
        return;
    }
    const std::u16string copied(destination.data());
    EXPECT_EQ(copied, c.Copied);
    EXPECT_LT(copied.size(), c.DestinationCch);
    EXPECT_EQ(destination[c.DestinationCch], u'#'); // nothing beyond the capacity
}

const CopyCase COPY_CASES[] = {
    {"Empty", u"\0"s, 1, 256, S_OK, u""},
    {"Short", u"abc\0"s, 4, 256, S_OK, u"abc"},
    {"Fills255", PathOf(255) + u'\0', 256, 256, S_OK, PathOf(255)},
    {"Exactly256", PathOf(256) + u'\0', 257, 256, PATH_COPY_E_INSUFFICIENT_BUFFER, PathOf(255)},
    {"Longer", PathOf(257) + u'\0', 258, 256, PATH_COPY_E_INSUFFICIENT_BUFFER, PathOf(255)},
    {"NeverReadsPastThe256thUnit", PathOf(256), 1000, 256, PATH_COPY_E_INSUFFICIENT_BUFFER,
     PathOf(255)},
    {"SourceBoundEndsTheEntry", u"abcdef", 3, 256, S_OK, u"abc"},
    {"SourceBoundOfZero", u"abc", 0, 256, S_OK, u""},
    {"CapacityOne", u"a\0"s, 2, 1, PATH_COPY_E_INSUFFICIENT_BUFFER, u""},
    {"CapacityZero", u"a\0"s, 2, 0, PATH_COPY_E_INVALID_PARAMETER, u""},
};

INSTANTIATE_TEST_SUITE_P(Copies, BoundedCopyTest, testing::ValuesIn(COPY_CASES),
                         CaseName<CopyCase>);

} // namespace
