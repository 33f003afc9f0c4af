// One monitor per user, and never two on one list: the program counts its
// own user's live copies and holds a lock on its list directory while it runs.
#pragma once

#include <string>
#include <vector>

namespace tarnwatch {

// The file name of the running program (of /proc/self/exe); "" if unknown.
std::string OwnProgramName();

// How many live processes of the current user (by real user id; zombies do
// not count) run a program whose file name is exactly `name`: the name of
// /proc/PID/exe, or the kernel's name of the process where that cannot be
// read. What a process calls itself (its argv[0]) is never looked at.
int CountOwnProcesses(const std::string& name);

// Like CountOwnProcesses, but another process counts only while it holds a
// file lock (as a running monitor holds its list lock): a copy that is
// still starting, or about to refuse, holds none. This process always counts.
int CountClaimedCopies(const std::string& name);

// The ids of the processes that hold a flock now (waiters excluded), from
// the kernel's table of locks in `locksFile`.
std::vector<int> LockHolders(const std::string& locksFile = "/proc/locks");

// Start-ups of the user's copies take their turn: while one holds the turn
// it locks its list and counts the copies, so two copies started at the same
// instant never both see each other half-started. The turn is an exclusive
// lock on a file of the user's (`directory`/Tarnwatch.start), waited for at
// most a few seconds; without one the start goes on untimed.
class StartTurn {
public:
    explicit StartTurn(const std::string& directory);
    ~StartTurn();
    StartTurn(const StartTurn&) = delete;
    StartTurn& operator=(const StartTurn&) = delete;
    bool Held() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

// An exclusive lock on the lock file in the list directory, held from a
// successful Acquire until the object ends. The lock belongs to the open
// file, which programs started by the monitor never inherit, so it ends with
// the process however the process ends.
class ListDirectoryLock {
public:
    enum class Result {
        kHeld,    // the lock is ours
        kTaken,   // another process holds it
        kFailed,  // no lock can be taken (see reason())
    };
    ListDirectoryLock() = default;
    ~ListDirectoryLock();
    ListDirectoryLock(const ListDirectoryLock&) = delete;
    ListDirectoryLock& operator=(const ListDirectoryLock&) = delete;

    // Creates the directory and the lock file where needed. A symbolic link,
    // a directory, a FIFO or any other thing than a regular file in the lock
    // file's place is never opened through, waited on or replaced: it fails.
    Result Acquire(const std::string& directory);
    // The lock file's path and, after kFailed, why it could not be locked.
    const std::string& path() const { return path_; }
    const std::string& reason() const { return reason_; }

private:
    int fd_ = -1;
    std::string path_;
    std::string reason_;
};

}  // namespace tarnwatch
