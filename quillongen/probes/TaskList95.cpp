// The short process list (GetTaskList95, FreeTaskList95, CheckTaskList95) on
// /proc, with its library-wide sequence number in place of a processor time.
#include <atomic>
#include <cstddef>

#include "ProcScan.h"
#include "TaskListArray.h"
#include "quillongen/probes.h"

using namespace qg_probes;

static_assert(offsetof(TaskListEntry95, processId) == 0);
static_assert(offsetof(TaskListEntry95, processorTime) == 8);
static_assert(offsetof(TaskListEntry95, placeholder1) == 16);
static_assert(offsetof(TaskListEntry95, placeholder2) == 20);
static_assert(offsetof(TaskListEntry95, processName) == 24);
static_assert(sizeof(TaskListEntry95) == 288);

namespace {

constexpr std::int64_t kSequenceUnit = 10000000;
constexpr std::uint32_t kPlaceholder1 = 2000;
constexpr std::uint32_t kPlaceholder2 = 4000;

// Starts at 1 when the library is loaded; never reset.
std::atomic<std::int64_t> g_sequence{1};

}  // namespace

TaskListEntry95* GetTaskList95(uint32_t* count) {
    if (count == nullptr) return nullptr;
    *count = 0;
    ProcessWalker walker;
    if (!walker.ok()) return nullptr;
    TaskArray<TaskListEntry95> list;
    pid_t pid = 0;
    while (walker.Next(&pid)) {
        TaskListEntry95* e = list.Append();
        if (e == nullptr) return nullptr;
        if (!ReadProcessName(walker.procFd(), pid, e->processName, sizeof e->processName)) {
            list.DropLast();
            continue;
        }
        e->processId = static_cast<std::uint32_t>(pid);
        e->processorTime = g_sequence.fetch_add(1) * kSequenceUnit;
        e->placeholder1 = kPlaceholder1;
        e->placeholder2 = kPlaceholder2;
    }
    return list.Release(count);
}

void FreeTaskList95(TaskListEntry95* list) {
    ReleaseTaskArray(list);
}

int CheckTaskList95(const char* processName) {
    // Both families name a process the same way here, so they count alike.
    return CheckTaskList(processName);
}
