// The real program, started offscreen: it loads the list file and writes it
// back when a termination signal ends it.
#include <fcntl.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "fakes/ListFileBytes.h"
#include "fakes/ProgramRunner.h"
#include "fakes/TempDir.h"

namespace tarnwatch {
namespace {

using namespace std::chrono_literals;

std::vector<std::string> Env(const fakes::TempDir& dir) {
    return {"TARNWATCH_HOME=" + dir.path(),
            "XDG_CONFIG_HOME=" + dir.path() + "/config",
            "XDG_DATA_HOME=" + dir.path() + "/data",
            "HOME=" + dir.path(),
            "QT_QPA_PLATFORM=offscreen",
            "TZ=UTC"};
}

fakes::RawRecord Stored(const std::string& address) {
    fakes::RawRecord r(1912);
    r.Text(4, "80").Text(260, "10").Text(280, address).Int(536, 1).Int(796, 7);
    r.Int(1876, 0x00010000).Int(1880, 1).Int(1884, 3).Int(1900, 999).Int(1904, 3);
    return r;
}

bool WaitFor(const std::string& path, std::chrono::milliseconds limit) {
    auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        if (std::filesystem::exists(path)) return true;
        std::this_thread::sleep_for(20ms);
    }
    return false;
}

class ProgramTest : public ::testing::TestWithParam<int> {};

TEST_P(ProgramTest, TerminationSignalSavesTheList) {
    fakes::TempDir dir;
    const std::string list = dir / "Tarnwatch.ini";
    fakes::WriteBytes(list, fakes::ListFileImage(-2.2f, 2, {Stored("first"), Stored("second")}));
    fakes::Program program({}, Env(dir));
    ASSERT_GT(program.pid(), 0);
    // The backup appears once the list has loaded completely.
    ASSERT_TRUE(WaitFor(dir / "Tarnwatch.bak", 20s));
    std::this_thread::sleep_for(300ms);
    program.Signal(GetParam());
    int status = program.Wait(20s);
    ASSERT_NE(status, -1) << "the program did not end";
    ASSERT_TRUE(WIFEXITED(status)) << "ended by a signal instead of its shutdown";
    EXPECT_EQ(WEXITSTATUS(status), 0);
    auto bytes = fakes::ReadBytes(list);
    ASSERT_EQ(bytes.size(), 8u + 2 * 1912 + 4);
    // Written back: the run-time fields now hold what the load set.
    EXPECT_EQ(fakes::IntAt(bytes, 8 + 1876), 0x00200000);
    EXPECT_EQ(fakes::IntAt(bytes, 8 + 1884), 0);
    EXPECT_EQ(fakes::IntAt(bytes, 8 + 1912 + 800), 1);
    EXPECT_EQ(bytes[8 + 1912 + 280], 's');
}

INSTANTIATE_TEST_SUITE_P(Signals, ProgramTest, ::testing::Values(SIGTERM, SIGINT, SIGHUP));

TEST(Program, HelpDescribesTheFiles) {
    fakes::TempDir dir;
    fakes::Program program({"--help"}, Env(dir), dir / "out.txt");
    int status = program.Wait(20s);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    auto out = fakes::ReadBytes(dir / "out.txt");
    std::string text(out.begin(), out.end());
    EXPECT_NE(text.find("TARNWATCH_HOME"), std::string::npos);
}

}  // namespace
}  // namespace tarnwatch

namespace tarnwatch {
namespace {

TEST(Program, SecondCopyRefusesToRunAndTouchesNothing) {
    fakes::TempDir dir;
    const std::string list = dir / "Tarnwatch.ini";
    fakes::WriteBytes(list, fakes::ListFileImage(-2.2f, 1, {Stored("only")}));
    fakes::Program first({}, Env(dir));
    ASSERT_TRUE(WaitFor(dir / "Tarnwatch.bak", 20s));
    const auto listBefore = fakes::ReadBytes(list);
    const auto backupBefore = fakes::ReadBytes(dir / "Tarnwatch.bak");

    fakes::TempDir other;  // the second copy even looks at another list
    fakes::WriteBytes(other / "Tarnwatch.ini", fakes::ListFileImage(-2.2f, 1, {Stored("x")}));
    fakes::Program second({}, Env(other), other / "out.txt");
    int status = second.Wait(20s);
    ASSERT_NE(status, -1);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 255) << "exit code -1";
    EXPECT_FALSE(std::filesystem::exists(other / "Tarnwatch.bak"));
    EXPECT_EQ(fakes::ReadBytes(list), listBefore);
    EXPECT_EQ(fakes::ReadBytes(dir / "Tarnwatch.bak"), backupBefore);

    first.Signal(SIGTERM);
    status = first.Wait(20s);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
}  // namespace tarnwatch
