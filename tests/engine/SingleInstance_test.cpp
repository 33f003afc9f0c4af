// The user's running copies of a program, counted by its whole file name.
#include "engine/SingleInstance.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "fakes/TempDir.h"

extern char** environ;

namespace tarnwatch {
namespace {

pid_t Spawn(const std::string& path) {
    pid_t pid = -1;
    char arg[] = "300";
    char* argv[] = {arg, arg, nullptr};
    return posix_spawn(&pid, path.c_str(), nullptr, nullptr, argv, environ) == 0 ? pid : -1;
}

// A program whose name is the counted name and one more character is another
// program, and so is one with a character less.
TEST(OwnProcesses, OnlyTheWholeNameCounts) {
    fakes::TempDir dir;
    const std::string name = "twOwn" + std::to_string(getpid());
    std::filesystem::copy_file("/bin/sleep", dir / name);
    std::filesystem::copy_file("/bin/sleep", dir / (name + "x"));
    const pid_t exact = Spawn(dir / name);
    const pid_t longer = Spawn(dir / (name + "x"));
    ASSERT_GT(exact, 0);
    ASSERT_GT(longer, 0);
    EXPECT_EQ(CountOwnProcesses(name), 1);
    EXPECT_EQ(CountOwnProcesses(name + "x"), 1);
    EXPECT_EQ(CountOwnProcesses(name.substr(0, name.size() - 1)), 0);
    for (pid_t pid : {exact, longer}) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
}

}  // namespace
}  // namespace tarnwatch
