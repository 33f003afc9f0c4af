// Expansion of environment variables and entry macros, the 255-character
// cut, and macro values that try to reach the shell.
#include "engine/CommandExpand.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "engine/CommandRunner.h"
#include "fakes/TempDir.h"

namespace tarnwatch {
namespace {

class CommandExpandTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("TZ", "UTC", 1);
        tzset();
        setenv("TW_TEMP_DIR", "/var/tmp/tw", 1);
        unsetenv("TW_NOT_SET");
        m.address = "host1";
        m.lastTestTime = 944489133;  // 1999-12-06 14:05:33 UTC
        m.state = kStateAvailable;
        m.source = "700";
        m.statusCell = "unavailable";
        m.serviceTest = kServiceTestVorlan;
        m.description = "Mail";
    }
    void TearDown() override { unsetenv("TW_TEMP_DIR"); }
    CommandMacros m;
};

TEST_F(CommandExpandTest, VariablesAndMacros) {
    EXPECT_EQ(ExpandCommand("ping @A > %TW_TEMP_DIR%/ping.txt", m),
              "ping host1 > /var/tmp/tw/ping.txt");
    EXPECT_EQ(ExpandCommand("@a@d@o@p@s@t@v@w", m),
              "host106/12/99ok700unavailable14:05:33VorlanMail");
    EXPECT_EQ(ExpandCommand("@A @D @O @P @S @T @V @W", m),
              "host1 06/12/99 ok 700 unavailable 14:05:33 Vorlan Mail");
    m.state = kStateAvailable | kStateAlerted;
    EXPECT_EQ(ExpandCommand("@O", m), "ko");
    // Names ignore case when no exact match is set.
    EXPECT_EQ(ExpandCommand("%tw_temp_dir%", m), "/var/tmp/tw");
}

TEST_F(CommandExpandTest, SignsThatAreNotVariablesOrMacrosStay) {
    EXPECT_EQ(ExpandCommand("x %TW_NOT_SET% y", m), "x %TW_NOT_SET% y");
    EXPECT_EQ(ExpandCommand("50% done", m), "50% done");
    // The second sign of a pair is looked at again, so a pair before text
    // without a closing sign stays a pair.
    EXPECT_EQ(ExpandCommand("100%%", m), "100%%");
    EXPECT_EQ(ExpandCommand("%%TW_TEMP_DIR%", m), "%/var/tmp/tw");
    EXPECT_EQ(ExpandCommand("a@@b @x @", m), "a@b @x @");
    EXPECT_EQ(ExpandCommand("", m), "");
    EXPECT_EQ(ExpandCommand(nullptr, m), "");
}

TEST_F(CommandExpandTest, StatusIsCutTo39Characters) {
    m.statusCell = std::string(39, 's') + "TAIL";
    EXPECT_EQ(ExpandCommand("@S", m), std::string(39, 's'));
}

TEST_F(CommandExpandTest, ResultIsCutAt255CharactersAndStaysClosed) {
    const std::string longText(300, 'a');
    std::string out = ExpandCommand(longText.c_str(), m);
    EXPECT_EQ(out, std::string(255, 'a'));

    char buffer[kTextSize];
    std::memset(buffer, 'X', sizeof buffer);
    ExpandCommand(longText.c_str(), buffer, m);
    EXPECT_EQ(std::strlen(buffer), 255u);
    ExpandCommand(longText.c_str(), nullptr, m);  // nothing to write into

    // A quoted value that does not fit is cut inside its quotes and closed.
    m.description = std::string(100, 'w') + ";x";
    const std::string head(200, 'h');
    out = ExpandCommand((head + " @W tail").c_str(), m);
    EXPECT_EQ(out.size(), 255u);
    EXPECT_EQ(out, head + " '" + std::string(52, 'w') + "'");
}

TEST_F(CommandExpandTest, ValuesAreQuotedForWhereTheyLand) {
    m.statusCell = "x;touch /tmp/owned;12:34";
    EXPECT_EQ(ExpandCommand("echo @S", m), "echo 'x;touch /tmp/owned;12:34'");
    EXPECT_EQ(ExpandCommand("echo \"@S\"", m), "echo \"x;touch /tmp/owned;12:34\"");
    EXPECT_EQ(ExpandCommand("echo '@S'", m), "echo 'x;touch /tmp/owned;12:34'");
    m.statusCell = "a'b\"c$d`e\\f";
    EXPECT_EQ(ExpandCommand("echo @S", m), "echo 'a'\\''b\"c$d`e\\f'");
    EXPECT_EQ(ExpandCommand("echo \"@S\"", m), "echo \"a'b\\\"c\\$d\\`e\\\\f\"");
    EXPECT_EQ(ExpandCommand("echo '@S'", m), "echo 'a'\\''b\"c$d`e\\f'");
    // Plain values are left as they are.
    EXPECT_EQ(ExpandCommand("ping -c 1 @A", m), "ping -c 1 host1");
}

TEST_F(CommandExpandTest, MacrosWhereTheShellsReadingIsInDoubtRefuseTheCommand) {
    fakes::TempDir dir;
    const std::string owned = dir / "owned";
    struct Case {
        std::string command;
        std::string description;  // what would run, were the value only quoted
    };
    const Case cases[] = {
        // Quotes mean nothing inside a here-document body, $( ) does.
        {"cat <<E\n@W\nE", "$(touch " + owned + ")"},
        // The backslash takes the opening quote of the value.
        {"echo \\@W", "x;touch " + owned + ";#"},
        // The value after a $ becomes an expansion of its own.
        {"echo \"$@W\"", "(touch " + owned + ")"},
        {"cat <<@W", "E"},
        {"echo $((@W))", "1"},
        {"echo \"$(( 2 * @W ))\"", "1"},
        {"((n = @W))", "1"},
        {"echo $[@W]", "1"},
        {"echo \"${x:-@W}\"", "y"},
        {"ls ~@W", "root"},
    };
    for (const Case& c : cases) {
        m.description = c.description;
        bool refused = false;
        const std::string line = ExpandCommand(c.command.c_str(), m, &refused);
        EXPECT_TRUE(refused) << c.command;
        EXPECT_EQ(line, "") << c.command;
        EXPECT_EQ(RunCommand(line.c_str(), 1), kRunNotRun) << c.command;
        EXPECT_FALSE(std::filesystem::exists(owned)) << c.command;
    }
    // Contexts the quoting is sure of are expanded as before.
    m.description = "a b";
    for (const char* command :
         {"cat <<E >@W", "echo \\\\@W", "echo '$@W'", "echo $$ @W", "echo ~/@W",
          "echo \"$(echo @W)\"", "echo $(( 1 )) @W", "echo ${x} @W"}) {
        bool refused = true;
        EXPECT_NE(ExpandCommand(command, m, &refused).find("a b"), std::string::npos) << command;
        EXPECT_FALSE(refused) << command;
    }
    // A refusal names the entry on standard error.
    m.description = "Mail";
    ::testing::internal::CaptureStderr();
    ReportRefusedCommand("echo \\@W", m);
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("\"Mail\" (host1)"), std::string::npos) << err;
}

}  // namespace
}  // namespace tarnwatch
