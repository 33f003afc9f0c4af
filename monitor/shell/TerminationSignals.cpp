// Termination signals turned into an event on the Qt event loop through a
// self-pipe: a signal handler may do next to nothing, the shutdown sequence
// runs on the GUI thread.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>

#include "shell/CTarnwatchApp.h"

namespace tarnwatch {
namespace {

int g_pipe[2] = {-1, -1};

void OnSignal(int) {
    const int saved = errno;
    char byte = 1;
    [[maybe_unused]] ssize_t n = write(g_pipe[1], &byte, 1);
    errno = saved;
}

}  // namespace

void InstallTerminationSignals(void (*onSignal)(void*), void* context) {
    if (g_pipe[0] < 0 && pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    auto* notifier =
        new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [onSignal, context] {
        char buf[64];
        while (read(g_pipe[0], buf, sizeof buf) > 0) {
        }
        onSignal(context);
    });
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) sigaction(sig, &sa, nullptr);
}

}  // namespace tarnwatch
