// A desktop for the real program to live on: a virtual X display, a private
// session bus, and a notification area of either kind (or none), with the
// means to use the icon as a person would.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "fakes/ProgramRunner.h"

namespace tarnwatch::desktop {

using fakes::Environment;

using namespace std::chrono_literals;

// A process whose standard input the test writes and whose standard output
// it reads line by line; standard error goes to `stderrPath` when given.
class Child {
public:
    Child(std::vector<std::string> argv, const std::vector<std::string>& env,
          const std::string& stderrPath = "", int extraFd = -1) {
        int in[2], out[2];
        if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], 0);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        if (!stderrPath.empty()) {
            posix_spawn_file_actions_addopen(&actions, 2, stderrPath.c_str(),
                                             O_WRONLY | O_CREAT | O_TRUNC, 0644);
        }
        if (extraFd >= 0) posix_spawn_file_actions_adddup2(&actions, extraFd, 3);
        std::vector<std::string> envStore = env;
        std::vector<char*> args, envp;
        for (auto& a : argv) args.push_back(a.data());
        args.push_back(nullptr);
        for (auto& e : envStore) envp.push_back(e.data());
        envp.push_back(nullptr);
        if (posix_spawnp(&pid_, args[0], &actions, nullptr, args.data(), envp.data()) != 0) {
            pid_ = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        close(in[0]);
        close(out[1]);
        in_ = in[1];
        out_ = out[0];
    }
    ~Child() {
        if (in_ >= 0) close(in_);
        if (pid_ > 0 && !ended_) {
            kill(pid_, SIGTERM);
            if (Wait(3s) == -1) {
                kill(pid_, SIGKILL);
                waitpid(pid_, nullptr, 0);
            }
        }
        if (out_ >= 0) close(out_);
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    pid_t pid() const { return pid_; }
    void Signal(int sig) const { kill(pid_, sig); }
    void Send(const std::string& line) const {
        const std::string text = line + "\n";
        [[maybe_unused]] ssize_t n = write(in_, text.data(), text.size());
    }
    // The next line that starts with `prefix`, or "" after `limit`.
    std::string Expect(const std::string& prefix, std::chrono::milliseconds limit = 20s) {
        const auto end = std::chrono::steady_clock::now() + limit;
        for (;;) {
            const std::size_t nl = buffer_.find('\n');
            if (nl != std::string::npos) {
                std::string line = buffer_.substr(0, nl);
                buffer_.erase(0, nl + 1);
                if (line.rfind(prefix, 0) == 0) return line;
                continue;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                end - std::chrono::steady_clock::now());
            pollfd p{out_, POLLIN, 0};
            if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0) return "";
            char buf[512];
            const ssize_t n = read(out_, buf, sizeof buf);
            if (n <= 0) return "";
            buffer_.append(buf, static_cast<std::size_t>(n));
        }
    }
    // The exit status as waitpid gives it, or -1 if it did not end in time.
    int Wait(std::chrono::milliseconds limit) {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (Running()) {
            if (std::chrono::steady_clock::now() >= end) return -1;
            std::this_thread::sleep_for(10ms);
        }
        return status_;
    }
    bool Running() {
        if (!ended_ && waitpid(pid_, &status_, WNOHANG) == pid_) ended_ = true;
        return !ended_;
    }

private:
    pid_t pid_ = -1;
    int in_ = -1;
    int out_ = -1;
    bool ended_ = false;
    int status_ = -1;
    std::string buffer_;
};

enum class Tray { kNone, kXEmbed, kStatusNotifier };

