// The real clock: wall time from time(), monotonic time from CLOCK_MONOTONIC.
#pragma once

#include "engine/Ports.h"

namespace tarnwatch {

class SystemClock final : public Clock {
public:
    std::int64_t Now() const override;
    std::int64_t MonotonicMs() const override;
    std::int64_t MonotonicUs() const override;
};

}  // namespace tarnwatch
