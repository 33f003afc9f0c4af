// main() of a benchmark program that shows widgets: the offscreen platform,
// then Google Benchmark as usual. Include once, in the program's last file.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdlib>

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
