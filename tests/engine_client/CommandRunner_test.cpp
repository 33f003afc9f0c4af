// Running real programs: results, the three ways of starting, never twice,
// time limits, zombies, and macro values that try to run commands.
#include "engine/CommandRunner.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "engine/CommandExpand.h"
#include "fakes/FakePorts.h"

namespace tarnwatch {
namespace {

namespace fs = std::filesystem;

class CommandRunnerTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/tw-run-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
    }
    void TearDown() override { fs::remove_all(dir); }

    // An executable shell script in the test directory.
    std::string Script(const std::string& name, const std::string& body) {
        fs::path p = fs::path(dir) / name;
        fs::create_directories(p.parent_path());
        std::ofstream(p) << "#!/bin/sh\n" << body << "\n";
        fs::permissions(p, fs::perms::owner_all);
        return p.string();
    }
    std::string Read(const std::string& name) {
        std::ifstream in(fs::path(dir) / name);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    bool Exists(const std::string& name) { return fs::exists(fs::path(dir) / name); }

    std::string dir;
};

// Gone, or a zombie of some other parent: either way no longer running.
bool NotRunning(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line)) return true;
    auto close = line.rfind(')');
    return close != std::string::npos && line.size() > close + 2 && line[close + 2] == 'Z';
}

// Waits (boundedly) for a condition that must become true eventually.
template <class F>
bool Eventually(F condition) {
    for (int i = 0; i < 500; ++i) {
        if (condition()) return true;
        usleep(10000);
    }
    return condition();
}

TEST_F(CommandRunnerTest, ResultsOfWaitedPrograms) {
    EXPECT_EQ(RunCommand("true", 1), kRunOk);
    EXPECT_EQ(RunCommand(Script("three.sh", "exit 3").c_str(), 1), kRunNonZeroExit);
    EXPECT_EQ(RunCommand("sh -c 'exit 4'", 1), kRunNonZeroExit);
    // Shell syntax goes to the shell.
    EXPECT_EQ(RunCommand("exit 5", 1), kRunNonZeroExit);
    EXPECT_EQ(RunCommand("true && false", 1), kRunNonZeroExit);
    EXPECT_EQ(RunCommand(("echo hi > " + dir + "/out.txt").c_str(), 1), kRunOk);
    EXPECT_EQ(Read("out.txt"), "hi\n");
    // Nothing that any way could start.
    EXPECT_EQ(RunCommand("tw-no-such-program-xyz --flag", 1), kRunNotRun);
    EXPECT_EQ(RunCommand("", 1), kRunNotRun);
    EXPECT_EQ(RunCommand("   ", 1), kRunNotRun);
    EXPECT_EQ(RunCommand(nullptr, 1), kRunNotRun);
}

TEST_F(CommandRunnerTest, StartedProgramIsNeverRunTwice) {
    const std::string body = "echo run >> '" + dir + "/count'\nexit 1";
    EXPECT_EQ(RunCommand(Script("fails.sh", body).c_str(), 1), kRunNonZeroExit);
    EXPECT_EQ(Read("count"), "run\n");
    // Also when the program is only found by its whole line (a blank in the path).
    EXPECT_EQ(RunCommand(Script("my dir/fails.sh", body).c_str(), 1), kRunNonZeroExit);
    EXPECT_EQ(Read("count"), "run\nrun\n");
}

TEST_F(CommandRunnerTest, ProgramPathsWithBlanks) {
    const std::string path = Script("my tools/ok.sh", "echo \"$1\" > '" + dir + "/arg'");
    EXPECT_EQ(RunCommand(path.c_str(), 1), kRunOk);
    EXPECT_EQ(Read("arg"), "\n");
    EXPECT_EQ(RunCommand(("'" + path + "' 'an arg'").c_str(), 1), kRunOk);
    EXPECT_EQ(Read("arg"), "an arg\n");
}

TEST_F(CommandRunnerTest, WaitingKeepsPumping) {
    fakes::FakePlatform platform(true);
    EXPECT_EQ(RunCommand("sleep 0.3", 1, &platform.pump), kRunOk);
    EXPECT_GT(platform.pump.count, 0);
}

