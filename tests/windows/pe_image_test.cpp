// The Windows executables as the loader sees them: the embedded manifest and
// the DLLs they import, read with a PE reader of our own.
#include <algorithm>
#include <cctype>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/case_name.h"

namespace {

using Bytes = std::vector<unsigned char>;

Bytes ReadFile(const std::string& Path)
{
    std::ifstream in(Path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string ReadText(const std::string& Path)
{
    const Bytes bytes = ReadFile(Path);
    return std::string(bytes.begin(), bytes.end());
}

// Little-endian fields; out of range reads give nothing.
std::optional<std::uint32_t> Field(const Bytes& Image, std::size_t At, std::size_t Width)
{
    if (At > Image.size() || Image.size() - At < Width) {
        return std::nullopt;
    }
    std::uint32_t value = 0;
    for (std::size_t i = Width; i-- > 0;) {
        value = (value << 8) | Image[At + i];
    }
    return value;
}

struct Resource {
    std::uint32_t Type;
    std::uint32_t Id;
    std::string Data;
};

struct PeImage {
    std::uint32_t Machine = 0;
    std::vector<std::string> Imports;
    std::vector<Resource> Resources;
    std::string Error;
};

class PeReader {
  public:
    explicit PeReader(Bytes Image) : Image_(std::move(Image)) {}

    PeImage Read()
    {
        PeImage pe;
        const auto peOffset = Field(Image_, 0x3C, 4);
        if (Field(Image_, 0, 2) != 0x5A4D || !peOffset || Field(Image_, *peOffset, 4) != 0x4550) {
            pe.Error = "not a PE image";
            return pe;
        }
        const std::size_t coff = *peOffset + 4;
        pe.Machine = Field(Image_, coff, 2).value_or(0);
        const std::uint32_t sections = Field(Image_, coff + 2, 2).value_or(0);
        const std::size_t optional = coff + 20;
        const std::size_t optionalSize = Field(Image_, coff + 16, 2).value_or(0);
        const bool plus = Field(Image_, optional, 2) == 0x20B;
        const std::size_t directories = optional + (plus ? 112 : 96);
        for (std::uint32_t i = 0; i < sections; ++i) {
            const std::size_t at = optional + optionalSize + i * 40;
            Sections_.push_back({Field(Image_, at + 12, 4).value_or(0),
                                 std::max(Field(Image_, at + 8, 4).value_or(0),
                                          Field(Image_, at + 16, 4).value_or(0)),
                                 Field(Image_, at + 20, 4).value_or(0)});
        }
        ReadImports(Field(Image_, directories + 8, 4).value_or(0), &pe);
        const std::uint32_t resources = Field(Image_, directories + 16, 4).value_or(0);
        if (const auto base = Offset(resources)) {
            ReadResources(*base, *base, 0, {}, &pe);
        }
        return pe;
    }

  private:
    struct Section {
        std::uint32_t Address;
        std::uint32_t Size;
        std::uint32_t FileOffset;
    };

    std::optional<std::size_t> Offset(std::uint32_t Rva) const
    {
        for (const Section& s : Sections_) {
            if (Rva >= s.Address && Rva - s.Address < s.Size) {
                return std::size_t{s.FileOffset} + (Rva - s.Address);
            }
        }
        return std::nullopt;
    }

    std::string CString(std::size_t At) const
    {
        std::string text;
        for (; At < Image_.size() && Image_[At] != 0; ++At) {
            text += static_cast<char>(Image_[At]);
        }
        return text;
    }

    void ReadImports(std::uint32_t Rva, PeImage* Pe) const
    {
        const auto table = Offset(Rva);
        for (std::size_t at = table.value_or(Image_.size()); Field(Image_, at, 20); at += 20) {
            const std::uint32_t name = Field(Image_, at + 12, 4).value_or(0);
            if (name == 0) {
                break;
            }
            const auto offset = Offset(name);
            Pe->Imports.push_back(offset ? CString(*offset) : "<bad name>");
        }
    }

    // Type, name and language levels; Path holds the IDs above the current one.
    void ReadResources(std::size_t Base, std::size_t Directory, int Depth,
                       std::vector<std::uint32_t> Path, PeImage* Pe) const
    {
        if (Depth > 2) {
            Pe->Error = "resource tree too deep";
            return;
        }
        const std::uint32_t count = Field(Image_, Directory + 12, 2).value_or(0) +
                                    Field(Image_, Directory + 14, 2).value_or(0);
        for (std::uint32_t i = 0; i < count; ++i) {
            const std::size_t entry = Directory + 16 + i * 8;
            const std::uint32_t name = Field(Image_, entry, 4).value_or(0);
            const std::uint32_t target = Field(Image_, entry + 4, 4).value_or(0);
            // Named entries are recorded with an ID no real resource has.
            Path.push_back((name & 0x80000000U) != 0 ? 0xFFFFFFFFU : name);
            if ((target & 0x80000000U) != 0) {
                ReadResources(Base, Base + (target & 0x7FFFFFFFU), Depth + 1, Path, Pe);
            } else if (Path.size() == 3) {
                const std::uint32_t rva = Field(Image_, Base + target, 4).value_or(0);
                const std::uint32_t size = Field(Image_, Base + target + 4, 4).value_or(0);
                const auto data = Offset(rva);
                if (!data || *data + size > Image_.size()) {
                    Pe->Error = "resource data outside the image";
                } else {
                    Pe->Resources.push_back(
                        {Path[0], Path[1],
                         std::string(Image_.begin() + static_cast<std::ptrdiff_t>(*data),
                                     Image_.begin() + static_cast<std::ptrdiff_t>(*data + size))});
                }
            }
            Path.pop_back();
        }
    }

    Bytes Image_;
    std::vector<Section> Sections_;
};

std::string Lower(std::string Text)
{
    std::transform(Text.begin(), Text.end(), Text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return Text;
}

bool IsAllowedImport(const std::string& Dll)
{
    const std::string dll = Lower(Dll);
    return dll == "kernel32.dll" || dll == "msvcrt.dll" || dll == "cfgmgr32.dll" ||
           dll.rfind("api-ms-win-crt-", 0) == 0 || dll.rfind("api-ms-win-devices-config-", 0) == 0;
}

struct Executable {
    const char* Name;
    std::string Path;
    std::uint32_t Machine;
};

void PrintTo(const Executable& Exe, std::ostream* Out)
{
    *Out << Exe.Name;
}

class PeImageTest : public testing::TestWithParam<Executable> {};

constexpr std::uint32_t RT_MANIFEST = 24;

TEST_P(PeImageTest, CarriesOnlyItsManifestAsResourceOne)
{
    const PeImage pe = PeReader(ReadFile(GetParam().Path)).Read();
    ASSERT_EQ(pe.Error, "");
    EXPECT_EQ(pe.Machine, GetParam().Machine);
    std::vector<Resource> manifests;
    std::copy_if(pe.Resources.begin(), pe.Resources.end(), std::back_inserter(manifests),
                 [](const Resource& r) { return r.Type == RT_MANIFEST; });
    ASSERT_EQ(manifests.size(), 1U);
    EXPECT_EQ(manifests[0].Id, 1U);
    EXPECT_EQ(manifests[0].Data, ReadText(CPUTEMP_MANIFEST));
}

TEST_P(PeImageTest, ImportsOnlyTheRuntimeKernelAndConfigurationManager)
{
    const PeImage pe = PeReader(ReadFile(GetParam().Path)).Read();
    ASSERT_EQ(pe.Error, "");
    bool configurationManager = false;
    for (const std::string& dll : pe.Imports) {
        EXPECT_TRUE(IsAllowedImport(dll)) << dll;
        configurationManager = configurationManager || Lower(dll) == "cfgmgr32.dll" ||
                               Lower(dll).rfind("api-ms-win-devices-config-", 0) == 0;
    }
    EXPECT_TRUE(configurationManager);
}

INSTANTIATE_TEST_SUITE_P(Builds, PeImageTest,
                         testing::Values(Executable{"x64", CPUTEMP_EXE_X64, 0x8664},
                                         Executable{"x86", CPUTEMP_EXE_X86, 0x14C}),
                         CaseName<Executable>);

// The manifest itself: one requestedExecutionLevel, run as the invoker, no UI access.
TEST(Manifest, AsksForTheInvokersRightsWithoutUiAccess)
{
    const std::string manifest = ReadText(CPUTEMP_MANIFEST);
    const std::string element = "<requestedExecutionLevel";
    const std::size_t at = manifest.find(element);
    ASSERT_NE(at, std::string::npos);
    EXPECT_EQ(manifest.find(element, at + 1), std::string::npos);
    const std::string tag = manifest.substr(at, manifest.find('>', at) - at);
    EXPECT_NE(tag.find(" level=\"asInvoker\""), std::string::npos) << tag;
    EXPECT_NE(tag.find(" uiAccess=\"false\""), std::string::npos) << tag;
    EXPECT_NE(manifest.find("<trustInfo"), std::string::npos);
    EXPECT_EQ(manifest.find("<dependency"), std::string::npos);
}

} // namespace
