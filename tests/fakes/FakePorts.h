// Fakes of the engine's ports: a clock the test sets or advances, timers that
// fire when the clock passes their deadline, and recorders for the rest.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "engine/Ports.h"
#include "engine/SystemClock.h"

namespace tarnwatch::fakes {

class ManualClock final : public Clock {
public:
    std::int64_t Now() const override { return wallSeconds_ + monotonicMs_ / 1000; }
    std::int64_t MonotonicMs() const override { return monotonicMs_; }
    void SetWall(std::int64_t seconds) { wallSeconds_ = seconds - monotonicMs_ / 1000; }
    void AdvanceMs(std::int64_t ms) { monotonicMs_ += ms; }

private:
    std::int64_t wallSeconds_ = 1'000'000'000;
    std::int64_t monotonicMs_ = 0;
};

// Timers against any clock. FireDue() delivers every expiry whose deadline the
// clock has reached, earliest first; with the real clock it acts like a
// message loop that is pumped.
class FakeTimers final : public TimerPort {
public:
    explicit FakeTimers(const Clock& clock) : clock_(clock) {}
    void SetSink(TimerSink* sink) override { sink_ = sink; }
    void SetTimer(int id, int milliseconds) override {
        deadlines_[id] = clock_.MonotonicMs() + milliseconds;
        periods_[id] = milliseconds;
    }
    void KillTimer(int id) override { deadlines_.erase(id); }
    bool IsArmed(int id) const override { return deadlines_.count(id) != 0; }
    int Period(int id) const {
        auto it = periods_.find(id);
        return it == periods_.end() ? -1 : it->second;
    }
    void FireDue() {
        for (;;) {
            auto due = std::min_element(deadlines_.begin(), deadlines_.end(),
                                        [](auto& a, auto& b) { return a.second < b.second; });
            if (due == deadlines_.end() || due->second > clock_.MonotonicMs()) return;
            int id = due->first;
            deadlines_.erase(due);
            if (sink_) sink_->OnTimer(id);
        }
    }

private:
    const Clock& clock_;
    TimerSink* sink_ = nullptr;
    std::map<int, std::int64_t> deadlines_;
    std::map<int, int> periods_;
};

// Each pump optionally advances a manual clock (a simulated time slice), then
// fires the due timers, then runs an optional hook.
class FakePump final : public MessagePump {
public:
    explicit FakePump(FakeTimers& timers, ManualClock* clock = nullptr, int sliceMs = 0)
        : timers_(timers), clock_(clock), sliceMs_(sliceMs) {}
    void Pump() override {
        ++count;
        if (clock_ && sliceMs_ > 0) clock_->AdvanceMs(sliceMs_);
        timers_.FireDue();
        if (hook) hook();
    }
    int count = 0;
    std::function<void()> hook;

private:
    FakeTimers& timers_;
    ManualClock* clock_;
    int sliceMs_;
};

class RecordingMessageBox final : public MessageBoxPort {
public:
    void Show(const std::string& text) override { shown.push_back(text); }
    std::vector<std::string> shown;
};

class CountingWaitCursor final : public WaitCursorPort {
public:
    void Begin() override { ++depth, ++begins; }
    void End() override { --depth; }
    int depth = 0;
    int begins = 0;
};

class FakeWindow final : public WindowPort {
public:
    void Show() override { hidden = false, ++shows; }
    void Hide() override { hidden = true, ++hides; }
    bool IsHidden() const override { return hidden; }
    bool hidden = false;
    int shows = 0;
    int hides = 0;
};

class RecordingSound final : public SoundPort {
public:
    void PlayOnceWait(const std::string& name) override { played.push_back("once:" + name); }
    void PlayLoop(const std::string& name) override { played.push_back("loop:" + name); }
    void PlayAsync(const std::string& name) override { played.push_back("async:" + name); }
    void Purge() override { played.push_back("purge"); }
    std::vector<std::string> played;
};

// All fakes together, wired into a Ports set. The clock is manual unless the
// test asks for the real one.
struct FakePlatform {
    explicit FakePlatform(bool realClock = false)
        : clock(realClock ? static_cast<Clock&>(systemClock) : manualClock),
          timers(clock),
          pump(timers, realClock ? nullptr : &manualClock, realClock ? 0 : 10) {
        ports.clock = &clock;
        ports.timers = &timers;
        ports.pump = &pump;
        ports.messageBox = &messageBox;
        ports.waitCursor = &waitCursor;
        ports.window = &window;
        ports.sound = &sound;
    }
    ManualClock manualClock;
    SystemClock systemClock;
    Clock& clock;
    FakeTimers timers;
    FakePump pump;
    RecordingMessageBox messageBox;
    CountingWaitCursor waitCursor;
    FakeWindow window;
    RecordingSound sound;
    Ports ports;
};

}  // namespace tarnwatch::fakes
