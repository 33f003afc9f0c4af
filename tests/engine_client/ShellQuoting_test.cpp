// Word splitting without a shell, and the quoting contexts the macro
// expansion relies on.
#include "engine/ShellQuoting.h"

#include <gtest/gtest.h>

namespace tarnwatch {
namespace {

using Words = std::vector<std::string>;

TEST(SplitCommandWords, FollowsTheShellsQuotingWithoutExpanding) {
    struct Case {
        const char* line;
        Words words;
    };
    const Case cases[] = {
        {"  prog  a\tb ", {"prog", "a", "b"}},
        {"'/opt/my tools/run' x", {"/opt/my tools/run", "x"}},
        {"a'b c'\"d e\"f", {"ab cd ef"}},
        {"say \"a\\\"b\\\\c\\d\"", {"say", "a\"b\\c\\d"}},
        {"say a\\ b\\;", {"say", "a b;"}},
        {"say '' x", {"say", "", "x"}},
        {"say 'x;y|z$(w)`v`'", {"say", "x;y|z$(w)`v`"}},
        {"say a#b c~d x=y", {"say", "a#b", "c~d", "x=y"}},
    };
    for (const Case& c : cases) {
        Words words;
        EXPECT_EQ(SplitCommandWords(c.line, words), SplitResult::kWords) << c.line;
        EXPECT_EQ(words, c.words) << c.line;
    }
}

TEST(SplitCommandWords, LeavesShellSyntaxToTheShell) {
    for (const char* line :
         {"a | b",      "a && b",    "a; b",           "a > f",         "a < f",    "(a)",
          "echo $HOME", "echo `id`", "echo \"$HOME\"", "echo \"`id`\"", "ls *.txt", "ls ?",
          "ls [ab]",    "cd ~",      "a # note",       "X=1 prog",      "if true",  "! prog",
          "a\nb",       "'open",     "\"open",         "trailing\\"}) {
        Words words;
        EXPECT_EQ(SplitCommandWords(line, words), SplitResult::kNeedsShell) << line;
    }
    Words words;
    EXPECT_EQ(SplitCommandWords(" \t ", words), SplitResult::kEmpty);
    EXPECT_EQ(SplitCommandWords("", words), SplitResult::kEmpty);
}

TEST(ShellContextTracker, KnowsWhereTheNextCharacterLands) {
    struct Case {
        const char* text;
        ShellContext context;
        bool backquotes;
    };
    const Case cases[] = {
        {"echo ", ShellContext::kPlain, false},
        {"echo '", ShellContext::kSingle, false},
        {"echo 'a' ", ShellContext::kPlain, false},
        {"echo \"", ShellContext::kDouble, false},
        {"echo \"\\\"", ShellContext::kDouble, false},
        {"echo \"$(", ShellContext::kPlain, false},
        {"echo \"$(a \"", ShellContext::kDouble, false},
        {"echo \"$( (x) ) ", ShellContext::kDouble, false},
        {"echo `", ShellContext::kPlain, true},
        {"echo `a` ", ShellContext::kPlain, false},
        {"echo \"`'", ShellContext::kSingle, true},
        {"echo # ", ShellContext::kComment, false},
        {"echo a#", ShellContext::kPlain, false},
        {"echo \\'", ShellContext::kPlain, false},
        {"echo # x\n", ShellContext::kPlain, false},
    };
    for (const Case& c : cases) {
        ShellContextTracker t;
        t.Feed(c.text);
        EXPECT_EQ(t.Context(), c.context) << c.text;
        EXPECT_EQ(t.InBackquotes(), c.backquotes) << c.text;
    }
}

}  // namespace
}  // namespace tarnwatch
