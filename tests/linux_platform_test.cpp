// The Linux platform layer on its own: which zones and hwmon channels are CPU
// interfaces, the interface list as the Configuration Manager lays it out, and
// the thermal read request served from a temperature file.
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/linux/thermal.h"
#include "tests/support/child.h"
#include "tests/support/thermal_tree.h"

namespace {

using namespace std::string_literals;

struct TypeCase {
    std::string Text;
    SensorClass Class;
};

// The rules and a few rows of the catalogue: order, case, and the words that
// must not count.
TEST(Catalogue, ClassesZonesByName)
{
    const TypeCase cases[] = {
        {"x86_pkg_temp", CPU_PACKAGE},
        {"X86_PKG_TEMP", CPU_PACKAGE},
        {"x86_pkg_temp2", NOT_CPU},
        {"pkg_temp", NOT_CPU},
        {"cpu-thermal", CPU_CORES},
        {"CPU-therm", CPU_CORES},
        {"thermal-Cpu0", CPU_CORES},
        {"cpu-0-0-usr", CPU_CORES},
        {"mtktscpu", CPU_CORES},
        {"cpu-skin-thermal", NOT_CPU}, // skin first: the case, not the die
        {"bigcore0-thermal", CPU_CORES},
        {"little-cl-thermal", CPU_CORES},
        {"pwr-cluster-thermal", CPU_CORES},
        {"atlas1-thermal", CPU_CORES},
        {"mpu-thermal", CPU_CORES},
        {"soc-thermal", CPU_SOC},
        {"SoC-dts0", CPU_SOC},
        {"soc-package", CPU_SOC},
        {"package-thermal", CPU_SOC},
        {"imx_thermal_zone", CPU_SOC},
        {"d0018200.thermal", CPU_SOC},
        {"mysoc", NOT_CPU},
        {"my-package", NOT_CPU},
        {"gpu-thermal", NOT_CPU},
        {"gpuss-0-thermal", NOT_CPU},
        {"center-thermal", NOT_CPU},
        {"mdm-core0-thermal", NOT_CPU},
        {"sensor1-thermal", NOT_CPU},
        {"acpitz", NOT_CPU},
        {"", NOT_CPU},
    };
    for (const TypeCase& c : cases) {
        EXPECT_EQ(ClassifyZone(c.Text.c_str()), c.Class) << '"' << c.Text << '"';
    }
}

// The manual names every chip of the catalogue: the two cannot drift apart.
TEST(Catalogue, EveryChipIsInTheManual)
{
    std::ifstream manual(CPUTEMP_MANUAL);
    std::string text;
    for (std::string line; std::getline(manual, line);) {
        text += line + "\n";
    }
    ASSERT_FALSE(text.empty()) << CPUTEMP_MANUAL;
    std::size_t count = 0;
    const ChipRule* rules = ChipRules(&count);
    for (std::size_t i = 0; i < count; ++i) {
        EXPECT_NE(text.find(rules[i].Name), std::string::npos) << rules[i].Name;
    }
}

struct LabelCase {
    const char* Chip;
    const char* Label;
    int Rank;
    bool Several;
};

TEST(Catalogue, RanksTheChannelsThatReadTheCpu)
{
    const LabelCase cases[] = {
        {.Chip = "coretemp", .Label = "Package id 0", .Rank = 0, .Several = false},
        {.Chip = "coretemp", .Label = "Package id 12", .Rank = 0, .Several = false},
        {.Chip = "coretemp", .Label = "Physical id 1", .Rank = 0, .Several = false},
        {.Chip = "coretemp", .Label = "Core 0", .Rank = 1, .Several = true},
        {.Chip = "coretemp", .Label = "Core 29", .Rank = 1, .Several = true},
        {.Chip = "coretemp", .Label = "Package id ", .Rank = NOT_RANKED, .Several = false},
        {.Chip = "coretemp", .Label = "Package id 0 ", .Rank = NOT_RANKED, .Several = false},
        {.Chip = "coretemp", .Label = "package id 0", .Rank = NOT_RANKED, .Several = false},
        {.Chip = "coretemp", .Label = "Core", .Rank = NOT_RANKED, .Several = false},
        {.Chip = "coretemp", .Label = "Core x", .Rank = NOT_RANKED, .Several = false},
        {.Chip = "k10temp", .Label = "Tdie", .Rank = 0, .Several = false},
        {.Chip = "k10temp", .Label = "Tctl", .Rank = 1, .Several = false},
        {.Chip = "k10temp", .Label = "Tccd1", .Rank = NOT_RANKED, .Several = false},
        {.Chip = "zenpower", .Label = "cpu1 Tdie", .Rank = 0, .Several = false},
        {.Chip = "zenpower", .Label = "xTdie", .Rank = NOT_RANKED, .Several = false},
        {.Chip = "zenpower", .Label = "cpu1 Tctl", .Rank = 1, .Several = false},
        {.Chip = "apm_xgene", .Label = "SoC Temperature", .Rank = 0, .Several = false},
        {.Chip = "apm_xgene", .Label = "CPU power", .Rank = NOT_RANKED, .Several = false},
        {.Chip = "cpu_hwmon", .Label = "CPU 1 Temperature", .Rank = 0, .Several = true},
        {.Chip = "cpu_hwmon", .Label = "CPU Temperature", .Rank = NOT_RANKED, .Several = false},
        {.Chip = "pvt", .Label = "CPU Core Temperature", .Rank = 0, .Several = false},
        {.Chip = "ibmpowernv", .Label = "Core 8", .Rank = 0, .Several = true},
        {.Chip = "ibmpowernv", .Label = "Chip 0 Vdd", .Rank = NOT_RANKED, .Several = false},
        // The firmware names its channels as device trees name zones.
        {.Chip = "scmi_sensors", .Label = "big_cluster", .Rank = 1, .Several = true},
        {.Chip = "scmi_sensors", .Label = "SoC", .Rank = 2, .Several = true},
        {.Chip = "scmi_sensors", .Label = "gpu0", .Rank = NOT_RANKED, .Several = false},
    };
    for (const LabelCase& c : cases) {
        const ChipRule* rule = FindChipRule(c.Chip);
        ASSERT_NE(rule, nullptr) << c.Chip;
        bool several = false;
        const int rank = RankLabel(rule, c.Label, &several);
        EXPECT_EQ(rank, c.Rank) << c.Chip << " \"" << c.Label << '"';
        EXPECT_EQ(rank == NOT_RANKED || several, rank == NOT_RANKED || c.Several)
            << c.Chip << " \"" << c.Label << '"';
    }
    // Older and vendor kernels' spellings of the same names.
    for (const auto& [vendor, mainline] :
         {std::pair{"cpu-hwmon", "cpu_hwmon"}, {"ltq-cputemp", "ltq_cputemp"}}) {
        EXPECT_EQ(FindChipRule(vendor), FindChipRule(mainline)) << vendor;
        EXPECT_NE(FindChipRule(vendor), nullptr) << vendor;
    }
    for (const char* other : {"nvme",
                              "amdgpu",
                              "acpitz",
                              "iwlwifi_1",
                              "nct6775",
                              "it87",
                              "cpu_thermal",
                              "soc_thermal",
                              "rp1_adc",
                              "dell_smm",
                              "thinkpad",
                              "asusec",
                              "peci_cputemp.cpu0",
                              "coretemp2",
                              "Coretemp",
                              "cpu_hwmon-",
                              "120e0000-tmon",
                              "lm75",
                              "tmp275",
                              "tmp423",
                              "max31785a",
                              ""}) {
        EXPECT_EQ(FindChipRule(other), nullptr) << '"' << other << '"';
    }
}

TEST(Topology, TellsTheDieOfAChipsDevice)
{
    const std::pair<const char*, long> cases[] = {
        {"coretemp.0", 0},
        {"coretemp.13", 13},
        {"0000:00:18.3", 0},
        {"0000:00:1f.3", 7},
        {"0000:00:17.3", -1},
        {"0000:00:18.3x", -1},
        {"APMC0D29:01", 1},
        {"coretemp.", -1},
        {"coretemp.x1", -1},
        {"platform", -1},
        {"", -1},
    };
    for (const auto& [device, die] : cases) {
        EXPECT_EQ(DieOfDevice(device), die) << '"' << device << '"';
    }
}

struct PackagesCase {
    const char* Name;
    std::vector<std::pair<std::string, std::string>> Files; // under the CPU root
    std::size_t Packages;
};

// One read of a package's CPU list per package, however the CPUs are numbered.
TEST(Topology, CountsThePackagesOfTheOnlineCpus)
{
    const PackagesCase cases[] = {
        {"one", {{"online", "0-3\n"}, {"cpu0/topology/package_cpus_list", "0-3\n"}}, 1},
        {"two, threads numbered after the cores",
         {{"online", "0-7\n"},
          {"cpu0/topology/package_cpus_list", "0-1,4-5\n"},
          {"cpu2/topology/package_cpus_list", "2-3,6-7\n"}},
         2},
        {"before Linux 5.7",
         {{"online", "0-1\n"},
          {"cpu0/topology/core_siblings_list", "0\n"},
          {"cpu1/topology/core_siblings_list", "1\n"}},
         2},
        {"a CPU offline", {{"online", "0,2\n"}, {"cpu0/topology/package_cpus_list", "0-3\n"}}, 1},
        {"a list that leaves out its own CPU",
         {{"online", "0-1\n"}, {"cpu0/topology/package_cpus_list", "1\n"}},
         0},
        {"no list", {{"online", "0-1\n"}, {"cpu0/topology/package_cpus_list", "0\n"}}, 0},
        {"a malformed list", {{"online", "0-\n"}}, 0},
        {"nothing", {}, 0},
    };
    for (const PackagesCase& c : cases) {
        const ThermalTree tree({});
        std::filesystem::create_directories(tree.Root() + "/cpu");
        for (const auto& [file, text] : c.Files) {
            tree.Write("cpu/" + file, text);
        }
        EXPECT_EQ(CountPackages((tree.Root() + "/cpu").c_str()), c.Packages) << c.Name;
    }
    EXPECT_EQ(CountPackages(nullptr), 0U);
}

struct TextCase {
    std::string Text;
    DWORD Error;
    ULONG Reading;
};

TEST(TemperatureText, ConvertsMillidegreesToTenthsOfAKelvin)
{
    const TextCase cases[] = {
        {"45000\n", ERROR_SUCCESS, 3181},
        {"45000", ERROR_SUCCESS, 3181},
        {"-40000\n", ERROR_SUCCESS, 2331},
        {"0\n", ERROR_SUCCESS, 2731},
        {"-0", ERROR_SUCCESS, 2731},
        {"-273150", ERROR_SUCCESS, 0},
        {"-273051", ERROR_SUCCESS, 0},
        {"-273050", ERROR_SUCCESS, 1},
        {"0000000000000000000000045000\n", ERROR_SUCCESS, 3181},
        {"429496456449", ERROR_SUCCESS, 4294967295U},
        {"429496456450", ERROR_INVALID_DATA, 0},
        {"9223372036854775807", ERROR_INVALID_DATA, 0},
        {"99999999999999999999999999", ERROR_INVALID_DATA, 0},
        {"-273151", ERROR_INVALID_DATA, 0},
        {"-99999999999999999999999999", ERROR_INVALID_DATA, 0},
        {"", ERROR_INVALID_DATA, 0},
        {"\n", ERROR_INVALID_DATA, 0},
        {"-", ERROR_INVALID_DATA, 0},
        {"-\n", ERROR_INVALID_DATA, 0},
        {"45000\n\n", ERROR_INVALID_DATA, 0},
        {"45000\n1", ERROR_INVALID_DATA, 0},
        {" 45000", ERROR_INVALID_DATA, 0},
        {"+45000", ERROR_INVALID_DATA, 0},
        {"45000 ", ERROR_INVALID_DATA, 0},
        {"45.5", ERROR_INVALID_DATA, 0},
        {"--45", ERROR_INVALID_DATA, 0},
        {"4-5", ERROR_INVALID_DATA, 0},
        {"45000\r\n", ERROR_INVALID_DATA, 0},
        {"45\0"s, ERROR_INVALID_DATA, 0},
        {"4\0"
         "5\n"s,
         ERROR_INVALID_DATA, 0},
    };
    for (const TextCase& c : cases) {
        ULONG reading = 0;
        EXPECT_EQ(ReadingFromText(c.Text.data(), c.Text.size(), &reading), c.Error)
            << '"' << c.Text << '"';
        EXPECT_EQ(reading, c.Reading) << '"' << c.Text << '"';
    }
}

TEST(ErrnoMapping, GivesTheWindowsErrors)
{
    const std::pair<int, DWORD> opens[] = {{ENOENT, ERROR_FILE_NOT_FOUND},
                                           {ENOTDIR, ERROR_PATH_NOT_FOUND},
                                           {EACCES, ERROR_ACCESS_DENIED},
                                           {EPERM, ERROR_ACCESS_DENIED}};
    for (const auto& [error, expected] : opens) {
        EXPECT_EQ(ErrorFromOpenErrno(error), expected) << strerror(error);
    }
    const std::pair<int, DWORD> reads[] = {{EAGAIN, ERROR_NOT_READY},
                                           {ENODATA, ERROR_NOT_READY},
                                           {EIO, ERROR_READ_FAULT},
                                           {EISDIR, ERROR_READ_FAULT}};
    for (const auto& [error, expected] : reads) {
        EXPECT_EQ(ErrorFromReadErrno(error), expected) << strerror(error);
    }
}

std::u16string Widen(const std::string& Text)
{
    return std::u16string(Text.begin(), Text.end());
}

// Sources of the user's sensor alone: no tree is scanned.
SensorSources SourcesOf(const ThermalTree& /*Tree*/, const char* Override)
{
    return {"/nonexistent/hwmon", "/nonexistent/thermal", Override};
}

// The list as the size query measures it and the list query hands it over.
std::u16string ListOf(const SensorSources& Sources)
{
    ULONG needed = 0;
    EXPECT_EQ(QueryInterfaceListSize(&Sources, &needed), CR_SUCCESS);
    std::u16string list(needed, u'#');
    EXPECT_EQ(QueryInterfaceList(&Sources, list.data(), needed), CR_SUCCESS);
    return list;
}

std::u16string ListOf(const ThermalTree& Tree)
{
    const std::string hwmon = Tree.HwmonDir();
    const std::string thermal = Tree.ClassDir();
    return ListOf(SensorSources{hwmon.c_str(), thermal.c_str(), nullptr});
}

// Paths NUL-terminated, then the list's final NUL.
std::u16string Listed(const std::vector<std::string>& Paths)
{
    std::u16string list;
    for (const std::string& path : Paths) {
        list += Widen(path) + u'\0';
    }
    return list + u'\0';
}

ZoneSpec Zone(const std::string& Name, const std::string& Type)
{
    return {Name, Type, "45000\n"};
}

struct ZonesCase {
    const char* Name;
    std::vector<ZoneSpec> Zones;
    std::vector<std::string> Listed; // relative to the class directory
};

// An interface per package zone; else the cores and clusters together; else
// the SoC zones together.
TEST(InterfaceList, ZonesMakeOneInterfacePerPackage)
{
    const ZonesCase cases[] = {
        {"package zones",
         {Zone("thermal_zone3", "x86_pkg_temp\n"), Zone("thermal_zone2", "cpu\n"),
          Zone("thermal_zone1", "acpitz\n"), Zone("thermal_zone0", "x86_pkg_temp\n")},
         {"thermal_zone0", "thermal_zone3"}},
        {"cores before the SoC, in numeric order",
         {Zone("thermal_zone10", "soc_thermal\n"),
          Zone("thermal_zone2", "cpu\n"),
          Zone("thermal_zone1", "acpitz\n"),
          Zone("thermal_zone3", "bigcore0-thermal\n"),
          {"thermal_zone11", "cpu\n", "1\n", false}},
         {"thermal_zone2"}},
        {"the SoC alone",
         {Zone("thermal_zone4", "soc-thermal\n"), Zone("thermal_zone5", "package-thermal\n"),
          Zone("thermal_zone6", "gpu-thermal\n")},
         {"thermal_zone4"}},
    };
    for (const ZonesCase& c : cases) {
        const ThermalTree tree(c.Zones);
        std::vector<std::string> paths;
        for (const std::string& zone : c.Listed) {
            paths.push_back(tree.ClassDir() + "/" + zone);
        }
        EXPECT_EQ(ListOf(tree), Listed(paths)) << c.Name;
    }
}

TEST(InterfaceList, SkipsWhatIsNotAZoneDirectory)
{
    const ThermalTree tree({Zone("thermal_zone1", "cpu\n"),
                            Zone("cooling_device0", "cpu\n"),
                            Zone("thermal_zoneX", "cpu\n"),
                            Zone("thermal_zone", "cpu\n"),
                            Zone("thermal_zone-1", "cpu\n"),
                            Zone("thermal_zone07", "cpu\n"),
                            {"thermal_zone4", std::nullopt, "1"}});
    tree.Write("class/thermal/thermal_zone5", "cpu\n"); // a file, not a directory
    std::filesystem::create_directory_symlink("../../nowhere", tree.ClassDir() + "/thermal_zone6");
    tree.Write("class/thermal/thermal_zone1/type", std::string(300, 'c') + "cpu\n");
    // Longer than any type: not a CPU zone, whatever its first bytes say.
    tree.Write("class/thermal/thermal_zone4/type", "cpu" + std::string(300, '-') + "\n");
    EXPECT_EQ(ListOf(tree), u"\0"s);
}

TEST(InterfaceList, MissingTreeIsAnEmptyList)
{
    EXPECT_EQ(ListOf(SensorSources{"/nonexistent/hwmon", "/nonexistent/thermal", nullptr}), u"\0"s);
}

// A chip the catalogue names, with channels numbered and labelled as given.
ChipSpec CatalogueChip(const std::string& Name, const std::string& Kind,
                       const std::vector<std::pair<int, const char*>>& Channels,
                       bool OldLayout = false)
{
    ChipSpec chip{Name, {{"name", Kind + "\n"}}, "platform/" + Name, OldLayout};
    for (const auto& [channel, label] : Channels) {
        chip.Files.emplace_back("temp" + std::to_string(channel) + "_input", "1\n");
        if (label != nullptr) {
            chip.Files.emplace_back("temp" + std::to_string(channel) + "_label", label + "\n"s);
        }
    }
    return chip;
}

// Chips in ascending number, each a package, a driver's chips where its first
// is; per-core chips together; a chip whose channels are packages, an
// interface per channel. With no topology to tell, a chip per die is a package.
TEST(InterfaceList, ChipsMakeOneInterfacePerPackage)
{
    const ThermalTree tree(
        {Zone("thermal_zone0", "x86_pkg_temp\n")}, true,
        {CatalogueChip("hwmon10", "k10temp", {{1, "Tctl"}}),
         CatalogueChip("hwmon2", "coretemp", {{2, "Core 0"}}),
         CatalogueChip("hwmon3", "nvme", {{1, nullptr}}),
         CatalogueChip("hwmon4", "k8temp", {{1, nullptr}}, true),
         {"hwmon5", {{"name", "coretemp\n"}, {"temp1_label", "Core 0\n"}}},
         CatalogueChip("hwmon6", "via_cputemp", {{1, "Core 0"}}, true),
         CatalogueChip("hwmon7", "via_cputemp", {{1, "Core 1"}}, true),
         CatalogueChip("hwmon8", "cpu_hwmon", {{1, "CPU 0 Temperature"}, {2, "CPU 1 Temperature"}}),
         CatalogueChip("hwmon9", "coretemp",
                       {{2, "Core 0"}, {3, "Core 1"}, {5, "Core 3"}, {4, "Core 2"}}),
         CatalogueChip("hwmon11", "k10temp", {{1, nullptr}, {2, nullptr}}),
         // Read from another file than the other per-core chips: not one of them.
         CatalogueChip("hwmon12", "via_cputemp", {{1, "Core 2"}})});
    const std::string dir = tree.HwmonDir();
    EXPECT_EQ(ListOf(tree), Listed({dir + "/hwmon2/temp2_input", dir + "/hwmon9/temp2_input",
                                    dir + "/hwmon4/device/temp1_input",
                                    dir + "/hwmon6/device/temp1_input", dir + "/hwmon8/temp1_input",
                                    dir + "/hwmon8/temp2_input", dir + "/hwmon10/temp1_input",
                                    dir + "/hwmon11/temp1_input", dir + "/hwmon12/temp1_input"}));
}

TEST(InterfaceList, TheUsersSensorAloneWhenItExists)
{
    ThermalTree tree(
        {Zone("thermal_zone0", "acpitz\n"),
         {"thermal_zone1", "cpu\n", {}},
         {"thermal_zone2", "cpu\n", FIFO_FILE},
         {"thermal_zone3", "cpu\n", DEVICE_FILE}},
        true,
        {CatalogueChip("hwmon0", "coretemp", {{1, "Package id 0"}}),
         CatalogueChip("hwmon1", "coretemp", {{2, "Core 0"}, {3, "Core 1"}}, true),
         CatalogueChip("hwmon2", "nct6775", {{1, nullptr}, {7, nullptr}}),
         // Only regular files are read, as a name, a label or a channel.
         {"hwmon3", {{"name", FIFO_FILE}, {"temp1_input", "1\n"}}, "platform/hwmon3"},
         {"hwmon4",
          {{"name", SOCKET_FILE}, {"device/name", "nct6775\n"}, {"device/temp1_input", "1\n"}},
          "platform/hwmon4"},
         {"hwmon5",
          {{"name", "nct6775\n"},
           {"temp1_input", DEVICE_FILE},
           {"temp2_input", FIFO_FILE},
           {"temp3_input", SOCKET_FILE},
           {"temp4_input", "1\n"}},
          "platform/hwmon5"},
         {"hwmon6",
          {{"name", "coretemp\n"},
           {"temp1_label", FIFO_FILE},
           {"temp1_input", "1\n"},
           {"temp2_label", DEVICE_FILE},
           {"temp2_input", "1\n"},
           {"temp3_label", "Core 1\n"},
           {"temp3_input", "1\n"}},
          "platform/hwmon6"},
         {"hwmon7", {{"name", "nct6775\n"}, {"temp1_input", DEVICE_FILE}}, "platform/hwmon7"}});
    std::filesystem::create_directories(tree.Root() + "/caf\xC3\xA9 \xF0\x9F\x8C\xA1");
    tree.Write("caf\xC3\xA9 \xF0\x9F\x8C\xA1/temp", "1\n");
    std::filesystem::create_directories(tree.Root() + "/fifo-zone");
    tree.Put("fifo", FIFO_FILE, "fifo");
    tree.Put("fifo-zone/temp", FIFO_FILE, "fifo-zone/temp");
    // Braces are a name like any other: no other directory is read for them.
    std::filesystem::create_directories(tree.Root() + "/c{1,2}");
    tree.Write("c{1,2}/name", "nct6775\n");
    for (const char* other : {"c1", "c2"}) {
        std::filesystem::create_directories(tree.Root() + "/" + other);
        tree.Write(other + "/temp1_input"s, "1\n");
    }
    tree.WatchReads();
    const std::string zone = tree.ClassDir() + "/thermal_zone0";
    const std::string chips = tree.HwmonDir();
    const std::string input = chips + "/hwmon0/temp1_input";
    const std::pair<std::string, std::u16string> cases[] = {
        {input, Listed({input})},
        {zone, Listed({zone})},
        // A chip, as the catalogue reads it, or all of its channels.
        {chips + "/hwmon0", Listed({chips + "/hwmon0/temp1_input"})},
        {chips + "/hwmon1", Listed({chips + "/hwmon1/device/temp2_input"})},
        {chips + "/hwmon2", Listed({chips + "/hwmon2/temp1_input"})},
        {chips + "/hwmon3", u"\0"s},
        {chips + "/hwmon4", Listed({chips + "/hwmon4/device/temp1_input"})}, // as before 3.13
        {chips + "/hwmon5", Listed({chips + "/hwmon5/temp4_input"})},
        {chips + "/hwmon6", Listed({chips + "/hwmon6/temp3_input"})},
        {chips + "/hwmon7", u"\0"s},
        {chips + "/hwmon7/temp1_input", u"\0"s},
        {tree.Root() + "/c{1,2}", u"\0"s},
        {tree.ClassDir() + "/thermal_zone1", u"\0"s}, // a directory without temp
        {tree.ClassDir() + "/thermal_zone2", u"\0"s},
        {tree.ClassDir() + "/thermal_zone3", u"\0"s},
        {tree.ClassDir() + "/thermal_zone9", u"\0"s},
        // Never opened: it could act.
        {tree.Root() + "/fifo", u"\0"s},
        {tree.Root() + "/fifo-zone", u"\0"s},
        {"/dev/null", u"\0"s},
        {tree.Root() + "/caf\xC3\xA9 \xF0\x9F\x8C\xA1",
         Widen(tree.Root()) + u"/caf\u00E9 \U0001F321"s + u'\0' + u'\0'},
        {tree.Root() + "/caf\xC3", u"\0"s},      // cut short
        {tree.Root() + "/caf\xC0\xA9", u"\0"s},  // overlong
        {tree.Root() + "/\xED\xA0\x80", u"\0"s}, // a surrogate
    };
    for (const auto& [sensor, expected] : cases) {
        EXPECT_EQ(ListOf(SourcesOf(tree, sensor.c_str())), expected) << sensor;
    }
    // Listing reads names and labels: no value, and nothing but a regular file.
    EXPECT_EQ(tree.Reads(), std::vector<std::string>{});
}

// The size query's scan serves the list query after it: one walk a run, and
// the list handed over is the one that was measured.
TEST(InterfaceList, ListQueryServesTheSizeQuerysScan)
{
    const ThermalTree tree({Zone("thermal_zone0", "cpu\n"), Zone("thermal_zone10", "gpu\n")});
    const std::string hwmon = tree.HwmonDir();
    const std::string thermal = tree.ClassDir();
    const SensorSources sources{hwmon.c_str(), thermal.c_str(), nullptr};
    const std::u16string before = Listed({thermal + "/thermal_zone0"});
    const std::u16string after = Listed({thermal + "/thermal_zone0", thermal + "/thermal_zone10"});

    ULONG needed = 0;
    ASSERT_EQ(QueryInterfaceListSize(&sources, &needed), CR_SUCCESS);
    EXPECT_EQ(needed, before.size());
    tree.Write("devices/virtual/thermal/thermal_zone0/type", "x86_pkg_temp\n");
    tree.Write("devices/virtual/thermal/thermal_zone10/type", "x86_pkg_temp\n");
    std::u16string list(after.size(), u'#');
    ASSERT_EQ(QueryInterfaceList(&sources, list.data(), needed), CR_SUCCESS);
    EXPECT_EQ(list.substr(0, needed), before);
    // Taken once: the next list query scans afresh, and refuses a short buffer.
    EXPECT_EQ(QueryInterfaceList(&sources, list.data(), needed), CR_BUFFER_SMALL);
    EXPECT_EQ(list.substr(0, needed), before);
    ASSERT_EQ(QueryInterfaceList(&sources, list.data(), static_cast<ULONG>(after.size())),
              CR_SUCCESS);
    EXPECT_EQ(list, after);
    // Size queries that no list query follows: each scan frees the one before
    // (the leak checks see to it).
    ASSERT_EQ(QueryInterfaceListSize(&sources, &needed), CR_SUCCESS);
    ASSERT_EQ(QueryInterfaceListSize(&sources, &needed), CR_SUCCESS);
    EXPECT_EQ(needed, after.size());
}

TEST(ConfigurationManager, ValidatesLikeWindows)
{
    GUID thermal = CpuThermalInterfaceGuid;
    GUID other = CpuThermalInterfaceGuid;
    other.Data1 ^= 1;
    ULONG length = 77;
    WCHAR buffer[4] = {u'#', u'#', u'#', u'#'};
    WCHAR device[] = u"ACPI\\THRM\\0";

    EXPECT_EQ(CM_Get_Device_Interface_List_SizeW(nullptr, &thermal, nullptr, 0),
              CR_INVALID_POINTER);
    EXPECT_EQ(CM_Get_Device_Interface_List_SizeW(&length, nullptr, nullptr, 0), CR_INVALID_POINTER);
    EXPECT_EQ(CM_Get_Device_Interface_ListW(nullptr, nullptr, buffer, 4, 0), CR_INVALID_POINTER);
    EXPECT_EQ(CM_Get_Device_Interface_ListW(&thermal, nullptr, nullptr, 4, 0), CR_INVALID_POINTER);
    EXPECT_EQ(CM_Get_Device_Interface_List_SizeW(&length, &thermal, nullptr, 2), CR_INVALID_FLAG);
    EXPECT_EQ(CM_Get_Device_Interface_List_SizeW(&length, &thermal, device, 0),
              CR_INVALID_DEVICE_ID);

    // Another class has no interfaces: the empty list.
    EXPECT_EQ(CM_Get_Device_Interface_List_SizeW(&length, &other, nullptr, 0), CR_SUCCESS);
    EXPECT_EQ(length, 1U);
    EXPECT_EQ(CM_Get_Device_Interface_ListW(&other, nullptr, buffer, 0, 0), CR_BUFFER_SMALL);
    EXPECT_EQ(CM_Get_Device_Interface_ListW(&other, nullptr, buffer, 4, 0), CR_SUCCESS);
    EXPECT_EQ(buffer[0], 0);
    EXPECT_EQ(buffer[1], u'#');
}

HANDLE OpenZone(const std::string& Path)
{
    const std::u16string wide = Widen(Path);
    return CreateFileW(wide.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
}

struct Answer {
    BOOL Ok;
    DWORD Error;
    ULONG Reading;
    DWORD Returned;
};

Answer Request(HANDLE Device, DWORD Code = IOCTL_THERMAL_READ_TEMPERATURE,
               DWORD InSize = sizeof(THERMAL_WAIT_READ), DWORD OutSize = sizeof(ULONG))
{
    unsigned char in[16] = {};
    Answer answer{FALSE, ERROR_SUCCESS, 0xA5A5A5A5, 99};
    answer.Ok = DeviceIoControl(Device, Code, in, InSize, &answer.Reading, OutSize,
                                &answer.Returned, nullptr);
    answer.Error = answer.Ok ? ERROR_SUCCESS : GetLastError();
    return answer;
}

TEST(ThermalRead, ReadsTheZoneAfreshAtEveryRequest)
{
    const ThermalTree tree({Zone("thermal_zone0", "cpu\n")});
    const HANDLE device = OpenZone(tree.ClassDir() + "/thermal_zone0");
    ASSERT_NE(device, INVALID_HANDLE_VALUE);
    const Answer first = Request(device);
    tree.Write("devices/virtual/thermal/thermal_zone0/temp", "-40000\n");
    const Answer second = Request(device);
    EXPECT_TRUE(CloseHandle(device));

    EXPECT_TRUE(first.Ok);
    EXPECT_EQ(first.Reading, 3181U);
    EXPECT_EQ(first.Returned, 4U);
    EXPECT_TRUE(second.Ok);
    EXPECT_EQ(second.Reading, 2331U);
}

struct RequestCase {
    const char* Name;
    std::string Temp;
    DWORD Code;
    DWORD InSize;
    DWORD OutSize;
    DWORD Error;
};

TEST(ThermalRead, FailsWithTheWindowsErrorAndWritesNothing)
{
    const RequestCase cases[] = {
        {"other control code", "45000\n", 0x00294094, 12, 4, ERROR_INVALID_FUNCTION},
        {"short request", "45000\n", IOCTL_THERMAL_READ_TEMPERATURE, 11, 4,
         ERROR_INVALID_PARAMETER},
        {"short output", "45000\n", IOCTL_THERMAL_READ_TEMPERATURE, 12, 3,
         ERROR_INSUFFICIENT_BUFFER},
        {"malformed", "warm\n", IOCTL_THERMAL_READ_TEMPERATURE, 12, 4, ERROR_INVALID_DATA},
        {"empty", "", IOCTL_THERMAL_READ_TEMPERATURE, 12, 4, ERROR_INVALID_DATA},
        {"beyond 32 bits", "429496456450\n", IOCTL_THERMAL_READ_TEMPERATURE, 12, 4,
         ERROR_INVALID_DATA},
        // One bounded read: a text longer than any value is none, however long.
        {"longer than any value", "0000000000000000000000000000045000\n",
         IOCTL_THERMAL_READ_TEMPERATURE, 12, 4, ERROR_INVALID_DATA},
        {"a megabyte", std::string(1 << 20, '1'), IOCTL_THERMAL_READ_TEMPERATURE, 12, 4,
         ERROR_INVALID_DATA},
        // The read's 32 bytes would be a value of their own; the rest says otherwise.
        {"a value that fills the read", std::string(26, '0') + "45000\n1\n",
         IOCTL_THERMAL_READ_TEMPERATURE, 12, 4, ERROR_INVALID_DATA},
    };
    for (const RequestCase& c : cases) {
        const ThermalTree tree({{"thermal_zone0", "cpu\n", c.Temp}});
        const HANDLE device = OpenZone(tree.ClassDir() + "/thermal_zone0");
        ASSERT_NE(device, INVALID_HANDLE_VALUE) << c.Name;
        const Answer answer = Request(device, c.Code, c.InSize, c.OutSize);
        CloseHandle(device);
        EXPECT_FALSE(answer.Ok) << c.Name;
        EXPECT_EQ(answer.Error, c.Error) << c.Name;
        EXPECT_EQ(answer.Reading, 0xA5A5A5A5U) << c.Name;
        EXPECT_EQ(answer.Returned, 0U) << c.Name;
    }
}

// Bytes this thread has read so far, as the kernel counts them.
unsigned long long BytesRead()
{
    std::ifstream io("/proc/thread-self/io");
    for (std::string field; io >> field;) {
        unsigned long long value = 0;
        io >> value;
        if (field == "rchar:") {
            return value;
        }
    }
    return 0;
}

// However long the file, one read of a few bytes: a file that grows or never
// ends cannot hold the run.
TEST(ThermalRead, ReadsAValueWithOneBoundedRead)
{
    const ThermalTree tree({{"thermal_zone0", "cpu\n", std::string(1 << 20, '1'), false}});
    const HANDLE device = OpenZone(tree.ClassDir() + "/thermal_zone0");
    ASSERT_NE(device, INVALID_HANDLE_VALUE);
    const unsigned long long before = BytesRead();
    const Answer answer = Request(device);
    const unsigned long long read = BytesRead() - before;
    CloseHandle(device);
    EXPECT_EQ(answer.Error, ERROR_INVALID_DATA);
    EXPECT_LT(read, 4096U); // the value's read, and this count's own
}

// Temperatures of n zones, 40 C but the last, at 99 C.
std::vector<std::optional<std::string>> HottestLast(std::size_t Zones)
{
    std::vector<std::optional<std::string>> temps(Zones - 1, "40000\n");
    temps.emplace_back("99000\n");
    return temps;
}

const char DIRECTORY[] = "\x01"
                         "directory";

struct HottestCase {
    const char* Name;
    // A CPU zone each: its temp's text, DIRECTORY, or none for no temp.
    std::vector<std::optional<std::string>> Temps;
    DWORD Error;
    ULONG Reading;
};

// The listed interface reads every member and answers the hottest of those
// that answer; when none does, the first one's error.
TEST(ThermalRead, AnswersTheHottestOfTheSensorsThatAnswer)
{
    const HottestCase cases[] = {
        {"one", {"45000\n"}, ERROR_SUCCESS, 3181},
        {"unreadable alone", {DIRECTORY}, ERROR_READ_FAULT, 0},
        {"the hottest", {"45000\n", "52000\n", "-1000\n"}, ERROR_SUCCESS, 3251},
        {"below zero", {"-30000\n", "-20000\n"}, ERROR_SUCCESS, 2531},
        {"one malformed", {"hot\n", "41000\n"}, ERROR_SUCCESS, 3141},
        {"one unreadable", {"41000\n", DIRECTORY}, ERROR_SUCCESS, 3141},
        {"none answers", {"hot\n", DIRECTORY}, ERROR_INVALID_DATA, 0},
        {"none answers, the first's error", {DIRECTORY, "hot\n"}, ERROR_READ_FAULT, 0},
        {"a member missing", {std::nullopt, "41000\n"}, ERROR_SUCCESS, 3141},
        {"every member missing", {std::nullopt, std::nullopt}, ERROR_FILE_NOT_FOUND, 0},
        // No cap on the members, and none left out: a machine of many cores.
        {"65 members", HottestLast(65), ERROR_SUCCESS, 3721},
        {"200 members", HottestLast(200), ERROR_SUCCESS, 3721},
    };
    for (const HottestCase& c : cases) {
        std::vector<ZoneSpec> zones;
        for (std::size_t i = 0; i < c.Temps.size(); ++i) {
            const bool file = c.Temps[i] && *c.Temps[i] != DIRECTORY;
            zones.push_back({"thermal_zone" + std::to_string(4 * i), "cpu\n",
                             file ? c.Temps[i] : std::nullopt, false});
        }
        const ThermalTree tree(zones);
        for (std::size_t i = 0; i < c.Temps.size(); ++i) {
            if (c.Temps[i] == DIRECTORY) {
                std::filesystem::create_directory(tree.ClassDir() + "/thermal_zone" +
                                                  std::to_string(4 * i) + "/temp");
            }
        }
        const std::string name = tree.ClassDir() + "/thermal_zone0";
        ASSERT_EQ(ListOf(tree), Listed({name})) << c.Name;
        const HANDLE device = OpenZone(name);
        const DWORD openError = device == INVALID_HANDLE_VALUE ? GetLastError() : ERROR_SUCCESS;
        const Answer answer = Request(device);
        EXPECT_EQ(CloseHandle(device), device != INVALID_HANDLE_VALUE) << c.Name;
        EXPECT_EQ(answer.Ok, c.Error == ERROR_SUCCESS) << c.Name;
        EXPECT_EQ(openError != ERROR_SUCCESS ? openError : answer.Error, c.Error) << c.Name;
        EXPECT_EQ(answer.Reading, c.Error == ERROR_SUCCESS ? c.Reading : 0xA5A5A5A5U) << c.Name;
    }
}

// A chip directory the user names is read at every channel, however long its
// name in bytes (this one is 80 three-byte characters).
TEST(ThermalRead, ReadsEveryChannelOfTheUsersChip)
{
    std::string chip;
    for (int i = 0; i < 80; ++i) {
        chip += "\xE4\xB8\xAD"; // U+4E2D
    }
    const ThermalTree tree({});
    std::filesystem::create_directories(tree.Root() + "/" + chip);
    tree.Write(chip + "/name", "nct6775\n");
    tree.Write(chip + "/temp1_input", "40000\n");
    tree.Write(chip + "/temp2_input", "99000\n");
    const std::string path = tree.Root() + "/" + chip;
    const std::u16string list = ListOf(SourcesOf(tree, path.c_str()));
    ASSERT_EQ(std::count(list.begin(), list.end(), u'\0'), 2) << "one interface";
    const HANDLE device =
        CreateFileW(list.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    const Answer answer = Request(device);
    CloseHandle(device);
    EXPECT_TRUE(answer.Ok);
    EXPECT_EQ(answer.Reading, 3721U);
}

// The descriptor limit under which exactly Free descriptors are free: whatever
// this process inherited (a build harness's, a job server's) is counted, not
// assumed closed.
rlim_t LimitLeaving(int Free)
{
    int fd = 0;
    for (int free = 0; free < Free; ++fd) {
        free += fcntl(fd, F_GETFD) == -1 && errno == EBADF ? 1 : 0;
    }
    return static_cast<rlim_t>(fd);
}

// Descriptors or memory that run out fail the open or the listing: a package
// read without some of its members could read lower than it is.
TEST(ThermalRead, ResourcesThatRunOutFailRatherThanReadLower)
{
    std::vector<ZoneSpec> zones;
    for (int i = 0; i < 10; ++i) {
        zones.push_back({"thermal_zone" + std::to_string(i), "cpu\n",
                         std::to_string(40000 + 1000 * i) + "\n", false});
    }
    const ThermalTree tree(zones);
    const std::string name = tree.ClassDir() + "/thermal_zone0";
    ASSERT_EQ(ListOf(tree), Listed({name}));
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
    const std::pair<int, DWORD> limits[] = {{5, ERROR_TOO_MANY_OPEN_FILES}, {10, ERROR_SUCCESS}};
    for (const auto& [spare, error] : limits) {
        rlimit low = saved;
        low.rlim_cur = LimitLeaving(spare);
        ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &low), 0);
        const HANDLE device = OpenZone(name);
        const DWORD opened = device == INVALID_HANDLE_VALUE ? GetLastError() : ERROR_SUCCESS;
        const Answer answer = Request(device);
        CloseHandle(device);
        ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &saved), 0);
        EXPECT_EQ(opened, error) << spare << " descriptors";
        EXPECT_EQ(answer.Ok ? answer.Reading : 0U, error == ERROR_SUCCESS ? 3221U : 0U);
    }
    // A listing that cannot open what it reads fails as a whole.
    rlimit low = saved;
    low.rlim_cur = LimitLeaving(1);
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &low), 0);
    const std::string hwmon = tree.HwmonDir();
    const std::string thermal = tree.ClassDir();
    const SensorSources sources{hwmon.c_str(), thermal.c_str(), nullptr};
    ULONG needed = 0;
    const CONFIGRET listed = QueryInterfaceListSize(&sources, &needed);
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &saved), 0);
    EXPECT_EQ(listed, CR_OUT_OF_MEMORY);
}

