// Since-times of the entries' statuses.
#include "engine/StatusHistory.h"

#include <cstdio>

#include "engine/ServiceItem.h"

namespace tarnwatch {
namespace {

constexpr std::int32_t kKindBits = kStateAvailable | kStateUnavailable | kStateUnresolved |
                                   kStateTimedOut | kStateRetrying | kStateUntested;

}  // namespace

void StatusHistory::Note(int slot, std::int32_t state, const std::string& status,
                         std::int64_t now) {
    if (slot < 0) return;
    if (bySlot_.size() <= static_cast<std::size_t>(slot)) bySlot_.resize(slot + 1u);
    Times& t = bySlot_[static_cast<std::size_t>(slot)];
    const std::int32_t kind = state & kKindBits;
    if (t.since == 0 || kind != t.kind) {
        t.kind = kind;
        t.status = status;
        t.since = now;
    }
    const bool failed = !(kind & (kStateAvailable | kStateUntested));
    if (!failed) {
        t.failedSince = 0;
    } else if (t.failedSince == 0) {
        t.failedSince = now;
    }
}

const StatusHistory::Times* StatusHistory::At(int slot) const {
    if (slot < 0 || static_cast<std::size_t>(slot) >= bySlot_.size()) return nullptr;
    return &bySlot_[static_cast<std::size_t>(slot)];
}

std::int64_t StatusHistory::StatusSince(int slot) const {
    const Times* t = At(slot);
    return t ? t->since : 0;
}

std::string StatusHistory::StatusText(int slot) const {
    const Times* t = At(slot);
    return t ? t->status : std::string();
}

std::int64_t StatusHistory::FailedSince(int slot) const {
    const Times* t = At(slot);
    return t ? t->failedSince : 0;
}

std::string SpanText(std::int64_t seconds) {
    if (seconds < 0) seconds = 0;
    char text[48];
    if (seconds < 60) {
        std::snprintf(text, sizeof text, "%lld s", static_cast<long long>(seconds));
    } else if (seconds < 3600) {
        std::snprintf(text, sizeof text, "%lld min", static_cast<long long>(seconds / 60));
    } else if (seconds < 86400) {
        std::snprintf(text, sizeof text, "%lld h %02lld min",
                      static_cast<long long>(seconds / 3600),
                      static_cast<long long>(seconds % 3600 / 60));
    } else {
        std::snprintf(text, sizeof text, "%lld d %lld h", static_cast<long long>(seconds / 86400),
                      static_cast<long long>(seconds % 86400 / 3600));
    }
    return text;
}

}  // namespace tarnwatch
