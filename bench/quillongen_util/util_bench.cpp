// Memory manager against malloc/free for many small blocks, and Xgen_BufIn
// against fread for a 10 MB file read 10 bytes at a time.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "quillongen/mem.h"
#include "quillongen/xgen.h"

namespace {

constexpr unsigned kSmallBlock = 16;

void BM_MemReallocateDeallocate(benchmark::State& state) {
    const auto n = static_cast<size_t>(state.range(0));
    std::vector<void*> blocks(n, nullptr);
    for (auto _ : state) {
        for (void*& p : blocks) mem_reallocate(&p, kSmallBlock);
        for (void*& p : blocks) mem_deallocate(&p);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * n));
}
BENCHMARK(BM_MemReallocateDeallocate)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);

void BM_MallocFree(benchmark::State& state) {
    const auto n = static_cast<size_t>(state.range(0));
    std::vector<void*> blocks(n, nullptr);
    for (auto _ : state) {
        for (void*& p : blocks) {
            p = std::calloc(1, kSmallBlock);
            benchmark::DoNotOptimize(p);
        }
        for (void*& p : blocks) std::free(p);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * n));
}
BENCHMARK(BM_MallocFree)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);

constexpr size_t kFileSize = 10 * 1024 * 1024;
constexpr int kPiece = 10;

const std::string& bigFile() {
    static const std::string path = [] {
        std::string p = "/tmp/qg_bench_" + std::to_string(getpid()) + ".dat";
        FILE* f = std::fopen(p.c_str(), "wb");
        std::vector<char> chunk(65536);
        for (size_t i = 0; i < chunk.size(); ++i) chunk[i] = static_cast<char>(i * 31);
        for (size_t done = 0; done < kFileSize; done += chunk.size())
            std::fwrite(chunk.data(), 1, chunk.size(), f);
        std::fclose(f);
        std::atexit([] { unlink(bigFile().c_str()); });
        return p;
    }();
    return path;
}

void BM_XgenBufIn10Bytes(benchmark::State& state) {
    const std::string& path = bigFile();
    char piece[kPiece];
    for (auto _ : state) {
        XgenBuffer b{};
        if (Xgen_BufOpen(&b, path.c_str(), 0) != XGEN_OK) state.SkipWithError("open failed");
        for (size_t done = 0; done < kFileSize; done += kPiece) {
            if (Xgen_BufIn(&b, 0, kPiece, piece) != kPiece * 65536 + XGEN_OK) {
                state.SkipWithError("short read");
                break;
            }
            benchmark::DoNotOptimize(piece);
        }
        Xgen_BufClose(&b);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFileSize));
}
BENCHMARK(BM_XgenBufIn10Bytes)->Unit(benchmark::kMillisecond);

void BM_Fread10Bytes(benchmark::State& state) {
    const std::string& path = bigFile();
    char piece[kPiece];
    for (auto _ : state) {
        FILE* f = std::fopen(path.c_str(), "rb");
        for (size_t done = 0; done < kFileSize; done += kPiece) {
            if (std::fread(piece, 1, kPiece, f) != kPiece) {
                state.SkipWithError("short read");
                break;
            }
            benchmark::DoNotOptimize(piece);
        }
        std::fclose(f);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFileSize));
}
BENCHMARK(BM_Fread10Bytes)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
