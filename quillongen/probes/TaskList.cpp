// The full process list (GetTaskList, FreeTaskList, CheckTaskList) on /proc.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "ProcScan.h"
#include "TaskListArray.h"
#include "quillongen/probes.h"

using namespace qg_probes;

static_assert(offsetof(TaskListEntry, processId) == 0);
static_assert(offsetof(TaskListEntry, processorTime) == 8);
static_assert(offsetof(TaskListEntry, userTime) == 16);
static_assert(offsetof(TaskListEntry, privilegedTime) == 24);
static_assert(offsetof(TaskListEntry, workingSet) == 32);
static_assert(offsetof(TaskListEntry, pageFileBytes) == 36);
static_assert(offsetof(TaskListEntry, handleCount) == 40);
static_assert(offsetof(TaskListEntry, processName) == 44);
static_assert(sizeof(TaskListEntry) == 304);

namespace {

std::uint32_t Saturate32(std::uint64_t v) {
    return v > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<std::uint32_t>(v);
}

std::int64_t SaturatingSum(std::int64_t a, std::int64_t b) {
    return a > INT64_MAX - b ? INT64_MAX : a + b;
}

// Fills one record; false when the process has ended.
bool FillEntry(int procFd, pid_t pid, TaskListEntry* e) {
    char comm[QG_TASK_NAME_SIZE];
    ProcessTimes times;
    if (!ReadProcessStat(procFd, pid, comm, sizeof comm, &times)) return false;
    if (!ReadImageName(procFd, pid, e->processName, sizeof e->processName)) {
        CopyBounded(e->processName, sizeof e->processName, comm, std::strlen(comm));
    }
    e->processId = static_cast<std::uint32_t>(pid);
    e->userTime = times.user100ns;
    e->privilegedTime = times.system100ns;
    e->processorTime = SaturatingSum(times.user100ns, times.system100ns);
    const ProcessMemory mem = ReadProcessMemory(procFd, pid);
    e->workingSet = Saturate32(mem.residentBytes);
    e->pageFileBytes = Saturate32(mem.privateBytes);
    e->handleCount = CountOpenDescriptors(procFd, pid);
    return true;
}

}  // namespace

TaskListEntry* GetTaskList(uint32_t* count) {
    if (count == nullptr) return nullptr;
    *count = 0;
    ProcessWalker walker;
    if (!walker.ok()) return nullptr;
    TaskArray<TaskListEntry> list;
    pid_t pid = 0;
    while (walker.Next(&pid)) {
        TaskListEntry* e = list.Append();
        if (e == nullptr) return nullptr;
        if (!FillEntry(walker.procFd(), pid, e)) list.DropLast();
    }
    return list.Release(count);
}

void FreeTaskList(TaskListEntry* list) {
    ReleaseTaskArray(list);
}

int CheckTaskList(const char* processName) {
    if (processName == nullptr) return 0;
    // Counting needs only the names; the figures of the full list would cost
    // four more reads per process.
    ProcessWalker walker;
    if (!walker.ok()) return 0;
    int found = 0;
    pid_t pid = 0;
    char name[QG_TASK_NAME_SIZE];
    while (walker.Next(&pid)) {
        if (ReadProcessName(walker.procFd(), pid, name, sizeof name) &&
            SameProcessName(name, processName)) {
            ++found;
        }
    }
    return found;
}
