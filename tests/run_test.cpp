// Whole runs of the real main in a child process: standard output byte for
// byte, the exit status as Linux narrows it, and, with the scripted platform,
// every call in order.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <tuple>
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

// check_cputemp, the monitoring plugin, over the tool beside it and the
// sensor CPUTEMP_SENSOR names: its one line and its exit status.
struct PluginRun {
    const char* Name;
    std::optional<std::string> Temp; // the sensor file's text; none: no sensor
    std::vector<std::string> Args;
    std::string Output;
    int Status;
};

const std::string PLUGIN_USAGE = "Usage: check_cputemp [-w RANGE] [-c RANGE] | -h | -V\n";

const PluginRun PLUGIN_RUNS[] = {
    {"Ok", "45000\n", {}, "CPUTEMP OK - 45 C | cpu_temp=45;;\n", 0},
    {"OkBelowWarning",
     "80000\n",
     {"-w", "80", "-c", "90"},
     "CPUTEMP OK - 80 C | cpu_temp=80;80;90\n",
     0},
    {"Warning",
     "85000\n",
     {"-w", "80", "-c", "90"},
     "CPUTEMP WARNING - 85 C | cpu_temp=85;80;90\n",
     1},
    {"Critical",
     "95000\n",
     {"-w", "80", "-c", "90"},
     "CPUTEMP CRITICAL - 95 C | cpu_temp=95;80;90\n",
     2},
    {"LongOptions",
     "85000\n",
     {"--warning=80", "--critical=90"},
     "CPUTEMP WARNING - 85 C | cpu_temp=85;80;90\n",
     1},
    // A range starts at 0 unless it says otherwise: cold is outside it.
    {"BelowZeroIsOutside",
     "-5000\n",
     {"-w", "80", "-c", "90"},
     "CPUTEMP CRITICAL - -5 C | cpu_temp=-5;80;90\n",
     2},
    {"NoLowerBound",
     "-5000\n",
     {"-w", "~:80", "-c", "~:90"},
     "CPUTEMP OK - -5 C | cpu_temp=-5;~:80;~:90\n",
     0},
    {"AlertInside",
     "45000\n",
     {"-c", "@40:50"},
     "CPUTEMP CRITICAL - 45 C | cpu_temp=45;;@40:50\n",
     2},
    {"NoSensorIsUnknown",
     std::nullopt,
     {"-w", "80"},
     "CPUTEMP UNKNOWN - Error: No active device interfaces found. Is the sample driver loaded?\n",
     3},
    {"FailedReadIsUnknown", "hot\n", {"-w", "80"}, "CPUTEMP UNKNOWN - failed:0xd\n", 3},
    {"BadRange",
     "45000\n",
     {"-w", "hot"},
     "CPUTEMP UNKNOWN - invalid range 'hot'\n" + PLUGIN_USAGE,
     3},
    {"EmptyRange",
     "45000\n",
     {"-c", "90:80"},
     "CPUTEMP UNKNOWN - invalid range '90:80'\n" + PLUGIN_USAGE,
     3},
    {"MissingRange", "45000\n", {"-w"}, "CPUTEMP UNKNOWN - -w needs a range\n" + PLUGIN_USAGE, 3},
    {"UnknownArgument",
     "45000\n",
     {"-x"},
     "CPUTEMP UNKNOWN - unknown argument '-x'\n" + PLUGIN_USAGE,
     3},
    {"Version", "45000\n", {"-V"}, "check_cputemp (cputemp " CPUTEMP_VERSION ")\n", 3},
};

class PluginRunTest : public testing::TestWithParam<PluginRun> {};

TEST_P(PluginRunTest, PrintsOneLineAndTheState)
{
    const PluginRun& r = GetParam();
    char directory[] = "/tmp/cputemp-plugin-XXXXXX";
    ASSERT_NE(mkdtemp(directory), nullptr);
    const std::string sensor = std::string(directory) + "/temp";
    if (r.Temp) {
        std::ofstream(sensor) << *r.Temp;
    }
    const ChildRun run = RunChild(CPUTEMP_PLUGIN, r.Args, {"CPUTEMP_SENSOR=" + sensor});
    unlink(sensor.c_str());
    rmdir(directory);
    EXPECT_TRUE(run.Exited);
    EXPECT_EQ(run.Output, r.Output);
    EXPECT_EQ(run.ExitStatus, r.Status);
    EXPECT_EQ(run.Errors, "");
}

INSTANTIATE_TEST_SUITE_P(Plugin, PluginRunTest, testing::ValuesIn(PLUGIN_RUNS),
                         CaseName<PluginRun>);

// The Linux binary as users run it, with a sysfs tree of our own on /sys.
struct LinuxRun {
    const char* Name;
    std::vector<ZoneSpec> Zones = {};
    std::vector<ChipSpec> Chips = {};
    std::optional<std::string> Sensor = {}; // CPUTEMP_SENSOR
    std::string Output;
    int Status;
    // Every sensor value and zone type the run opened, in order: only what the
    // rule needs, each once, and no value but the one reported.
    std::vector<std::string> Reads = {};
    bool WithClass = true;
    std::vector<std::pair<std::string, std::string>> Files = {}; // more, under /sys
};

ZoneSpec Zone(const std::string& Name, const std::string& Type, const std::string& Temp)
{
    return {Name, Type, Temp};
}

