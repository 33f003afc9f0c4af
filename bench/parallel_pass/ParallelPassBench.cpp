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
            records.push_back(fakes::TestEntry(kSourceTcpPort, std::to_string(Server().port()),
                                               "127.0.0.1", 7, "web " + std::to_string(i)));
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
