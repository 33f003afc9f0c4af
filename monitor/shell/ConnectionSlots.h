// Which connections of the metrics endpoint may stay. A request must arrive
// whole within a few seconds of its connection (or of the answer before it on
// the same connection); each client address holds a few connections, the
// endpoint a bounded number. A newcomer beyond either bound takes the place
// of the oldest connection still waiting for its request, so clients that
// trickle their requests byte by byte never keep a scrape out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tarnwatch {

class ConnectionSlots {
public:
    struct Limits {
        std::size_t total;
        std::size_t perAddress;
        std::int64_t requestMs;  // how long a request may take to arrive
    };
    explicit ConnectionSlots(Limits limits) : limits_(limits) {}

    // A new connection from `address` (any bytes that tell clients apart).
    // Appends to `giveUp` the descriptors of connections to close to make
    // room, and of those whose request is overdue; false when no room can be
    // made, because every connection in the way is being answered.
    bool Admit(const std::string& address, std::int64_t nowMs, std::vector<int>& giveUp);
    // The connection `id` on descriptor `fd` now waits for its request.
    void Opened(const void* id, int fd, const std::string& address, std::int64_t nowMs);
    // Its request has arrived whole: it is being answered and stays.
    void RequestArrived(const void* id);
    // Its answer is done: it waits for the next request from `nowMs`.
    void Answered(const void* id, std::int64_t nowMs);
    void Closed(const void* id);
    // Appends the descriptors of connections whose request is overdue.
    void Overdue(std::int64_t nowMs, std::vector<int>& giveUp);

private:
    struct Slot {
        const void* id;
        int fd;
        std::string address;
        std::int64_t waitingSinceMs;
        bool answering = false;
        bool givenUp = false;  // closing: counts no more
    };
    // The connection of `address` (or any, for "") that has waited longest
    // for its request, given up; false when there is none.
    bool GiveUpOldestWaiting(const std::string& address, std::vector<int>& giveUp);
    Slot* Find(const void* id);

    Limits limits_;
    std::vector<Slot> slots_;
};

}  // namespace tarnwatch
