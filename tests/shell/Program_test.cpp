// The real program, started offscreen: it loads the list file and writes it
// back when a termination signal ends it.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

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
    TW_SKIP_WITHOUT_PRIVATE_PID_NAMESPACE();
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
    TW_SKIP_WITHOUT_PRIVATE_PID_NAMESPACE();
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
    TW_SKIP_WITHOUT_PRIVATE_PID_NAMESPACE();
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

// Only the user's own live copies of the program count: another user's
// process that calls itself "tarnwatch", the user's zombie of that name and
// a program named like it in other letter cases never keep the monitor from
// starting. The monitor runs as "nobody" here, the test as root.
TEST(Program, OtherUsersProcessesZombiesAndOtherCasesDoNotCount) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to run processes as two users";
    const passwd* nobody = getpwnam("nobody");
    ASSERT_NE(nobody, nullptr);
    fakes::TempDir dir;
    ASSERT_EQ(chown(dir.path().c_str(), nobody->pw_uid, nobody->pw_gid), 0);
    std::filesystem::copy_file("/bin/sleep", dir / "TARNWATCH");
    std::filesystem::copy_file("/bin/true", dir / "tarnwatch");
    // In a child: become nobody, then run `program` with argv[0] `name`.
    auto start = [&](bool asNobody, const std::string& program, const std::string& name,
                     const std::vector<std::string>& args,
                     const std::vector<std::string>& env) -> pid_t {
        std::vector<std::string> argStore{name};
        argStore.insert(argStore.end(), args.begin(), args.end());
        std::vector<char*> argv, envp;
        for (auto& a : argStore) argv.push_back(a.data());
        argv.push_back(nullptr);
        std::vector<std::string> envStore = env;
        for (auto& e : envStore) envp.push_back(e.data());
        envp.push_back(nullptr);
        const std::string out = dir / "out.txt";
        const pid_t pid = fork();
        if (pid == 0) {
            const int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
            if (fd >= 0) dup2(fd, 1), dup2(fd, 2);
            if (asNobody && (setgroups(0, nullptr) != 0 || setgid(nobody->pw_gid) != 0 ||
                             setuid(nobody->pw_uid) != 0)) {
                _exit(126);
            }
            execve(program.c_str(), argv.data(), envp.data());
            _exit(127);
        }
        return pid;
    };
    const std::vector<std::string> plain{"PATH=/usr/bin:/bin"};
    // Root's `exec -a tarnwatch sleep 30`.
    const pid_t other = start(false, "/bin/sleep", "tarnwatch", {"30"}, plain);
    // Nobody's zombie named tarnwatch, and nobody's TARNWATCH.
    const pid_t zombie = start(true, dir / "tarnwatch", "tarnwatch", {}, plain);
    const pid_t upper = start(true, dir / "TARNWATCH", "TARNWATCH", {"30"}, plain);
    siginfo_t info{};
    ASSERT_EQ(waitid(P_PID, static_cast<id_t>(zombie), &info, WEXITED | WNOWAIT), 0);

    fakes::WriteBytes(dir / "Tarnwatch.ini", fakes::ListFileImage(-2.2f, 1, {Stored("127.0.0.1")}));
    ASSERT_EQ(chown((dir / "Tarnwatch.ini").c_str(), nobody->pw_uid, nobody->pw_gid), 0);
    std::vector<std::string> env = Env(dir);
    env.push_back("PATH=/usr/bin:/bin");
    const pid_t monitor = start(true, std::string(TARNWATCH_BIN_DIR) + "/tarnwatch", "tarnwatch",
                                {"--headless", "--once"}, env);
    int status = -1;
    for (int i = 0; i < 1000; ++i) {
        if (waitpid(monitor, &status, WNOHANG) == monitor) break;
        status = -1;
        std::this_thread::sleep_for(20ms);
    }
    for (pid_t pid : {other, upper}) kill(pid, SIGKILL);
    for (pid_t pid : {other, zombie, upper}) waitpid(pid, nullptr, 0);
    if (status == -1) kill(monitor, SIGKILL), waitpid(monitor, nullptr, 0);
    ASSERT_NE(status, -1) << "the monitor did not end";
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_NE(WEXITSTATUS(status), 255) << fakes::ReadText(dir / "out.txt");
    EXPECT_EQ(fakes::ReadText(dir / "out.txt").find("already running"), std::string::npos);
}

// Two copies never share one list, whatever their program files are called:
// the second gets the usual refusal and touches nothing, not even the
// leftovers of interrupted saves the first may still be writing.
TEST(Program, RenamedCopyOnTheSameListIsRefused) {
    TW_SKIP_WITHOUT_PRIVATE_PID_NAMESPACE();
    fakes::TempDir dir;
    const std::string list = dir / "Tarnwatch.ini";
    fakes::WriteBytes(list, fakes::ListFileImage(-2.2f, 1, {Stored("127.0.0.1")}));
    const std::string renamed = dir / "watcher";
    std::filesystem::copy_file(std::string(TARNWATCH_BIN_DIR) + "/tarnwatch", renamed);
    fakes::Program first({"--headless"}, Env(dir), "/dev/null", "", renamed);
    ASSERT_TRUE(WaitFor(dir / "Tarnwatch.bak", 20s));
    const std::string inUse = dir / "Tarnwatch.ini.Q1w2E3";
    fakes::WriteBytes(inUse, {1, 2, 3});
    std::filesystem::permissions(
        inUse, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);

    fakes::Program second({"--headless", "--once"}, Env(dir), dir / "out.txt", dir / "err.txt");
    int status = second.Wait(20s);
    ASSERT_NE(status, -1);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 255) << "exit code -1";
    EXPECT_NE(fakes::ReadText(dir / "err.txt").find("Tarnwatch is already running!"),
              std::string::npos);
    EXPECT_TRUE(std::filesystem::exists(inUse));

    first.Signal(SIGTERM);
    status = first.Wait(20s);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
}  // namespace tarnwatch