// thermal_zone0, 1 and on, of these types (without newline) and millidegrees.
std::vector<ZoneSpec> Zones(const std::vector<std::pair<std::string, std::string>>& Zones)
{
    std::vector<ZoneSpec> zones;
    for (const auto& [type, temp] : Zones) {
        zones.push_back(
            Zone("thermal_zone" + std::to_string(zones.size()), type + "\n", temp + "\n"));
    }
    return zones;
}

// A zone walk's reads: every type, then the temps of the zones read.
std::vector<std::string> TypesThenTemps(std::size_t Zones, const std::vector<int>& Read)
{
    std::vector<std::string> reads;
    for (std::size_t i = 0; i < Zones; ++i) {
        reads.push_back("thermal_zone" + std::to_string(i) + "/type");
    }
    for (const int zone : Read) {
        reads.push_back("thermal_zone" + std::to_string(zone) + "/temp");
    }
    return reads;
}

// A temperature channel: its number, and its label and value when it has them.
struct Channel {
    int Number;
    const char* Label;
    const char* Input;
};

ChipSpec Chip(const std::string& Name, const std::string& Kind,
              const std::vector<Channel>& Channels, const std::string& Device = "platform/chip",
              bool OldLayout = false)
{
    ChipSpec chip{Name, {{"name", Kind + "\n"}}, Device, OldLayout};
    for (const Channel& c : Channels) {
        const std::string prefix = "temp" + std::to_string(c.Number);
        if (c.Label != nullptr) {
            chip.Files.emplace_back(prefix + "_label", std::string(c.Label) + "\n");
        }
        if (c.Input != nullptr) {
            chip.Files.emplace_back(prefix + "_input", std::string(c.Input) + "\n");
        }
    }
    return chip;
}

ChipSpec WithFiles(ChipSpec Chip, const std::vector<std::pair<std::string, std::string>>& Files)
{
    Chip.Files.insert(Chip.Files.end(), Files.begin(), Files.end());
    return Chip;
}

// Chips that are never the CPU, whatever their labels say: a desktop's, with
// ACPI's and Wi-Fi's under their zones as the kernel places them, and a
// BMC's board sensors on I2C, as real kernels showed them under QEMU.
const std::vector<ChipSpec> DECOYS = {
    Chip("hwmon0", "acpitz", {{1, nullptr, "27800"}}, "virtual/thermal/thermal_zone0"),
    Chip("hwmon1", "nvme", {{1, "Composite", "40000"}}, "pci0000:00/0000:00:01.4/nvme/nvme0"),
    Chip("hwmon2", "amdgpu", {{1, "edge", "50000"}}, "pci0000:00/0000:00:03.1/0000:0a:00.0"),
    Chip("hwmon3", "nct6775", {{2, "CPUTIN", "127500"}}, "platform/nct6775.656"),
    Chip("hwmon4", "it87", {{1, nullptr, "33000"}}, "platform/it87.2608"),
    Chip("hwmon5", "iwlwifi_1", {{1, nullptr, "41000"}}, "virtual/thermal/thermal_zone9"),
    Chip("hwmon7", "lm75", {{1, nullptr, "0"}}, "platform/ahb/1e78a000.i2c/i2c-7/7-0048"),
    Chip("hwmon8", "tmp275", {{1, nullptr, "0"}}, "platform/ahb/1e78a000.i2c/i2c-8/8-0048"),
    Chip("hwmon9", "tmp423", {{1, nullptr, "0"}, {2, nullptr, "0"}},
         "platform/ahb/1e78a000.i2c/i2c-9/9-004c"),
    Chip("hwmon10", "max31785a", {{1, nullptr, "0"}}, "platform/ahb/1e78a000.i2c/i2c-3/3-0052"),
};

std::vector<ChipSpec> DecoysAnd(const std::vector<ChipSpec>& Chips)
{
    std::vector<ChipSpec> all = DECOYS;
    all.insert(all.end(), Chips.begin(), Chips.end());
    return all;
}

const ChipSpec INTEL_PACKAGE = Chip("hwmon6", "coretemp",
                                    {{1, "Package id 0", "47000"},
                                     {2, "Core 0", "45000"},
                                     {3, "Core 1", "44000"},
                                     {6, "Core 4", "46000"}},
                                    "platform/coretemp.0");

// The CPU topology of Packages packages of Cpus CPUs each, numbered package
// by package.
std::vector<std::pair<std::string, std::string>> Topology(int Packages, int Cpus)
{
    std::vector<std::pair<std::string, std::string>> files = {
        {"devices/system/cpu/online", "0-" + std::to_string(Packages * Cpus - 1) + "\n"}};
    for (int cpu = 0; cpu < Packages * Cpus; ++cpu) {
        const int first = cpu / Cpus * Cpus;
        files.emplace_back("devices/system/cpu/cpu" + std::to_string(cpu) +
                               "/topology/package_cpus_list",
                           std::to_string(first) + "-" + std::to_string(first + Cpus - 1) + "\n");
    }
    return files;
}

// AMD's chips of a die each, on the northbridge functions 0000:00:18.3 and on,
// the Nth die's Tctl at Temps[N]; hwmonN numbers them from 3, last die first.
std::vector<ChipSpec> AmdDies(const std::vector<const char*>& Temps)
{
    std::vector<ChipSpec> chips;
    for (std::size_t die = 0; die < Temps.size(); ++die) {
        char function[16];
        snprintf(function, sizeof(function), "0000:00:%02zx.3", 0x18 + die);
        chips.push_back(Chip("hwmon" + std::to_string(3 + Temps.size() - 1 - die), "k10temp",
                             {{1, "Tctl", Temps[die]}}, "pci0000:00/" + std::string(function)));
    }
    return chips;
}

