// Probe speed side by side with the system tools a monitor would otherwise
// spawn: CheckTaskList against pgrep -xc, PingICMP against ping -c1.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "quillongen/probes.h"

extern char** environ;

namespace {

// Runs a program with its output discarded; true when it exited.
bool RunQuietly(const std::vector<const char*>& args) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<char*> argv;
    for (const char* a : args) argv.push_back(const_cast<char*>(a));
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return false;
    int status = 0;
    return waitpid(pid, &status, 0) == pid && WIFEXITED(status);
}

const char* kName = "sleep";

// Extra sleeping processes, so that a run can stand for a busy machine.
class Crowd {
public:
    explicit Crowd(int64_t n) {
        for (int64_t i = 0; i < n; ++i) {
            char* argv[] = {const_cast<char*>("sleep"), const_cast<char*>("600"), nullptr};
            pid_t pid = -1;
            if (posix_spawnp(&pid, "sleep", nullptr, nullptr, argv, environ) == 0) {
                pids_.push_back(pid);
            }
        }
    }
    ~Crowd() {
        for (pid_t pid : pids_) kill(pid, SIGKILL);
        for (pid_t pid : pids_) waitpid(pid, nullptr, 0);
    }

private:
    std::vector<pid_t> pids_;
};

void BM_CheckTaskList(benchmark::State& state) {
    Crowd crowd(state.range(0));
    for (auto _ : state) benchmark::DoNotOptimize(CheckTaskList(kName));
    state.counters["processes"] = static_cast<double>(GetCounterValue("System", "Processes"));
}
BENCHMARK(BM_CheckTaskList)->Arg(0)->Arg(300)->Unit(benchmark::kMicrosecond);

void BM_PgrepExactCount(benchmark::State& state) {
    Crowd crowd(state.range(0));
    for (auto _ : state) {
        if (!RunQuietly({"pgrep", "-xc", kName})) state.SkipWithError("pgrep did not run");
    }
}
BENCHMARK(BM_PgrepExactCount)->Arg(0)->Arg(300)->Unit(benchmark::kMicrosecond);

void BM_GetTaskList(benchmark::State& state) {
    Crowd crowd(state.range(0));
    for (auto _ : state) {
        uint32_t count = 0;
        TaskListEntry* list = GetTaskList(&count);
        benchmark::DoNotOptimize(list);
        FreeTaskList(list);
    }
}
BENCHMARK(BM_GetTaskList)->Arg(0)->Arg(300)->Unit(benchmark::kMicrosecond);

void BM_PingIcmpLoopback(benchmark::State& state) {
    for (auto _ : state) {
        if (PingICMP("127.0.0.1", 1) != 1) state.SkipWithError("no echo reply");
    }
}
BENCHMARK(BM_PingIcmpLoopback)->Unit(benchmark::kMicrosecond);

void BM_PingRawLoopback(benchmark::State& state) {
    for (auto _ : state) {
        if (Ping("127.0.0.1", 1) != 1) state.SkipWithError("no echo reply");
    }
}
BENCHMARK(BM_PingRawLoopback)->Unit(benchmark::kMicrosecond);

void BM_SpawnSystemPing(benchmark::State& state) {
    for (auto _ : state) {
        if (!RunQuietly({"ping", "-c1", "-W1", "127.0.0.1"}))
            state.SkipWithError("ping did not run");
    }
}
BENCHMARK(BM_SpawnSystemPing)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
