// Whole runs of the real main in a child process: standard output byte for
// byte, the exit status as Linux narrows it, and, with the scripted platform,
// every call in order.
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include <gtest/gtest.h>

#include "tests/double/scripted_platform.h"
#include "tests/support/case_name.h"
#include "tests/support/child.h"
#include "tests/support/thermal_tree.h"

namespace {

using namespace std::string_literals;

const char NO_INTERFACE[] =
    "Error: No active device interfaces found.\n Is the sample driver loaded?";
const char SEVERAL[] = "Warning: More than one device interface instance found. \n"
                       "Selecting first matching device.\n\n";

// What the parent sees of main's 32-bit result.
int Narrowed(int Status)
{
    return static_cast<int>(static_cast<std::uint8_t>(Status));
}

const std::u16string DEVICE = u"\\\\?\\ACPI#THRM#0#{c5a3f341-e8a3-4579-9e09-db61b3a39c1e}";
const char DEVICE_TEXT[] = "\\\\?\\ACPI#THRM#0#{c5a3f341-e8a3-4579-9e09-db61b3a39c1e}";

std::u16string ListOf(const std::u16string& Entry)
{
    return Entry + u"\0\0"s;
}

const std::vector<std::string> DISCOVERED = {
    "CM_Get_Device_Interface_List_SizeW(len=0, class=thermal, device=null, flags=0x0)",
    "malloc(" + std::to_string(ListOf(DEVICE).size() * 2) + ")",
    "CM_Get_Device_Interface_ListW(class=thermal, device=null, buffer=block zeroed, len=" +
        std::to_string(ListOf(DEVICE).size()) + ", flags=0x0)",
    "free(block)",
};

std::string Open(const std::string& Path)
{
    return "CreateFileW(path=\"" + Path +
           "\", access=0x80000000, share=0x0, security=null, disposition=3, flags=0x0, "
           "template=null)";
}
const std::string REQUEST = "DeviceIoControl(handle=device, code=0x294090, in=zeros[12], "
                            "out=zeros[4], returned=set, overlapped=null)";
const std::string LAST_ERROR = "GetLastError()";
const std::string CLOSE = "CloseHandle(handle=device)";

std::vector<std::string> Calls(std::vector<std::string> Head, const std::vector<std::string>& Tail)
{
    Head.insert(Head.end(), Tail.begin(), Tail.end());
    return Head;
}

Scenario Reads(ULONG Reading)
{
    Scenario s = ScenarioWithList(ListOf(DEVICE));
    s.Reading = Reading;
    return s;
}

Scenario RequestFails(DWORD Error, DWORD BytesWritten, ULONG Reading)
{
    Scenario s = Reads(Reading);
    s.RequestResult = FALSE;
    s.RequestError = Error;
    s.ReadingBytesWritten = BytesWritten;
    return s;
}

Scenario PartialAnswer(DWORD BytesWritten, ULONG Reading)
{
    Scenario s = Reads(Reading);
    s.ReadingBytesWritten = BytesWritten;
    return s;
}

Scenario OpenFails()
{
    Scenario s = Reads(3181);
    s.OpenFails = true;
    s.OpenError = 5;
    return s;
}

Scenario CloseFails()
{
    Scenario s = Reads(3181);
    s.CloseResult = FALSE;
    return s;
}

Scenario SizeFails()
{
    Scenario s;
    s.SizeResult = 0x13;
    return s;
}

struct ScriptedRun {
    const char* Name;
    Scenario Script;
    std::vector<std::string> Args;
    std::string Output;
    int Status; // main's result
    std::vector<std::string> Calls;
};

const std::vector<std::string> READ_OK = Calls(DISCOVERED, {Open(DEVICE_TEXT), REQUEST, CLOSE});
const std::vector<std::string> READ_FAILED =
    Calls(DISCOVERED, {Open(DEVICE_TEXT), REQUEST, LAST_ERROR, CLOSE});

const ScriptedRun SCRIPTED_RUNS[] = {
    {"FortyFiveDegrees", Reads(3181), {}, "CPU Temp: 45 C\n", 45, READ_OK},
    {"ZeroReadingIsAbsoluteZero", Reads(0), {}, "CPU Temp: -273 C\n", -273, READ_OK},
    {"DivisionBeforeOffset2730", Reads(2730), {}, "CPU Temp: 0 C\n", 0, READ_OK},
    {"DivisionTruncates2739", Reads(2739), {}, "CPU Temp: 0 C\n", 0, READ_OK},
    {"BelowFreezing2729", Reads(2729), {}, "CPU Temp: -1 C\n", -1, READ_OK},
    {"LargestReadingIsUnsigned",
     Reads(4294967295U),
     {},
     "CPU Temp: 429496456 C\n",
     429496456,
     READ_OK},
    {"RequestFails", RequestFails(1, 0, 0), {}, "failed:0x1\n", -273, READ_FAILED},
    {"FailedRequestCodeInLowercaseHex",
     RequestFails(0x1F, 0, 0),
     {},
     "failed:0x1f\n",
     -273,
     READ_FAILED},
    // A driver that writes a reading and then fails still reports no temperature.
    {"FailedRequestLeavingAReading",
     RequestFails(0x1F, 4, 3000),
     {},
     "failed:0x1f\n",
     -273,
     READ_FAILED},
    // Bytes the driver did not write stay zero: the low half of 0x12340C6D is 3181.
    {"ShortAnswerUsesWhatWasWritten",
     PartialAnswer(2, 0x12340C6D),
     {},
     "CPU Temp: 45 C\n",
     45,
     READ_OK},
    {"OpenFailsSilently", OpenFails(), {}, "", -273, Calls(DISCOVERED, {Open(DEVICE_TEXT)})},
    {"CloseFailsSilently", CloseFails(), {}, "CPU Temp: 45 C\n", 45, READ_OK},
    {"DiscoveryFailsThenEmptyPath",
     SizeFails(),
     {},
     "Error 0x13 retrieving device interface list size.\n",
     -273,
     {"CM_Get_Device_Interface_List_SizeW(len=0, class=thermal, device=null, flags=0x0)",
      Open("")}},
    {"NoInterface",
     ScenarioWithList(u"\0"s),
     {},
     NO_INTERFACE,
     -273,
     {"CM_Get_Device_Interface_List_SizeW(len=0, class=thermal, device=null, flags=0x0)",
      Open("")}},
    {"ArgumentsAreIgnored",
     Reads(3181),
     {"--help", "-v", "/dev/null"},
     "CPU Temp: 45 C\n",
     45,
     READ_OK},
};

void PrintTo(const ScriptedRun& Case, std::ostream* Out)
{
    *Out << Case.Name;
}

class ScriptedRunTest : public testing::TestWithParam<ScriptedRun> {};

std::vector<std::string> ReadLines(const std::string& Path)
{
    std::ifstream in(Path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

TEST_P(ScriptedRunTest, PrintsExitsAndCallsInOrder)
{
    const ScriptedRun& r = GetParam();
    char directory[] = "/tmp/cputemp-run-XXXXXX";
    ASSERT_NE(mkdtemp(directory), nullptr);
    const std::string scenario = std::string(directory) + "/scenario";
    const std::string log = std::string(directory) + "/calls";
    ASSERT_TRUE(SaveScenario(r.Script, scenario));

    const ChildRun run = RunChild(CPUTEMP_SCRIPTED_BINARY, r.Args,
                                  {"CPUTEMP_SCENARIO=" + scenario, "CPUTEMP_CALL_LOG=" + log});
    const std::vector<std::string> calls = ReadLines(log);
    unlink(scenario.c_str());
    unlink(log.c_str());
    rmdir(directory);

    EXPECT_TRUE(run.Exited);
    EXPECT_EQ(run.Output, r.Output);
    EXPECT_EQ(run.ExitStatus, Narrowed(r.Status));
    EXPECT_EQ(run.Errors, "");
    EXPECT_EQ(calls, r.Calls);
}

INSTANTIATE_TEST_SUITE_P(Runs, ScriptedRunTest, testing::ValuesIn(SCRIPTED_RUNS),
                         CaseName<ScriptedRun>);

// The Linux binary as users run it, with a thermal tree of our own on /sys.
struct LinuxRun {
    const char* Name;
    std::vector<ZoneSpec> Zones;
    bool WithClass;
    std::string Output;
    int Status;
};

ZoneSpec Zone(const std::string& Name, const std::string& Type, const std::string& Temp)
{
    return {Name, Type, Temp};
}

const LinuxRun LINUX_RUNS[] = {
    {"NoThermalClass", {}, false, NO_INTERFACE, -273},
    {"NoZones", {}, true, NO_INTERFACE, -273},
    {"NoCpuZone", {Zone("thermal_zone0", "acpitz\n", "30000\n")}, true, NO_INTERFACE, -273},
    {"PackageSensor",
     {Zone("thermal_zone0", "x86_pkg_temp\n", "45000\n")},
     true,
     "CPU Temp: 45 C\n",
     45},
    {"BelowZero",
     {Zone("thermal_zone0", "cpu-thermal\n", "-40000\n")},
     true,
     "CPU Temp: -40 C\n",
     -40},
    {"ZonesInNumericOrder",
     {Zone("thermal_zone0", "acpitz\n", "30000\n"),
      Zone("thermal_zone10", "soc_thermal\n", "60000\n"),
      Zone("thermal_zone2", "CPU-therm\n", "50000\n")},
     true,
     std::string(SEVERAL) + "CPU Temp: 50 C\n",
     50},
    {"ZoneNotLinked", {{"thermal_zone3", "cpu\n", "51000\n", false}}, true, "CPU Temp: 51 C\n", 51},
    {"MalformedTemperature", {Zone("thermal_zone0", "cpu\n", "hot\n")}, true, "failed:0xd\n", -273},
    {"TemperatureBelowAbsoluteZero",
     {Zone("thermal_zone0", "cpu\n", "-273151\n")},
     true,
     "failed:0xd\n",
     -273},
    {"NoTemperatureFile", {{"thermal_zone0", "cpu\n", std::nullopt}}, true, "", -273},
};

void PrintTo(const LinuxRun& Case, std::ostream* Out)
{
    *Out << Case.Name;
}

class LinuxRunTest : public testing::TestWithParam<LinuxRun> {};

TEST_P(LinuxRunTest, ReportsTheCpuZone)
{
    if (!CanMountPrivately()) {
        GTEST_SKIP() << "needs a private mount namespace (root or user namespaces)";
    }
    const LinuxRun& r = GetParam();
    const ThermalTree tree(r.Zones, r.WithClass);
    const ChildRun run = RunChild(CPUTEMP_BINARY, {}, {}, tree.Root());
    EXPECT_TRUE(run.Exited);
    EXPECT_EQ(run.Output, r.Output);
    EXPECT_EQ(run.ExitStatus, Narrowed(r.Status));
    EXPECT_EQ(run.Errors, "");
}

INSTANTIATE_TEST_SUITE_P(Trees, LinuxRunTest, testing::ValuesIn(LINUX_RUNS), CaseName<LinuxRun>);

} // namespace