// A POWER machine's one chip, Cores cores labelled as its firmware does,
// 40 C but the last, at 99 C.
ChipSpec PowerCores(int Cores)
{
    ChipSpec chip = Chip("hwmon0", "ibmpowernv", {});
    for (int i = 1; i <= Cores; ++i) {
        const std::string channel = "temp" + std::to_string(i);
        chip.Files.emplace_back(channel + "_label", "Core " + std::to_string(8 * i) + "\n");
        chip.Files.emplace_back(channel + "_input", i == Cores ? "99000\n" : "40000\n");
    }
    return chip;
}

// Channels 1 to Count of Chip, read in order.
std::vector<std::string> ChannelReads(const std::string& Chip, int Count)
{
    std::vector<std::string> reads;
    for (int i = 1; i <= Count; ++i) {
        reads.push_back(Chip + "/temp" + std::to_string(i) + "_input");
    }
    return reads;
}

// Count zones of a board, every fifth from the third a CPU cluster's, each
// half a degree warmer than the one before.
std::vector<ZoneSpec> ClustersAmong(int Count)
{
    std::vector<std::pair<std::string, std::string>> zones;
    for (int i = 0; i < Count; ++i) {
        zones.emplace_back(i % 5 == 2 ? "cluster" + std::to_string(i / 5) + "-thermal"
                                      : "sensor" + std::to_string(i) + "-thermal",
                           std::to_string(40000 + 500 * i));
    }
    return Zones(zones);
}

