// Starts that something in the program's files could stop or mislead: a lock
// that cannot be taken, a profile that is a FIFO, and the temporary file a
// killed metrics write left.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "fakes/ListFileBytes.h"
#include "fakes/ProgramRunner.h"
#include "fakes/TempDir.h"

namespace tarnwatch {
namespace {

using namespace std::chrono_literals;

class StartSafetyTest : public ::testing::Test {
protected:
    void SetUp() override {
        TW_SKIP_WITHOUT_PRIVATE_PID_NAMESPACE();
        std::filesystem::create_directories(dir / "config/Quillon");
    }
    // The exit status of `tarnwatch --headless --once ...`; -1 when it hangs.
    int RunOnce(std::vector<std::string> args = {}) {
        args.insert(args.begin(), {"--headless", "--once"});
        fakes::Program program(
            args,
            {"TARNWATCH_HOME=" + dir.path(), "XDG_CONFIG_HOME=" + dir.path() + "/config",
             "HOME=" + dir.path(), "TZ=UTC"},
            "/dev/null", dir / "err.txt");
        const int status = program.Wait(30s);
        if (status == -1 || !WIFEXITED(status)) return -1;
        return WEXITSTATUS(status);
    }
    std::string Errors() const { return fakes::ReadText(dir / "err.txt"); }
    static bool IsFifo(const std::string& path) {
        struct stat st {};
        return lstat(path.c_str(), &st) == 0 && S_ISFIFO(st.st_mode);
    }
    fakes::TempDir dir;
};

TEST_F(StartSafetyTest, ALockThatCannotBeTakenRefusesTheStart) {
    const std::string lock = dir / "Tarnwatch.lock";
    ASSERT_EQ(mkfifo(lock.c_str(), 0644), 0);
    EXPECT_EQ(RunOnce(), 255);
    const std::string errors = Errors();
    EXPECT_NE(errors.find(lock), std::string::npos) << errors;
    EXPECT_NE(errors.find("not a regular file"), std::string::npos) << errors;
    EXPECT_NE(errors.find("TARNWATCH_HOME"), std::string::npos) << errors;
    EXPECT_TRUE(IsFifo(lock));
}

TEST_F(StartSafetyTest, AProfileThatIsAFifoGivesTheDefaultsAndStays) {
    const std::string profile = dir / "config/Quillon/Tarnwatch.conf";
    ASSERT_EQ(mkfifo(profile.c_str(), 0644), 0);
    // An empty list: a pass with nothing to test, and a shutdown that writes
    // the profile.
    fakes::WriteBytes(dir / "Tarnwatch.ini", fakes::ListFileImage(-2.2f, 0, {}));
    const int code = RunOnce();
    ASSERT_NE(code, -1) << "the start hangs on the profile";
    const std::string errors = Errors();
    const std::size_t first = errors.find("The profile " + profile + " is not a regular file");
    EXPECT_NE(first, std::string::npos) << errors;
    EXPECT_EQ(errors.find("The profile", first + 1), std::string::npos) << "said more than once";
    EXPECT_TRUE(IsFifo(profile));
}

TEST_F(StartSafetyTest, TheTemporaryFileOfAKilledMetricsWriteIsRemovedAtStart) {
    std::filesystem::create_directory(dir / "m");
    const std::string left = dir / "m/out.prom.Kx7Qp2";
    std::ofstream(left) << "tarnwatch_overall_level 0\n";
    chmod(left.c_str(), 0600);
    RunOnce({"--metrics-file", dir / "m/out.prom"});
    EXPECT_FALSE(std::filesystem::exists(left));
    EXPECT_TRUE(std::filesystem::exists(dir / "m/out.prom"));
}

// A list directory shared with others (sticky, writable by all) where
// another user planted the list file as a link: the check says UNKNOWN and
// the file the link names is neither read nor written.
TEST_F(StartSafetyTest, AnotherUsersLinkAsTheListFileIsUnknownAndUntouched) {
    if (geteuid() != 0) GTEST_SKIP() << "only root can give a link to another user";
    ASSERT_EQ(chmod(dir.path().c_str(), 01777), 0);
    const std::string victim = dir / "config/victim";
    fakes::WriteBytes(victim, fakes::ListFileImage(-2.2f, 0, {}));
    const auto before = fakes::ReadBytes(victim);
    ASSERT_EQ(symlink(victim.c_str(), (dir / "Tarnwatch.ini").c_str()), 0);
    ASSERT_EQ(lchown((dir / "Tarnwatch.ini").c_str(), 65534, static_cast<gid_t>(-1)), 0);
    EXPECT_EQ(RunOnce(), 3) << Errors();
    EXPECT_EQ(fakes::ReadBytes(victim), before);
}

}  // namespace
}  // namespace tarnwatch
