// One entry's test by its source kind: a TCP connect and, where asked, the
// agent conversation; an echo probe; a look for a running process; a
// program's exit code. A probe works on a copy of what it needs, so it can
// run on the pass's own thread or on a worker of a parallel pass.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "engine/CommandExpand.h"
#include "engine/Ports.h"
#include "engine/ServiceItem.h"
#include "res/StringTable.h"

namespace tarnwatch {

class CClientThread;

// What a probe needs of an entry.
struct ProbeRequest {
    std::int32_t sourceKind = kSourceNone;
    std::string address;
    std::string source;
    int timeoutSeconds = 0;
    bool askAgent = false;  // the agent conversation after the connect
    CommandMacros macros;   // a program's macros
};

struct ProbeOutcome {
    bool success = false;
    std::string text;  // the Status text the outcome shows
    std::int64_t durationUs = 0;
};

// The request for `entry`; `macros` are its macros at the moment of the
// test (a program sees them).
ProbeRequest MakeProbeRequest(const ServiceItem& entry, const CommandMacros& macros);

class EntryProbe {
public:
    // Waits pump `ports.pump`; the TCP test arms kTimerNetworkTimeout on
    // `ports.timers`, whose expiry must reach OnNetworkTimeout().
    explicit EntryProbe(const Ports& ports) : ports_(ports) {}
    EntryProbe(const EntryProbe&) = delete;
    EntryProbe& operator=(const EntryProbe&) = delete;

    // `progress` hears each step of the agent conversation
    // (IDS_ACKNOWLEDGING, IDS_RECEIVING); it may be empty.
    ProbeOutcome Run(const ProbeRequest& request,
                     const std::function<void(StringId)>& progress = {});
    // The network time-out timer has expired.
    void OnNetworkTimeout();
    // A close asked for: the wait of the conversation in progress ends.
    void CutWaitShort();

private:
    ProbeOutcome Tcp(const ProbeRequest& request, const std::function<void(StringId)>& progress);

    const Ports& ports_;
    CClientThread* client_ = nullptr;
    bool networkTimeoutSeen_ = false;
};

}  // namespace tarnwatch