const LinuxRun LINUX_RUNS[] = {
    {.Name = "NoThermalClass", .Output = NO_INTERFACE, .Status = -273, .WithClass = false},
    {.Name = "NoZones", .Output = NO_INTERFACE, .Status = -273},
    {.Name = "NoCpuZone",
     .Zones = {Zone("thermal_zone0", "acpitz\n", "30000\n")},
     .Output = NO_INTERFACE,
     .Status = -273,
     .Reads = {"thermal_zone0/type"}},
    {.Name = "PackageSensor",
     .Zones = {Zone("thermal_zone0", "x86_pkg_temp\n", "45000\n")},
     .Output = "CPU Temp: 45 C\n",
     .Status = 45,
     .Reads = {"thermal_zone0/type", "thermal_zone0/temp"}},
    {.Name = "BelowZero",
     .Zones = {Zone("thermal_zone0", "cpu-thermal\n", "-40000\n")},
     .Output = "CPU Temp: -40 C\n",
     .Status = -40,
     .Reads = {"thermal_zone0/type", "thermal_zone0/temp"}},
    // The CPU's own zone before the SoC's, whatever their numbers.
    {.Name = "ZonesInNumericOrder",
     .Zones = {Zone("thermal_zone0", "acpitz\n", "30000\n"),
               Zone("thermal_zone10", "soc_thermal\n", "60000\n"),
               Zone("thermal_zone2", "CPU-therm\n", "50000\n")},
     .Output = "CPU Temp: 50 C\n",
     .Status = 50,
     .Reads = {"thermal_zone0/type", "thermal_zone2/type", "thermal_zone10/type",
               "thermal_zone2/temp"}},
    {.Name = "ZoneNotLinked",
     .Zones = {{"thermal_zone3", "cpu\n", "51000\n", false}},
     .Output = "CPU Temp: 51 C\n",
     .Status = 51,
     .Reads = {"thermal_zone3/type", "thermal_zone3/temp"}},
    {.Name = "MalformedTemperature",
     .Zones = {Zone("thermal_zone0", "cpu\n", "hot\n")},
     .Output = "failed:0xd\n",
     .Status = -273,
     .Reads = {"thermal_zone0/type", "thermal_zone0/temp"}},
    {.Name = "TemperatureBelowAbsoluteZero",
     .Zones = {Zone("thermal_zone0", "cpu\n", "-273151\n")},
     .Output = "failed:0xd\n",
     .Status = -273,
     .Reads = {"thermal_zone0/type", "thermal_zone0/temp"}},
    {.Name = "NoTemperatureFile",
     .Zones = {{"thermal_zone0", "cpu\n", std::nullopt}},
     .Output = "",
     .Status = -273,
     .Reads = {"thermal_zone0/type"}},
    // Intel: the package sensor of coretemp, even where x86_pkg_temp has a zone;
    // the zones are then not looked at.
    {.Name = "IntelDesktop",
     .Zones = {Zone("thermal_zone0", "acpitz\n", "27800\n"),
               Zone("thermal_zone1", "x86_pkg_temp\n", "48000\n")},
     .Chips = DecoysAnd({INTEL_PACKAGE}),
     .Output = "CPU Temp: 47 C\n",
     .Status = 47,
     .Reads = {"hwmon6/temp1_input"}},
    // Core 2 and early Atom have no package sensor: the hottest core, of the
    // channels the listing finds (temp3 to temp10, with gaps).
    {.Name = "IntelCoresOnly",
     .Zones = {Zone("thermal_zone0", "acpitz\n", "27800\n")},
     .Chips = {Chip("hwmon0", "coretemp",
                    {{10, "Core 8", "58000"}, {3, "Core 1", "53000"}, {5, "Core 3", "55000"}})},
     .Output = "CPU Temp: 58 C\n",
     .Status = 58,
     .Reads = {"hwmon0/temp3_input", "hwmon0/temp5_input", "hwmon0/temp10_input"}},
    {.Name = "IntelTwoSocketsInChipOrder",
     .Chips = {Chip("hwmon10", "coretemp", {{1, "Package id 1", "60000"}}, "platform/coretemp.1"),
               Chip("hwmon2", "coretemp", {{1, "Package id 0", "50000"}}, "platform/coretemp.0")},
     .Output = std::string(SEVERAL) + "CPU Temp: 50 C\n",
     .Status = 50,
     .Reads = {"hwmon2/temp1_input"}},
    // A package label without a value is no channel: the cores are read.
    {.Name = "PackageWithoutValueReadsTheCores",
     .Zones = {Zone("thermal_zone0", "x86_pkg_temp\n", "49000\n")},
     .Chips = {Chip("hwmon1", "coretemp", {{1, "Package id 0", nullptr}, {2, "Core 0", "45000"}})},
     .Output = "CPU Temp: 45 C\n",
     .Status = 45,
     .Reads = {"hwmon1/temp2_input"}},
    // CentOS 7's 3.10: every attribute in the parent device, name included.
    {.Name = "OldKernelDeviceLayout",
     .Chips = {Chip("hwmon0", "coretemp", {{1, "Physical id 0", "51000"}, {2, "Core 0", "50000"}},
                    "platform/coretemp.0", true)},
     .Output = "CPU Temp: 51 C\n",
     .Status = 51,
     .Reads = {"hwmon0/device/temp1_input"}},
    {.Name = "AmdZenTctl",
     .Zones = {Zone("thermal_zone0", "acpitz\n", "16800\n")},
     .Chips = DecoysAnd({Chip("hwmon6", "k10temp", {{1, "Tctl", "61750"}, {3, "Tccd1", "55250"}},
                              "pci0000:00/0000:00:18.3")}),
     .Output = "CPU Temp: 61 C\n",
     .Status = 61,
     .Reads = {"hwmon6/temp1_input"}},
    // First-generation X parts: Tctl runs 20 degrees high; Tdie is the die.
    {.Name = "AmdZenTdie",
     .Chips = {Chip("hwmon0", "k10temp",
                    {{1, "Tctl", "80000"}, {2, "Tdie", "60000"}, {3, "Tccd1", "58000"}})},
     .Output = "CPU Temp: 60 C\n",
     .Status = 60,
     .Reads = {"hwmon0/temp2_input"}},
    {.Name = "AmdOlderUnlabelled",
     .Chips = {Chip("hwmon0", "k10temp", {{1, nullptr, "45000"}})},
     .Output = "CPU Temp: 45 C\n",
     .Status = 45,
     .Reads = {"hwmon0/temp1_input"}},
    {.Name = "AmdZenpower",
     .Chips = {Chip("hwmon0", "zenpower",
                    {{1, "Tdie", "50000"}, {2, "Tctl", "60000"}, {3, "Tccd1", "48000"}})},
     .Output = "CPU Temp: 50 C\n",
     .Status = 50,
     .Reads = {"hwmon0/temp1_input"}},
    {.Name = "AmdK8Hottest",
     .Chips = {Chip("hwmon0", "k8temp", {{3, nullptr, "42000"}, {2, nullptr, "41000"}})},
     .Output = "CPU Temp: 42 C\n",
     .Status = 42,
     .Reads = {"hwmon0/temp2_input", "hwmon0/temp3_input"}},
    // Ampere Altra: the power channels are microwatts, never a temperature.
    {.Name = "AmpereAltra",
     .Chips = {Chip("hwmon0", "nvme", {{1, "Composite", "40000"}}),
               WithFiles(Chip("hwmon1", "apm_xgene", {{1, "SoC Temperature", "38000"}},
                              "platform/APMC0D29:00"),
                         {{"power1_label", "CPU power\n"},
                          {"power1_input", "7720000\n"},
                          {"power2_label", "IO power\n"},
                          {"power2_input", "1230000\n"}})},
     .Output = "CPU Temp: 38 C\n",
     .Status = 38,
     .Reads = {"hwmon1/temp1_input"}},
    // Mainline RK3588: the hottest of its CPU clusters, not the package zone.
    {.Name = "Rk3588Zones",
     .Zones = Zones({{"package-thermal", "40000"},
                     {"bigcore0-thermal", "41000"},
                     {"bigcore2-thermal", "41500"},
                     {"littlecore-thermal", "39000"},
                     {"center-thermal", "38000"},
                     {"gpu-thermal", "37000"}}),
     .Output = "CPU Temp: 41 C\n",
     .Status = 41,
     .Reads = TypesThenTemps(6, {1, 2, 3})},
    // Raspberry Pi 5: the zone, not its hwmon copy, and never the RP1 I/O chip.
    {.Name = "RaspberryPi5",
     .Zones = {Zone("thermal_zone0", "cpu-thermal\n", "56500\n")},
     .Chips = {Chip("hwmon0", "cpu_thermal", {{1, nullptr, "56500"}},
                    "virtual/thermal/thermal_zone0"),
               Chip("hwmon1", "rp1_adc", {{1, nullptr, "55472"}}, "platform/rp1_adc"),
               WithFiles(Chip("hwmon2", "rpi_volt", {}, "platform/rpi_volt"),
                         {{"in0_lcrit_alarm", "0\n"}})},
     .Output = "CPU Temp: 56 C\n",
     .Status = 56,
     .Reads = {"thermal_zone0/type", "thermal_zone0/temp"}},
    {.Name = "DecoysOnly",
     .Zones = {Zone("thermal_zone0", "acpitz\n", "27800\n")},
     .Chips = DECOYS,
     .Output = NO_INTERFACE,
     .Status = -273,
     .Reads = {"thermal_zone0/type"}},
    {.Name = "ChosenChannelMalformed",
     .Chips = {Chip("hwmon0", "coretemp", {{1, "Package id 0", "N/A"}})},
     .Output = "failed:0xd\n",
     .Status = -273,
     .Reads = {"hwmon0/temp1_input"}},

    // Machines of the catalogue, as their drivers and device trees lay them out.
    // VIA Nano: a chip per core, in its parent device; one interface, the hottest core.
    {.Name = "ViaNanoChipPerCore",
     .Chips =
         {Chip("hwmon0", "via_cputemp", {{1, "Core 0", "40000"}}, "platform/via_cputemp.0", true),
          Chip("hwmon1", "acpitz", {{1, nullptr, "70000"}}, "virtual/thermal/thermal_zone0"),
          Chip("hwmon2", "via_cputemp", {{1, "Core 1", "47000"}}, "platform/via_cputemp.1", true),
          Chip("hwmon3", "via_cputemp", {{1, "Core 2", "44000"}}, "platform/via_cputemp.2", true)},
     .Output = "CPU Temp: 47 C\n",
     .Status = 47,
     .Reads = {"hwmon0/device/temp1_input", "hwmon2/device/temp1_input",
               "hwmon3/device/temp1_input"}},
    // Loongson-3 with two packages in one chip: a channel each, so the warning.
    {.Name = "LoongsonTwoPackages",
     .Chips = {Chip("hwmon0", "cpu_hwmon",
                    {{1, "CPU 0 Temperature", "55000"}, {2, "CPU 1 Temperature", "60000"}})},
     .Output = std::string(SEVERAL) + "CPU Temp: 55 C\n",
     .Status = 55,
     .Reads = {"hwmon0/temp1_input"}},
    // A package is one interface whatever its driver registers: the two PVT
    // chips of one SoC (ESWIN EIC7700X on the HiFive Premier P550)...
    {.Name = "TwoPvtChipsOfOneSoc",
     .Chips = {Chip("hwmon0", "pvt", {{1, "CPU Core Temperature", "42200"}}, "platform/pvt0"),
               Chip("hwmon1", "pvt", {{1, "CPU Core Temperature", "40800"}}, "platform/pvt1")},
     .Output = "CPU Temp: 42 C\n",
     .Status = 42,
     .Reads = {"hwmon0/temp1_input", "hwmon1/temp1_input"}},
    // ... the two dies of a Threadripper 1950X, the hotter...
    {.Name = "ThreadripperTwoDies",
     .Chips = AmdDies({"61000", "66500"}),
     .Output = "CPU Temp: 66 C\n",
     .Status = 66,
     .Reads = {"hwmon3/temp1_input", "hwmon4/temp1_input"},
     .Files = Topology(1, 32)},
    // ... and two sockets of four dies each (EPYC 7601): the warning, then
    // socket 0 at its hottest die.
    {.Name = "EpycTwoSocketsOfFourDies",
     .Chips = AmdDies({"50000", "52000", "55000", "51000", "60000", "61000", "62000", "63000"}),
     .Output = std::string(SEVERAL) + "CPU Temp: 55 C\n",
     .Status = 55,
     .Reads = {"hwmon7/temp1_input", "hwmon8/temp1_input", "hwmon9/temp1_input",
               "hwmon10/temp1_input"},
     .Files = Topology(2, 8)},
    // Without the topology each die stays a package, as before: the first chip.
    {.Name = "DiesWithoutTopology",
     .Chips = AmdDies({"61000", "66500"}),
     .Output = std::string(SEVERAL) + "CPU Temp: 66 C\n",
     .Status = 66,
     .Reads = {"hwmon3/temp1_input"}},
    // Vendor kernels' names: Loongson's LoongArch 4.19 and StarFive's 5.15.
    {.Name = "LoongsonVendorKernel",
     .Chips = {Chip("hwmon0", "cpu-hwmon", {{1, "CPU 0 Temperature", "48000"}})},
     .Output = "CPU Temp: 48 C\n",
     .Status = 48,
     .Reads = {"hwmon0/temp1_input"}},
    {.Name = "VisionFive2VendorKernel",
     .Chips = {Chip("hwmon0", "120e0000.tmon", {{1, nullptr, "52000"}}, "platform/120e0000.tmon")},
     .Output = "CPU Temp: 52 C\n",
     .Status = 52,
     .Reads = {"hwmon0/temp1_input"}},
    // A POWER machine of more than 64 cores: every core is read.
    {.Name = "IbmPowerManyCores",
     .Chips = {PowerCores(65)},
     .Output = "CPU Temp: 99 C\n",
     .Status = 99,
     .Reads = ChannelReads("hwmon0", 65)},
    // IBM POWER: one chip for the machine, the cores' sensors among others.
    {.Name = "IbmPowerCores",
     .Chips = {Chip("hwmon0", "ibmpowernv",
                    {{1, "Ambient", "25000"},
                     {2, "Core 0", "50000"},
                     {3, "Core 8", "57000"},
                     {4, "Chip 0 Vdd", "60000"}})},
     .Output = "CPU Temp: 57 C\n",
     .Status = 57,
     .Reads = {"hwmon0/temp2_input", "hwmon0/temp3_input"}},
    // Baikal-T1's sensor, and another SoC's unlabelled PVT of the same name.
    {.Name = "BaikalT1Pvt",
     .Chips = {Chip("hwmon0", "pvt", {{1, nullptr, "66000"}}, "platform/pvt"),
               Chip("hwmon1", "pvt", {{1, "CPU Core Temperature", "47000"}},
                    "platform/1f200000.pvt")},
     .Output = "CPU Temp: 47 C\n",
     .Status = 47,
     .Reads = {"hwmon1/temp1_input"}},
    // StarFive JH7110 (VisionFive 2): the SoC's one sensor.
    {.Name = "StarFiveJh7110",
     .Zones = {Zone("thermal_zone0", "cpu-thermal\n", "50000\n")},
     .Chips = {Chip("hwmon0", "sfctemp", {{1, nullptr, "51000"}},
                    "platform/120e0000.temperature-sensor")},
     .Output = "CPU Temp: 51 C\n",
     .Status = 51,
     .Reads = {"hwmon0/temp1_input"}},
    // Sophgo SG2042 (Milk-V Pioneer): temp1 is the SoC, temp2 the board.
    {.Name = "Sg2042Mcu",
     .Chips = {Chip("hwmon0", "sg2042_mcu", {{1, nullptr, "61000"}, {2, nullptr, "38000"}},
                    "i2c-1/1-0017")},
     .Output = "CPU Temp: 61 C\n",
     .Status = 61,
     .Reads = {"hwmon0/temp1_input"}},
    // SCMI firmware: its clusters, hottest first, never its GPU or the SoC's.
    {.Name = "ScmiClusters",
     .Chips = {Chip("hwmon0", "scmi_sensors",
                    {{1, "SoC", "50000"},
                     {2, "big_cluster", "58000"},
                     {3, "little_cluster", "52000"},
                     {4, "gpu0", "60000"}},
                    "platform/scmi_dev.5")},
     .Output = "CPU Temp: 58 C\n",
     .Status = 58,
     .Reads = {"hwmon0/temp2_input", "hwmon0/temp3_input"}},
    // A Snapdragon X laptop: a zone per core half and dozens of others.
    {.Name = "SnapdragonXZones",
     .Zones = Zones({{"aoss0-thermal", "40000"},
                     {"cpu0-0-top-thermal", "55000"},
                     {"cpu0-0-btm-thermal", "54000"},
                     {"cpu1-0-top-thermal", "61000"},
                     {"cpu1-0-btm-thermal", "60000"},
                     {"gpuss-0-thermal", "70000"},
                     {"nsp0-thermal", "65000"},
                     {"ddr-thermal", "45000"},
                     {"cpu2-0-top-thermal", "57000"}}),
     .Output = "CPU Temp: 61 C\n",
     .Status = 61,
     .Reads = TypesThenTemps(9, {1, 2, 3, 4, 8})},
    // An Android phone's zones: the CPU's, not the SoC's hottest point.
    {.Name = "AndroidPhoneZones",
     .Zones = Zones({{"battery", "30000"},
                     {"cpu-0-0-usr", "40000"},
                     {"cpu-1-7-usr", "48000"},
                     {"cpuss-0-usr", "44000"},
                     {"gpuss-0-usr", "60000"},
                     {"xo-therm-adc", "35000"},
                     {"soc_max", "62000"}}),
     .Output = "CPU Temp: 48 C\n",
     .Status = 48,
     .Reads = TypesThenTemps(7, {1, 2, 3})},
    // NVIDIA Jetson TX2 (L4T): its Denver and A57 clusters, never PMIC-Die.
    {.Name = "JetsonTx2",
     .Zones = Zones({{"BCPU-therm", "45000"},
                     {"MCPU-therm", "47000"},
                     {"GPU-therm", "50000"},
                     {"PMIC-Die", "100000"},
                     {"thermal-fan-est", "46000"}}),
     .Output = "CPU Temp: 47 C\n",
     .Status = 47,
     .Reads = TypesThenTemps(5, {0, 1})},
    // Exynos 5433: its clusters by their code names.
    {.Name = "Exynos5433",
     .Zones = Zones({{"atlas0-thermal", "60000"},
                     {"atlas1-thermal", "58000"},
                     {"g3d-thermal", "65000"},
                     {"apollo-thermal", "52000"},
                     {"isp-thermal", "50000"}}),
     .Output = "CPU Temp: 60 C\n",
     .Status = 60,
     .Reads = TypesThenTemps(5, {0, 1, 3})},
    // TI J721E: the MPU cluster, not the main domain or the DSP.
    {.Name = "TiJ721e",
     .Zones = Zones({{"wkup-thermal", "45000"},
                     {"mpu-thermal", "55000"},
                     {"c7x-thermal", "59000"},
                     {"main-thermal", "57000"}}),
     .Output = "CPU Temp: 55 C\n",
     .Status = 55,
     .Reads = TypesThenTemps(4, {1})},
    // TI AM62A: no zone of the CPU's own, so the SoC's together: no warning.
    {.Name = "TiAm62aSocZones",
     .Zones = Zones(
         {{"main0-thermal", "48000"}, {"main1-thermal", "50000"}, {"main2-thermal", "49000"}}),
     .Output = "CPU Temp: 50 C\n",
     .Status = 50,
     .Reads = TypesThenTemps(3, {0, 1, 2})},
    // Zones of older kernels, named after their driver or their device.
    {.Name = "ArmadaZoneNamedByAddress",
     .Zones = Zones({{"d0018200.thermal", "62000"}}),
     .Output = "CPU Temp: 62 C\n",
     .Status = 62,
     .Reads = TypesThenTemps(1, {0})},
    {.Name = "IntelAtomSocDts",
     .Zones = Zones({{"acpitz", "27800"}, {"soc_dts0", "44000"}, {"soc_dts1", "46000"}}),
     .Output = "CPU Temp: 46 C\n",
     .Status = 46,
     .Reads = TypesThenTemps(3, {1, 2})},
    // Two sockets without coretemp: a package zone each, and the warning.
    {.Name = "IntelPackageZonesTwoSockets",
     .Zones = Zones({{"acpitz", "27800"},
                     {"x86_pkg_temp", "60000"},
                     {"TCPU", "58000"},
                     {"x86_pkg_temp", "52000"}}),
     .Output = std::string(SEVERAL) + "CPU Temp: 60 C\n",
     .Status = 60,
     .Reads = TypesThenTemps(4, {1})},
    // A board with eight CPU clusters among thirty other zones: one package.
    {.Name = "EightClustersAmongThirty",
     .Zones = ClustersAmong(38),
     .Output = "CPU Temp: 58 C\n",
     .Status = 58,
     .Reads = TypesThenTemps(38, {2, 7, 12, 17, 22, 27, 32, 37})},
    // A cluster that does not answer is left out; when none does, the first one's error.
    {.Name = "ClusterUnreadable",
     .Zones = Zones({{"bigcore0-thermal", "warm"}, {"littlecore-thermal", "40000"}}),
     .Output = "CPU Temp: 40 C\n",
     .Status = 40,
     .Reads = TypesThenTemps(2, {0, 1})},
    {.Name = "NoClusterAnswers",
     .Zones = Zones({{"bigcore0-thermal", "warm"}, {"littlecore-thermal", ""}}),
     .Output = "failed:0xd\n",
     .Status = -273,
     .Reads = TypesThenTemps(2, {0, 1})},

    // The user's sensor replaces the rule: nothing is scanned.
    {.Name = "SensorNamesAChannel",
     .Zones = {Zone("thermal_zone0", "x86_pkg_temp\n", "48000\n")},
     .Chips = DecoysAnd({INTEL_PACKAGE}),
     .Sensor = "/sys/class/hwmon/hwmon3/temp2_input",
     .Output = "CPU Temp: 127 C\n",
     .Status = 127,
     .Reads = {"hwmon3/temp2_input"}},
    {.Name = "SensorNamesAZone",
     .Zones = {Zone("thermal_zone0", "acpitz\n", "30000\n")},
     .Chips = {INTEL_PACKAGE},
     .Sensor = "/sys/class/thermal/thermal_zone0",
     .Output = "CPU Temp: 30 C\n",
     .Status = 30,
     .Reads = {"thermal_zone0/temp"}},
    {.Name = "SensorNamesNothing",
     .Zones = {Zone("thermal_zone0", "x86_pkg_temp\n", "48000\n")},
     .Chips = {INTEL_PACKAGE},
     .Sensor = "/sys/class/hwmon/hwmon9/temp1_input",
     .Output = NO_INTERFACE,
     .Status = -273},
    {.Name = "EmptySensorIsUnset",
     .Chips = {INTEL_PACKAGE},
     .Sensor = "",
     .Output = "CPU Temp: 47 C\n",
     .Status = 47,
     .Reads = {"hwmon6/temp1_input"}},
    // A chip directory: as the catalogue reads it.
    {.Name = "SensorNamesAChip",
     .Chips =
         DecoysAnd({Chip("hwmon6", "coretemp", {{2, "Core 0", "45000"}, {3, "Core 1", "49000"}})}),
     .Sensor = "/sys/class/hwmon/hwmon6",
     .Output = "CPU Temp: 49 C\n",
     .Status = 49,
     .Reads = {"hwmon6/temp2_input", "hwmon6/temp3_input"}},
    // Only regular files are read in the user's chip: a name, a label or a
    // value that is a device, a FIFO or a socket is as if missing.
    {.Name = "SensorChipOfDevicesFifosAndSockets",
     .Chips = {Chip("hwmon0", "coretemp", {{3, "Core 2", "41000"}}),
               WithFiles(Chip("hwmon1", "nct6775", {{4, nullptr, "45000"}}),
                         {{"temp1_input", DEVICE_FILE},
                          {"temp2_input", FIFO_FILE},
                          {"temp3_input", SOCKET_FILE}})},
     .Sensor = "/sys/class/hwmon/hwmon1",
     .Output = "CPU Temp: 45 C\n",
     .Status = 45,
     .Reads = {"hwmon1/temp4_input"}},
    {.Name = "SensorChipWithAFifoLabel",
     .Chips = {WithFiles(
         Chip("hwmon0", "coretemp", {{1, nullptr, "60000"}, {2, "Core 0", "45000"}}),
         {{"temp1_label", FIFO_FILE}})},
     .Sensor = "/sys/class/hwmon/hwmon0",
     .Output = "CPU Temp: 45 C\n",
     .Status = 45,
     .Reads = {"hwmon0/temp2_input"}},
    {.Name = "SensorChipNamedByAFifo",
     .Chips = {{"hwmon0", {{"name", FIFO_FILE}, {"temp1_input", "45000\n"}}}},
     .Sensor = "/sys/class/hwmon/hwmon0",
     .Output = NO_INTERFACE,
     .Status = -273},
    {.Name = "SensorZoneWithADeviceTemp",
     .Zones = {{"thermal_zone0", "cpu\n", DEVICE_FILE}},
     .Sensor = "/sys/class/thermal/thermal_zone0",
     .Output = NO_INTERFACE,
     .Status = -273},
    // A device is never opened (it could act, or never end), and a value
    // longer than any is read no further than its first bytes.
    {.Name = "SensorNamesADevice",
     .Chips = {INTEL_PACKAGE},
     .Sensor = "/dev/zero",
     .Output = NO_INTERFACE,
     .Status = -273},
    {.Name = "SensorNamesAHugeFile",
     .Chips = {WithFiles(Chip("hwmon0", "nct6775", {}),
                         {{"temp9_input", std::string(1 << 22, '4')}})},
     .Sensor = "/sys/class/hwmon/hwmon0/temp9_input",
     .Output = "failed:0xd\n",
     .Status = -273,
     .Reads = {"hwmon0/temp9_input"}},
};

