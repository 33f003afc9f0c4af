// Starts the real tarnwatch program with a given environment and arguments,
// and waits for it with a limit.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace tarnwatch::fakes {

class Program {
public:
    // `env` entries ("NAME=value") are added to the test's own environment.
    // Standard error stays the test's own unless `stderrPath` names a file.
    Program(const std::vector<std::string>& args, const std::vector<std::string>& env,
            const std::string& stdoutPath = "/dev/null", const std::string& stderrPath = "") {
        std::vector<std::string> argStore{std::string(TARNWATCH_BIN_DIR) + "/tarnwatch"};
        argStore.insert(argStore.end(), args.begin(), args.end());
        std::vector<std::string> envStore;
        for (char** e = environ; *e; ++e) envStore.push_back(*e);
        envStore.insert(envStore.end(), env.begin(), env.end());
        std::vector<char*> argv, envp;
        for (auto& a : argStore) argv.push_back(a.data());
        argv.push_back(nullptr);
        for (auto& e : envStore) envp.push_back(e.data());
        envp.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, stdoutPath.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (!stderrPath.empty()) {
            posix_spawn_file_actions_addopen(&actions, 2, stderrPath.c_str(),
                                             O_WRONLY | O_CREAT | O_TRUNC, 0644);
        }
        if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0)
            pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~Program() {
        if (pid_ > 0 && !exited_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    pid_t pid() const { return pid_; }
    void Signal(int sig) { kill(pid_, sig); }
    // The exit status as waitpid gives it, or -1 if it did not end in time.
    int Wait(std::chrono::milliseconds limit) {
        auto end = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < end) {
            int status = 0;
            pid_t r = waitpid(pid_, &status, WNOHANG);
            if (r == pid_) {
                exited_ = true;
                return status;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return -1;
    }

private:
    pid_t pid_ = -1;
    bool exited_ = false;
};

}  // namespace tarnwatch::fakes
