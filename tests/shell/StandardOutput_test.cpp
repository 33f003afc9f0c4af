// Standard output whose reader went away: the monitor lives on and says so
// once.
#include "shell/StandardOutput.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>

namespace tarnwatch {
namespace {

TEST(StandardOutputTest, AReaderThatWentAwayIsToldOnceAndTheWritesGoOn) {
    IgnoreBrokenPipes();
    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    std::fflush(stdout);
    const int saved = dup(STDOUT_FILENO);
    ASSERT_EQ(dup2(pipeFds[1], STDOUT_FILENO), STDOUT_FILENO);
    close(pipeFds[1]);

    StandardOutput out;
    const bool firstWritten = out.Write("line\n");
    char got[8] = "";
    const ssize_t n = read(pipeFds[0], got, sizeof got);
    close(pipeFds[0]);
    ::testing::internal::CaptureStderr();
    out.WriteOrTellOnce("a\n");
    out.WriteOrTellOnce("b\n");
    const std::string err = ::testing::internal::GetCapturedStderr();
    const bool laterWritten = out.Write("c\n");
    dup2(saved, STDOUT_FILENO);
    close(saved);

    EXPECT_TRUE(firstWritten);
    EXPECT_EQ(std::string(got, n > 0 ? static_cast<std::size_t>(n) : 0), "line\n");
    EXPECT_EQ(err,
              "Tarnwatch: Standard output cannot be written (Broken pipe): the lines of the "
              "tests are lost; monitoring goes on.\n");
    EXPECT_FALSE(laterWritten);
    EXPECT_EQ(out.error(), "Broken pipe");
}

}  // namespace
}  // namespace tarnwatch
