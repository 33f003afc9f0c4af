// Values that land in the code of a second interpreter: refused when they
// hold shell syntax, let through when harmless, and every context that the
// outer shell's quoting protects expanded as before.
#include "engine/NestedScript.h"

#include <gtest/gtest.h>

#include <string>

#include "engine/CommandExpand.h"

namespace tarnwatch {
namespace {

class NestedScriptTest : public ::testing::Test {
protected:
    void SetUp() override {
        m.address = "host1";
        m.description = "Mail";
        m.statusCell = "x'\"$(id)`id`;id";
    }
    bool Refused(const std::string& command) {
        bool refused = false;
        const std::string line = ExpandCommand(command.c_str(), m, &refused);
        EXPECT_EQ(refused, line.empty()) << command;
        return refused;
    }
    CommandMacros m;
};

TEST_F(NestedScriptTest, HostileValuesInTheCodeOfANestedInterpreterAreRefused) {
    for (const char* command : {
             "sh -c \"notify-send 'Tarnwatch' '@S'\"",
             "bash -c \"echo @S >> ~/down.log\"",
             "eval @S",
             "eval \"echo @S\"",
             "su -c \"logger @S\" root",
             "su root -c 'logger @S'",
             "su --command='logger @S'",
             "runuser -u x -c 'logger @S'",
             "ssh host \"logger @S\"",
             "ssh -p 22 -l me host logger @S",
             "/bin/sh -c 'echo @S'",
             "/usr/bin/env bash -lc 'echo @S'",
             "env A=1 B=2 dash -ec 'echo @S'",
             "sh -x -c -- 'echo @S'",
             "bash -o pipefail -c 'echo @S'",
             "zsh --command='echo @S'",
             "echo x | xargs -0 sh -c 'echo @S'",
             "find /tmp -maxdepth 0 -exec sh -c 'echo @S' \\;",
             "sudo -u root nice -n 5 timeout 10 sh -c 'echo @S'",
             "exec sh -c \"echo @S\"",
             "command eval echo @S",
             "true && sh -c 'echo @S'",
             "echo $(sh -c 'echo @S')",
             "echo `sh -c 'echo @S'`",
             "sh -c \"echo $(echo @S)\"",
             "2>/dev/null sh -c 'echo @S'",
             "FOO=bar sh -c 'echo @S'",
             "if sh -c 'test @S'; then :; fi",
             "echo @S | sh",
             "echo @S | bash -s",
             "printf %s @S | nice sh",
             "echo @S | xargs -I{} sh -c 'echo {}'",
             "echo @S | at now",
             "python3 -c \"print('@S')\"",
             "perl -le 'print \"@S\"'",
             "perl -e'print \"@S\"'",
             "node --eval='@S'",
             "awk 'BEGIN { print \"@S\" }'",
             "watch -n 5 'echo @S'",
             "ssh -o 'ProxyCommand=@S' host true",
         }) {
        EXPECT_TRUE(Refused(command)) << command;
    }
}

TEST_F(NestedScriptTest, HarmlessValuesAndProtectedContextsRunAsBefore) {
    // Letters, digits, blanks and . - _ : / @ mean nothing to any shell.
    m.statusCell = "12:34 up-1.0_a/b@c";
    EXPECT_EQ(ExpandCommand("sh -c \"notify-send 'Tarnwatch' '@S'\"", m),
              "sh -c \"notify-send 'Tarnwatch' '12:34 up-1.0_a/b@c'\"");
    EXPECT_EQ(ExpandCommand("eval echo @S", m), "eval echo '12:34 up-1.0_a/b@c'");
    EXPECT_EQ(ExpandCommand("ssh host logger @S", m), "ssh host logger '12:34 up-1.0_a/b@c'");
    // One character outside that set is enough to refuse.
    for (const char* value : {"a,b", "a=b", "a+b", "a%b", "a\tb~", "a\nb", "a#b", "\xc3\xa9"}) {
        m.statusCell = value;
        EXPECT_TRUE(Refused("sh -c 'logger @S'")) << value;
    }

    // Hostile values where the outer shell's quoting protects them: the
    // command runs with the value as plain text, exactly as before.
    m.statusCell = "x'\"$(id)`id`;id";
    const std::string q = "'x'\\''\"$(id)`id`;id'";
    EXPECT_EQ(ExpandCommand("notify-send Tarnwatch @S", m), "notify-send Tarnwatch " + q);
    EXPECT_EQ(ExpandCommand("sh -c 'logger \"$1\"' sh @S", m), "sh -c 'logger \"$1\"' sh " + q);
    EXPECT_EQ(ExpandCommand("sh script.sh @S", m), "sh script.sh " + q);
    EXPECT_EQ(ExpandCommand("sh -c 'true' && echo @S", m), "sh -c 'true' && echo " + q);
    EXPECT_EQ(ExpandCommand("sh -c 'true'; echo @S", m), "sh -c 'true'; echo " + q);
    EXPECT_EQ(ExpandCommand("ssh @A uptime > @S", m), "ssh host1 uptime > " + q);
    EXPECT_EQ(ExpandCommand("echo @S | cat", m), "echo " + q + " | cat");
    EXPECT_EQ(ExpandCommand("echo @S | sh -c 'cat > f'", m), "echo " + q + " | sh -c 'cat > f'");
    EXPECT_EQ(ExpandCommand("echo @S || sh", m), "echo " + q + " || sh");
    EXPECT_EQ(ExpandCommand("awk -f prog.awk @S", m), "awk -f prog.awk " + q);
    EXPECT_EQ(ExpandCommand("python3 -c 'pass' @S", m), "python3 -c 'pass' " + q);
    EXPECT_EQ(ExpandCommand("echo sh -c @S", m), "echo sh -c " + q);
    EXPECT_EQ(ExpandCommand("logger eval @S", m), "logger eval " + q);
    EXPECT_EQ(ExpandCommand("sh -c 'true' # @S", m), "sh -c 'true' # x'\"$(id)`id`;id");
}

TEST(HarmlessInAnyScript, OnlyTheQuietCharacters) {
    EXPECT_TRUE(HarmlessInAnyScript(""));
    EXPECT_TRUE(HarmlessInAnyScript("azAZ09 \t.-_:/@"));
    for (char c : std::string("!\"#$%&'()*+,;<=>?[\\]^`{|}~\n\r")) {
        EXPECT_FALSE(HarmlessInAnyScript(std::string("a") + c)) << c;
    }
    EXPECT_FALSE(HarmlessInAnyScript(std::string("a\0b", 3)));
}

TEST(AnyInNestedScript, OffsetsOutsideTheScriptWordAreNotFlagged) {
    const std::string line = "sh -c 'echo X' arg0 X";
    // The first X is inside the script; the second is a positional argument.
    EXPECT_TRUE(AnyInNestedScript(line, {line.find('X')}));
    EXPECT_FALSE(AnyInNestedScript(line, {line.rfind('X')}));
    EXPECT_FALSE(AnyInNestedScript(line, {}));
    // A value naming the redirection's file is no code.
    const std::string redirect = "sh -c 'true' > X";
    EXPECT_FALSE(AnyInNestedScript(redirect, {redirect.find('X')}));
}

}  // namespace
}  // namespace tarnwatch
