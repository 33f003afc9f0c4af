// Export and import of a 10,000-entry list in its text form beside loading
// the same list from its binary file, whole and in their parts (the text
// made or read in memory).
#include <benchmark/benchmark.h>

#include "engine/ListFile.h"
#include "engine/ListText.h"
#include "engine/ListTextFile.h"
#include "fakes/ListFileBytes.h"
#include "fakes/TempDir.h"

namespace {

using namespace tarnwatch;

constexpr int kEntries = 10000;

struct Fixture {
    Fixture() {
        std::vector<fakes::RawRecord> records;
        records.reserve(kEntries);
        for (int i = 0; i < kEntries; ++i) {
            records.push_back(fakes::TestEntry(0, "80", "host" + std::to_string(i) + ".example", 7,
                                               "web server " + std::to_string(i)));
        }
        image = fakes::ListFileImage(-2.2f, kEntries, records);
        paths = {dir.path(), dir / "Tarnwatch.ini", dir / "Tarnwatch.bak"};
        fakes::WriteBytes(paths.listFile, image);
        (void)LoadListFile(entries, paths);
        text = ListToText(entries);
        fakes::WriteBytes(dir / "list.toml", {text.begin(), text.end()});
    }
    fakes::TempDir dir;
    std::vector<unsigned char> image;
    ListFilePaths paths;
    EntryCollection entries;
    std::string text;
};

Fixture& TheFixture() {
    static Fixture f;
    return f;
}

void BM_LoadBinaryList(benchmark::State& state) {
    auto& f = TheFixture();
    fakes::WriteBytes(f.paths.listFile, f.image);
    for (auto _ : state) {
        EntryCollection entries;
        benchmark::DoNotOptimize(LoadListFile(entries, f.paths));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * f.image.size()));
}

// --export FILE: the binary list read, the text made and written (synced).
void BM_ExportText(benchmark::State& state) {
    auto& f = TheFixture();
    fakes::WriteBytes(f.paths.listFile, f.image);
    const std::string out = f.dir / "export.toml";
    for (auto _ : state) benchmark::DoNotOptimize(ExportListText(f.paths, out));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * f.text.size()));
}

// --import FILE: the text read and checked, the list kept and saved (synced).
void BM_ImportText(benchmark::State& state) {
    auto& f = TheFixture();
    fakes::WriteBytes(f.paths.listFile, f.image);
    const std::string in = f.dir / "list.toml";
    for (auto _ : state) benchmark::DoNotOptimize(ImportListText(f.paths, in));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * f.text.size()));
}

void BM_ListToText(benchmark::State& state) {
    auto& f = TheFixture();
    for (auto _ : state) benchmark::DoNotOptimize(ListToText(f.entries));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * f.text.size()));
}

void BM_ListFromText(benchmark::State& state) {
    auto& f = TheFixture();
    std::string error;
    for (auto _ : state) {
        EntryCollection entries;
        benchmark::DoNotOptimize(ListFromText(f.text, "list.toml", entries, error));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * f.text.size()));
}

BENCHMARK(BM_LoadBinaryList)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExportText)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ImportText)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ListToText)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ListFromText)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
