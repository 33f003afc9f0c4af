// The probes of a parallel pass, run ahead of it on worker threads: at most
// `width` at once, started in the order they are handed in, each outcome
// kept until the pass takes it. A probe touches nothing but its own copy of
// the entry's request; every judgement stays with the pass's thread.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "engine/EntryProbe.h"

namespace tarnwatch {

class ProbeAhead {
public:
    explicit ProbeAhead(int width);
    // Ends every probe in flight (as StopAll) and waits for the workers.
    ~ProbeAhead();
    ProbeAhead(const ProbeAhead&) = delete;
    ProbeAhead& operator=(const ProbeAhead&) = delete;

    // Queues a probe; it starts as soon as fewer than `width` run. Returns
    // its ticket, the number of probes queued before it.
    int Start(ProbeRequest request);
    // Waits at most `ms` milliseconds for the probe of `ticket` to end;
    // true once it has.
    bool WaitFor(int ticket, int ms);
    // The outcome of an ended probe; its memory is freed.
    ProbeOutcome Take(int ticket);
    // The outcome of `ticket` is not wanted: a queued probe never starts, a
    // running one is forgotten when it ends.
    void Drop(int ticket);
    // Every probe in flight gives up at once, and none queued starts.
    void StopAll();

private:
    struct Job {
        ProbeRequest request;
        ProbeOutcome outcome;
        bool done = false;
        bool dropped = false;
    };
    void Work();
    // Frees the job of `ticket` and every freed one at the front.
    void Free(int ticket);

    const int width_;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::condition_variable queued_;
    std::condition_variable ended_;
    // By ticket, from `firstTicket_`: the queued, running and ended probes
    // not yet taken.
    std::deque<std::unique_ptr<Job>> jobs_;
    int firstTicket_ = 0;
    int nextToRun_ = 0;  // the ticket of the next probe to start
    std::vector<std::thread> workers_;
};

}  // namespace tarnwatch
