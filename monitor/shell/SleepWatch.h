// Tells when the computer goes to sleep and when it has woken: the login
// manager's PrepareForSleep signal on the system bus, or, where no login
// manager answers, a jump between the clock that stops during a sleep
// (monotonic) and the one that does not (boot time), noticed after the
// wake. Nothing here ever waits for the bus.
#pragma once

#include <QObject>
#include <QTimer>
#include <cstdint>

namespace tarnwatch {

class SleepWatch final : public QObject {
    Q_OBJECT
public:
    SleepWatch();

signals:
    void sleeping();
    void woke();

private slots:
    void OnPrepareForSleep(bool goingToSleep);

private:
    void WatchClocks();
    void CompareClocks();

    QTimer clockWatch_;
    std::int64_t monotonicMs_ = 0;
    std::int64_t boottimeMs_ = 0;
};

}  // namespace tarnwatch