// A wait the user cancels, or the program's close cuts short, ends the
// program and says so, rather than reporting it as failed or timed out.
TEST_F(CommandRunnerTest, AStopRequestEndsTheWaitAndTheProgram) {
    // Stops once the program is surely running.
    struct StoppingPump final : MessagePump {
        void Pump() override { ++count; }
        bool StopRequested() const override { return count >= 3 && fs::exists(started); }
        int count = 0;
        std::string started;
    } pump;
    pump.started = dir + "/self";
    const std::string script =
        Script("long.sh", "echo $$ > '" + dir + "/self.tmp'\nmv '" + dir + "/self.tmp' '" + dir +
                              "/self'\nexec sleep 60");
    EXPECT_EQ(RunCommand(script.c_str(), 1, &pump), kRunStopped);
    EXPECT_TRUE(Eventually([&] { return NotRunning(std::stoi(Read("self"))); }));
}

TEST_F(CommandRunnerTest, WithoutWaitingReturnsAtOnceAndLeavesNoZombie) {
    const std::string pidFile = dir + "/pid";
    EXPECT_EQ(RunCommand(("sh -c 'echo $$ > " + pidFile + ".tmp; mv " + pidFile + ".tmp " +
                          pidFile + "; sleep 0.2'")
                             .c_str(),
                         0),
              kRunOk);
    ASSERT_TRUE(Eventually([&] { return Exists("pid"); }));
    const pid_t pid = std::stoi(Read("pid"));
    EXPECT_TRUE(
        Eventually([&] { return NotRunning(pid) && !fs::exists("/proc/" + std::to_string(pid)); }));
    // A program that cannot be started reports nothing without waiting.
    EXPECT_EQ(RunCommand("tw-no-such-program-xyz", 0), kRunOk);
}

TEST_F(CommandRunnerTest, TimeLimitKillsTheProgramAndItsChildren) {
    const std::string script = Script("stuck.sh",
                                      "trap '' TERM\n"
                                      "sleep 60 &\n"
                                      "echo $! > '" +
                                          dir +
                                          "/child'\n"
                                          "echo $$ > '" +
                                          dir +
                                          "/self'\n"
                                          "while :; do sleep 1; done");
    EXPECT_EQ(RunCommand(script.c_str(), 1, nullptr, 1), kRunTimedOut);
    const pid_t self = std::stoi(Read("self"));
    const pid_t child = std::stoi(Read("child"));
    EXPECT_TRUE(Eventually([&] { return NotRunning(self); }));
    EXPECT_TRUE(Eventually([&] { return NotRunning(child); }));
    // No limit (0 or less) waits for the end.
    EXPECT_EQ(RunCommand("sleep 0.1", 1, nullptr, 0), kRunOk);
    EXPECT_EQ(RunCommand("sleep 0.1", 1, nullptr, -1), kRunOk);
}

// Whoever reads the monitor's output to its end (a check's caller) must not
// wait for a child that a waited program left running.
TEST_F(CommandRunnerTest, AChildLeftRunningHoldsNoOutputOfTheMonitors) {
    const std::string script = Script("leave.sh",
                                      "echo before\n"
                                      "sleep 30 &\n"
                                      "echo $! > '" +
                                          dir + "/child'");
    int out[2];
    ASSERT_EQ(pipe2(out, O_CLOEXEC), 0);
    std::fflush(stdout);
    const int saved = dup(STDOUT_FILENO);
    ASSERT_EQ(dup2(out[1], STDOUT_FILENO), STDOUT_FILENO);
    close(out[1]);
    const int result = RunCommand(script.c_str(), 1);
    dup2(saved, STDOUT_FILENO);
    close(saved);

    std::string got;
    bool ended = false;
    pollfd p{out[0], POLLIN, 0};
    char buf[64];
    while (!ended && poll(&p, 1, 5000) == 1) {
        const ssize_t n = read(out[0], buf, sizeof buf);
        ended = n <= 0;
        if (n > 0) got.append(buf, static_cast<std::size_t>(n));
    }
    close(out[0]);
    const pid_t child = std::stoi(Read("child"));
    const bool childRan = !NotRunning(child);
    kill(child, SIGKILL);
    EXPECT_EQ(result, kRunOk);
    EXPECT_EQ(got, "before\n");
    EXPECT_TRUE(ended) << "the output stayed open while the child ran";
    EXPECT_TRUE(childRan);
}

