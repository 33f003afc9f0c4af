// The platform services the engine needs, as small interfaces. The shell
// implements them with Qt; the tests use the fakes in tests/fakes.
#pragma once

#include <cstdint>
#include <string>

namespace tarnwatch {

struct ServiceItem;
struct GlobalSettings;

// Ids of the main window's one-shot timers.
inline constexpr int kTimerHideWindow = 107;
inline constexpr int kTimerUpdateTick = 108;
inline constexpr int kTimerCloseAfterError = 120;
inline constexpr int kTimerNetworkTimeout = 138;
// Looks after saves made in the background until they have ended.
inline constexpr int kTimerSaveCheck = 151;
// The end of the next snooze or of the pause of alerts.
inline constexpr int kTimerSilenceEnd = 152;
// The passes after the computer woke, once nothing else runs.
inline constexpr int kTimerWake = 153;

class Clock {
public:
    virtual ~Clock() = default;
    // Wall-clock time in seconds since 1970-01-01 UTC.
    virtual std::int64_t Now() const = 0;
    // A clock that never jumps, in milliseconds, for waits and timers.
    virtual std::int64_t MonotonicMs() const = 0;
    // The same clock in microseconds, for timing tests that take less than a
    // millisecond; clocks without the finer grain count whole milliseconds.
    virtual std::int64_t MonotonicUs() const { return MonotonicMs() * 1000; }
};

// Receives the expiry of a timer armed on a TimerPort.
class TimerSink {
public:
    virtual ~TimerSink() = default;
    virtual void OnTimer(int id) = 0;
};

// One-shot timers by id. Arming an id that is already armed restarts it.
// An expiry is delivered once to the sink; the handler re-arms where needed.
class TimerPort {
public:
    virtual ~TimerPort() = default;
    virtual void SetSink(TimerSink* sink) = 0;
    virtual void SetTimer(int id, int milliseconds) = 0;
    virtual void KillTimer(int id) = 0;
    virtual bool IsArmed(int id) const = 0;
};

// Lets pending timer expiries and repaints through during a blocking wait.
// User input is never dispatched here, so a pass cannot be re-entered.
class MessagePump {
public:
    virtual ~MessagePump() = default;
    virtual void Pump() = 0;
    // True once whoever waits should give up: the user cancelled the wait,
    // or the program is closing. Checked after every Pump().
    virtual bool StopRequested() const { return false; }
};

class MessageBoxPort {
public:
    virtual ~MessageBoxPort() = default;
    // Modal, with an OK button and the application's title.
    virtual void Show(const std::string& text) = 0;
    // True where Show writes the text to standard error (nobody could press
    // OK), so a report meant for both is not written there twice.
    virtual bool WritesToStandardError() const { return false; }
};

class WaitCursorPort {
public:
    virtual ~WaitCursorPort() = default;
    virtual void Begin() = 0;
    virtual void End() = 0;
};

class WindowPort {
public:
    virtual ~WindowPort() = default;
    virtual void Show() = 0;  // shown in its normal state
    virtual void Hide() = 0;  // only the notification icon remains
    virtual bool IsHidden() const = 0;
};

// Alert sounds. A name is a sound-theme event id or a sound file. A sound
// that cannot be found or played is silent and never blocks the caller.
class SoundPort {
public:
    virtual ~SoundPort() = default;
    // Plays once and returns when it has finished; plays nothing while another
    // sound of the program is playing.
    virtual void PlayOnceWait(const std::string& name) = 0;
    // Plays over and over without blocking, until Purge() or another loop.
    virtual void PlayLoop(const std::string& name) = 0;
    // Plays once without blocking.
    virtual void PlayAsync(const std::string& name) = 0;
    // Stops every sound of the program.
    virtual void Purge() = 0;
};

// The modal property sheets. Each edits the values it is given and returns
// true when the user confirmed with OK; on Cancel the values are as before.
class SheetPort {
public:
    virtual ~SheetPort() = default;
    virtual bool RunEntrySheet(ServiceItem& entry) = 0;
    virtual bool RunGlobalOptions(GlobalSettings& settings) = 0;
};

// Desktop notifications. A notification about the same `key` replaces the
// one shown before it; nothing waits for the desktop to show it.
struct DesktopNote {
    std::string key;
    std::string summary;
    std::string body;
    bool offerSnooze = false;  // about an entry: "Snooze 1 hour" where offered
};

class NotifyPort {
public:
    virtual ~NotifyPort() = default;
    virtual void Notify(const DesktopNote& note) = 0;
};

// The set handed to the engine. Every pointer is set by whoever builds the
// engine and outlives it.
struct Ports {
    Clock* clock = nullptr;
    TimerPort* timers = nullptr;
    MessagePump* pump = nullptr;
    MessageBoxPort* messageBox = nullptr;
    WaitCursorPort* waitCursor = nullptr;
    WindowPort* window = nullptr;
    SoundPort* sound = nullptr;
    SheetPort* sheets = nullptr;     // none in the headless mode
    NotifyPort* notifier = nullptr;  // none where notifications are not wanted
};

}  // namespace tarnwatch
