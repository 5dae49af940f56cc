// The Linux platform layer on its own: which zones are CPU interfaces, the
// interface list as the Configuration Manager lays it out, and the thermal read
// request served from a zone's temp file.
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "discovery/discovery.h"
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
    };
    for (const TypeCase& c : cases) {
        EXPECT_EQ(IsCpuZoneType(c.Text.data(), c.Text.size()), c.Cpu) << '"' << c.Text << '"';
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

// The list under a tree's class directory, and the length the size query reports.
std::u16string ListOf(const ThermalTree& Tree, ULONG* Needed)
{
    const std::string root = Tree.ClassDir();
    EXPECT_EQ(ListCpuZones(root.c_str(), nullptr, 0, Needed), CR_SUCCESS);
    std::u16string list(*Needed, u'#');
    ULONG again = 0;
    EXPECT_EQ(ListCpuZones(root.c_str(), list.data(), *Needed, &again), CR_SUCCESS);
    EXPECT_EQ(again, *Needed);
    return list;
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
    ULONG needed = 0;
    const std::u16string list = ListOf(tree, &needed);
    const std::string dir = tree.ClassDir();
    const std::u16string expected =
        Widen(dir + "/thermal_zone0") + u'\0' + Widen(dir + "/thermal_zone2") + u'\0' +
        Widen(dir + "/thermal_zone10") + u'\0' + Widen(dir + "/thermal_zone11") + u'\0' + u'\0';
    EXPECT_EQ(list, expected);
    EXPECT_EQ(needed, expected.size());
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
    ULONG needed = 0;
    EXPECT_EQ(ListOf(tree, &needed), u"\0"s);
    EXPECT_EQ(needed, 1U);
}

TEST(InterfaceList, MissingTreeIsAnEmptyList)
{
    ULONG needed = 0;
    EXPECT_EQ(ListCpuZones("/nonexistent/class/thermal", nullptr, 0, &needed), CR_SUCCESS);
    EXPECT_EQ(needed, 1U);
}

TEST(InterfaceList, ShortBufferIsRefusedUntouched)
{
    const ThermalTree tree({Zone("thermal_zone0", "cpu\n")});
    const std::string root = tree.ClassDir();
    ULONG needed = 0;
    ASSERT_EQ(ListCpuZones(root.c_str(), nullptr, 0, &needed), CR_SUCCESS);
    std::u16string buffer(needed, u'#');
    EXPECT_EQ(ListCpuZones(root.c_str(), buffer.data(), needed - 1, &needed), CR_BUFFER_SMALL);
    EXPECT_EQ(buffer, std::u16string(needed, u'#'));
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
        {tree.ClassDir() + "/plainfile", ERROR_PATH_NOT_FOUND},
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

TEST(OpenDevice, OpensTheTempFileCloseOnExecAndCloses)
{
    const ThermalTree tree({{"thermal_zone0", "cpu\n", "1000\n", false}});
    const std::string temp = tree.ClassDir() + "/thermal_zone0/temp";
    const HANDLE device = OpenZone(tree.ClassDir() + "/thermal_zone0");
    ASSERT_NE(device, INVALID_HANDLE_VALUE);
    const int fd = DescriptorOf(temp);
    ASSERT_GE(fd, 0);
    EXPECT_NE(fcntl(fd, F_GETFD) & FD_CLOEXEC, 0);
    EXPECT_EQ(fcntl(fd, F_GETFL) & O_ACCMODE, O_RDONLY);
    EXPECT_TRUE(CloseHandle(device));
    EXPECT_EQ(DescriptorOf(temp), -1);
    const Answer afterClose = Request(device);
    EXPECT_FALSE(afterClose.Ok);
    EXPECT_EQ(afterClose.Error, ERROR_INVALID_HANDLE);
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
