// One entry's test; see EntryProbe.h.
#include "engine/EntryProbe.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "engine/EntryCommand.h"
#include "engine/ProbeClient.h"
#include "engine/PumpedPing.h"
#include "quillongen/probes.h"

namespace tarnwatch {
namespace {

// The process-list probe of the older platform family is never the one on
// this system.
constexpr bool kOlderProcessProbe = false;

std::string FieldString(const char* field, std::size_t size) {
    return std::string(field, strnlen(field, size));
}

// The leading integer of a stored number text, as atoi reads it, but held
// to the int range instead of overflowing; no digits give 0.
int LeadingInt(const char* text) {
    const long long v = std::strtoll(text, nullptr, 10);
    return static_cast<int>(std::clamp<long long>(v, INT_MIN, INT_MAX));
}

}  // namespace

ProbeRequest MakeProbeRequest(const ServiceItem& e, const CommandMacros& macros) {
    ProbeRequest r;
    r.sourceKind = e.sourceKind;
    r.address = FieldString(e.address, sizeof e.address);
    r.source = FieldString(e.source, sizeof e.source);
    r.timeoutSeconds = LeadingInt(e.timeoutText);
    r.askAgent = e.serviceTest == kServiceTestVorlan && e.verifyService;
    if (e.sourceKind == kSourceProgram) r.macros = macros;
    return r;
}

ProbeOutcome EntryProbe::Run(const ProbeRequest& request,
                             const std::function<void(StringId)>& progress) {
    ProbeOutcome out;
    const int timeout = request.timeoutSeconds;
    switch (request.sourceKind) {
        case kSourceTcpPort:
            return Tcp(request, progress);
        case kSourceProcessName: {
            const int count = kOlderProcessProbe ? CheckTaskList95(request.source.c_str())
                                                 : CheckTaskList(request.source.c_str());
            out.success = count >= 1;
            out.text = LoadString(out.success ? IDS_RUNNING : IDS_NOTRUNNING);
            return out;
        }
        case kSourceProgram: {
            const int result = RunEntryCommand(request.source.c_str(), request.macros, 1,
                                               ports_.pump, timeout > 0 ? timeout : 0);
            out.success = result == kRunOk;
            out.text = LoadString(result == kRunOk            ? IDS_SUCCEEDED
                                  : result == kRunNonZeroExit ? IDS_FAILED
                                  : result == kRunTimedOut    ? IDS_TIMEDOUT
                                                              : IDS_UNRESOLVED);
            return out;
        }
        case kSourceNone: {
            const int result = PumpedPing(request.address.c_str(), timeout, ports_.pump);
            out.success = result == 1;
            out.text = LoadString(result == 1    ? IDS_OK
                                  : result == -1 ? IDS_TIMEDOUT
                                                 : IDS_UNRESOLVED);
            return out;
        }
        default:
            // A kind this program does not know: a failure of no class.
            out.text = LoadString(IDS_ERROR);
            return out;
    }
}

ProbeOutcome EntryProbe::Tcp(const ProbeRequest& request,
                             const std::function<void(StringId)>& progress) {
    ProbeOutcome out;
    auto client = std::make_unique<CClientThread>(ports_);
    client_ = client.get();
    networkTimeoutSeen_ = false;
    const auto step = [&](StringId id) {
        if (progress) progress(id);
    };
    if (!client->Connect(LeadingInt(request.source.c_str()), request.address.c_str(),
                         request.timeoutSeconds)) {
        out.text = client->status();
    } else if (request.askAgent) {
        step(IDS_ACKNOWLEDGING);
        networkTimeoutSeen_ = false;
        client->SendRequest(LoadString(IDS_PROTO_HELLO));
        if (networkTimeoutSeen_ || client->cancelled()) {
            out.text = client->status();
        } else {
            step(IDS_RECEIVING);
            networkTimeoutSeen_ = false;
            client->SendRequest(LoadString(IDS_PROTO_VORLAN));
            if (networkTimeoutSeen_ || client->cancelled()) {
                out.text = LoadString(IDS_TIMEDOUT);
            } else {
                out.success = true;
                out.text = client->status();
            }
        }
        client->Disconnect();
    } else {
        out.success = true;
        out.text = LoadString(IDS_OK);
        client->Disconnect();
    }
    client_ = nullptr;
    if (ports_.timers) ports_.timers->KillTimer(kTimerNetworkTimeout);
    return out;
}

void EntryProbe::OnNetworkTimeout() {
    networkTimeoutSeen_ = true;
    if (client_) client_->OnTimeout();
}

void EntryProbe::CutWaitShort() {
    if (client_) client_->OnTimeout();
}

}  // namespace tarnwatch
