// A headless pass over 10,000 plain TCP entries against an answering
// loopback port, one entry after the other and 64 at once.
#include <benchmark/benchmark.h>
#include <sys/socket.h>
#include <unistd.h>

#include <thread>
#include <vector>

#include "engine/MonitorEngine.h"
#include "engine/SystemClock.h"
#include "fakes/FakePorts.h"
#include "fakes/ListFileBytes.h"
#include "fakes/Loopback.h"
#include "fakes/QtApp.h"
#include "fakes/TempDir.h"
#include "shell/QtPorts.h"

namespace {

using namespace tarnwatch;

constexpr int kEntries = 10000;

// Accepts and hangs up on several threads, so the peer keeps up with
// many tests at once.
class HangupServers {
public:
    explicit HangupServers(int threads) {
        fd_ = fakes::ListenOnLoopback(SOMAXCONN, port_);
        for (int i = 0; i < threads; ++i) {
            threads_.emplace_back([this] {
                for (;;) {
                    const int c = accept(fd_, nullptr, nullptr);
                    if (c < 0) return;
                    close(c);
                }
            });
        }
    }
    ~HangupServers() {
        shutdown(fd_, SHUT_RDWR);
        for (std::thread& t : threads_) t.join();
        close(fd_);
    }
    int port() const { return port_; }

private:
    int fd_ = -1;
    int port_ = 0;
    std::vector<std::thread> threads_;
};

HangupServers& Server() {
    static HangupServers server(4);
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

void BM_LoopbackPass(benchmark::State& state) {
    fakes::App();
    static ListDir list;
    fakes::ScopedEnv home("TARNWATCH_HOME", list.dir.path());
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
    engine.SetParallelTests(static_cast<int>(state.range(0)));
    engine.Initialise();
    for (auto _ : state) {
        engine.OnUpdateAll();
        if (engine.OverallLevel() != kLevelOk) state.SkipWithError("an entry failed");
    }
}

BENCHMARK(BM_LoopbackPass)
    ->Arg(1)
    ->Arg(4)
    ->Arg(16)
    ->Arg(64)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(3.0);

}  // namespace

#include "fakes/OffscreenBenchMain.h"
