// Reading running processes from /proc for the process-list probes: the walk
// over process directories, the name rule, and the per-process figures.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>

namespace qg_probes {

// Walks the process directories of /proc (one per thread group).
class ProcessWalker {
public:
    ProcessWalker();
    ~ProcessWalker();
    ProcessWalker(const ProcessWalker&) = delete;
    ProcessWalker& operator=(const ProcessWalker&) = delete;

    bool ok() const { return dir_ != nullptr; }
    // Descriptor of /proc for the *at() reads below.
    int procFd() const { return procFd_; }
    // Next process id; false at the end.
    bool Next(pid_t* pid);

private:
    void* dir_;  // DIR*
    int procFd_;
};

struct ProcessTimes {
    std::int64_t user100ns = 0;
    std::int64_t system100ns = 0;
};

struct ProcessMemory {
    std::uint64_t residentBytes = 0;
    std::uint64_t privateBytes = 0;
};

// The process's kernel name and processor times from /proc/PID/stat; false
// when the process is gone. comm gets at most commSize - 1 bytes and a NUL.
bool ReadProcessStat(int procFd, pid_t pid, char* comm, std::size_t commSize, ProcessTimes* times);

// The file name of the process's executable, else of the first word of its
// command line; false when neither gives a name.
bool ReadImageName(int procFd, pid_t pid, char* name, std::size_t size);

// The full name rule: image name, else the kernel name; false when the
// process is gone.
bool ReadProcessName(int procFd, pid_t pid, char* name, std::size_t size);

// Resident and private committed bytes; zeros when unreadable.
ProcessMemory ReadProcessMemory(int procFd, pid_t pid);

// Open file descriptors; 0 when unreadable.
std::uint32_t CountOpenDescriptors(int procFd, pid_t pid);

// Whole-name, case-insensitive comparison shared by the counting functions.
bool SameProcessName(const char* listed, const char* wanted);

// Copies at most size - 1 bytes of src (len bytes) and a NUL into dst.
void CopyBounded(char* dst, std::size_t size, const char* src, std::size_t len);

}  // namespace qg_probes
