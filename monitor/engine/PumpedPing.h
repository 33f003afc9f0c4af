// The echo probe as the test cycle and the Internet gate use it: the window
// keeps being served while it waits, and a close asked for in the meantime
// ends the wait instead of letting it run out.
#pragma once

#include "engine/Ports.h"

namespace tarnwatch {

// Results: 1 reply, -1 timed out, 0 other failure (as PingICMP), and this
// one when `pump` asked to stop before the probe had its answer.
inline constexpr int kPingStopped = -2;

// PingICMP of `host` within `timeoutSeconds`, pumping `pump` (may be null)
// between the probe's short waits.
[[nodiscard]] int PumpedPing(const char* host, int timeoutSeconds, MessagePump* pump);

}  // namespace tarnwatch
