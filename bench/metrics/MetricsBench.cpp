// The metrics' cost: the text of 10,000 tested entries made and written
// atomically beside a plain write of the same bytes, and headless passes
// over 1,000 TCP entries with the metrics off and on (file and endpoint).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <QApplication>
#include <chrono>

#include "engine/FileReplace.h"
#include "engine/MetricsExposition.h"
#include "engine/MonitorEngine.h"
#include "engine/SystemClock.h"
#include "fakes/FakePorts.h"
#include "fakes/HangupServer.h"
#include "fakes/ListFileBytes.h"
#include "fakes/Loopback.h"
#include "fakes/PassObserver.h"
#include "fakes/QtApp.h"
#include "fakes/TempDir.h"
#include "shell/MetricsOutput.h"
#include "shell/QtPorts.h"

namespace {

using namespace tarnwatch;

fakes::HangupServer& Server() {
    static fakes::HangupServer server;
    return server;
}

// A list of `count` TCP entries against the loopback server, with texts as
// long as real ones.
void WriteList(const std::string& path, int count) {
    std::vector<fakes::RawRecord> records;
    records.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        fakes::RawRecord r(1912);
        r.Text(4, std::to_string(Server().port())).Text(260, "5").Text(280, "127.0.0.1");
        r.Text(540, "web front " + std::to_string(i) + " \"rack\" b\\" + std::to_string(i % 7));
        r.Int(536, 1).Int(796, 7).Int(1880, 3).Int(1888, 1).Int(1892, 1).Int(1904, 3);
        records.push_back(std::move(r));
    }
    fakes::WriteBytes(path, fakes::ListFileImage(-2.2f, count, records));
}

// 10,000 entries after one real pass, so every value is filled in.
struct TestedList {
    TestedList() : platform(true) {
        WriteList(dir / "Tarnwatch.ini", 10000);
        fakes::ScopedEnv home("TARNWATCH_HOME", dir.path());
        engine = std::make_unique<MonitorEngine>(platform.ports, nullptr);
        engine->Initialise();
        engine->OnUpdateAll();
    }
    fakes::TempDir dir;
    fakes::FakePlatform platform;
    std::unique_ptr<MonitorEngine> engine;
};

TestedList& Tested() {
    static TestedList list;
    return list;
}

void BM_ExpositionText10k(benchmark::State& state) {
    auto& t = Tested();
    std::size_t bytes = 0;
    for (auto _ : state) {
        const std::string text = ExpositionText(*t.engine);
        bytes = text.size();
        benchmark::DoNotOptimize(text.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
    state.counters["bytes"] = static_cast<double>(bytes);
}

// What the monitor does after a pass: the text made in memory (the endpoint
// serves the same one) while a second thread writes each finished part beside
// the file, which is renamed over it once whole.
void BM_WriteExposition10k(benchmark::State& state) {
    auto& t = Tested();
    const std::string path = t.dir / "metrics.prom";
    std::size_t bytes = 0;
    std::string text;  // the monitor makes each pass's text in the last one's buffer
    for (auto _ : state) {
        if (!WriteExpositionFile(*t.engine, path, text, nullptr)) {
            state.SkipWithError("write");
        }
        bytes = text.size();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
}

// The same made first and written after, one thread doing both.
void BM_MakeThenWriteExposition10k(benchmark::State& state) {
    auto& t = Tested();
    const std::string path = t.dir / "metrics.prom";
    for (auto _ : state) {
        const std::string text = ExpositionText(*t.engine);
        if (!ReplaceFile(path, false, text)) state.SkipWithError("write");
    }
}

// The atomic replacement alone, of a text already built.
void BM_AtomicWriteSameBytes(benchmark::State& state) {
    auto& t = Tested();
    const std::string text = ExpositionText(*t.engine);
    const std::string path = t.dir / "atomic.prom";
    for (auto _ : state) {
        if (!ReplaceFile(path, false, text)) state.SkipWithError("write");
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

// The same number of bytes, already in memory, written plainly over a file.
void BM_PlainWriteSameBytes(benchmark::State& state) {
    auto& t = Tested();
    const std::string bytes(ExpositionText(*t.engine).size(), 'x');
    const std::string path = t.dir / "plain.bin";
    for (auto _ : state) {
        const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        ssize_t n = write(fd, bytes.data(), bytes.size());
        close(fd);
        benchmark::DoNotOptimize(n);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
}

// One headless engine over the 1,000-entry list, as CycleBench runs it, with
// its metrics going to a file and the endpoint after each pass, or nowhere.
struct HeadlessEngine {
    HeadlessEngine(const std::string& dir, bool withMetrics)
        : ports{.clock = &clock,
                .timers = &timers,
                .pump = &pump,
                .waitCursor = &cursor,
                .window = &window},
          engine(ports, nullptr) {
        if (withMetrics) {
            MetricsOptions options;
            options.file = dir + "/metrics.prom";
            int port = 0;
            close(fakes::ListenOnLoopback(1, port));
            ListenAddress where;
            ParseListenAddress(std::to_string(port), where, nullptr);
            options.listen = where;
            metrics = std::make_unique<MetricsOutput>(options);
        }
        if (metrics) publisher.onPassEnded = [this] { metrics->Publish(engine); };
        engine.SetObserver(&publisher);
        engine.Initialise();
    }
    ~HeadlessEngine() { engine.SetObserver(nullptr); }
    // The pass's length in seconds.
    double Pass() {
        const auto start = std::chrono::steady_clock::now();
        engine.OnUpdateAll();
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    SystemClock clock;
    QtTimerPort timers;
    QtPump pump;
    fakes::CountingWaitCursor cursor;
    fakes::FakeWindow window;
    Ports ports;
    MonitorEngine engine;
    std::unique_ptr<MetricsOutput> metrics;
    fakes::PassObserver publisher;
};

// Passes with the metrics off and on, taken in turn so that both meet the
// same load on the machine; the counters give each one's mean and the ratio.
void BM_HeadlessPassMetricsOffVsOn(benchmark::State& state) {
    fakes::App();
    fakes::TempDir dir;
    WriteList(dir / "Tarnwatch.ini", 1000);
    fakes::ScopedEnv home("TARNWATCH_HOME", dir.path());
    fakes::ScopedEnv config("XDG_CONFIG_HOME", dir / "config");
    HeadlessEngine off(dir.path(), false);
    HeadlessEngine on(dir.path(), true);
    double offSeconds = 0;
    double onSeconds = 0;
    bool onFirst = false;
    for (auto _ : state) {
        const double a = onFirst ? on.Pass() : off.Pass();
        const double b = onFirst ? off.Pass() : on.Pass();
        (onFirst ? onSeconds : offSeconds) += a;
        (onFirst ? offSeconds : onSeconds) += b;
        onFirst = !onFirst;
        if (off.engine.OverallLevel() != kLevelOk || on.engine.OverallLevel() != kLevelOk) {
            state.SkipWithError("an entry failed");
        }
    }
    const auto n = static_cast<double>(state.iterations());
    state.counters["off_ms"] = offSeconds / n * 1e3;
    state.counters["on_ms"] = onSeconds / n * 1e3;
    state.counters["on_over_off"] = onSeconds / offSeconds;
}

BENCHMARK(BM_ExpositionText10k)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MakeThenWriteExposition10k)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteExposition10k)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AtomicWriteSameBytes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainWriteSameBytes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HeadlessPassMetricsOffVsOn)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(4.0);

}  // namespace

#include "fakes/OffscreenBenchMain.h"
