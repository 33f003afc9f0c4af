// The Internet connectivity gate: before a gated network entry is tested,
// the test addresses are pinged in order until one answers. While none does,
// gated entries are skipped and the operator is told as configured.
#pragma once

#include <cstdint>

#include "engine/AlertActions.h"
#include "engine/Ports.h"
#include "engine/Settings.h"

namespace tarnwatch {

// The key of the gate's desktop notifications.
inline constexpr const char* kInternetNoteKey = "internet";

class InternetGate {
public:
    InternetGate(const Ports& ports, const GlobalSettings& settings, AlertActions& alerts)
        : ports_(ports), settings_(settings), alerts_(alerts) {}

    // Pings the addresses; true when one answers. The alerts of a change of
    // state (and the every-failure ones) run here, with `macros` for the
    // commands. A check whose ping a close cut short is false and changes
    // nothing.
    bool Check(const CommandMacros& macros);
    // The two halves of a check. Ping: 1 when an address answers, 0 when
    // none does, kPingStopped when a close cut it short.
    int Ping();
    // The alerts and the state change of a check whose ping answered
    // `reachable`; returns `reachable`.
    bool Judge(bool reachable, const CommandMacros& macros);
    // kStateUntested until the first check, then kStateAvailable or
    // kStateUnavailable.
    std::int32_t State() const { return state_; }

private:
    Ports ports_;
    const GlobalSettings& settings_;
    AlertActions& alerts_;
    std::int32_t state_ = kStateUntested;
};

}  // namespace tarnwatch
