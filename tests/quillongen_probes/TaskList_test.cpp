// Process lists against processes the test starts itself, checked with pgrep.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "quillongen/probes.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

int Pgrep(const std::string& options, const std::string& name) {
    const std::string cmd = "pgrep " + options + " '" + name + "'";
    FILE* p = popen(cmd.c_str(), "r");
    if (p == nullptr) return -1;
    int n = -1;
    if (std::fscanf(p, "%d", &n) != 1) n = -1;
    pclose(p);
    return n;
}

pid_t Spawn(const std::string& path, const char* arg) {
    pid_t pid = -1;
    const std::string argv0 = fs::path(path).filename();
    char* argv[] = {const_cast<char*>(argv0.c_str()), const_cast<char*>(arg), nullptr};
    if (posix_spawn(&pid, path.c_str(), nullptr, nullptr, argv, environ) != 0) return -1;
    return pid;
}

void Reap(pid_t pid) {
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

std::string Upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// Two running copies of sleep under a name no other process has. The name
// stays below 16 characters so that pgrep, which matches the kernel's short
// name, sees the same name as the probes.
class RunningCopies : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/qgtasksXXXXXX";
        ASSERT_NE(nullptr, mkdtemp(tmpl));
        dir_ = tmpl;
        name_ = "qgSlp" + std::to_string(getpid());
        path_ = dir_ + "/" + name_;
        fs::copy_file("/bin/sleep", path_);
        for (int i = 0; i < 2; ++i) {
            const pid_t pid = Spawn(path_, "300");
            ASSERT_GT(pid, 0);
            pids_.push_back(pid);
        }
    }
    void TearDown() override {
        for (pid_t pid : pids_) Reap(pid);
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }

    std::string dir_, name_, path_;
    std::vector<pid_t> pids_;
};

TEST_F(RunningCopies, CountAgreesWithPgrep) {
    EXPECT_EQ(2, CheckTaskList(name_.c_str()));
    EXPECT_EQ(Pgrep("-xc", name_), CheckTaskList(name_.c_str()));
    EXPECT_EQ(2, CheckTaskList95(name_.c_str()));

    Reap(pids_.back());
    pids_.pop_back();
    EXPECT_EQ(1, CheckTaskList(name_.c_str()));
    EXPECT_EQ(Pgrep("-xc", name_), CheckTaskList(name_.c_str()));
}

TEST_F(RunningCopies, LetterCaseIsIgnored) {
    for (const std::string& variant : {Upper(name_), Lower(name_)}) {
        EXPECT_EQ(2, CheckTaskList(variant.c_str())) << variant;
        EXPECT_EQ(2, CheckTaskList95(variant.c_str())) << variant;
        EXPECT_EQ(Pgrep("-ixc", variant), CheckTaskList(variant.c_str())) << variant;
    }
}

TEST_F(RunningCopies, NoTrimmingNoExtensionNoPrefix) {
    // A process whose name only begins with the wanted one is another program.
    const std::string longer = path_ + "x";
    fs::copy_file("/bin/sleep", longer);
    const pid_t pid = Spawn(longer, "300");
    ASSERT_GT(pid, 0);
    pids_.push_back(pid);
    EXPECT_EQ(2, CheckTaskList(name_.c_str()));
    EXPECT_EQ(2, CheckTaskList95(name_.c_str()));
    EXPECT_EQ(1, CheckTaskList((name_ + "x").c_str()));
    for (const std::string& variant : {name_ + " ", " " + name_, name_ + ".exe",
                                       name_.substr(0, name_.size() - 1), path_, std::string()}) {
        EXPECT_EQ(0, CheckTaskList(variant.c_str())) << "[" << variant << "]";
        EXPECT_EQ(0, CheckTaskList95(variant.c_str())) << "[" << variant << "]";
    }
    EXPECT_EQ(0, Pgrep("-xc", name_ + ".exe"));
}

TEST_F(RunningCopies, ExecutableRemovedWhileRunningKeepsItsName) {
    fs::remove(path_);
    EXPECT_EQ(2, CheckTaskList(name_.c_str()));
    EXPECT_EQ(Pgrep("-xc", name_), CheckTaskList(name_.c_str()));
}

TEST_F(RunningCopies, ProgramFileTarnwatchCountsForTheMonitorsName) {
    const std::string monitor = dir_ + "/tarnwatch";
    fs::copy_file("/bin/sleep", monitor);
    const pid_t pid = Spawn(monitor, "300");
    ASSERT_GT(pid, 0);
    pids_.push_back(pid);
    // Other copies may run on this machine; ours is at least one.
    EXPECT_GE(CheckTaskList("Tarnwatch"), 1);
    EXPECT_GE(CheckTaskList95("Tarnwatch"), 1);
    EXPECT_EQ(0, CheckTaskList("Tarnwatch.exe"));
}