TEST_F(CommandRunnerTest, HostileMacroValuesNeverRunAsCommands) {
    // Relative names: the commands run in the test directory.
    const fs::path oldDir = fs::current_path();
    fs::current_path(dir);
    CommandMacros m;
    m.statusCell = "x;touch owned;12:34";
    m.description =
        "a'b\";touch owned;\"$(touch owned)`touch owned`\\|touch owned\n"
        "touch owned";
    const std::string save = Script("save.sh", "printf '%s' \"$1\" > \"$2\"");
    const char* templates[] = {
        "echo @S > s1",     "echo \"@S\" > s2", "echo '@S' > s3",           "echo @W > w1",
        "echo \"@W\" > w2", "echo '@W' > w3",   "echo \"$(echo @W)\" > w4", "echo `echo @W` > w5",
        "echo x # @W",
    };
    for (const char* t : templates) {
        std::string line = ExpandCommand(t, m);
        EXPECT_EQ(RunCommand(line.c_str(), 1), kRunOk) << line;
    }
    // Straight to the program, no shell involved.
    EXPECT_EQ(RunCommand(ExpandCommand((save + " @S d1").c_str(), m).c_str(), 1), kRunOk);
    EXPECT_EQ(RunCommand(ExpandCommand((save + " @W d2").c_str(), m).c_str(), 1), kRunOk);
    fs::current_path(oldDir);

    EXPECT_FALSE(Exists("owned"));
    EXPECT_EQ(Read("s1"), m.statusCell + "\n");
    EXPECT_EQ(Read("s2"), m.statusCell + "\n");
    EXPECT_EQ(Read("s3"), m.statusCell + "\n");
    EXPECT_EQ(Read("d1"), m.statusCell);
    EXPECT_EQ(Read("d2"), m.description);
    // echo may treat backslashes its own way; the text around them arrives.
    for (const char* f : {"w1", "w2", "w3", "w4"}) {
        EXPECT_NE(Read(f).find("touch owned;\"$(touch owned)`touch owned`"), std::string::npos)
            << f << ": " << Read(f);
    }
}

TEST_F(CommandRunnerTest, EnvironmentEntriesJoinAndReplaceTheMonitorsOwn) {
    setenv("TW_ENV_KEPT", "kept", 1);
    setenv("TW_ENV_REPLACED", "old", 1);
    const std::string out = dir + "/env";
    const std::string line =
        "sh -c 'echo \"$TW_ENV_KEPT|$TW_ENV_REPLACED|$TW_ENV_NEW\" > " + out + "'";
    EXPECT_EQ(RunCommand(line.c_str(), 1, nullptr, 0, {"TW_ENV_REPLACED=new", "TW_ENV_NEW="}),
              kRunOk);
    EXPECT_EQ(Read("env"), "kept|new|\n");
    // A name that only starts like another replaces nothing.
    EXPECT_EQ(RunCommand(line.c_str(), 1, nullptr, 0, {"TW_ENV_KEP=x"}), kRunOk);
    EXPECT_EQ(Read("env"), "kept|old|\n");
    unsetenv("TW_ENV_KEPT");
    unsetenv("TW_ENV_REPLACED");
}

TEST_F(CommandRunnerTest, StartWithoutWaitingSaysWhetherTheProgramCouldStart) {
    const std::string plain = dir + "/plain.sh";
    std::ofstream(plain) << "#!/bin/sh\ntouch " << dir << "/ran\n";
    EXPECT_EQ(StartCommand("tw-no-such-program-xyz --flag"), kRunNotRun);
    EXPECT_EQ(StartCommand((dir + "/no such dir/prog").c_str()), kRunNotRun);
    EXPECT_EQ(StartCommand(plain.c_str()), kRunNotRun);  // not executable
    EXPECT_EQ(StartCommand(""), kRunNotRun);
    EXPECT_EQ(StartCommand(nullptr), kRunNotRun);
    const std::string runs = Script("runs.sh", "touch " + dir + "/ran");
    EXPECT_EQ(StartCommand(runs.c_str()), kRunOk);
    EXPECT_TRUE(Eventually([&] { return Exists("ran"); }));
    // Shell syntax always starts the shell, which reports on its own.
    EXPECT_EQ(StartCommand("false && true"), kRunOk);
}

}  // namespace
}  // namespace tarnwatch
