// The echo probe with the engine's pump; see PumpedPing.h.
#include "engine/PumpedPing.h"

#include "quillongen/probes.h"

namespace tarnwatch {

int PumpedPing(const char* host, int timeoutSeconds, MessagePump* pump) {
    if (!pump) return PingICMP(host, timeoutSeconds);
    const QgStopHook hook = [](void* context) -> int {
        auto* p = static_cast<MessagePump*>(context);
        p->Pump();
        return p->StopRequested() ? 1 : 0;
    };
    const int result = PingICMPStoppable(host, timeoutSeconds, hook, pump);
    return result == -2 ? kPingStopped : result;
}

}  // namespace tarnwatch
