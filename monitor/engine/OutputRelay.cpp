// Passing a waited-for program's output on; see OutputRelay.h.
#include "engine/OutputRelay.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>

#include "engine/FileReplace.h"

namespace tarnwatch {
namespace {

constexpr int kTargets[2] = {STDOUT_FILENO, STDERR_FILENO};
// Reads Finish makes at most per pipe: a child that keeps writing must not
// keep the monitor reading.
constexpr int kFinishReads = 64;

}  // namespace

OutputRelay::OutputRelay() {
    bool made = true;
    for (int i = 0; i < 2 && made; ++i) {
        int fds[2];
        made = pipe2(fds, O_CLOEXEC) == 0;
        if (!made) break;
        read_[i] = fds[0];
        write_[i] = fds[1];
        fcntl(read_[i], F_SETFL, O_NONBLOCK);
    }
    if (made && posix_spawn_file_actions_init(&actions_) == 0) {
        ready_ = true;
        for (int i = 0; i < 2; ++i) {
            ready_ =
                ready_ && posix_spawn_file_actions_adddup2(&actions_, write_[i], kTargets[i]) == 0;
        }
        if (!ready_) posix_spawn_file_actions_destroy(&actions_);
    }
    if (!ready_) {
        Started();
        for (int i = 0; i < 2; ++i) Close(i);
    }
}

OutputRelay::~OutputRelay() {
    if (ready_) posix_spawn_file_actions_destroy(&actions_);
    Started();
    for (int i = 0; i < 2; ++i) Close(i);
}

void OutputRelay::Started() {
    for (int& fd : write_) {
        if (fd >= 0) close(fd);
        fd = -1;
    }
}

int OutputRelay::Pass(int i) {
    char buf[4096];
    const ssize_t n = read(read_[i], buf, sizeof buf);
    if (n > 0) {
        // The monitor's own output may be gone; the program goes on anyway.
        (void)WriteAll(kTargets[i], buf, static_cast<std::size_t>(n));
        return 1;
    }
    return n < 0 && (errno == EAGAIN || errno == EINTR) ? 0 : -1;
}

void OutputRelay::Close(int i) {
    if (read_[i] >= 0) close(read_[i]);
    read_[i] = -1;
}

bool OutputRelay::Wait(int pidFd, int timeoutMs) {
    pollfd p[3];
    int pipeOf[3] = {-1, -1, -1};
    nfds_t n = 0;
    if (pidFd >= 0) p[n++] = {pidFd, POLLIN, 0};
    for (int i = 0; i < 2; ++i) {
        if (read_[i] < 0) continue;
        pipeOf[n] = i;
        p[n++] = {read_[i], POLLIN, 0};
    }
    if (n == 0) {
        usleep(static_cast<useconds_t>(timeoutMs) * 1000);
        return false;
    }
    if (poll(p, n, timeoutMs) <= 0) return false;
    for (nfds_t k = 0; k < n; ++k) {
        if (pipeOf[k] >= 0 && p[k].revents != 0 && Pass(pipeOf[k]) < 0) Close(pipeOf[k]);
    }
    return pidFd >= 0 && p[0].revents != 0;
}

void OutputRelay::Finish() {
    for (int i = 0; i < 2; ++i) {
        for (int k = 0; read_[i] >= 0 && k < kFinishReads && Pass(i) > 0; ++k) {
        }
        Close(i);
    }
}

}  // namespace tarnwatch
