// The Linux platform layer on its own: which zones and hwmon channels are CPU
// interfaces, the interface list as the Configuration Manager lays it out, and
// the thermal read request served from a temperature file.
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/linux/thermal.h"
#include "tests/support/thermal_tree.h"

namespace {

using namespace std::string_literals;

struct TypeCase {
    std::string Text;
    bool Cpu;
};

TEST(ZoneType, NamesACpuSensor)
{
    const TypeCase cases[] = {
        {"cpu\n", true},
        {"cpu-thermal\n", true},
        {"CPU\n", true},
        {"thermal-Cpu0", true},
        {"soc_thermal\n", true},
        {"SoC-dts0\n", true},
        {"x86_pkg_temp\n", true},
        {"X86_PKG_TEMP", true},
        {"acpitz\n", false},
        {"mysoc\n", false},
        {"x86_pkg_temp2\n", false},
        {"pkg_temp\n", false},
        {"", false},
        {"\n", false},
        {"cp\nu", false},
        {"x86_pkg_temp\n\n", false},
        {"c\0pu"s, false},
        {"gpu\n", false},
        {"package-thermal\n", true},
        {"bigcore0-thermal\n", true},
        {"BigCore2-thermal", true},
        {"littlecore-thermal\n", true},
        {"cluster0-thermal\n", true},
        {"center-thermal\n", false},
        {"npu-thermal\n", false},
        {"soc-package\n", true},
        {"my-package\n", false},
        {"little\n", false},
    };
    for (const TypeCase& c : cases) {
        EXPECT_EQ(IsCpuZoneType(c.Text.data(), c.Text.size()), c.Cpu) << '"' << c.Text << '"';
    }
}

struct LabelCase {
    const char* Chip;
    const char* Label;
    int Rank;
};

TEST(ChipRule, RanksTheChannelsThatReadTheCpu)
{
    const LabelCase cases[] = {
        {"coretemp", "Package id 0", 0},
        {"coretemp", "Package id 12", 0},
        {"coretemp", "Physical id 1", 0},
        {"coretemp", "Core 0", 1},
        {"coretemp", "Core 29", 1},
        {"coretemp", "Package id ", NOT_CPU},
        {"coretemp", "Package id 0 ", NOT_CPU},
        {"coretemp", "package id 0", NOT_CPU},
        {"coretemp", "Core", NOT_CPU},
        {"coretemp", "Core x", NOT_CPU},
        {"k10temp", "Tdie", 0},
        {"k10temp", "Tctl", 1},
        {"k10temp", "Tccd1", NOT_CPU},
        {"k10temp", "cpu0 Tdie", NOT_CPU},
        {"zenpower", "Tdie", 0},
        {"zenpower", "cpu1 Tdie", 0},
        {"zenpower", "Tctl", 1},
        {"zenpower", "xTdie", NOT_CPU},
        {"zenpower", "Tccd2", NOT_CPU},
        {"apm_xgene", "SoC Temperature", 0},
        {"apm_xgene", "CPU power", NOT_CPU},
        {"apm_xgene", "SoC temperature", NOT_CPU},
        {"k8temp", "Core0 Temp", NOT_CPU}, // labels play no part: the lowest channel is taken
    };
    for (const LabelCase& c : cases) {
        const CpuChipRule* rule = FindCpuChipRule(c.Chip, strlen(c.Chip));
        ASSERT_NE(rule, nullptr) << c.Chip;
        EXPECT_EQ(RankChannelLabel(rule, c.Label, strlen(c.Label)), c.Rank)
            << c.Chip << " \"" << c.Label << '"';
    }
    for (const char* other :
         {"nvme", "amdgpu", "acpitz", "iwlwifi_1", "nct6775", "it87", "cpu_thermal", "soc_thermal",
          "rp1_adc", "coretemp2", "Coretemp", "k10temp\n", ""}) {
        EXPECT_EQ(FindCpuChipRule(other, strlen(other)), nullptr) << '"' << other << '"';
    }
}

struct TextCase {
    std::string Text;
    DWORD Error;
    ULONG Reading;
};

DWORD Convert(const std::string& Text, std::size_t Piece, ULONG* Reading)
{
    TemperatureText scan{};
    for (std::size_t at = 0; at < Text.size(); at += Piece) {
        ScanTemperatureText(&scan, Text.data() + at, std::min(Piece, Text.size() - at));
    }
    return ReadingFromTemperatureText(&scan, Reading);
}

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
    };
    for (const TextCase& c : cases) {
        // Whole, and a byte at a time as a slow read would hand it over.
        for (std::size_t piece : {c.Text.size() + 1, std::size_t{1}}) {
            ULONG reading = 0;
            EXPECT_EQ(Convert(c.Text, piece, &reading), c.Error) << '"' << c.Text << '"';
            EXPECT_EQ(reading, c.Reading) << '"' << c.Text << '"';
        }
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

SensorSources SourcesOf(const ThermalTree& Tree, const char* Override = nullptr)
{
    return {Tree.HwmonDir().c_str(), Tree.ClassDir().c_str(), Override};
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

TEST(InterfaceList, ListsCpuZonesInNumericOrder)
{
    const ThermalTree tree({Zone("thermal_zone10", "soc_thermal\n"),
                            Zone("thermal_zone2", "cpu\n"),
                            Zone("thermal_zone1", "acpitz\n"),
                            Zone("thermal_zone0", "x86_pkg_temp\n"),
                            {"thermal_zone11", "cpu\n", "1\n", false}});
    const std::string dir = tree.ClassDir();
    EXPECT_EQ(ListOf(tree), Listed({dir + "/thermal_zone0", dir + "/thermal_zone2",
                                    dir + "/thermal_zone10", dir + "/thermal_zone11"}));
}

TEST(InterfaceList, SkipsWhatIsNotAZoneDirectory)
{
    const ThermalTree tree({Zone("thermal_zone1", "cpu\n"),
                            Zone("cooling_device0", "cpu\n"),
                            Zone("thermal_zoneX", "cpu\n"),
                            Zone("thermal_zone", "cpu\n"),
                            Zone("thermal_zone-1", "cpu\n"),
                            {"thermal_zone4", std::nullopt, "1"}});
    tree.Write("class/thermal/thermal_zone5", "cpu\n"); // a file, not a directory
    std::filesystem::create_directory_symlink("../../nowhere", tree.ClassDir() + "/thermal_zone6");
    tree.Write("class/thermal/thermal_zone1/type", std::string(300, 'c') + "cpu\n");
    EXPECT_EQ(ListOf(tree), u"\0"s);
}

TEST(InterfaceList, MissingTreeIsAnEmptyList)
{
    EXPECT_EQ(ListOf(SensorSources{"/nonexistent/hwmon", "/nonexistent/thermal", nullptr}), u"\0"s);
}

TEST(InterfaceList, OneChannelPerCpuChipInChipOrder)
{
    const ThermalTree tree(
        {Zone("thermal_zone0", "x86_pkg_temp\n")}, true,
        {{"hwmon10", {{"name", "k10temp\n"}, {"temp1_label", "Tctl\n"}, {"temp1_input", "1\n"}}},
         {"hwmon2", {{"name", "coretemp\n"}, {"temp2_label", "Core 0\n"}, {"temp2_input", "1\n"}}},
         {"hwmon3", {{"name", "nvme\n"}, {"temp1_input", "1\n"}}},
         {"hwmon4", {{"name", "k8temp\n"}, {"temp1_input", "1\n"}}, "platform/k8", true},
         {"hwmon5", {{"name", "coretemp\n"}, {"temp1_label", "Core 0\n"}}}});
    const std::string dir = tree.HwmonDir();
    EXPECT_EQ(ListOf(tree), Listed({dir + "/hwmon2/temp2_input", dir + "/hwmon4/device/temp1_input",
                                    dir + "/hwmon10/temp1_input"}));
}

TEST(InterfaceList, TheUsersSensorAloneWhenItExists)
{
    const ThermalTree tree(
        {Zone("thermal_zone0", "acpitz\n"), {"thermal_zone1", "cpu\n", {}}}, true,
        {{"hwmon0",
          {{"name", "coretemp\n"}, {"temp1_label", "Package id 0\n"}, {"temp1_input", "1\n"}}}});
    std::filesystem::create_directories(tree.Root() + "/caf\xC3\xA9 \xF0\x9F\x8C\xA1");
    tree.Write("caf\xC3\xA9 \xF0\x9F\x8C\xA1/temp", "1\n");
    const std::string zone = tree.ClassDir() + "/thermal_zone0";
    const std::string input = tree.HwmonDir() + "/hwmon0/temp1_input";
    const std::pair<std::string, std::u16string> cases[] = {
        {input, Listed({input})},
        {zone, Listed({zone})},
        {tree.ClassDir() + "/thermal_zone1", u"\0"s}, // a directory without temp
        {tree.ClassDir() + "/thermal_zone9", u"\0"s},
        {tree.Root() + "/caf\xC3\xA9 \xF0\x9F\x8C\xA1",
         Widen(tree.Root()) + u"/caf\u00E9 \U0001F321"s + u'\0' + u'\0'},
        {tree.Root() + "/caf\xC3", u"\0"s},      // cut short
        {tree.Root() + "/caf\xC0\xA9", u"\0"s},  // overlong
        {tree.Root() + "/\xED\xA0\x80", u"\0"s}, // a surrogate
    };
    for (const auto& [sensor, expected] : cases) {
        EXPECT_EQ(ListOf(SourcesOf(tree, sensor.c_str())), expected) << sensor;
    }
}

// The size query's scan serves the list query after it: one walk a run, and
// the list handed over is the one that was measured.
TEST(InterfaceList, ListQueryServesTheSizeQuerysScan)
{
    const ThermalTree tree({Zone("thermal_zone0", "cpu\n"), Zone("thermal_zone1", "gpu\n")});
    const std::string hwmon = tree.HwmonDir();
    const std::string thermal = tree.ClassDir();
    const SensorSources sources{hwmon.c_str(), thermal.c_str(), nullptr};
    const std::u16string before = Listed({thermal + "/thermal_zone0"});
    const std::u16string after = Listed({thermal + "/thermal_zone0", thermal + "/thermal_zone1"});

    ULONG needed = 0;
    ASSERT_EQ(QueryInterfaceListSize(&sources, &needed), CR_SUCCESS);
    EXPECT_EQ(needed, before.size());
    tree.Write("devices/virtual/thermal/thermal_zone1/type", "cpu\n");
    std::u16string list(after.size(), u'#');
    ASSERT_EQ(QueryInterfaceList(&sources, list.data(), needed), CR_SUCCESS);
    EXPECT_EQ(list.substr(0, needed), before);
    // Taken once: the next list query scans afresh, and refuses a short buffer.
    EXPECT_EQ(QueryInterfaceList(&sources, list.data(), needed), CR_BUFFER_SMALL);
    EXPECT_EQ(list.substr(0, needed), before);
    ASSERT_EQ(QueryInterfaceList(&sources, list.data(), static_cast<ULONG>(after.size())),
              CR_SUCCESS);
    EXPECT_EQ(list, after);
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

TEST(ThermalRead, UnreadableSensorIsAReadFault)
{
    const ThermalTree tree({{"thermal_zone0", "cpu\n", std::nullopt, false}});
    std::filesystem::create_directory(tree.ClassDir() + "/thermal_zone0/temp");
    const HANDLE device = OpenZone(tree.ClassDir() + "/thermal_zone0");
    ASSERT_NE(device, INVALID_HANDLE_VALUE);
    const Answer answer = Request(device);
    CloseHandle(device);
    EXPECT_FALSE(answer.Ok);
    EXPECT_EQ(answer.Error, ERROR_READ_FAULT);
}

TEST(OpenDevice, FailsWithTheWindowsError)
{
    const ThermalTree tree({{"thermal_zone0", "cpu\n", std::nullopt}});
    tree.Write("class/thermal/plainfile", "x");
    const std::pair<std::string, DWORD> cases[] = {
        {"", ERROR_PATH_NOT_FOUND},
        {tree.ClassDir() + "/thermal_zone0", ERROR_FILE_NOT_FOUND},
        {tree.ClassDir() + "/thermal_zone9", ERROR_FILE_NOT_FOUND},
        {tree.ClassDir() + "/plainfile/temp", ERROR_PATH_NOT_FOUND},
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
TEST(OpenDevice, OpensTheValueFileCloseOnExecAndCloses)
{
    const ThermalTree tree({{"thermal_zone0", "cpu\n", "1000\n", false}});
    tree.Write("class/thermal/temp1_input", "1000\n");
    const std::string zone = tree.ClassDir() + "/thermal_zone0";
    const std::pair<std::string, std::string> cases[] = {
        {zone, zone + "/temp"},
        {tree.ClassDir() + "/temp1_input", tree.ClassDir() + "/temp1_input"},
    };
    for (const auto& [interface, file] : cases) {
        const HANDLE device = OpenZone(interface);
        ASSERT_NE(device, INVALID_HANDLE_VALUE) << interface;
        const int fd = DescriptorOf(file);
        ASSERT_GE(fd, 0) << interface;
        EXPECT_EQ(DescriptorOf(zone), -1) << interface;
        EXPECT_NE(fcntl(fd, F_GETFD) & FD_CLOEXEC, 0) << interface;
        EXPECT_EQ(fcntl(fd, F_GETFL) & O_ACCMODE, O_RDONLY) << interface;
        EXPECT_TRUE(Request(device).Ok) << interface;
        EXPECT_TRUE(CloseHandle(device)) << interface;
        EXPECT_EQ(DescriptorOf(file), -1) << interface;
        const Answer afterClose = Request(device);
        EXPECT_FALSE(afterClose.Ok) << interface;
        EXPECT_EQ(afterClose.Error, ERROR_INVALID_HANDLE) << interface;
    }
}

TEST(LastError, BelongsToTheThread)
{
    EXPECT_EQ(OpenZone(""), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
    DWORD inThread = 0xFFFFFFFF;
    std::thread([&] { inThread = GetLastError(); }).join();
    EXPECT_EQ(inThread, ERROR_SUCCESS);
    std::thread([] { OpenZone("/nonexistent"); }).join();
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
}

} // namespace
