// Cost of a plain TCP test next to a bare connect + close on the same
// loopback port, and of RunCommand("true", 1) next to posix_spawn + waitpid.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

#include "engine/CommandRunner.h"
#include "engine/ProbeClient.h"
#include "fakes/HangupServer.h"

extern char** environ;

namespace {

using namespace tarnwatch;

fakes::HangupServer& Server() {
    static fakes::HangupServer server;
    return server;
}

void BM_PlainTcpTest(benchmark::State& state) {
    Ports ports;  // no timer, no pump: the probe alone
    const int port = Server().port();
    for (auto _ : state) {
        CClientThread client(ports);
        if (client.Connect(port, "127.0.0.1", 5) != 1) state.SkipWithError("connect failed");
        client.Disconnect();
    }
}
BENCHMARK(BM_PlainTcpTest)->UseRealTime();

void BM_BareConnectClose(benchmark::State& state) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<std::uint16_t>(Server().port()));
    for (auto _ : state) {
        int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
            state.SkipWithError("connect failed");
        }
        close(fd);
    }
}
BENCHMARK(BM_BareConnectClose)->UseRealTime();

void BM_RunCommandTrue(benchmark::State& state) {
    for (auto _ : state) {
        if (RunCommand("true", 1) != kRunOk) state.SkipWithError("true failed");
    }
}
BENCHMARK(BM_RunCommandTrue)->UseRealTime();

void BM_PosixSpawnTrue(benchmark::State& state) {
    char arg0[] = "/bin/true";
    char* argv[] = {arg0, nullptr};
    for (auto _ : state) {
        pid_t pid;
        if (posix_spawn(&pid, "/bin/true", nullptr, nullptr, argv, environ) != 0) {
            state.SkipWithError("spawn failed");
            break;
        }
        int st = 0;
        waitpid(pid, &st, 0);
    }
}
BENCHMARK(BM_PosixSpawnTrue)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