TEST_F(RunningCopies, FullListCarriesTheProcessesAndTheirFigures) {
    // Burn some processor time so this process's figures cannot be zero.
    timespec start{}, now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &start);
    volatile std::uint64_t spin = 0;
    do {
        for (int i = 0; i < 100000; ++i) spin = spin + static_cast<std::uint64_t>(i);
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    } while ((now.tv_sec - start.tv_sec) * 1000000000L + (now.tv_nsec - start.tv_nsec) < 50000000L);

    uint32_t count = 0;
    TaskListEntry* list = GetTaskList(&count);
    ASSERT_NE(nullptr, list);
    ASSERT_GT(count, 2u);
    std::set<uint32_t> ids;
    const TaskListEntry* self = nullptr;
    int copies = 0;
    for (uint32_t i = 0; i < count; ++i) {
        const TaskListEntry& e = list[i];
        EXPECT_TRUE(ids.insert(e.processId).second) << "pid listed twice: " << e.processId;
        const std::size_t len = strnlen(e.processName, sizeof e.processName);
        EXPECT_LT(len, sizeof e.processName);
        EXPECT_GT(len, 0u) << "pid " << e.processId;
        EXPECT_EQ(e.processorTime, e.userTime + e.privilegedTime);
        if (e.processId == static_cast<uint32_t>(getpid())) self = &e;
        if (name_ == e.processName) {
            ++copies;
            EXPECT_NE(pids_.end(),
                      std::find(pids_.begin(), pids_.end(), static_cast<pid_t>(e.processId)));
        }
    }
    EXPECT_EQ(2, copies);
    ASSERT_NE(nullptr, self);
    EXPECT_EQ(fs::read_symlink("/proc/self/exe").filename().string(), self->processName);
    EXPECT_GT(self->processorTime, 0);
    EXPECT_GT(self->workingSet, 0u);
    EXPECT_GT(self->pageFileBytes, 0u);
    EXPECT_GE(self->handleCount, 3u);
    const uint32_t handlesBefore = self->handleCount;
    FreeTaskList(list);

    std::vector<int> fds;
    for (int i = 0; i < 40; ++i) fds.push_back(open("/dev/null", O_RDONLY | O_CLOEXEC));
    list = GetTaskList(&count);
    ASSERT_NE(nullptr, list);
    for (uint32_t i = 0; i < count; ++i) {
        if (list[i].processId == static_cast<uint32_t>(getpid())) {
            EXPECT_GE(list[i].handleCount, handlesBefore + 40);
        }
    }
    FreeTaskList(list);
    for (int fd : fds) close(fd);
}

TEST_F(RunningCopies, ShortListNumbersRecordsAcrossCalls) {
    uint32_t firstCount = 0;
    TaskListEntry95* first = GetTaskList95(&firstCount);
    ASSERT_NE(nullptr, first);
    uint32_t secondCount = 0;
    TaskListEntry95* second = GetTaskList95(&secondCount);
    ASSERT_NE(nullptr, second);

    std::vector<int64_t> times;
    int copies = 0;
    for (const auto& [list, count] :
         {std::pair{first, firstCount}, std::pair{second, secondCount}}) {
        for (uint32_t i = 0; i < count; ++i) {
            EXPECT_EQ(2000u, list[i].placeholder1);
            EXPECT_EQ(4000u, list[i].placeholder2);
            times.push_back(list[i].processorTime);
            if (name_ == list[i].processName) ++copies;
        }
    }
    EXPECT_EQ(4, copies);
    ASSERT_FALSE(times.empty());
    EXPECT_EQ(0, times.front() % 10000000);
    EXPECT_GE(times.front(), 10000000);
    for (std::size_t i = 1; i < times.size(); ++i) {
        EXPECT_EQ(times[i - 1] + 10000000, times[i]) << "record " << i;
    }
    FreeTaskList95(first);
    FreeTaskList95(second);
}

TEST(TaskLists, NullArgumentsAreHarmless) {
    EXPECT_EQ(nullptr, GetTaskList(nullptr));
    EXPECT_EQ(nullptr, GetTaskList95(nullptr));
    FreeTaskList(nullptr);
    FreeTaskList95(nullptr);
    EXPECT_EQ(0, CheckTaskList(nullptr));
    EXPECT_EQ(0, CheckTaskList95(nullptr));
}

TEST(TaskLists, ProcessesEndingDuringTheWalkAreSkipped) {
    std::atomic<bool> stop{false};
    std::thread churn([&] {
        while (!stop) {
            const pid_t pid = Spawn("/bin/true", nullptr);
            if (pid > 0) waitpid(pid, nullptr, 0);
        }
    });
    for (int round = 0; round < 30; ++round) {
        uint32_t count = 0;
        TaskListEntry* list = GetTaskList(&count);
        ASSERT_NE(nullptr, list);
        for (uint32_t i = 0; i < count; ++i) EXPECT_NE('\0', list[i].processName[0]);
        FreeTaskList(list);
        TaskListEntry95* list95 = GetTaskList95(&count);
        ASSERT_NE(nullptr, list95);
        FreeTaskList95(list95);
        EXPECT_GE(CheckTaskList(fs::read_symlink("/proc/self/exe").filename().c_str()), 1);
    }
    stop = true;
    churn.join();
}

}  // namespace
