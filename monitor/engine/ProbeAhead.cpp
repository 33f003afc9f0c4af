// Worker threads of a parallel pass; see ProbeAhead.h.
#include "engine/ProbeAhead.h"

#include <chrono>

#include "engine/SystemClock.h"

namespace tarnwatch {
namespace {

// A worker's own timer and pump. The probe's waits pump it between short
// polls: it delivers the network time-out when it is due, and asks every
// wait to give up once the pass stops.
class WorkerPorts final : public TimerPort, public MessagePump {
public:
    explicit WorkerPorts(const std::atomic<bool>& stop) : stop_(stop) {
        ports_.clock = &clock_;
        ports_.timers = this;
        ports_.pump = this;
    }
    const Ports& Get() const { return ports_; }
    void SetProbe(EntryProbe* probe) { probe_ = probe; }

    void SetSink(TimerSink*) override {}
    void SetTimer(int /*id*/, int milliseconds) override {
        dueMs_ = clock_.MonotonicMs() + milliseconds;
    }
    void KillTimer(int /*id*/) override { dueMs_ = -1; }
    bool IsArmed(int /*id*/) const override { return dueMs_ >= 0; }

    void Pump() override {
        if (dueMs_ >= 0 && clock_.MonotonicMs() >= dueMs_) {
            dueMs_ = -1;
            if (probe_) probe_->OnNetworkTimeout();
        }
    }
    bool StopRequested() const override { return stop_.load(std::memory_order_relaxed); }

private:
    const std::atomic<bool>& stop_;
    SystemClock clock_;
    Ports ports_;
    EntryProbe* probe_ = nullptr;
    std::int64_t dueMs_ = -1;
};

}  // namespace

ProbeAhead::ProbeAhead(int width) : width_(width < 1 ? 1 : width) {}

ProbeAhead::~ProbeAhead() {
    StopAll();
    for (std::thread& t : workers_) t.join();
}

int ProbeAhead::Start(ProbeRequest request) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto job = std::make_unique<Job>();
    job->request = std::move(request);
    jobs_.push_back(std::move(job));
    const int ticket = firstTicket_ + static_cast<int>(jobs_.size()) - 1;
    // One worker per probe that may run at once, made when first needed.
    if (static_cast<int>(workers_.size()) < width_) workers_.emplace_back([this] { Work(); });
    queued_.notify_one();
    return ticket;
}

void ProbeAhead::Work() {
    WorkerPorts ports(stop_);
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        queued_.wait(lock, [this] {
            return stop_.load() || nextToRun_ < firstTicket_ + static_cast<int>(jobs_.size());
        });
        if (stop_.load()) return;
        const int ticket = nextToRun_++;
        Job& job = *jobs_[static_cast<std::size_t>(ticket - firstTicket_)];
        if (job.dropped) {
            Free(ticket);
            continue;
        }
        lock.unlock();
        ProbeOutcome outcome;
        const std::int64_t startUs = ports.Get().clock->MonotonicUs();
        {
            EntryProbe probe(ports.Get());
            ports.SetProbe(&probe);
            outcome = probe.Run(job.request);
            ports.SetProbe(nullptr);
            ports.KillTimer(kTimerNetworkTimeout);
        }
        outcome.durationUs = ports.Get().clock->MonotonicUs() - startUs;
        lock.lock();
        // `job` stayed where it was: a probe is taken or freed only once it
        // has ended.
        if (job.dropped) {
            Free(ticket);
            continue;
        }
        job.outcome = std::move(outcome);
        job.done = true;
        ended_.notify_all();
    }
}

bool ProbeAhead::WaitFor(int ticket, int ms) {
    std::unique_lock<std::mutex> lock(mutex_);
    const auto done = [&] {
        const int at = ticket - firstTicket_;
        return at >= 0 && at < static_cast<int>(jobs_.size()) &&
               jobs_[static_cast<std::size_t>(at)]->done;
    };
    return ended_.wait_for(lock, std::chrono::milliseconds(ms), done);
}

ProbeOutcome ProbeAhead::Take(int ticket) {
    std::lock_guard<std::mutex> lock(mutex_);
    Job& job = *jobs_[static_cast<std::size_t>(ticket - firstTicket_)];
    ProbeOutcome outcome = std::move(job.outcome);
    Free(ticket);
    return outcome;
}

void ProbeAhead::Drop(int ticket) {
    std::lock_guard<std::mutex> lock(mutex_);
    Job& job = *jobs_[static_cast<std::size_t>(ticket - firstTicket_)];
    job.dropped = true;
    if (job.done) Free(ticket);
}

void ProbeAhead::Free(int ticket) {
    jobs_[static_cast<std::size_t>(ticket - firstTicket_)].reset();
    // Tickets end roughly in order; the front is freed as soon as it can be.
    while (!jobs_.empty() && !jobs_.front()) {
        jobs_.pop_front();
        ++firstTicket_;
    }
}

void ProbeAhead::StopAll() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_.store(true);
    }
    queued_.notify_all();
}

}  // namespace tarnwatch
