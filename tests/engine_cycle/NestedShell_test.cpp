// An agent's reply becomes an entry's status, and the status reaches alert
// commands as @S. A reply that carries quotes and commands must not run
// anything through a nested shell, however the alert command nests it; a
// harmless reply still runs the command, which also finds every entry value
// in its environment.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "CycleFixture.h"
#include "engine_client/LoopbackAgent.h"

namespace tarnwatch::cycle {
namespace {

using testing::LoopbackAgent;
using testing::MessageBytes;

class NestedShell : public CycleTest {
protected:
    void SetUp() override {
        // The payload names its marker briefly: the status keeps 39 characters.
        ASSERT_EQ(getcwd(cwd_, sizeof cwd_), cwd_);
        ASSERT_EQ(chdir(dir.path().c_str()), 0);
    }
    void TearDown() override { (void)chdir(cwd_); }

    // An agent entry whose test sets its status to `reply`; once gated, the
    // gate's failure command runs with that status.
    void StartWithReply(const std::string& reply) {
        Start(
            {EntryBytes(kSourceTcpPort, "0", "127.0.0.1")
                 .ServiceTest(kServiceTestVorlan)
                 .Verify(1)
                 .Timeout("5")},
            [](GlobalSettings& s) {
                s.internetAlerts.batch.batchMode = kBatchEveryFailure;
                s.internetAlerts.batch.failedCommandWait = 1;
            },
            /*realClock=*/true);
        LoopbackAgent agent([reply](int fd, LoopbackAgent& a) {
            CMsgClient m;
            while (a.ReadMessage(fd, m)) {
                if (m.text == "HELLO") LoopbackAgent::Send(fd, MessageBytes(0, "", {"CONNECTED"}));
                if (m.text == "VORLAN") LoopbackAgent::Send(fd, MessageBytes(0, "", {reply}));
                if (m.closeFlag) break;
            }
            a.ReadToEnd(fd);
        });
        port = std::to_string(agent.port());
        CopyText(Record(0).source, port.c_str());
        Pass();  // ungated: the agent is asked
        agent.Join();
        ASSERT_EQ(Status(0), reply);
        // From now on the entry is gated, and the Internet never answers.
        Record(0).checkInternet = 1;
        engine->SettingsForTesting().internetAddressCount = 0;
    }
    // Runs one gated pass with `command` as the Internet-unavailable alert;
    // what it said on standard error.
    std::string GatedPassWith(const std::string& command) {
        CopyText(engine->SettingsForTesting().internetAlerts.batch.failedCommand, command.c_str());
        ::testing::internal::CaptureStderr();
        Pass();
        return ::testing::internal::GetCapturedStderr();
    }

    std::string port;
    char cwd_[4096] = "";
};

TEST_F(NestedShell, QuoteAndCommandPayloadRunsNothingInAnyNestedForm) {
    // Breaks out of single quotes, double quotes and an unquoted word alike.
    // An agent's figure ends in ":NN".
    const std::string payload = "';touch o;'\"$(touch o)\"`touch o`:00";
    ASSERT_LE(payload.size(), kStatusMacroMax);
    StartWithReply(payload);
    for (const std::string command : {
             "sh -c \"echo 'Tarnwatch' '@S'\"",
             "bash -c \"echo @S >> down.log\"",
             "eval echo @S",
             "/bin/sh -xc 'echo @S'",
             "env A=1 /usr/bin/env bash -ec \"echo '@S'\"",
             "echo x | xargs sh -c 'echo \"@S\"'",
             "find . -maxdepth 0 -exec sh -c 'echo @S' \\;",
             "echo @S | sh",
             "sh -c \"sh -c 'echo @S'\"",
             "su -c \"echo @S\" root",
             "ssh localhost \"echo @S\"",
         }) {
        const std::string said = GatedPassWith(command);
        EXPECT_FALSE(std::filesystem::exists(dir / "o")) << command;
        // Refused, naming the entry.
        EXPECT_NE(said.find("(127.0.0.1)"), std::string::npos) << command << "\n" << said;
    }
    // The environment carries the same text intact through a nested shell.
    const std::string said = GatedPassWith("sh -c 'printf %s \"$TARNWATCH_STATUS\" > seen'");
    EXPECT_EQ(said, "");
    EXPECT_EQ(fakes::ReadText(dir / "seen"), payload);
    EXPECT_FALSE(std::filesystem::exists(dir / "o"));
}

TEST_F(NestedShell, HarmlessReplyRunsTheCommandWhichSeesEveryValue) {
    StartWithReply("up 12:34");
    const std::string said = GatedPassWith(
        "sh -c 'echo \"@S|$TARNWATCH_ADDRESS|$TARNWATCH_DESCRIPTION|$TARNWATCH_SOURCE|"
        "$TARNWATCH_STATUS|$TARNWATCH_SERVICE|$TARNWATCH_OK\" > seen'");
    EXPECT_EQ(said, "");
    EXPECT_EQ(fakes::ReadText(dir / "seen"),
              "up 12:34|127.0.0.1|127.0.0.1|" + port + "|up 12:34|Vorlan|ok\n");
    // Date and time are those of the last test, as @D and @T give them.
    GatedPassWith("sh -c 'echo \"$TARNWATCH_DATE $TARNWATCH_TIME\" > when; echo @D @T >> when'");
    const std::string when = fakes::ReadText(dir / "when");
    const std::size_t mid = when.find('\n');
    ASSERT_NE(mid, std::string::npos);
    EXPECT_EQ(when.substr(0, mid + 1), when.substr(mid + 1)) << when;
    EXPECT_EQ(when.size(), 2 * std::string("dd/mm/yy hh:mm:ss\n").size()) << when;
}

}  // namespace
}  // namespace tarnwatch::cycle