void PrintTo(const LinuxRun& Case, std::ostream* Out)
{
    *Out << Case.Name;
}

// The same trees for this build's binary and for each target's that
// scripts/package built, the foreign ones run through qemu-user.
struct Binary {
    std::string Name; // "" for this build's
    std::string Path;
};
using BuildAndRun = std::tuple<Binary, LinuxRun>;

void PrintTo(const Binary& Build, std::ostream* Out)
{
    *Out << (Build.Name.empty() ? "this build" : Build.Name);
}

// CPUTEMP_TARGET_BINARIES: "linux-armhf=/path/cputemp,portable-amd64=/path/cputemp".
std::vector<Binary> TargetBinaries()
{
    std::vector<Binary> binaries;
#ifdef CPUTEMP_TARGET_BINARIES
    std::istringstream list(CPUTEMP_TARGET_BINARIES);
    for (std::string entry; std::getline(list, entry, ',');) {
        const std::size_t equals = entry.find('=');
        std::string name = entry.substr(0, equals);
        std::replace(name.begin(), name.end(), '-', '_');
        binaries.push_back({name, entry.substr(equals + 1)});
    }
#endif
    return binaries;
}

// Why Binary cannot run here, or "" when it can.
std::string CannotRun(const std::string& Binary)
{
    static std::map<std::string, std::string> known;
    if (known.count(Binary) == 0) {
        if (access(Binary.c_str(), X_OK) != 0) {
            known[Binary] = Binary + " is not built: run scripts/package";
        } else {
            const ChildRun probe = RunChild(Binary, {}, {});
            const bool ran = probe.Exited && probe.Errors.find("execve") == std::string::npos;
            known[Binary] = ran ? "" : "no binfmt_misc handler runs " + Binary;
        }
    }
    return known[Binary];
}

