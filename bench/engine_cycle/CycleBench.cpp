// A pass over 1,000 plain TCP entries against an open loopback port: the
// bare probe loop, the headless engine, and the engine in its window
// (offscreen) repainting each row as it is tested.
#include <benchmark/benchmark.h>

#include <QApplication>

#include "engine/MonitorEngine.h"
#include "engine/ProbeClient.h"
#include "engine/SystemClock.h"
#include "fakes/FakePorts.h"
#include "fakes/HangupServer.h"
#include "fakes/ListFileBytes.h"
#include "fakes/QtApp.h"
#include "fakes/TempDir.h"
#include "shell/CTarnwatchDlg.h"
#include "shell/QtPorts.h"

namespace {

using namespace tarnwatch;

constexpr int kEntries = 1000;

fakes::HangupServer& Server() {
    static fakes::HangupServer server;
    return server;
}

struct ListDir {
    ListDir() {
        std::vector<fakes::RawRecord> records;
        for (int i = 0; i < kEntries; ++i) {
            fakes::RawRecord r(1912);
            r.Text(4, std::to_string(Server().port())).Text(260, "5").Text(280, "127.0.0.1");
            r.Int(536, 1).Int(796, 7).Int(1880, 1).Int(1888, 1).Int(1892, 1).Int(1904, 3);
            records.push_back(std::move(r));
        }
        fakes::WriteBytes(dir / "Tarnwatch.ini", fakes::ListFileImage(-2.2f, kEntries, records));
    }
    fakes::TempDir dir;
};

ListDir& List() {
    static ListDir list;
    return list;
}

// The same 1,000 probe-client tests without rows or state machine, with the
// same timer and pump the engine uses.
void BM_BareProbeLoop(benchmark::State& state) {
    fakes::App();
    SystemClock clock;
    QtTimerPort timers;
    QtPump pump;
    const Ports ports{.clock = &clock, .timers = &timers, .pump = &pump};
    for (auto _ : state) {
        for (int i = 0; i < kEntries; ++i) {
            CClientThread client(ports);
            if (client.Connect(Server().port(), "127.0.0.1", 5) != 1)
                state.SkipWithError("connect");
            client.Disconnect();
        }
    }
}

void BM_HeadlessPass(benchmark::State& state) {
    fakes::App();
    fakes::ScopedEnv home("TARNWATCH_HOME", List().dir.path());
    SystemClock clock;
    QtTimerPort timers;
    QtPump pump;
    fakes::CountingWaitCursor cursor;
    fakes::FakeWindow window;
    const Ports ports{.clock = &clock,
                      .timers = &timers,
                      .pump = &pump,
                      .waitCursor = &cursor,
                      .window = &window};
    MonitorEngine engine(ports, nullptr);
    engine.Initialise();
    for (auto _ : state) {
        engine.OnUpdateAll();
        if (engine.OverallLevel() != kLevelOk) state.SkipWithError("an entry failed");
    }
}

void BM_WindowPass(benchmark::State& state) {
    fakes::App();
    fakes::ScopedEnv home("TARNWATCH_HOME", List().dir.path());
    CTarnwatchDlg dlg;
    dlg.show();
    QApplication::processEvents();
    for (auto _ : state) {
        dlg.Engine().OnUpdateAll();
        if (dlg.Engine().OverallLevel() != kLevelOk) state.SkipWithError("an entry failed");
    }
    dlg.CloseProgram();
}

BENCHMARK(BM_BareProbeLoop)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_HeadlessPass)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_WindowPass)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

}  // namespace

#include "fakes/OffscreenBenchMain.h"
