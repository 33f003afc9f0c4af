// A pass that tests many entries at once must end exactly where the pass
// that tests them one after the other ends: the same list file, the same
// rows, the same alerts in the same order. And a close must stop it at once.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>

#include "CycleFixture.h"
#include "fakes/Loopback.h"
#include "fakes/SilentListener.h"
#include "quillongen_probes/SilentHostNamespace.h"

namespace tarnwatch::cycle {
namespace {

// Wall time stands still, so the test times both runs keep are equal; the
// waits still run on the real monotonic clock.
class StillWallClock final : public Clock {
public:
    std::int64_t Now() const override { return 1'700'000'000; }
    std::int64_t MonotonicMs() const override { return real_.MonotonicMs(); }
    std::int64_t MonotonicUs() const override { return real_.MonotonicUs(); }

private:
    SystemClock real_;
};

struct Observed {
    std::vector<unsigned char> listFile;
    std::vector<std::string> rows;  // image and every cell of each row
    std::vector<std::string> marks;
    std::vector<std::string> sounds;
    std::vector<std::string> messages;
    std::vector<int> tested;
};

class ParallelPassTest : public CycleTest {
protected:
    // The engine holds the timers and the pump below.
    ~ParallelPassTest() override { engine.reset(); }

    // The engine on a still wall clock, `width` entries at once.
    void StartWith(int width, const std::vector<EntryBytes>& entries,
                   const std::function<void(GlobalSettings&)>& configure) {
        Start(entries, configure, /*realClock=*/true);
        engine.reset();
        timers = std::make_unique<fakes::FakeTimers>(clock);
        pump = std::make_unique<fakes::FakePump>(*timers);
        Ports ports = platform->ports;
        ports.clock = &clock;
        ports.timers = timers.get();
        ports.pump = pump.get();
        engine = std::make_unique<MonitorEngine>(ports, &store);
        engine->SetObserver(&observer);
        engine->SetParallelTests(width);
        engine->Initialise();
        observer.tested.clear();
    }

    Observed Finish() {
        Observed o;
        for (const RowView& row : engine->Rows()) {
            std::string line = std::to_string(row.image) + (row.checked ? "+" : "-");
            for (const std::string& cell : row.cells) line += "|" + cell;
            o.rows.push_back(line);
        }
        o.tested = observer.tested;
        engine->Shutdown({}, {});
        o.listFile = fakes::ReadBytes(dir / "Tarnwatch.ini");
        o.marks = TakeMarks();
        o.sounds = TakeSounds();
        o.messages = platform->messageBox.shown;
        return o;
    }