class LinuxRunTest : public testing::TestWithParam<BuildAndRun> {};

TEST_P(LinuxRunTest, ReportsTheCpuSensor)
{
    if (!CanMountPrivately()) {
        GTEST_SKIP() << "needs a private mount namespace (root or user namespaces)";
    }
    const std::string binary = std::get<0>(GetParam()).Path;
    if (const std::string why = CannotRun(binary); !why.empty()) {
        GTEST_SKIP() << why;
    }
    const LinuxRun& r = std::get<1>(GetParam());
    ThermalTree tree(r.Zones, r.WithClass, r.Chips);
    for (const auto& [file, text] : r.Files) {
        tree.Write(file, text);
    }
    tree.WatchReads();
    std::vector<std::string> environment;
    if (r.Sensor) {
        environment.push_back("CPUTEMP_SENSOR=" + *r.Sensor);
    }
    const ChildRun run = RunChild(binary, {}, environment, tree.Root());
    EXPECT_TRUE(run.Exited);
    EXPECT_EQ(run.Output, r.Output);
    EXPECT_EQ(run.ExitStatus, Narrowed(r.Status));
    EXPECT_EQ(run.Errors, "");
    EXPECT_EQ(tree.Reads(), r.Reads);
}

std::string RunName(const testing::TestParamInfo<BuildAndRun>& Info)
{
    const std::string& binary = std::get<0>(Info.param).Name;
    return (binary.empty() ? "" : binary + "_") + std::get<1>(Info.param).Name;
}

INSTANTIATE_TEST_SUITE_P(Trees, LinuxRunTest,
                         testing::Combine(testing::Values(Binary{"", CPUTEMP_BINARY}),
                                          testing::ValuesIn(LINUX_RUNS)),
                         RunName);
INSTANTIATE_TEST_SUITE_P(Targets, LinuxRunTest,
                         testing::Combine(testing::ValuesIn(TargetBinaries()),
                                          testing::ValuesIn(LINUX_RUNS)),
                         RunName);

} // namespace
