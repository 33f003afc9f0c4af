// The headless mode end to end: the real program tests a list of real peers
// on loopback (a listener, a closed port, an unresolvable name, a ping, a
// running process, two scripts and an agent), prints the table, exits with
// the overall level's code and saves the list.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "engine/ServiceItem.h"
#include "engine_client/LoopbackAgent.h"
#include "fakes/HangupServer.h"
#include "fakes/ListFileBytes.h"
#include "fakes/Loopback.h"
#include "fakes/ProgramRunner.h"
#include "fakes/SilentListener.h"
#include "fakes/TempDir.h"

namespace tarnwatch {
namespace {

using namespace std::chrono_literals;
using fakes::RawRecord;

constexpr auto Entry = fakes::TestEntry;

class HeadlessTest : public ::testing::Test {
protected:
    void SetUp() override {
        TW_SKIP_WITHOUT_PRIVATE_PID_NAMESPACE();
        std::filesystem::create_directories(dir / "config/Quillon");
        // Keep the rows in place: failed entries are not moved to the end.
        std::ofstream(dir / "config/Quillon/Tarnwatch.conf") << "[Options]\namove=0\n";
    }
    std::vector<std::string> Env() const {
        return {"TARNWATCH_HOME=" + dir.path(), "XDG_CONFIG_HOME=" + dir.path() + "/config",
                "HOME=" + dir.path(), "TZ=UTC"};
    }
    std::string Script(const std::string& name, int exitCode) {
        const std::string path = dir / name;
        std::ofstream(path) << "#!/bin/sh\nexit " << exitCode << "\n";
        std::filesystem::permissions(path, std::filesystem::perms::owner_all);
        return path;
    }
    int RunOnce(const std::vector<RawRecord>& records, std::string& output) {
        fakes::WriteBytes(dir / "Tarnwatch.ini",
                          fakes::ListFileImage(-2.2f, static_cast<int>(records.size()), records));
        fakes::Program program({"--headless", "--once"}, Env(), dir / "out.txt");
        int status = program.Wait(60s);
        auto bytes = fakes::ReadBytes(dir / "out.txt");
        output.assign(bytes.begin(), bytes.end());
        if (status == -1 || !WIFEXITED(status)) return -1;
        return WEXITSTATUS(status);
    }
    // The table line of the entry with this description.
    static std::string Line(const std::string& output, const std::string& description) {
        std::size_t pos = output.find("  " + description + "  ");
        if (pos == std::string::npos) return "";
        std::size_t start = output.rfind('\n', pos);
        std::size_t end = output.find('\n', pos);
        return output.substr(start == std::string::npos ? 0 : start + 1, end - start - 1);
    }
    fakes::TempDir dir;
};

TEST_F(HeadlessTest, OnePassOverRealPeersPrintsSavesAndExitsWithTheLevel) {
    fakes::HangupServer listener;
    int closedPort;
    {
        fakes::HangupServer gone;
        closedPort = gone.port();
    }
    testing::LoopbackAgent agent([](int fd, testing::LoopbackAgent& a) {
        CMsgClient m;
        while (a.ReadMessage(fd, m)) {
            if (m.text == "HELLO")
                testing::LoopbackAgent::Send(fd, testing::MessageBytes(0, "", {"CONNECTED"}));
            if (m.text == "VORLAN")
                testing::LoopbackAgent::Send(fd, testing::MessageBytes(0, "", {"12:34"}));
            if (m.closeFlag) break;
        }
        a.ReadToEnd(fd);
    });
    const std::string sleeper = dir / ("twsleep" + std::to_string(getpid()));
    std::filesystem::copy_file("/bin/sleep", sleeper);
    // The program sees only the processes of its own namespace.
    fakes::Program sleeping({"30"}, {}, "/dev/null", "", sleeper);
    ASSERT_GT(sleeping.pid(), 0);
    std::this_thread::sleep_for(200ms);

    std::string out;
    const int code = RunOnce(
        {Entry(0, std::to_string(listener.port()), "127.0.0.1", 7, "listener"),
         Entry(0, std::to_string(closedPort), "127.0.0.1", 7, "closed"),
         Entry(0, "80", fakes::kUnresolvableHost, 7, "nohost"),
         Entry(3, "", "127.0.0.1", 17, "pinged"),
         Entry(1, std::filesystem::path(sleeper).filename(), "Local Machine", 14, "running"),
         Entry(2, Script("good.sh", 0), "Local Machine", 21, "goodscript"),
         Entry(2, Script("bad.sh", 3), "Local Machine", 21, "badscript"),
         Entry(0, std::to_string(agent.port()), "127.0.0.1", 29, "agent")},
        out);
    sleeping.Signal(SIGKILL);

    EXPECT_EQ(code, 2) << out;
    EXPECT_NE(Line(out, "listener").find("  ok  "), std::string::npos) << out;
    EXPECT_NE(Line(out, "closed").find("unavailable"), std::string::npos) << out;
    EXPECT_NE(Line(out, "nohost").find("unresolved"), std::string::npos) << out;
    EXPECT_NE(Line(out, "pinged").find("  ok  "), std::string::npos) << out;
    EXPECT_NE(Line(out, "running").find("  running  "), std::string::npos) << out;
    EXPECT_NE(Line(out, "goodscript").find("succeeded"), std::string::npos) << out;
    EXPECT_NE(Line(out, "badscript").find("failed"), std::string::npos) << out;
    EXPECT_NE(Line(out, "agent").find("12:34"), std::string::npos) << out;
    EXPECT_NE(Line(out, "agent").find("1/1  "), std::string::npos) << out;
    EXPECT_NE(out.find("Tarnwatch - Status : Error"), std::string::npos);

    // The saved list holds every entry in the same order with its outcome.
    auto bytes = fakes::ReadBytes(dir / "Tarnwatch.ini");
    ASSERT_EQ(bytes.size(), 8u + 8 * 1912 + 4);
    auto state = [&](int i) { return fakes::IntAt(bytes, 8 + 1912 * i + 1876); };
    EXPECT_EQ(state(0), 0x00010000);
    EXPECT_EQ(state(1), 0x00020000);
    EXPECT_EQ(state(2), 0x00040000);
    EXPECT_EQ(state(3), 0x00010000);
    EXPECT_EQ(state(4), 0x00010000);
    EXPECT_EQ(state(6), 0x00020000);
    EXPECT_EQ(fakes::IntAt(bytes, 8 + 1884), 1);  // attempt
    EXPECT_NE(fakes::IntAt(bytes, 8 + 1900), 0);  // last test time
}

TEST_F(HeadlessTest, ExitCodesFollowTheOverallLevel) {
    std::string out;
    EXPECT_EQ(RunOnce({Entry(3, "", "127.0.0.1", 17, "pinged"),
                       Entry(2, Script("ok.sh", 0), "Local Machine", 21, "script")},
                      out),
              0)
        << out;
    EXPECT_NE(out.find("Tarnwatch - Status : Ok"), std::string::npos);
    EXPECT_EQ(RunOnce({Entry(3, "", "127.0.0.1", 17, "pinged"),
                       Entry(0, "80", fakes::kUnresolvableHost, 7, "nohost")},
                      out),
              1)
        << out;
    EXPECT_NE(out.find("Tarnwatch - Status : Information"), std::string::npos);
}

// A full disk or a reader that went away: the check is UNKNOWN and says why
// in one line, instead of passing for one whose report was read.
TEST_F(HeadlessTest, AReportThatCannotBeWrittenEndsUnknownWithOneLine) {
    const std::string marker = dir / "started";
    const std::string script = dir / "slow.sh";
    std::ofstream(script) << "#!/bin/sh\ntouch '" << marker << "'\nsleep 1\n";
    std::filesystem::permissions(script, std::filesystem::perms::owner_all);
    fakes::WriteBytes(dir / "Tarnwatch.ini",
                      fakes::ListFileImage(-2.2f, 1, {Entry(2, script, "Local Machine", 21, "s")}));
    const auto lines = [](const std::string& text) {
        std::size_t n = 0;
        for (std::size_t at = text.find("cannot be written"); at != std::string::npos;
             at = text.find("cannot be written", at + 1)) {
            ++n;
        }
        return n;
    };
    for (const auto& args : {std::vector<std::string>{"--headless", "--once"},
                             std::vector<std::string>{"--headless", "--once", "--json"}}) {
        fakes::Program program(args, Env(), "/dev/full", dir / "err.txt");
        const int status = program.Wait(60s);
        ASSERT_TRUE(WIFEXITED(status)) << args.size();
        EXPECT_EQ(WEXITSTATUS(status), 3) << args.size();
        const std::string err = fakes::ReadText(dir / "err.txt");
        EXPECT_EQ(lines(err), 1u) << err;
        EXPECT_NE(err.find("The report cannot be written to standard output: No space left on "
                           "device\n"),
                  std::string::npos)
            << err;
    }

    // The reader of a pipe goes away during the pass.
    const std::string fifo = dir / "fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(reader, 0);
    std::filesystem::remove(marker);
    fakes::Program program({"--headless", "--once"}, Env(), fifo, dir / "err.txt");
    for (int i = 0; i < 600 && !std::filesystem::exists(marker); ++i) {
        std::this_thread::sleep_for(50ms);
    }
    close(reader);
    const int status = program.Wait(60s);
    ASSERT_TRUE(WIFEXITED(status)) << "ended by SIGPIPE";
    EXPECT_EQ(WEXITSTATUS(status), 3);
    const std::string err = fakes::ReadText(dir / "err.txt");
    EXPECT_EQ(lines(err), 1u) << err;
    EXPECT_NE(err.find("standard output: Broken pipe"), std::string::npos) << err;
}

TEST_F(HeadlessTest, SignalDuringAPassEndsItAndStillSavesTheList) {
    // The agent never answers and its entry allows 60 s: only the signal can
    // end the pass early.
    fakes::SilentListener silent;
    RawRecord agent = Entry(0, std::to_string(silent.port()), "127.0.0.1", 29, "silent");
    agent.Text(260, "60");
    fakes::WriteBytes(dir / "Tarnwatch.ini",
                      fakes::ListFileImage(-2.2f, 2, {agent, Entry(3, "", "127.0.0.1", 17, "p")}));
    fakes::Program program({"--headless", "--once"}, Env(), dir / "out.txt");
    // The pass is under way once the agent's connect is queued.
    ASSERT_TRUE(silent.Connected(60'000));
    std::this_thread::sleep_for(200ms);
    program.Signal(SIGTERM);
    int status = program.Wait(20s);
    ASSERT_NE(status, -1) << "the pass did not end on the signal";
    ASSERT_TRUE(WIFEXITED(status)) << "ended by the signal instead of its shutdown";
    auto bytes = fakes::ReadBytes(dir / "Tarnwatch.ini");
    ASSERT_EQ(bytes.size(), 8u + 2 * 1912 + 4);
    // The silent entry's test was cut short, which is no result (attempt
    // back at 0); the pass ended before the Ping entry.
    EXPECT_EQ(fakes::IntAt(bytes, 8 + 1884), 0);
    EXPECT_EQ(fakes::IntAt(bytes, 8 + 1912 + 1884), 0);
}

TEST_F(HeadlessTest, ScheduledModeEndsCleanlyOnSigterm) {
    fakes::WriteBytes(dir / "Tarnwatch.ini",
                      fakes::ListFileImage(-2.2f, 1, {Entry(3, "", "127.0.0.1", 17, "p")}));
    fakes::Program program({"--headless"}, Env(), dir / "out.txt");
    for (int i = 0; i < 1200 && !std::filesystem::exists(dir / "Tarnwatch.bak"); ++i) {
        std::this_thread::sleep_for(50ms);
    }
    std::this_thread::sleep_for(300ms);
    program.Signal(SIGTERM);
    int status = program.Wait(20s);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    // Written back on the way out: the run-time state reads untested.
    EXPECT_EQ(fakes::IntAt(fakes::ReadBytes(dir / "Tarnwatch.ini"), 8 + 1876), 0x00200000);
    EXPECT_TRUE(std::filesystem::exists(dir / "config/Quillon/Tarnwatch.conf"));
}

// A close while a test waits (a silent agent, a program that sleeps) ends the
// wait at once: the program exits with the list saved, and the cut-short
// test is no result, so the entry is neither judged, moved nor alerted on.
class HeadlessCloseTest : public HeadlessTest, public ::testing::WithParamInterface<int> {};

TEST_P(HeadlessCloseTest, SignalDuringAWaitEndsItWithoutJudgingTheEntry) {
    // Failed entries move to the end, and the waiting entry's failure
    // command leaves a mark: neither may happen.
    std::ofstream(dir / "config/Quillon/Tarnwatch.conf") << "[Options]\namove=1\n";
    fakes::SilentListener silent;
    RawRecord waiting(1912);
    const bool agent = GetParam() == kSourceTcpPort;
    if (agent) {
        waiting = Entry(0, std::to_string(silent.port()), "127.0.0.1", 29, "waiting");
    } else {
        const std::string sleeper = dir / "sleeper.sh";
        std::ofstream(sleeper) << "#!/bin/sh\necho $$ > " << dir / "sleeper.pid"
                               << "\nexec sleep 60\n";
        std::filesystem::permissions(sleeper, std::filesystem::perms::owner_all);
        waiting = Entry(2, sleeper, "Local Machine", 21, "waiting");
    }
    waiting.Text(260, "60").Int(1892, 0).Int(1336, 1).Int(1340, 1).Int(1344, 1).Int(1348, 1);
    waiting.Text(1356, "touch " + dir / "alerted").Int(1868, 1);
    fakes::WriteBytes(
        dir / "Tarnwatch.ini",
        fakes::ListFileImage(-2.2f, 2, {waiting, Entry(3, "", "127.0.0.1", 17, "p")}));
    fakes::Program program({"--headless", "--once"}, Env(), dir / "out.txt");
    const std::string started = agent ? dir / "Tarnwatch.bak" : dir / "sleeper.pid";
    for (int i = 0; i < 1200 && !std::filesystem::exists(started); ++i) {
        std::this_thread::sleep_for(50ms);
    }
    ASSERT_TRUE(std::filesystem::exists(started));
    // The agent's wait has begun once its connect is queued.
    if (agent) {
        ASSERT_TRUE(silent.Connected(60'000));
    }
    std::this_thread::sleep_for(500ms);
    // Whatever happens, the sleeping program does not outlive the test.
    struct SleeperReaper {
        pid_t pid = -1;
        ~SleeperReaper() {
            const std::string comm = "/proc/" + std::to_string(pid) + "/comm";
            if (pid > 0 && fakes::ReadText(comm) == "sleep\n") kill(pid, SIGKILL);
        }
    } sleeper;
    // The script wrote down its pid in the program's namespace.
    if (!agent) {
        sleeper.pid = fakes::HostPidOf(std::stoi(fakes::ReadText(dir / "sleeper.pid")));
        ASSERT_GT(sleeper.pid, 0);
    }
    program.Signal(SIGTERM);
    // The entry allows 60 s; far less than that means the wait was given up.
    const int status = program.Wait(10s);
    ASSERT_NE(status, -1) << "the wait in progress ignored the close";
    ASSERT_TRUE(WIFEXITED(status));

    auto bytes = fakes::ReadBytes(dir / "Tarnwatch.ini");
    ASSERT_EQ(bytes.size(), 8u + 2 * 1912 + 4);
    EXPECT_EQ(bytes[8 + 540], 'w') << "the waiting entry was moved";
    EXPECT_EQ(fakes::IntAt(bytes, 8 + 1876), 0x00200000) << "the entry was judged";
    EXPECT_EQ(fakes::IntAt(bytes, 8 + 1884), 0);
    EXPECT_EQ(fakes::IntAt(bytes, 8 + 1900), 0);
    EXPECT_FALSE(std::filesystem::exists(dir / "alerted")) << "an alert ran for the close";
    // The program's process group went with the wait.
    if (!agent) {
        EXPECT_NE(kill(sleeper.pid, 0), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(WaitingTests, HeadlessCloseTest,
                         ::testing::Values(kSourceTcpPort, kSourceProgram));

TEST_F(HeadlessTest, AgentRepliesAndEntryTextsReachTheTerminalWithoutControlCharacters) {
    // The reply still ends in an availability figure, so it is shown.
    const std::string reply = "\x1b]0;owned\x07\x1b[2J\xc2\x9b\x9b\xc3\xa9 12:34";
    testing::LoopbackAgent agent([&](int fd, testing::LoopbackAgent& a) {
        CMsgClient m;
        while (a.ReadMessage(fd, m)) {
            if (m.text == "HELLO")
                testing::LoopbackAgent::Send(fd, testing::MessageBytes(0, "", {"CONNECTED"}));
            if (m.text == "VORLAN")
                testing::LoopbackAgent::Send(fd, testing::MessageBytes(0, "", {reply}));
            if (m.closeFlag) break;
        }
        a.ReadToEnd(fd);
    });
    const std::string description = "desc\x1b[31mred\rX";
    fakes::WriteBytes(
        dir / "Tarnwatch.ini",
        fakes::ListFileImage(
            -2.2f, 1, {Entry(0, std::to_string(agent.port()), "127.0.0.1", 29, description)}));
    auto env = Env();
    env.push_back("LC_ALL=C.UTF-8");
    fakes::Program program({"--headless", "--once"}, env, dir / "out.txt");
    ASSERT_NE(program.Wait(60s), -1);
    const std::string out = fakes::ReadText(dir / "out.txt");
    for (char c : out) {
        const auto b = static_cast<unsigned char>(c);
        EXPECT_TRUE(b >= 0x20 || b == '\n' || b == '\t') << "control byte " << int{b} << "\n"
                                                         << out;
        EXPECT_NE(b, 0x7F);
    }
    EXPECT_EQ(out.find("\xc2\x9b"), std::string::npos) << "a C1 control in UTF-8 form";
    // Each control character is one visible placeholder; the rest stays.
    EXPECT_NE(out.find("?]0;owned??[2J??\xc3\xa9 12:34"), std::string::npos) << out;
    EXPECT_NE(out.find("desc?[31mred?X"), std::string::npos) << out;
    // The list file keeps the entry's text as it was.
    auto bytes = fakes::ReadBytes(dir / "Tarnwatch.ini");
    ASSERT_GE(bytes.size(), 8u + 1912);
    EXPECT_EQ(std::string(bytes.begin() + 8 + 540, bytes.begin() + 8 + 540 + description.size()),
              description);
}

TEST_F(HeadlessTest, ListFileThatIsNoRegularFileIsNeitherWaitedOnNorWrittenOver) {
    // A FIFO would hold an open for reading until some writer came along.
    ASSERT_EQ(mkfifo((dir / "Tarnwatch.ini").c_str(), 0644), 0);
    fakes::Program fifo({"--headless", "--once"}, Env(), dir / "out.txt", dir / "err.txt");
    const int status = fifo.Wait(20s);
    ASSERT_NE(status, -1) << "the start hangs on the FIFO";
    ASSERT_TRUE(WIFEXITED(status));
    // An empty list, and for a check that no pass could run: UNKNOWN.
    EXPECT_EQ(WEXITSTATUS(status), 3);
    EXPECT_NE(fakes::ReadText(dir / "err.txt").find("is not a regular file"), std::string::npos);
    struct stat st {};
    ASSERT_EQ(lstat((dir / "Tarnwatch.ini").c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));

    // A directory in its place: nothing is loaded, and a save would fail
    // rather than replace it.
    std::filesystem::remove(dir / "Tarnwatch.ini");
    std::filesystem::create_directory(dir / "Tarnwatch.ini");
    fakes::Program directory({"--headless", "--once"}, Env(), dir / "out.txt", dir / "err.txt");
    ASSERT_NE(directory.Wait(20s), -1);
    EXPECT_NE(fakes::ReadText(dir / "err.txt").find("is not a regular file"), std::string::npos);
    EXPECT_TRUE(std::filesystem::is_directory(dir / "Tarnwatch.ini"));
}

TEST_F(HeadlessTest, LeftoverTemporaryFilesOfInterruptedSavesAreRemovedAtStart) {
    auto make = [&](const std::string& name, std::filesystem::perms perms) {
        fakes::WriteBytes(dir / name, std::vector<unsigned char>(1 << 20, 0xCD));
        std::filesystem::permissions(dir / name, perms);
    };
    const auto temp = std::filesystem::perms::owner_read | std::filesystem::perms::owner_write;
    const auto copied =
        temp | std::filesystem::perms::group_read | std::filesystem::perms::others_read;
    make("Tarnwatch.ini.a1B2c3", temp);  // a save of the list, killed
    make("Tarnwatch.bak.Zz9Yy8", temp);  // a backup copy, killed
    // Names and files that are not ours to remove.
    make("Tarnwatch.ini.backup", copied);
    make("Tarnwatch.ini.x1", temp);
    make("Notes.ini.a1B2c3", temp);
    std::string out;
    EXPECT_EQ(RunOnce({Entry(3, "", "127.0.0.1", 17, "p")}, out), 0) << out;
    EXPECT_FALSE(std::filesystem::exists(dir / "Tarnwatch.ini.a1B2c3"));
    EXPECT_FALSE(std::filesystem::exists(dir / "Tarnwatch.bak.Zz9Yy8"));
    EXPECT_TRUE(std::filesystem::exists(dir / "Tarnwatch.ini.backup"));
    EXPECT_TRUE(std::filesystem::exists(dir / "Tarnwatch.ini.x1"));
    EXPECT_TRUE(std::filesystem::exists(dir / "Notes.ini.a1B2c3"));
}

}  // namespace
}  // namespace tarnwatch

namespace tarnwatch {
namespace {

// The first run of a daemon: with no timed class nothing would ever be
// tested, and it says so with the values to set; with one, its entries are
// tested at once instead of after a whole interval, and no others are.
TEST_F(HeadlessTest, FirstRunTestsTimedEntriesAtOnceOrSaysWhyNothingWillBeTested) {
    auto onDemand = Entry(3, "", "127.0.0.2", 17, "later");
    onDemand.Int(1904, 0);
    fakes::WriteBytes(
        dir / "Tarnwatch.ini",
        fakes::ListFileImage(-2.2f, 2, {Entry(3, "", "127.0.0.1", 17, "now"), onDemand}));
    auto run = [&](const std::string& options, std::string& out, std::string& err) {
        std::ofstream(dir / "config/Quillon/Tarnwatch.conf") << "[Options]\n" << options;
        fakes::Program program({"--headless"}, Env(), dir / "out.txt", dir / "err.txt");
        // Until a line is printed or the program has said why none will be.
        for (int i = 0; i < 600; ++i) {
            const auto e = fakes::ReadBytes(dir / "err.txt");
            if (!fakes::ReadBytes(dir / "out.txt").empty() ||
                std::string(e.begin(), e.end()).find("nothing") != std::string::npos) {
                break;
            }
            std::this_thread::sleep_for(50ms);
        }
        std::this_thread::sleep_for(1s);
        program.Signal(SIGTERM);
        const int status = program.Wait(20s);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        const auto o = fakes::ReadBytes(dir / "out.txt");
        const auto e = fakes::ReadBytes(dir / "err.txt");
        out.assign(o.begin(), o.end());
        err.assign(e.begin(), e.end());
    };
    std::string out, err;
    run("HighNetUpdate=0\nMedNedUpdate=0\nLowNetUpdate=0\n", out, err);
    EXPECT_EQ(out, "");
    EXPECT_NE(err.find("nothing will be tested: set HighNetUpdate (minutes), MedNedUpdate (half "
                       "hours) or LowNetUpdate (hours) in [Options]"),
              std::string::npos)
        << err;
    run("HighNetUpdate=60\n", out, err);
    EXPECT_NE(out.find("127.0.0.1"), std::string::npos) << out;
    EXPECT_EQ(out.find("127.0.0.2"), std::string::npos) << "an on-demand entry was tested";
    EXPECT_EQ(err.find("nothing will be tested"), std::string::npos);
}

}  // namespace
}  // namespace tarnwatch
