// One monitor per user, and never two on one list: the program counts its
// own user's live copies and holds a lock on its list directory while it runs.
#pragma once

#include <string>

namespace tarnwatch {

// The file name of the running program (of /proc/self/exe); "" if unknown.
std::string OwnProgramName();

// How many live processes of the current user (by real user id; zombies do
// not count) run a program whose file name is exactly `name`: the name of
// /proc/PID/exe, or the kernel's name of the process where that cannot be
// read. What a process calls itself (its argv[0]) is never looked at.
int CountOwnProcesses(const std::string& name);

// An exclusive lock on the lock file in the list directory, held from a
// successful Acquire until the object ends. The lock belongs to the open
// file, which programs started by the monitor never inherit, so it ends with
// the process however the process ends.
class ListDirectoryLock {
public:
    enum class Result {
        kHeld,         // the lock is ours
        kTaken,        // another process holds it
        kUnavailable,  // no lock file could be made (the directory cannot be written)
    };
    ListDirectoryLock() = default;
    ~ListDirectoryLock();
    ListDirectoryLock(const ListDirectoryLock&) = delete;
    ListDirectoryLock& operator=(const ListDirectoryLock&) = delete;

    // Creates the directory and the lock file where needed.
    Result Acquire(const std::string& directory);

private:
    int fd_ = -1;
};

}  // namespace tarnwatch