class VirtualDesktop {
public:
    VirtualDesktop(Tray tray, const std::string& dir) : tray_(tray), dir_(dir) {
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0) return;
        x_ = std::make_unique<Child>(
            std::vector<std::string>{"Xvfb", "-displayfd", "3", "-screen", "0", "1024x768x24",
                                     "-nolisten", "tcp", "-noreset"},
            Environment({}), dir + "/xvfb.log", fds[1]);
        close(fds[1]);
        // The server writes the number, then a newline; it gives up if the
        // pipe closes between the two.
        char number[16] = {};
        std::size_t got = 0;
        pollfd p{fds[0], POLLIN, 0};
        while (got + 1 < sizeof number && !std::strchr(number, '\n') && poll(&p, 1, 20000) > 0) {
            const ssize_t n = read(fds[0], number + got, sizeof number - 1 - got);
            if (n <= 0) break;
            got += static_cast<std::size_t>(n);
        }
        close(fds[0]);
        display_ = std::string(":") + std::to_string(std::atoi(number));
        bus_ = std::make_unique<Child>(
            std::vector<std::string>{"dbus-daemon", "--session", "--nofork", "--nopidfile",
                                     "--address=unix:path=" + dir + "/bus", "--print-address=1"},
            Environment({}), dir + "/bus.log");
        busAddress_ = bus_->Expect("unix:", 20s);
        StartHost();
        ready_ = !display_.empty() && number[0] != '\0' && !busAddress_.empty() &&
                 (!host_ || !host_->Expect("ready").empty());
    }

    bool Ready() const { return ready_; }
    // What a program needs to live on this desktop (a notification host of
    // the real session must not be found).
    std::vector<std::string> Env() const {
        return {"DISPLAY=" + display_,   "DBUS_SESSION_BUS_ADDRESS=" + busAddress_,
                "QT_QPA_PLATFORM=xcb",   "XDG_CURRENT_DESKTOP=",
                "XDG_SESSION_TYPE=x11",  "WAYLAND_DISPLAY=",
                "QT_QPA_PLATFORMTHEME=", "SESSION_MANAGER="};
    }
    // Waits until the program's icon is in the notification area (a loaded
    // test machine may take its time to start the program).
    bool IconShown() {
        if (tray_ == Tray::kXEmbed) {
            const std::string line = host_->Expect("docked", 60s);
            if (line.empty()) return false;
            std::sscanf(line.c_str(), "docked %d %d", &iconX_, &iconY_);
            return true;
        }
        return tray_ == Tray::kStatusNotifier && !host_->Expect("registered", 60s).empty();
    }
    // A left click on the icon, or what a StatusNotifier host does for one.
    void ClickIcon() {
        if (tray_ == Tray::kXEmbed) {
            Tool({"xdotool", "mousemove", std::to_string(iconX_), std::to_string(iconY_), "click",
                  "1"});
        } else {
            host_->Send("activate");
        }
    }
    struct Item {
        std::string label;
        bool enabled = false;
        bool visible = false;
    };
    // The icon's menu as a StatusNotifier host shows it.
    std::vector<Item> Menu() {
        std::vector<Item> items;
        host_->Send("menu");
        for (std::string line; !(line = host_->Expect("")).empty() && line != "end";) {
            if (line.rfind("item ", 0) != 0 || line.size() < 9) continue;
            Item item;
            item.label = line.substr(5, line.size() - 9);
            item.enabled = line[line.size() - 3] == '1';
            item.visible = line[line.size() - 1] == '1';
            items.push_back(item);
        }
        return items;
    }
    void ClickMenu(const std::string& label) {
        host_->Send("click " + label);
        host_->Expect("end");
    }
    // Whether a window of exactly this title is mapped on the display.
    bool WindowShown(const std::string& title) {
        return Tool({"xdotool", "search", "--onlyvisible", "--name", "^" + title + "$"}) == 0;
    }
    // Waits up to `limit` for WindowShown(title) to become `shown`.
    bool WaitForWindow(const std::string& title, bool shown,
                       std::chrono::milliseconds limit = 60s) {
        const auto end = std::chrono::steady_clock::now() + limit;
        do {
            if (WindowShown(title) == shown) return true;
            std::this_thread::sleep_for(50ms);
        } while (std::chrono::steady_clock::now() < end);
        return false;
    }
    // Types keys into the window of this title (xdotool key names).
    void Keys(const std::string& title, const std::vector<std::string>& keys) {
        std::vector<std::string> args{"xdotool",         "search",      "--onlyvisible", "--name",
                                      "^" + title + "$", "windowfocus", "--sync",        "key",
                                      "--delay",         "50"};
        args.insert(args.end(), keys.begin(), keys.end());
        Tool(args);
    }
    // Ends the notification host (a panel that restarts) or starts it again.
    void StopHost() { host_.reset(); }
    void StartHost() {
        const char* program = tray_ == Tray::kXEmbed           ? TARNWATCH_XEMBED_TRAY
                              : tray_ == Tray::kStatusNotifier ? TARNWATCH_SNI_WATCHER
                                                               : nullptr;
        if (!program) return;
        host_ = std::make_unique<Child>(std::vector<std::string>{program}, Environment(Env()),
                                        dir_ + "/host.log");
    }

private:
    int Tool(const std::vector<std::string>& argv) {
        Child tool(argv, Environment(Env()), "/dev/null");
        const int status = tool.Wait(20s);
        return status >= 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    Tray tray_;
    std::string dir_;
    std::unique_ptr<Child> x_;
    std::unique_ptr<Child> bus_;
    std::unique_ptr<Child> host_;
    std::string display_;
    std::string busAddress_;
    int iconX_ = 0;
    int iconY_ = 0;
    bool ready_ = false;
};

}  // namespace tarnwatch::desktop
