// The metrics, the plugin line and the JSON report of the real program, over
// lists of real loopback peers, read back by parsers that owe nothing to the
// program: Python's metrics parser and JSON module, curl, and the plugin
// guidelines' syntax.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <regex>
#include <thread>

#include "fakes/HangupServer.h"
#include "fakes/ListFileBytes.h"
#include "fakes/ProgramRunner.h"
#include "fakes/SilentListener.h"
#include "fakes/TempDir.h"
#include "metrics/ReadBack.h"

namespace tarnwatch {
namespace {

using namespace std::chrono_literals;
using fakes::RawRecord;
using metrics::Sample;

constexpr const char* kFFFD = "\xEF\xBF\xBD";

constexpr auto Entry = fakes::TestEntry;

// The state code the metrics give for the state bits a saved record holds.
int CodeOfSavedState(std::int32_t state) {
    switch (state & 0x003F0000) {
        case 0x00010000:
            return 1;
        case 0x00100000:
            return 2;
        case 0x00040000:
            return 3;
        case 0x00080000:
            return 4;
        case 0x00020000:
            return 5;
        default:
            return 0;
    }
}

int FreeLoopbackPort() {
    int port = 0;
    const int fd = fakes::ListenOnLoopback(1, port);
    close(fd);
    return port;
}

int ConnectLoopback(int port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

long ResidentKiB(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string key;
    long value = -1;
    while (in >> key) {
        if (key == "VmRSS:") {
            in >> value;
            break;
        }
        in.ignore(1 << 12, '\n');
    }
    return value;
}

class MetricsProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        TW_SKIP_WITHOUT_PRIVATE_PID_NAMESPACE();
        std::filesystem::create_directories(dir / "config/Quillon");
        // Failed entries stay in their rows.
        Profile("");
    }
    void Profile(const std::string& extra) {
        std::ofstream(dir / "config/Quillon/Tarnwatch.conf") << "[Options]\namove=0\n" << extra;
    }
    std::vector<std::string> Env() const {
        return {"TARNWATCH_HOME=" + dir.path(), "XDG_CONFIG_HOME=" + dir.path() + "/config",
                "HOME=" + dir.path(), "TZ=UTC"};
    }
    void WriteList(const std::vector<RawRecord>& records) {
        fakes::WriteBytes(dir / "Tarnwatch.ini",
                          fakes::ListFileImage(-2.2f, static_cast<int>(records.size()), records));
    }
    std::string Script(const std::string& name, const std::string& body) {
        const std::string path = dir / name;
        std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
        std::filesystem::permissions(path, std::filesystem::perms::owner_all);
        return path;
    }
    // Runs the program to its end; the exit code, or -1.
    int Run(const std::vector<std::string>& args, std::string* out = nullptr,
            std::string* err = nullptr) {
        fakes::Program program(args, Env(), dir / "out.txt", dir / "err.txt");
        const int status = program.Wait(60s);
        if (out) *out = fakes::ReadText(dir / "out.txt");
        if (err) *err = fakes::ReadText(dir / "err.txt");
        if (status == -1 || !WIFEXITED(status)) return -1;
        return WEXITSTATUS(status);
    }
    std::vector<unsigned char> SavedList() { return fakes::ReadBytes(dir / "Tarnwatch.ini"); }
    fakes::TempDir dir;
};

const char* const kEntryFamilies[] = {"tarnwatch_entry_up",
                                      "tarnwatch_entry_state",
                                      "tarnwatch_entry_attempt",
                                      "tarnwatch_entry_attempts",
                                      "tarnwatch_entry_last_test_timestamp_seconds",
                                      "tarnwatch_entry_last_test_duration_seconds"};

TEST_F(MetricsProgramTest, ExpositionOfARealPassReadsBackAsThePassLeftEveryEntry) {
    fakes::HangupServer listener;
    int closedPort;
    {
        fakes::HangupServer gone;
        closedPort = gone.port();
    }
    const std::string hostileDescription =
        "q\"uote back\\slash new\nline \x01\x1f\x7f bytes \x80\xfe\xff caf\xc3\xa9 {a=\"b\"} #";
    const std::string hostileSource = "a\"b\\c\nd\xff";
    RawRecord retrying =
        Entry(2, Script("bad.sh", "exit 3"), "Local Machine", 21, "retrying script");
    retrying.Int(1880, 3);  // three attempts: the first failure only retries
    RawRecord disabled = Entry(3, "", "127.0.0.1", 17, "switched off");
    disabled.Int(536, 0);
    WriteList({Entry(0, std::to_string(listener.port()), "127.0.0.1", 7, "listener"),
               Entry(0, std::to_string(closedPort), "127.0.0.1", 7, "closed"),
               Entry(3, hostileSource, "127.0.0.1", 17, hostileDescription), retrying, disabled,
               Entry(2, Script("good.sh", "exit 0"), "Local Machine", 21, "good script")});
    // The profile names the file; the window reads the same value.
    Profile("[Metrics]\nMetricsFile=" + (dir / "profile.prom") + "\n");

    const auto start = static_cast<std::int64_t>(std::time(nullptr));
    ASSERT_EQ(Run({"--headless", "--once"}), 2);
    const auto end = static_cast<std::int64_t>(std::time(nullptr));

    const metrics::Exposition e = metrics::ReadExposition(dir / "profile.prom");
    ASSERT_TRUE(e.parsed) << e.error;
    for (const char* family : kEntryFamilies) {
        ASSERT_EQ(e.families.count(family), 1u) << family;
        EXPECT_EQ(e.families.at(family).first, "gauge") << family;
        EXPECT_FALSE(e.families.at(family).second.empty()) << family;
    }

    // Every enabled entry as the pass left it in the saved list.
    const auto saved = SavedList();
    ASSERT_EQ(saved.size(), 8u + 6 * 1912 + 4);
    for (int row : {0, 1, 2, 3, 5}) {
        SCOPED_TRACE("row " + std::to_string(row));
        const std::size_t at = 8 + 1912 * static_cast<std::size_t>(row);
        const int code = CodeOfSavedState(fakes::IntAt(saved, at + 1876));
        const std::string r = std::to_string(row);
        auto one = [&](const char* name) {
            const auto found = e.Find(name, "row", r);
            return found.size() == 1 ? found[0].value : -12345.0;
        };
        EXPECT_EQ(one("tarnwatch_entry_state"), code);
        EXPECT_EQ(one("tarnwatch_entry_up"), code == 1 ? 1 : 0);
        EXPECT_EQ(one("tarnwatch_entry_attempt"), fakes::IntAt(saved, at + 1884));
        EXPECT_EQ(one("tarnwatch_entry_attempts"), fakes::IntAt(saved, at + 1880));
        const double tested = one("tarnwatch_entry_last_test_timestamp_seconds");
        EXPECT_EQ(tested, fakes::IntAt(saved, at + 1900));
        EXPECT_GE(tested, start);
        EXPECT_LE(tested, end);
        const double took = one("tarnwatch_entry_last_test_duration_seconds");
        EXPECT_GE(took, 0.0);
        EXPECT_LE(took, static_cast<double>(end - start + 1));
    }
    EXPECT_EQ(e.Find("tarnwatch_entry_state", "row", "0")[0].value, 1);
    EXPECT_EQ(e.Find("tarnwatch_entry_state", "row", "1")[0].value, 5);
    EXPECT_EQ(e.Find("tarnwatch_entry_state", "row", "3")[0].value, 2);
    // The disabled entry has no series at all.
    for (const char* family : kEntryFamilies) EXPECT_TRUE(e.Find(family, "row", "4").empty());
    EXPECT_TRUE(e.Find("tarnwatch_entry_up", "description", "switched off").empty());

    // Hostile texts come back whole, with only the bytes that are not UTF-8
    // replaced.
    const Sample hostile = e.Find("tarnwatch_entry_up", "row", "2").at(0);
    EXPECT_EQ(hostile.labels.at("description"),
              std::string("q\"uote back\\slash new\nline \x01\x1f\x7f bytes ") + kFFFD + kFFFD +
                  kFFFD + " caf\xc3\xa9 {a=\"b\"} #");
    EXPECT_EQ(hostile.labels.at("source"), std::string("a\"b\\c\nd") + kFFFD);
    EXPECT_EQ(hostile.labels.at("address"), "127.0.0.1");
    EXPECT_EQ(hostile.labels.at("service_test"), "Ping");
    EXPECT_EQ(e.Find("tarnwatch_entry_up", "row", "0").at(0).labels.at("service_test"), "Http");

    EXPECT_EQ(e.Find("tarnwatch_overall_level").at(0).value, 3);
    EXPECT_EQ(e.Find("tarnwatch_entries", "outcome", "ok").at(0).value, 3);
    EXPECT_EQ(e.Find("tarnwatch_entries", "outcome", "failed").at(0).value, 2);
    EXPECT_EQ(e.Find("tarnwatch_entries", "outcome", "disabled").at(0).value, 1);
    EXPECT_EQ(e.Find("tarnwatch_internet_state").at(0).value, 0);
    EXPECT_EQ(e.Find("tarnwatch_class_interval_seconds").size(), 3u);
    const double passEnd = e.Find("tarnwatch_last_pass_timestamp_seconds").at(0).value;
    EXPECT_GE(passEnd, start);
    EXPECT_LE(passEnd, end);

    // The command line's file overrides the profile's.
    std::filesystem::remove(dir / "profile.prom");
    ASSERT_EQ(Run({"--headless", "--once", "--metrics-file", dir / "flag.prom"}), 2);
    EXPECT_TRUE(std::filesystem::exists(dir / "flag.prom"));
    EXPECT_FALSE(std::filesystem::exists(dir / "profile.prom"));
}

TEST_F(MetricsProgramTest, FirstLineFollowsThePluginSyntaxForEveryResult) {
    // 'label'=value[UOM];[warn];[crit];[min];[max], labels quoted when they
    // hold spaces; one '|' before the performance data and none in the text.
    const std::string number = "-?[0-9]+(\\.[0-9]+)?";
    const std::string perf =
        "('[^'=]+'|[^' =|]+)=" + number + "(us|ms|s|%|B|KB|MB|TB|c)?" + "(;(" + number + ")?){0,4}";
    const std::regex pluginLine("^TARNWATCH (OK|WARNING|CRITICAL|UNKNOWN) - [^|\\r\\n]+( \\| " +
                                perf + "( " + perf + ")*)?$");
    const auto firstLine = [](const std::string& out) { return out.substr(0, out.find('\n')); };
    fakes::HangupServer listener;
    int closedPort;
    {
        fakes::HangupServer gone;
        closedPort = gone.port();
    }
    std::string out, err;

    // Ok; what an entry's program prints does not come first.
    WriteList({Entry(0, std::to_string(listener.port()), "127.0.0.1", 7, "listener"),
               Entry(3, "", "127.0.0.1", 17, "pinged"),
               Entry(2, Script("chatty.sh", "echo 'chatty says hi'; exit 0"), "Local Machine", 21,
                     "chatty")});
    ASSERT_EQ(Run({"--headless", "--once"}, &out, &err), 0) << out << err;
    EXPECT_TRUE(std::regex_match(firstLine(out), pluginLine)) << firstLine(out);
    EXPECT_EQ(out.rfind("TARNWATCH OK - 3 of 3 entries ok | ok=3;;;0;3 failed=0;;;0;3 ", 0), 0u)
        << out;
    EXPECT_EQ(out.find("chatty says hi"), std::string::npos) << out;
    EXPECT_NE(err.find("chatty says hi"), std::string::npos) << err;
    EXPECT_EQ(out.substr(out.find('\n') + 1, 7), "Address") << "the table follows";

    // Warning: an entry that failed once of its three attempts.
    RawRecord retrying = Entry(2, Script("bad.sh", "exit 3"), "Local Machine", 21, "flaky");
    retrying.Int(1880, 3);
    WriteList({Entry(3, "", "127.0.0.1", 17, "pinged"), retrying});
    ASSERT_EQ(Run({"--headless", "--once"}, &out), 1) << out;
    EXPECT_TRUE(std::regex_match(firstLine(out), pluginLine)) << firstLine(out);
    EXPECT_EQ(out.rfind("TARNWATCH WARNING - 1 of 2 entries failed: flaky | ", 0), 0u) << out;

    // Critical, named by a description that holds the separator and a line
    // break, and by the address where there is no description.
    WriteList({Entry(0, std::to_string(closedPort), "127.0.0.1", 7, "web | db\nfront"),
               Entry(0, std::to_string(closedPort), "127.0.0.1", 7, ""),
               Entry(0, std::to_string(listener.port()), "127.0.0.1", 7, "listener")});
    ASSERT_EQ(Run({"--headless", "--once"}, &out), 2) << out;
    EXPECT_TRUE(std::regex_match(firstLine(out), pluginLine)) << firstLine(out);
    EXPECT_EQ(out.rfind("TARNWATCH CRITICAL - 2 of 3 entries failed: web / db front, 127.0.0.1 | "
                        "ok=1;;;0;3 failed=2;;;0;3 untested=0;;;0;3 disabled=0;;;0;3 "
                        "pass_duration=",
                        0),
              0u)
        << out;

    // Unknown: the list exists but cannot be read, so no pass runs.
    fakes::WriteBytes(dir / "Tarnwatch.ini", {0x66, 0x66, 0x0c});
    ASSERT_EQ(Run({"--headless", "--once"}, &out), 3) << out;
    EXPECT_TRUE(std::regex_match(firstLine(out), pluginLine)) << firstLine(out);
    EXPECT_EQ(firstLine(out), "TARNWATCH UNKNOWN - the list file " + (dir / "Tarnwatch.ini") +
                                  " cannot be read: it is cut short");
    std::filesystem::remove(dir / "Tarnwatch.ini");
    std::filesystem::create_directory(dir / "Tarnwatch.ini");
    EXPECT_EQ(Run({"--headless", "--once"}, &out), 3) << out;
    EXPECT_NE(firstLine(out).find("it is not a regular file"), std::string::npos) << out;
}

TEST_F(MetricsProgramTest, JsonReportOfHostileTextsParsesAndKeepsEveryText) {
    int closedPort;
    {
        fakes::HangupServer gone;
        closedPort = gone.port();
    }
    std::string highBytes;
    for (int b = 0x80; b <= 0xFF; ++b) highBytes += static_cast<char>(b);
    const std::string controls = "\x01\x08\t\x0b\x0c\r\x1b[31m\x1f\x7f";
    RawRecord off = Entry(3, "", "127.0.0.1", 17, "off");
    off.Int(536, 0);
    WriteList({Entry(3, "", "127.0.0.1", 17,
                     "q\"b\\n\\u0000\n" + controls + highBytes + "\xc3\xa9\xe2\x82\xac"),
               Entry(2, Script("good.sh", "exit 0"), "bad\"addr\\\n\xff", 21, "odd address"),
               Entry(2, Script("noisy.sh", "printf '{\"broken\": \\033[31m'; exit 0"),
                     "Local Machine", 21, "noisy"),
               off, Entry(0, std::to_string(closedPort), "127.0.0.1", 7, "closed")});
    std::string out;
    ASSERT_EQ(Run({"--headless", "--once", "--json"}, &out), 2) << out;
    std::ofstream(dir / "report.json", std::ios::binary) << out;

    const metrics::JsonDocument d = metrics::ReadJson(dir / "report.json");
    ASSERT_TRUE(d.parsed) << d.error << "\n" << out;
    std::string replaced;
    for (int i = 0; i < 128; ++i) replaced += kFFFD;
    EXPECT_EQ(d.Text("entries.0.description"),
              "s:q\"b\\n\\u0000\n" + controls + replaced + "\xc3\xa9\xe2\x82\xac");
    EXPECT_EQ(d.Text("entries.1.address"), std::string("s:bad\"addr\\\n") + kFFFD);
    EXPECT_EQ(d.Text("status"), "s:CRITICAL");
    EXPECT_EQ(d.Text("exit_code"), "n:2");
    EXPECT_EQ(d.Text("entries"), "length:5");
    EXPECT_EQ(d.Text("entries.0.up"), "n:1");
    EXPECT_EQ(d.Text("entries.0.state_name"), "s:available");
    EXPECT_EQ(d.Text("entries.0.service_test"), "s:Ping");
    EXPECT_EQ(d.Text("entries.1.state_name"), "s:available");
    EXPECT_EQ(d.Text("entries.2.status"), "s:succeeded");
    EXPECT_EQ(d.Text("entries.3.enabled"), "b:false");
    EXPECT_EQ(d.Text("entries.3.up"), "null");
    EXPECT_EQ(d.Text("entries.4.state"), "n:5");
    EXPECT_EQ(d.Text("entries.4.attempt"), "n:1");
    EXPECT_EQ(d.Text("counts.ok"), "n:3");
    EXPECT_EQ(d.Text("counts.failed"), "n:1");
    EXPECT_EQ(d.Text("counts.disabled"), "n:1");
    EXPECT_EQ(d.Text("overall_level_name"), "s:error");
    // Only the document: the entry's own output went elsewhere.
    EXPECT_EQ(out.find("broken"), std::string::npos);
    EXPECT_EQ(out.find('\n'), out.size() - 1);

    // An unreadable list is a document too, with the reason.
    fakes::WriteBytes(dir / "Tarnwatch.ini", {0x01});
    ASSERT_EQ(Run({"--headless", "--once", "--json"}, &out), 3) << out;
    std::ofstream(dir / "report.json", std::ios::binary | std::ios::trunc) << out;
    const metrics::JsonDocument unknown = metrics::ReadJson(dir / "report.json");
    ASSERT_TRUE(unknown.parsed) << unknown.error;
    EXPECT_EQ(unknown.Text("status"), "s:UNKNOWN");
    EXPECT_NE(unknown.Text("error").find("cut short"), std::string::npos);
    EXPECT_EQ(unknown.Text("entries"), "length:0");
}

TEST_F(MetricsProgramTest, EndpointAnswersCurlDuringAPassDespiteStalledAndHugeRequests) {
    // The silent agent holds the pass for up to 60 s: every answer below
    // comes while the pass runs.
    fakes::SilentListener silent;
    RawRecord waiting = Entry(0, std::to_string(silent.port()), "127.0.0.1", 29, "waiting");
    waiting.Text(260, "60");
    WriteList({waiting, Entry(3, "", "127.0.0.1", 17, "pinged")});
    const int port = FreeLoopbackPort();
    const std::string base = "http://127.0.0.1:" + std::to_string(port);
    fakes::Program program({"--headless", "--once", "--metrics-listen", std::to_string(port)},
                           Env(), dir / "out.txt", dir / "err.txt");
    const std::string curl =
        "curl -sS --max-time 5 -o '" + (dir / "body.txt") + "' -w '%{http_code} %{content_type}' ";
    metrics::Captured c;
    // Until the loaded list is published, the endpoint answers 503.
    for (int i = 0; i < 600; ++i) {
        c = metrics::RunCapture(curl + base + "/metrics 2>&1");
        if (c.exitCode == 0 && c.out.substr(0, 3) != "503") break;
        std::this_thread::sleep_for(50ms);
    }
    ASSERT_EQ(c.out, "200 text/plain; version=0.0.4; charset=utf-8")
        << fakes::ReadText(dir / "err.txt");
    const long residentBefore = ResidentKiB(program.pid());

    // One client connects and never says a word; another sends 16 MB of
    // header.
    const int stalled = ConnectLoopback(port);
    ASSERT_GE(stalled, 0);
    std::atomic<std::size_t> hugeSent{0};
    std::string hugeAnswer;
    std::thread huge([&] {
        const int fd = ConnectLoopback(port);
        if (fd < 0) return;
        timeval limit{10, 0};
        setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
        setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        const std::string head = "GET /metrics HTTP/1.1\r\nHost: x\r\nX-Filler: ";
        send(fd, head.data(), head.size(), MSG_NOSIGNAL);
        const std::string chunk(64 * 1024, 'a');
        const auto until = std::chrono::steady_clock::now() + 15s;
        while (hugeSent < (16u << 20) && std::chrono::steady_clock::now() < until) {
            const ssize_t n = send(fd, chunk.data(), chunk.size(), MSG_NOSIGNAL);
            if (n <= 0) break;
            hugeSent += static_cast<std::size_t>(n);
        }
        char buf[256];
        const ssize_t n = recv(fd, buf, sizeof buf, 0);
        if (n > 0) hugeAnswer.assign(buf, static_cast<std::size_t>(n));
        close(fd);
    });

    // Meanwhile curl gets whole answers, with the list as loaded: the pass
    // has not ended.
    for (int i = 0; i < 5; ++i) {
        c = metrics::RunCapture(curl + base + "/metrics 2>&1");
        ASSERT_EQ(c.out, "200 text/plain; version=0.0.4; charset=utf-8");
        const metrics::Exposition e = metrics::ReadExposition(dir / "body.txt");
        ASSERT_TRUE(e.parsed) << e.error;
        ASSERT_EQ(e.Find("tarnwatch_entry_state", "description", "waiting").size(), 1u);
        EXPECT_EQ(e.Find("tarnwatch_entry_state", "description", "waiting")[0].value, 0);
        std::this_thread::sleep_for(100ms);
    }
    EXPECT_EQ(metrics::RunCapture(curl + base + "/other 2>&1").out.substr(0, 3), "404");
    EXPECT_EQ(metrics::RunCapture(curl + "-X POST " + base + "/metrics 2>&1").out.substr(0, 3),
              "405");
    huge.join();
    EXPECT_LT(hugeSent.load(), 16u << 20) << "the server read every byte of the header";
    if (!hugeAnswer.empty()) {
        EXPECT_EQ(hugeAnswer.substr(0, 12), "HTTP/1.1 431") << hugeAnswer;
    }
    EXPECT_LT(ResidentKiB(program.pid()) - residentBefore, 4096) << "kB";

    // The stalled client is let go once its idle time runs out.
    timeval limit{15, 0};
    setsockopt(stalled, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    char byte;
    EXPECT_EQ(recv(stalled, &byte, 1, 0), 0) << "the idle connection was not closed";
    close(stalled);
    EXPECT_EQ(metrics::RunCapture(curl + base + "/metrics 2>&1").out.substr(0, 3), "200");

    program.Signal(SIGTERM);
    const int status = program.Wait(30s);
    ASSERT_NE(status, -1);
    EXPECT_TRUE(WIFEXITED(status));
}

}  // namespace
}  // namespace tarnwatch