TEST(OpenDevice, FailsWithTheWindowsError)
{
    ThermalTree tree(
        {{"thermal_zone0", "cpu\n", std::nullopt}, {"thermal_zone1", "cpu\n", "1000\n", false}});
    tree.Write("class/thermal/plainfile", "x");
    std::filesystem::create_directories(tree.ClassDir() + "/fifo-zone");
    std::filesystem::create_directories(tree.ClassDir() + "/thermal_zone{0,1}");
    tree.Put("class/thermal/fifo", FIFO_FILE, "fifo");
    tree.Put("class/thermal/fifo-zone/temp", FIFO_FILE, "fifo-zone/temp");
    tree.Put("class/thermal/socket", SOCKET_FILE, "socket");
    tree.Put("class/thermal/device", DEVICE_FILE, "device");
    tree.WatchReads();
    const std::pair<std::string, DWORD> cases[] = {
        {"", ERROR_PATH_NOT_FOUND},
        {tree.ClassDir() + "/thermal_zone0", ERROR_FILE_NOT_FOUND},
        {tree.ClassDir() + "/thermal_zone9", ERROR_FILE_NOT_FOUND},
        // A path no listing made opens as itself: braces are part of a name.
        {tree.ClassDir() + "/thermal_zone{0,1}", ERROR_FILE_NOT_FOUND},
        {tree.ClassDir() + "/thermal_zone{1-99}", ERROR_FILE_NOT_FOUND},
        {tree.ClassDir() + "/plainfile/temp", ERROR_PATH_NOT_FOUND},
        // and only a regular file of it: anything else is as if missing.
        {tree.ClassDir() + "/fifo", ERROR_FILE_NOT_FOUND},
        {tree.ClassDir() + "/fifo-zone", ERROR_FILE_NOT_FOUND},
        {tree.ClassDir() + "/socket", ERROR_FILE_NOT_FOUND},
        {tree.ClassDir() + "/device", ERROR_FILE_NOT_FOUND},
        {tree.ClassDir(), ERROR_FILE_NOT_FOUND},
        {"/" + std::string(5000, 'a'), ERROR_FILENAME_EXCED_RANGE},
    };
    for (const auto& [path, error] : cases) {
        EXPECT_EQ(OpenZone(path), INVALID_HANDLE_VALUE) << path.substr(0, 80);
        EXPECT_EQ(GetLastError(), error) << path.substr(0, 80);
    }
    const WCHAR unpaired[] = {u'/', 0xD800, u'x', 0};
    EXPECT_EQ(CreateFileW(unpaired, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_NAME);
    EXPECT_EQ(tree.Reads(), std::vector<std::string>{});
}

// The object read is the object checked: a file swapped for a FIFO between
// the check and the read, by a loop that runs beside the listing and the
// open, is never opened, and so never lets the FIFO's writer go.
TEST(OpenDevice, NeverOpensWhatIsSwappedInAfterTheCheck)
{
    ThermalTree tree({}, true, {{"hwmon0", {{"name", "nct6775\n"}, {"temp1_input", "45000\n"}}}});
    std::filesystem::create_directories(tree.Root() + "/zone");
    tree.Write("zone/temp", "45000\n");
    tree.Put("fifo-a", FIFO_FILE, "fifo-a");
    tree.Put("fifo-b", FIFO_FILE, "fifo-b");
    tree.WatchReads();
    const std::string chip = tree.HwmonDir() + "/hwmon0";
    const std::string input = tree.Root() + "/devices/platform/chip/hwmon/hwmon0/temp1_input";
    const std::string zone = tree.Root() + "/zone";
    if (renameat2(AT_FDCWD, input.c_str(), AT_FDCWD, (tree.Root() + "/fifo-a").c_str(),
                  RENAME_EXCHANGE) != 0) {
        GTEST_SKIP() << "no RENAME_EXCHANGE here: " << strerror(errno);
    }
    std::atomic<bool> stop{false};
    std::thread swapper([&] {
        const std::pair<std::string, std::string> swaps[] = {
            {input, tree.Root() + "/fifo-a"}, {zone + "/temp", tree.Root() + "/fifo-b"}};
        while (!stop) {
            for (const auto& [file, fifo] : swaps) {
                renameat2(AT_FDCWD, file.c_str(), AT_FDCWD, fifo.c_str(), RENAME_EXCHANGE);
            }
        }
    });
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    int opened = 0;
    for (int run = 0; run < 300 && std::chrono::steady_clock::now() < end; ++run) {
        for (const std::string& sensor : {chip, input, zone}) {
            const std::u16string list = ListOf(SourcesOf(tree, sensor.c_str()));
            const HANDLE device = CreateFileW(list[0] != 0 ? list.c_str() : Widen(input).c_str(),
                                              GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
            opened += device != INVALID_HANDLE_VALUE ? 1 : 0;
            const Answer answer = Request(device);
            CloseHandle(device);
            EXPECT_TRUE(!answer.Ok || answer.Reading == 3181U);
        }
    }
    stop = true;
    swapper.join();
    EXPECT_GT(opened, 0); // the regular files were read in between
    const std::vector<std::string> reads = tree.Reads();
    EXPECT_EQ(std::count_if(reads.begin(), reads.end(),
                            [](const std::string& File) { return File.rfind("fifo", 0) == 0; }),
              0);
}

// Which descriptor, if any, has the file open.
int DescriptorOf(const std::string& Path)
{
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code ignored;
        if (std::filesystem::read_symlink(entry.path(), ignored) == Path) {
            return std::stoi(entry.path().filename().string());
        }
    }
    return -1;
}

// A zone opens its temp file, a channel's input opens itself; nothing else
// stays open.
TEST(OpenDevice, OpensTheValueFilesCloseOnExecAndCloses)
{
    // A number beyond 32 bits is a member like any other.
    const ThermalTree tree({{"thermal_zone0", "cpu\n", "1000\n", false},
                            {"thermal_zone4294967296", "cpu\n", "1000\n", false}});
    tree.Write("class/thermal/temp1_input", "1000\n");
    const std::string zone = tree.ClassDir() + "/thermal_zone0";
    const std::pair<std::string, std::vector<std::string>> cases[] = {
        {zone, {zone + "/temp"}},
        {tree.ClassDir() + "/temp1_input", {tree.ClassDir() + "/temp1_input"}},
        // Listed, the first zone's name opens both zones.
        {zone, {zone + "/temp", tree.ClassDir() + "/thermal_zone4294967296/temp"}},
    };
    for (const auto& [interface, files] : cases) {
        if (files.size() > 1) {
            ASSERT_EQ(ListOf(tree), Listed({zone}));
        }
        const HANDLE device = OpenZone(interface);
        ASSERT_NE(device, INVALID_HANDLE_VALUE) << interface;
        EXPECT_EQ(DescriptorOf(zone), -1) << interface;
        for (const std::string& file : files) {
            const int fd = DescriptorOf(file);
            ASSERT_GE(fd, 0) << file;
            EXPECT_NE(fcntl(fd, F_GETFD) & FD_CLOEXEC, 0) << file;
            EXPECT_EQ(fcntl(fd, F_GETFL) & O_ACCMODE, O_RDONLY) << file;
        }
        EXPECT_TRUE(Request(device).Ok) << interface;
        EXPECT_TRUE(CloseHandle(device)) << interface;
        for (const std::string& file : files) {
            EXPECT_EQ(DescriptorOf(file), -1) << file;
        }
        const Answer afterClose = Request(device);
        EXPECT_FALSE(afterClose.Ok) << interface;
        EXPECT_EQ(afterClose.Error, ERROR_INVALID_HANDLE) << interface;
    }
}

// The last error is the thread's, a handle the process's: as on Windows.
TEST(LastError, BelongsToTheThreadAndHandlesToTheProcess)
{
    EXPECT_EQ(OpenZone(""), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
    DWORD inThread = 0xFFFFFFFF;
    std::thread([&] { inThread = GetLastError(); }).join();
    EXPECT_EQ(inThread, ERROR_SUCCESS);
    std::thread([] { OpenZone("/nonexistent"); }).join();
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);

    const ThermalTree tree({Zone("thermal_zone0", "cpu\n")});
    const HANDLE device = OpenZone(tree.ClassDir() + "/thermal_zone0");
    Answer answer{};
    std::thread([&] { answer = Request(device); }).join();
    EXPECT_TRUE(CloseHandle(device));
    EXPECT_EQ(answer.Reading, 3181U);
}

} // namespace