    StillWallClock clock;
    std::unique_ptr<fakes::FakeTimers> timers;
    std::unique_ptr<fakes::FakePump> pump;
};

std::string OwnProgramName() {
    return std::filesystem::read_symlink("/proc/self/exe").filename();
}

TEST_F(ParallelPassTest, ManyAtOnceEndsWhereOneAfterTheOtherEnds) {
    SilentHostNamespace ns;  // a silent ping where the machine allows one
    int refused = 0;
    close(fakes::ListenOnLoopback(1, refused));

    const auto alerting = [&](EntryBytes e, const std::string& name) {
        return e.Description(name)
            .Sound(kSoundEveryFailure, "f-" + name, "o-" + name)
            .Batch(kBatchEveryFailure, Mark("down @W @S"), Mark("up @W"), 1, 1, 1);
    };
    // Connects complete on a port nobody accepts from; its queue holds every
    // connect of every run.
    int silentPort = 0;
    const int silent = fakes::ListenOnLoopback(64, silentPort);
    const auto listFor = [&] {
        const std::string port = std::to_string(silentPort);
        std::vector<EntryBytes> list = {
            alerting(EntryBytes(kSourceTcpPort, std::to_string(refused), "127.0.0.1").Timeout("1"),
                     "tcp-refused"),
            alerting(EntryBytes(kSourceTcpPort, port, "127.0.0.1").Timeout("1"), "tcp-open"),
            alerting(EntryBytes(kSourceTcpPort, port, "127.0.0.1")
                         .ServiceTest(kServiceTestVorlan)
                         .Verify(1)
                         .Timeout("1"),
                     "agent-silent"),
            alerting(EntryBytes(kSourceNone, "", "127.0.0.1").Timeout("1"), "ping-ok"),
            alerting(EntryBytes(kSourceProcessName, OwnProgramName(), "local"), "proc-running"),
            alerting(EntryBytes(kSourceProcessName, "tw-no-such-process", "local"), "proc-missing"),
            alerting(EntryBytes(kSourceProgram, Probe("ok"), "local"), "prog-ok"),
            alerting(EntryBytes(kSourceProgram, Probe("bad"), "local").Attempts(2), "prog-bad"),
            alerting(EntryBytes(kSourceProgram, Probe("slow"), "local").Timeout("1"), "prog-slow"),
            alerting(EntryBytes(kSourceProgram, Probe("flip"), "local"), "prog-flip"),
            alerting(
                EntryBytes(kSourceTcpPort, std::to_string(refused), "127.0.0.1").CheckInternet(1),
                "gated-tcp"),
            alerting(EntryBytes(kSourceNone, "", "127.0.0.1").Timeout("1").CheckInternet(1),
                     "gated-ping"),
            alerting(EntryBytes(kSourceProgram, Probe("off"), "local").Enabled(0), "prog-off"),
        };
        if (ns.failure().empty()) {
            list.push_back(alerting(EntryBytes(kSourceNone, "", ns.silentAddress()).Timeout("1"),
                                    "ping-silent"));
        }
        return list;
    };
    // Moving failed entries on and the gate up; then disabling them with the
    // gate down.
    const auto gateUpAndMove = [&](GlobalSettings& s) {
        s.autoMove = 1;
        s.internetAlerts.batch.batchMode = kBatchEveryFailure;
        CopyText(s.internetAlerts.batch.failedCommand, Mark("net-down @W").c_str());
        CopyText(s.internetAlerts.batch.okAgainCommand, Mark("net-up @W").c_str());
        s.internetAlerts.batch.failedCommandWait = 1;
        s.internetAlerts.batch.okAgainCommandWait = 1;
    };
    const auto gateDownAndDisable = [&](GlobalSettings& s) {
        gateUpAndMove(s);
        s.autoMove = 0;
        s.autoDisable = 1;
        CopyText(s.internetAddresses[0], "0.0.0.0");
    };

    // What each configuration must show for the agreement not to be empty:
    // a failure alerted, and a recovery where failed entries stay enabled.
    const std::vector<std::pair<std::function<void(GlobalSettings&)>, std::string>> cases = {
        {gateUpAndMove, "up prog-flip"}, {gateDownAndDisable, "net-down gated-ping"}};
    for (const auto& [configure, seen] : cases) {
        std::vector<Observed> runs;
        for (int width : {1, 32}) {
            SetCode("ok", "0");
            SetCode("bad", "3");
            SetCode("slow", "sleep");
            SetCode("flip", "3");
            StartWith(width, listFor(), configure);
            Pass();
            SetCode("flip", "0");
            Pass();
            TakeLog();
            runs.push_back(Finish());
        }
        const Observed& one = runs[0];
        const Observed& many = runs[1];
        EXPECT_EQ(many.rows, one.rows);
        EXPECT_EQ(many.marks, one.marks);
        EXPECT_EQ(many.sounds, one.sounds);
        EXPECT_EQ(many.messages, one.messages);
        EXPECT_EQ(many.tested, one.tested);
        EXPECT_TRUE(many.listFile == one.listFile) << "the list files differ";
        const auto marked = [&](const std::string& mark) {
            return std::find(one.marks.begin(), one.marks.end(), mark) != one.marks.end();
        };
        EXPECT_TRUE(marked("down tcp-refused unavailable"));
        EXPECT_TRUE(marked(seen)) << seen;
    }
    close(silent);
}

TEST_F(ParallelPassTest, CloseStopsEveryProbeInFlightAndJudgesNone) {
    fakes::SilentListener silent;
    std::vector<EntryBytes> list;
    for (int i = 0; i < 6; ++i) {
        list.push_back(EntryBytes(kSourceTcpPort, std::to_string(silent.port()), "127.0.0.1")
                           .ServiceTest(kServiceTestVorlan)
                           .Verify(1)
                           .Timeout("30")
                           .Description("agent " + std::to_string(i)));
    }
    StartWith(4, list, nullptr);
    const auto started = std::chrono::steady_clock::now();
    pump->hook = [&] {
        if (std::chrono::steady_clock::now() - started > std::chrono::milliseconds(300)) {
            engine->RequestClose();
        }
    };
    Pass();
    const auto took = std::chrono::steady_clock::now() - started;
    // Far below one time-out: nothing waited for its answer.
    EXPECT_LT(took, std::chrono::seconds(10));
    EXPECT_TRUE(observer.tested.empty());
    for (int r = 0; r < 6; ++r) {
        EXPECT_EQ(Status(r), "unknown") << r;
        EXPECT_EQ(Record(r).attempt, 0) << r;
        EXPECT_EQ(Record(r).state, kStateUntested) << r;
    }
    engine->Shutdown({}, {});
    const auto saved = fakes::ReadBytes(dir / "Tarnwatch.ini");
    EXPECT_EQ(saved.size(), 12u + 6u * 1912u) << "every entry saved";
}

}  // namespace
}  // namespace tarnwatch::cycle
