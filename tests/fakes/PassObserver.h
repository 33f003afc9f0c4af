// An engine observer that only hears of a pass's end.
#pragma once

#include <functional>

#include "engine/MonitorEngine.h"

namespace tarnwatch::fakes {

class PassObserver final : public EngineObserver {
public:
    void RowsReset() override {}
    void RowChanged(int) override {}
    void StateChanged() override {}
    void TrayIconChanged(bool) override {}
    void CloseRequested() override {}
    void PassEnded() override {
        if (onPassEnded) onPassEnded();
    }
    std::function<void()> onPassEnded;
};

}  // namespace tarnwatch::fakes
