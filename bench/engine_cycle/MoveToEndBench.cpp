// A pass over 1,000 to 16,000 entries that all fail at once (a closed
// loopback port refuses each connect) with the default options, so every
// entry moves to the end of the list: the program run "--headless --once",
// and the engine in its window (offscreen). Each doubling of the list should
// cost about twice the time, not four times.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <string>
#include <vector>

#include "engine/MonitorEngine.h"
#include "fakes/ListFileBytes.h"
#include "fakes/ProgramRunner.h"
#include "fakes/QtApp.h"
#include "fakes/TempDir.h"
#include "shell/CTarnwatchDlg.h"

namespace {

using namespace tarnwatch;

// A loopback port that is bound but never listens: every connect is refused
// at once, and no other program can take the port while the bench runs.
class ClosedPort {
public:
    ClosedPort() {
        fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        socklen_t len = sizeof a;
        getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
    }
    ~ClosedPort() { close(fd_); }
    int port() const { return port_; }

private:
    int fd_ = -1;
    int port_ = 0;
};

int Port() {
    static ClosedPort port;
    return port.port();
}

// A private home, profile and data directory with a list of `entries`
// plain TCP entries on the closed port.
struct Setup {
    explicit Setup(int entries) : entries(entries) {
        WriteList();
        home.reserve(3);  // a moved ScopedEnv would undo its variable
        home.emplace_back("TARNWATCH_HOME", dir.path());
        home.emplace_back("XDG_CONFIG_HOME", dir / "config");
        home.emplace_back("XDG_DATA_HOME", dir / "data");
    }
    void WriteList() const {
        std::vector<fakes::RawRecord> records;
        for (int i = 0; i < entries; ++i) {
            fakes::RawRecord r(1912);
            r.Text(4, std::to_string(Port())).Text(260, "5").Text(280, "127.0.0.1");
            r.Int(536, 1).Int(796, 7).Int(1880, 1).Int(1888, 1).Int(1892, 1).Int(1904, 3);
            records.push_back(std::move(r));
        }
        fakes::WriteBytes(dir / "Tarnwatch.ini", fakes::ListFileImage(-2.2f, entries, records));
    }
    int entries;
    fakes::TempDir dir;
    std::vector<fakes::ScopedEnv> home;
};

// The program in a private PID namespace, so that a monitor running
// elsewhere on the machine cannot make it refuse to start.
void BM_HeadlessOncePass(benchmark::State& state) {
    Setup setup(static_cast<int>(state.range(0)));
    const std::vector<std::string> env = {"TARNWATCH_HOME=" + setup.dir.path(),
                                          "XDG_CONFIG_HOME=" + setup.dir / "config",
                                          "XDG_DATA_HOME=" + setup.dir / "data"};
    for (auto _ : state) {
        state.PauseTiming();
        setup.WriteList();
        state.ResumeTiming();
        fakes::Program program({"--headless", "--once"}, env);
        const int status = program.Wait(std::chrono::minutes(5));
        // Exit code 2: the overall level is Error, every entry failed.
        if (status < 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 2) {
            state.SkipWithError("not all failed");
            break;
        }
    }
}

// Every size runs the same three passes: the first one over untested
// entries differs from the later ones over failed entries.
void BM_WindowPass(benchmark::State& state) {
    fakes::App();
    Setup setup(static_cast<int>(state.range(0)));
    CTarnwatchDlg dlg;
    dlg.show();
    QApplication::processEvents();
    for (auto _ : state) {
        dlg.Engine().OnUpdateAll();
        QApplication::processEvents();
        if (dlg.Engine().OverallLevel() != kLevelError) state.SkipWithError("an entry passed");
    }
    dlg.CloseProgram();
}

BENCHMARK(BM_HeadlessOncePass)
    ->Arg(1000)
    ->Arg(2000)
    ->Arg(4000)
    ->Arg(8000)
    ->Arg(16000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(1.0);
BENCHMARK(BM_WindowPass)
    ->Arg(1000)
    ->Arg(2000)
    ->Arg(4000)
    ->Arg(8000)
    ->Arg(16000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);

}  // namespace

#include "fakes/OffscreenBenchMain.h"
