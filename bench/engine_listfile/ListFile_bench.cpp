// Load and save of a 10,000-entry list file beside plain I/O of the same
// bytes, and the window's start-up with 10,000 rows.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <QApplication>
#include <cstring>
#include <vector>

#include "engine/ListFile.h"
#include "fakes/ListFileBytes.h"
#include "fakes/TempDir.h"
#include "shell/CTarnwatchDlg.h"

namespace {

using namespace tarnwatch;

constexpr int kEntries = 10000;

struct Fixture {
    Fixture() {
        std::vector<fakes::RawRecord> records;
        records.reserve(kEntries);
        for (int i = 0; i < kEntries; ++i) {
            fakes::RawRecord r(1912);
            r.Text(4, "80").Text(260, "10").Text(280, "host" + std::to_string(i) + ".example");
            r.Int(536, 1).Int(796, 7).Int(1880, 3).Int(1904, 3);
            records.push_back(std::move(r));
        }
        image = fakes::ListFileImage(-2.2f, kEntries, records);
        paths = {dir.path(), dir / "Tarnwatch.ini", dir / "Tarnwatch.bak"};
        fakes::WriteBytes(paths.listFile, image);
    }
    fakes::TempDir dir;
    std::vector<unsigned char> image;
    ListFilePaths paths;
};

Fixture& TheFixture() {
    static Fixture f;
    return f;
}

void BM_LoadListFile(benchmark::State& state) {
    auto& f = TheFixture();
    fakes::WriteBytes(f.paths.listFile, f.image);
    for (auto _ : state) {
        EntryCollection entries;
        benchmark::DoNotOptimize(LoadListFile(entries, f.paths));
        benchmark::DoNotOptimize(entries.rowCount);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * f.image.size()));
}

void BM_PlainRead(benchmark::State& state) {
    auto& f = TheFixture();
    fakes::WriteBytes(f.paths.listFile, f.image);
    std::vector<char> buf(f.image.size());
    for (auto _ : state) {
        int fd = open(f.paths.listFile.c_str(), O_RDONLY);
        ssize_t n = read(fd, buf.data(), buf.size());
        close(fd);
        benchmark::DoNotOptimize(n);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * f.image.size()));
}

// What a load does in plain I/O: read the bytes, and copy the file over its
// backup (a complete load refreshes the backup).
void BM_PlainReadAndBackupCopy(benchmark::State& state) {
    auto& f = TheFixture();
    fakes::WriteBytes(f.paths.listFile, f.image);
    std::vector<char> buf(f.image.size());
    const std::string tmp = f.dir / "plain.tmp";
    const std::string backup = f.dir / "plain.bak";
    for (auto _ : state) {
        int fd = open(f.paths.listFile.c_str(), O_RDONLY);
        ssize_t n = read(fd, buf.data(), buf.size());
        close(fd);
        int out = open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        n += write(out, buf.data(), static_cast<std::size_t>(n));
        close(out);
        rename(tmp.c_str(), backup.c_str());
        benchmark::DoNotOptimize(n);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * f.image.size()));
}

void BM_SaveListFile(benchmark::State& state) {
    auto& f = TheFixture();
    fakes::WriteBytes(f.paths.listFile, f.image);
    EntryCollection entries;
    (void)LoadListFile(entries, f.paths);
    for (auto _ : state) {
        benchmark::DoNotOptimize(SaveListFile(entries, f.paths));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * f.image.size()));
}

void BM_PlainWriteFsync(benchmark::State& state) {
    auto& f = TheFixture();
    const std::string path = f.dir / "plain.bin";
    for (auto _ : state) {
        int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ssize_t n = write(fd, f.image.data(), f.image.size());
        fsync(fd);
        close(fd);
        benchmark::DoNotOptimize(n);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * f.image.size()));
}

// From constructing the window (which loads the list) until the shown
// window has painted its rows.
void BM_WindowStartup10k(benchmark::State& state) {
    auto& f = TheFixture();
    fakes::WriteBytes(f.paths.listFile, f.image);
    fakes::ScopedEnv home("TARNWATCH_HOME", f.dir.path());
    static int argc = 1;
    static char name[] = "listfile_bench";
    static char* argv[] = {name, nullptr};
    static QApplication app(argc, argv);
    for (auto _ : state) {
        CTarnwatchDlg dlg;
        dlg.show();
        QApplication::processEvents();
        dlg.grab();  // forces a full paint of the visible rows
        state.PauseTiming();
        dlg.CloseProgram();
        state.ResumeTiming();
    }
}

BENCHMARK(BM_LoadListFile)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainRead)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainReadAndBackupCopy)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveListFile)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainWriteFsync)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WindowStartup10k)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

#include "fakes/OffscreenBenchMain.h"
