// The Windows builds run under Wine in a prefix of their own. Wine's
// Configuration Manager list calls are stubs that answer CR_FAILURE (0x13), so a
// run reports that and exits -273: this shows the real startup, the console's
// text mode and the exit code, as Windows programs see them.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

#include <gtest/gtest.h>

#include "tests/support/case_name.h"
#include "tests/support/child.h"

namespace {

const std::string STUBBED = "Error 0x13 retrieving device interface list size.\r\n";
constexpr int NARROWED_MINUS_273 = 239;

struct WineTarget {
    const char* Name;
    std::string Loader;
    std::string Exe;
};

void PrintTo(const WineTarget& Target, std::ostream* Out)
{
    *Out << Target.Name;
}

class WineRunTest : public testing::TestWithParam<WineTarget> {
  protected:
    static void SetUpTestSuite()
    {
        char prefix[] = "/tmp/cputemp-wine-XXXXXX";
        ASSERT_NE(mkdtemp(prefix), nullptr);
        Prefix = prefix;
    }

    static void TearDownTestSuite()
    {
        if (access(WINE_SERVER, X_OK) == 0) {
            RunChild(WINE_SERVER, {"-k"}, Environment());
        }
        std::filesystem::remove_all(Prefix);
    }

    static std::vector<std::string> Environment()
    {
        return {"WINEPREFIX=" + Prefix, "WINEDEBUG=-all", "WINEDLLOVERRIDES=mscoree,mshtml="};
    }

    void SetUp() override
    {
        if (access(GetParam().Loader.c_str(), X_OK) != 0) {
            GTEST_SKIP() << GetParam().Loader << " is not installed: no Wine to run "
                         << GetParam().Name << " builds";
        }
        if (std::string(GetParam().Name) == "x86" && !RunsI386Natively()) {
            GTEST_SKIP() << "this machine's kernel runs no 32-bit x86 program itself, and Wine "
                            "is not run under emulation";
        }
    }

    // Some virtual machines lack the kernel's 32-bit mode; scripts/test then hands
    // such programs to qemu-i386.
    static bool RunsI386Natively()
    {
        if (access("/proc/sys/fs/binfmt_misc/qemu-i386", F_OK) == 0) {
            return false;
        }
        const ChildRun probe = RunChild(WINE32_LOADER, {"--version"}, {});
        return probe.Exited && probe.Errors.find("execve") == std::string::npos;
    }

    ChildRun Run(const std::vector<std::string>& Args) const
    {
        std::vector<std::string> args = {GetParam().Exe};
        args.insert(args.end(), Args.begin(), Args.end());
        return RunChild(GetParam().Loader, args, Environment());
    }

    static std::string Prefix;
};

std::string WineRunTest::Prefix;

TEST_P(WineRunTest, ReportsTheStubbedListCallInTextMode)
{
    const ChildRun run = Run({});
    EXPECT_TRUE(run.Exited);
    EXPECT_EQ(run.Output, STUBBED);
    EXPECT_EQ(run.ExitStatus, NARROWED_MINUS_273);
}

TEST_P(WineRunTest, ArgumentsChangeNothing)
{
    const ChildRun run = Run({"--help", "-v", "two words", "/?"});
    EXPECT_TRUE(run.Exited);
    EXPECT_EQ(run.Output, STUBBED);
    EXPECT_EQ(run.ExitStatus, NARROWED_MINUS_273);
}

// Inside Wine the whole 32 bits survive: cmd sees -273, that is 0xFFFFFEEF.
TEST_P(WineRunTest, ExitCodeInsideWineIsMinus273)
{
    std::string exe = "Z:" + GetParam().Exe;
    for (char& c : exe) {
        c = c == '/' ? '\\' : c;
    }
    const std::string script = Prefix + "/exit-code.bat";
    std::ofstream(script) << "@echo off\r\n" << exe << "\r\necho exit=%ERRORLEVEL%\r\n";
    const ChildRun run = RunChild(GetParam().Loader, {"cmd", "/c", "Z:" + script}, Environment());
    EXPECT_EQ(run.Output, STUBBED + "exit=-273\r\n");
}

INSTANTIATE_TEST_SUITE_P(Builds, WineRunTest,
                         testing::Values(WineTarget{"x64", WINE64_LOADER, CPUTEMP_EXE_X64},
                                         WineTarget{"x86", WINE32_LOADER, CPUTEMP_EXE_X86}),
                         CaseName<WineTarget>);

} // namespace
