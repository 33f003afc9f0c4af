// Sleep and wake; see SleepWatch.h.
#include "shell/SleepWatch.h"

#include <time.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>

namespace tarnwatch {
namespace {

const QString kLogin = QStringLiteral("org.freedesktop.login1");
const QString kLoginPath = QStringLiteral("/org/freedesktop/login1");
// How often the clocks are compared, and how far apart they must drift
// for a sleep: a loaded machine may be late by a second or two, never by
// this much.
constexpr int kClockWatchMs = 5000;
constexpr std::int64_t kSleepJumpMs = 10000;

std::int64_t ClockMs(clockid_t id) {
    timespec t{};
    clock_gettime(id, &t);
    return static_cast<std::int64_t>(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}

}  // namespace

SleepWatch::SleepWatch() {
    connect(&clockWatch_, &QTimer::timeout, this, &SleepWatch::CompareClocks);
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected() ||
        !bus.connect(kLogin, kLoginPath, QStringLiteral("org.freedesktop.login1.Manager"),
                     QStringLiteral("PrepareForSleep"), this, SLOT(OnPrepareForSleep(bool)))) {
        WatchClocks();
        return;
    }
    // Whether a login manager is there to send the signal at all.
    const QDBusPendingCall ping = bus.asyncCall(QDBusMessage::createMethodCall(
        kLogin, kLoginPath, QStringLiteral("org.freedesktop.DBus.Peer"), QStringLiteral("Ping")));
    auto* watcher = new QDBusPendingCallWatcher(ping, this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher] {
        watcher->deleteLater();
        if (watcher->isError()) WatchClocks();
    });
}

void SleepWatch::OnPrepareForSleep(bool goingToSleep) {
    if (goingToSleep) {
        emit sleeping();
    } else {
        emit woke();
    }
}

void SleepWatch::WatchClocks() {
    monotonicMs_ = ClockMs(CLOCK_MONOTONIC);
    boottimeMs_ = ClockMs(CLOCK_BOOTTIME);
    clockWatch_.start(kClockWatchMs);
}

void SleepWatch::CompareClocks() {
    const std::int64_t monotonic = ClockMs(CLOCK_MONOTONIC);
    const std::int64_t boottime = ClockMs(CLOCK_BOOTTIME);
    const std::int64_t slept = (boottime - boottimeMs_) - (monotonic - monotonicMs_);
    monotonicMs_ = monotonic;
    boottimeMs_ = boottime;
    // Noticed only after the wake: whatever waited across the sleep is cut
    // short all the same, and the wake's passes follow.
    if (slept >= kSleepJumpMs) {
        emit sleeping();
        emit woke();
    }
}

}  // namespace tarnwatch
