// The endpoint's connection bookkeeping; see ConnectionSlots.h.
#include "shell/ConnectionSlots.h"

#include <algorithm>

namespace tarnwatch {

bool ConnectionSlots::Admit(const std::string& address, std::int64_t nowMs,
                            std::vector<int>& giveUp) {
    Overdue(nowMs, giveUp);
    std::size_t total = 0;
    std::size_t fromAddress = 0;
    for (const Slot& s : slots_) {
        if (s.givenUp) continue;
        ++total;
        if (s.address == address) ++fromAddress;
    }
    if (fromAddress >= limits_.perAddress) {
        if (!GiveUpOldestWaiting(address, giveUp)) return false;
        --total;
    }
    return total < limits_.total || GiveUpOldestWaiting("", giveUp);
}

void ConnectionSlots::Opened(const void* id, int fd, const std::string& address,
                             std::int64_t nowMs) {
    slots_.push_back(Slot{id, fd, address, nowMs});
}

void ConnectionSlots::RequestArrived(const void* id) {
    if (Slot* s = Find(id)) s->answering = true;
}

void ConnectionSlots::Answered(const void* id, std::int64_t nowMs) {
    if (Slot* s = Find(id)) {
        s->answering = false;
        s->waitingSinceMs = nowMs;
    }
}

void ConnectionSlots::Closed(const void* id) {
    std::erase_if(slots_, [id](const Slot& s) { return s.id == id; });
}

void ConnectionSlots::Overdue(std::int64_t nowMs, std::vector<int>& giveUp) {
    for (Slot& s : slots_) {
        if (s.givenUp || s.answering || nowMs - s.waitingSinceMs < limits_.requestMs) continue;
        s.givenUp = true;
        giveUp.push_back(s.fd);
    }
}

bool ConnectionSlots::GiveUpOldestWaiting(const std::string& address, std::vector<int>& giveUp) {
    Slot* oldest = nullptr;
    for (Slot& s : slots_) {
        if (s.givenUp || s.answering || (!address.empty() && s.address != address)) continue;
        if (!oldest || s.waitingSinceMs < oldest->waitingSinceMs) oldest = &s;
    }
    if (!oldest) return false;
    oldest->givenUp = true;
    giveUp.push_back(oldest->fd);
    return true;
}

ConnectionSlots::Slot* ConnectionSlots::Find(const void* id) {
    const auto it =
        std::find_if(slots_.begin(), slots_.end(), [id](const Slot& s) { return s.id == id; });
    return it == slots_.end() ? nullptr : &*it;
}

}  // namespace tarnwatch
