// The metrics inside one process: texts of any bytes made safe for each
// document, the metrics file's atomic replacement and its error reports, the
// endpoint's address parsing, and the window's publishing after a pass.
#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <new>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "engine/CheckReport.h"
#include "engine/FileReplace.h"
#include "engine/MetricsExposition.h"
#include "engine/MetricsFile.h"
#include "engine/MonitorEngine.h"
#include "engine/TextEscape.h"
#include "fakes/FakePorts.h"
#include "fakes/FileSizeLimit.h"
#include "fakes/HangupServer.h"
#include "fakes/ListFileBytes.h"
#include "fakes/PassObserver.h"
#include "fakes/QtApp.h"
#include "fakes/TempDir.h"
#include "shell/CTarnwatchDlg.h"
#include "shell/MetricsOutput.h"
#include "shell/MetricsServer.h"

namespace tarnwatch {
namespace {

// True when every byte belongs to a well-formed UTF-8 sequence, checked by
// the standard's table rather than by the code under test.
bool WellFormed(const std::string& s) {
    std::size_t i = 0;
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    while (i < s.size()) {
        const unsigned char c = byte(i);
        std::size_t n = c < 0x80                 ? 1
                        : c >= 0xC2 && c <= 0xDF ? 2
                        : c >= 0xE0 && c <= 0xEF ? 3
                        : c >= 0xF0 && c <= 0xF4 ? 4
                                                 : 0;
        if (n == 0 || i + n > s.size()) return false;
        for (std::size_t k = 1; k < n; ++k)
            if ((byte(i + k) & 0xC0) != 0x80) return false;
        if (n > 1) {
            std::uint32_t cp = c & (0xFF >> (n + 1));
            for (std::size_t k = 1; k < n; ++k) cp = (cp << 6) | (byte(i + k) & 0x3F);
            const std::uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
            if (cp < least[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        }
        i += n;
    }
    return true;
}

// Reads a label value back as the text format defines its escapes.
std::string UnescapeLabel(const std::string& s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '\\' || i + 1 == s.size()) {
            out += s[i];
            continue;
        }
        const char next = s[++i];
        out += next == 'n' ? '\n' : next;
    }
    return out;
}

TEST(TextEscapeTest, AnyBytesBecomeWellFormedTextsThatReadBackInEachForm) {
    const std::string fffd = "\xEF\xBF\xBD";
    struct Case {
        std::string in;
        std::string valid;  // what every form must carry
    };
    const Case cases[] = {
        {"plain text", "plain text"},
        {"q\"uote \\ back\nline\ttab\r\x01\x7f", "q\"uote \\ back\nline\ttab\r\x01\x7f"},
        {"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80", "caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80"},
        {"\x80\xbf\xfe\xff", fffd + fffd + fffd + fffd},
        {"over\xc0\xaflong", "over" + fffd + fffd + "long"},               // overlong '/'
        {"sur\xed\xa0\x80rogate", "sur" + fffd + fffd + fffd + "rogate"},  // U+D800
        {"big\xf4\x90\x80\x80", "big" + fffd + fffd + fffd + fffd},        // past U+10FFFF
        {"cut\xe2\x82", "cut" + fffd + fffd},
        {"cut\xe2\x82x", "cut" + fffd + fffd + "x"},
        {"c1 \xc2\x85 and \xe2\x80\xa8 separators", "c1 \xc2\x85 and \xe2\x80\xa8 separators"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.in);
        EXPECT_EQ(ValidUtf8(c.in), c.valid);

        std::string label;
        AppendLabelValue(label, c.in);
        EXPECT_TRUE(WellFormed(label));
        EXPECT_EQ(label.find('\n'), std::string::npos);
        EXPECT_EQ(UnescapeLabel(label), c.valid);
        // No quote ends the value early.
        for (std::size_t i = label.find('"'); i != std::string::npos; i = label.find('"', i + 1)) {
            std::size_t slashes = 0;
            while (slashes < i && label[i - 1 - slashes] == '\\') ++slashes;
            EXPECT_EQ(slashes % 2, 1u) << "an unescaped quote at " << i;
        }

        std::string json;
        AppendJsonString(json, c.in);
        EXPECT_TRUE(WellFormed(json));
        for (unsigned char ch : json) EXPECT_TRUE(ch >= 0x20 && ch != 0x7F) << int(ch);
        EXPECT_EQ(json.find("\xc2\x85"), std::string::npos) << "a C1 control is escaped";
        EXPECT_EQ(json.find("\xe2\x80\xa8"), std::string::npos) << "a line separator is escaped";

        const std::string plugin = PluginText(c.in + "|x", 24);
        EXPECT_TRUE(WellFormed(plugin));
        EXPECT_LE(plugin.size(), 24u);
        EXPECT_EQ(plugin.find('|'), std::string::npos);
        for (unsigned char ch : plugin) EXPECT_TRUE(ch >= 0x20 && ch != 0x7F) << int(ch);
    }
    // A long text is cut on a character boundary and says so.
    const std::string cut = PluginText(std::string(30, 'a') + "\xe2\x82\xac\xe2\x82\xac", 33);
    EXPECT_EQ(cut, std::string(30, 'a') + "...");
    EXPECT_EQ(PluginText("\xe2\x82\xac\xe2\x82\xac\xe2\x82\xac", 8), "\xe2\x82\xac...");
    // A control character on the last byte that fits stays, as a blank; one
    // byte further on, the text is cut. A C1 control takes two bytes in and
    // one blank out.
    EXPECT_EQ(PluginText("abcdefg\x01", 8), "abcdefg ");
    EXPECT_EQ(PluginText("abcdefgh\x01", 8), "abcde...");
    EXPECT_EQ(PluginText("abcdefg\xc2\x85", 8), "abcdefg ");
    EXPECT_EQ(PluginText("abcdefgh\xc2\x85", 8), "abcde...");
}

std::vector<std::string> FilesIn(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir))
        names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(MetricsFileTest, ReportsEachChangeOfItsErrorOnceAndLeavesNothingBehind) {
    fakes::TempDir dir;
    std::vector<std::string> reports;
    MetricsFile file(dir / "sub/metrics.prom",
                     [&](const std::string& message) { reports.push_back(message); });

    for (int i = 0; i < 3; ++i) EXPECT_FALSE(file.Write("a 1\n"));
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(reports[0].find(dir / "sub/metrics.prom"), std::string::npos) << reports[0];
    EXPECT_NE(reports[0].find("No such file or directory"), std::string::npos) << reports[0];

    std::filesystem::create_directory(dir / "sub");
    for (int i = 0; i < 2; ++i) EXPECT_TRUE(file.Write("a 2\n"));
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_NE(reports[1].find("written again"), std::string::npos) << reports[1];
    EXPECT_EQ(fakes::ReadText(dir / "sub/metrics.prom"), "a 2\n");
    EXPECT_EQ(std::filesystem::status(dir / "sub/metrics.prom").permissions() &
                  std::filesystem::perms::all,
              std::filesystem::perms(0644));

    // A directory in the file's place: another reason, reported once, and the
    // temporary file does not stay.
    std::filesystem::remove(dir / "sub/metrics.prom");
    std::filesystem::create_directory(dir / "sub/metrics.prom");
    for (int i = 0; i < 2; ++i) EXPECT_FALSE(file.Write("a 3\n"));
    ASSERT_EQ(reports.size(), 3u);
    EXPECT_NE(reports[2].find("replace"), std::string::npos) << reports[2];
    EXPECT_EQ(FilesIn(dir / "sub"), std::vector<std::string>{"metrics.prom"});
    EXPECT_EQ(file.lastError().empty(), false);
}

fakes::RawRecord TcpEntry(int port, const std::string& description) {
    fakes::RawRecord r(1912);
    r.Text(4, std::to_string(port)).Text(260, "5").Text(280, "127.0.0.1").Int(536, 1);
    r.Text(540, description).Int(796, 7).Int(1880, 1).Int(1904, 3);
    return r;
}

std::size_t Count(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
        ++n;
    }
    return n;
}

// An engine over `count` TCP entries of a loopback server.
struct LoopbackList {
    explicit LoopbackList(int count) {
        std::vector<fakes::RawRecord> records;
        for (int i = 0; i < count; ++i) {
            records.push_back(TcpEntry(server.port(), "entry " + std::to_string(i)));
        }
        fakes::WriteBytes(dir / "Tarnwatch.ini", fakes::ListFileImage(-2.2f, count, records));
        fakes::ScopedEnv home("TARNWATCH_HOME", dir.path());
        engine.Initialise();
    }
    fakes::HangupServer server;
    fakes::TempDir dir;
    fakes::FakePlatform platform{true};
    MonitorEngine engine{platform.ports, nullptr};
};

// The plugin line names ten entries that are not ok; from the eleventh on it
// counts the rest.
TEST(PluginLineTest, NamesTenFailedEntriesThenCountsTheRest) {
    LoopbackList list(11);
    const auto failFirst = [&](int n) {
        for (int r = 0; r < 11; ++r) {
            list.engine.EntriesForTesting().RecordAtRow(r).state =
                r < n ? kStateUnavailable : kStateAvailable;
        }
        const std::string line = PluginLine(list.engine, CheckResult{kCheckCritical, ""});
        return line.substr(0, line.find(" |"));
    };
    const std::string ten =
        "entry 0, entry 1, entry 2, entry 3, entry 4, entry 5, entry 6, entry 7, entry 8, entry 9";
    EXPECT_EQ(failFirst(10), "TARNWATCH CRITICAL - 10 of 11 entries failed: " + ten);
    EXPECT_EQ(failFirst(11),
              "TARNWATCH CRITICAL - 11 of 11 entries failed: " + ten + ", and 1 more");
}

// The text is made at a pass's end and served until the next one: when a
// class is next updated must still be true when it is read later.
TEST(MetricsTextTest, NextUpdateIsATimeThatStaysTrueBetweenPasses) {
    fakes::TempDir dir;
    fakes::ScopedEnv home("TARNWATCH_HOME", dir.path());
    fakes::FakePlatform platform;
    MonitorEngine engine{platform.ports, nullptr};
    engine.SettingsForTesting().highInterval = 1;
    engine.SettingsForTesting().lowInterval = 2;
    engine.Initialise();
    // The manual clock starts at 1000000000 s. At 0, 30 and 58 s the high
    // class is due at 60 s, the low one at two hours; the medium one is off.
    const std::string high = "tarnwatch_class_next_update_timestamp_seconds{class=\"high\"} ";
    const std::string low = "tarnwatch_class_next_update_timestamp_seconds{class=\"low\"} ";
    const std::string medium = "tarnwatch_class_next_update_timestamp_seconds{class=\"medium\"} ";
    for (int seconds : {0, 30, 28}) {
        platform.manualClock.AdvanceMs(seconds * 1000);
        platform.timers.FireDue();
        const std::string text = ExpositionText(engine);
        EXPECT_EQ(Count(text, high + "1000000060\n"), 1u) << text;
        EXPECT_EQ(Count(text, low + "1000007200\n"), 1u) << text;
        EXPECT_EQ(Count(text, medium + "0\n"), 1u) << text;
        EXPECT_EQ(Count(text, "remaining"), 0u);
    }
    // Past the minute the class runs and is due a minute after that.
    platform.manualClock.AdvanceMs(4000);
    platform.timers.FireDue();
    EXPECT_EQ(Count(ExpositionText(engine), high + "1000000122\n"), 1u);
    engine.OnTimersOff();
    EXPECT_EQ(Count(ExpositionText(engine), high + "0\n"), 1u);
}

TEST(MetricsFileTest, ReaderNeverSeesAPartialFileWhilePassesWrite) {
    constexpr int kEntries = 300;
    constexpr int kPasses = 40;
    LoopbackList list(kEntries);
    auto& [server, dir, platform, engine] = list;
    fakes::ScopedEnv home("TARNWATCH_HOME", dir.path());

    const std::string path = dir / "metrics.prom";
    MetricsFile file(path);
    fakes::PassObserver observer;
    int written = 0;
    observer.onPassEnded = [&] {
        std::string text;
        if (file.WriteExposition(engine, text)) ++written;
        // The file is written while the text is made; both end up whole.
        if (text != ExpositionText(engine) || fakes::ReadText(path) != text) {
            ADD_FAILURE() << "the text or the file differs from the exposition";
        }
    };
    engine.SetObserver(&observer);

    std::atomic<bool> done{false};
    std::atomic<int> reads{0};
    std::vector<std::string> partial;
    std::thread reader([&] {
        while (!done) {
            std::ifstream in(path, std::ios::binary);
            if (!in) continue;  // before the first pass
            const std::string text{std::istreambuf_iterator<char>(in),
                                   std::istreambuf_iterator<char>()};
            ++reads;
            if (Count(text, "\ntarnwatch_entry_up{") != kEntries ||
                Count(text, "\ntarnwatch_entry_last_test_duration_seconds{") != kEntries ||
                text.find("\ntarnwatch_last_pass_timestamp_seconds ") == std::string::npos ||
                text.back() != '\n') {
                if (partial.size() < 3) partial.push_back(text.substr(0, 200));
            }
        }
    });
    // Each pass after the first waits for the reader to finish a read, so the
    // reads interleave with the writes however the threads are scheduled.
    for (int pass = 0; pass < kPasses; ++pass) {
        const int before = reads.load();
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (pass > 0 && reads.load() == before && std::chrono::steady_clock::now() < giveUp) {
            std::this_thread::yield();
        }
        engine.OnUpdateAll();
    }
    done = true;
    reader.join();
    engine.SetObserver(nullptr);

    EXPECT_EQ(written, kPasses);
    EXPECT_EQ(engine.OverallLevel(), kLevelOk);
    EXPECT_GE(reads.load(), kPasses - 1);
    EXPECT_TRUE(partial.empty()) << partial.size() << " partial reads, e.g.:\n" << partial[0];
    EXPECT_EQ(FilesIn(dir.path()),
              (std::vector<std::string>{"Tarnwatch.bak", "Tarnwatch.ini", "metrics.prom"}));
}

// A write that fails part way, here at the file size limit, keeps the old
// file, leaves no temporary file, says why, and still gives the whole text.
TEST(MetricsFileTest, AWriteThatFailsPartWayKeepsTheOldFileAndTheWholeText) {
    LoopbackList list(1000);
    const std::string path = list.dir / "metrics.prom";
    std::ofstream(path) << "old 1\n";
    EXPECT_TRUE(fakes::TrueUnderFileSizeLimit(100000, [&] {
        std::string text;
        std::string reason;
        const bool written = WriteExpositionFile(list.engine, path, text, &reason);
        const bool whole = text == ExpositionText(list.engine) && text.size() > 300000;
        return !written && whole && reason.find("File too large") != std::string::npos;
    }));
    EXPECT_EQ(fakes::ReadText(path), "old 1\n");
    EXPECT_EQ(FilesIn(list.dir.path()),
              (std::vector<std::string>{"Tarnwatch.bak", "Tarnwatch.ini", "metrics.prom"}));
}

// Each text is made in the buffer of the one before last; one that a
// response still holds is left alone, and the endpoint and the file always
// agree.
TEST(MetricsOutputTest, ATextStillBeingSentIsNeverMadeOver) {
    LoopbackList list(50);
    fakes::ScopedEnv config("XDG_CONFIG_HOME", list.dir / "config");
    int port;
    {
        fakes::HangupServer gone;
        port = gone.port();
    }
    MetricsOptions options;
    options.file = list.dir / "metrics.prom";
    options.listen.emplace();
    ASSERT_TRUE(ParseListenAddress("127.0.0.1:" + std::to_string(port), *options.listen, nullptr));
    MetricsOutput output(options);
    ASSERT_NE(output.server(), nullptr);

    output.Publish(list.engine);
    const auto held = output.server()->Current();
    const std::string before = *held;
    list.engine.OnUpdateAll();
    for (int i = 0; i < 4; ++i) {
        output.Publish(list.engine);
        EXPECT_EQ(*output.server()->Current(), fakes::ReadText(*options.file));
    }
    EXPECT_EQ(*held, before);
    EXPECT_NE(*output.server()->Current(), before);
}

TEST(ListenAddressTest, AcceptsOnlyAddressesItCanBindAsWritten) {
    const std::pair<const char*, const char*> good[] = {{"9100", "127.0.0.1:9100"},
                                                        {"localhost:1", "127.0.0.1:1"},
                                                        {"0.0.0.0:65535", "0.0.0.0:65535"},
                                                        {"[::1]:9100", "[::1]:9100"},
                                                        {"[::]:80", "[::]:80"},
                                                        {"10.1.2.3:8080", "10.1.2.3:8080"}};
    for (const auto& [text, shown] : good) {
        ListenAddress a;
        std::string why;
        EXPECT_TRUE(ParseListenAddress(text, a, &why)) << text << ": " << why;
        EXPECT_EQ(a.text, shown);
    }
    const char* bad[] = {"",
                         "0",
                         "65536",
                         "99999999999999999999",
                         "abc",
                         "1.2.3.4:",
                         ":80",
                         "[::1]",
                         "[::1]9100",
                         "::1:9100",
                         "host.example:80",
                         "1.2.3.4:80x",
                         "127.0.0.1:+80",
                         "127.1:80",
                         "[1.2.3.4]:80",
                         "1.2.3.4:80:90",
                         "[::1]:-1",
                         " 80"};
    for (const char* text : bad) {
        ListenAddress a;
        std::string why;
        EXPECT_FALSE(ParseListenAddress(text, a, &why)) << "'" << text << "' -> " << a.text;
        EXPECT_FALSE(why.empty()) << text;
    }
}

TEST(WindowMetricsTest, WindowPublishesTheLoadedListThenEveryPassOnceTheEventLoopRuns) {
    fakes::App();
    fakes::TempDir dir;
    fakes::HangupServer server;
    int closedPort;
    {
        fakes::HangupServer gone;
        closedPort = gone.port();
    }
    fakes::WriteBytes(dir / "Tarnwatch.ini",
                      fakes::ListFileImage(
                          -2.2f, 2, {TcpEntry(server.port(), "up"), TcpEntry(closedPort, "down")}));
    fakes::ScopedEnv home("TARNWATCH_HOME", dir.path());
    fakes::ScopedEnv config("XDG_CONFIG_HOME", dir / "config");
    const std::string path = dir / "metrics.prom";
    CTarnwatchDlg dlg;
    MetricsOptions options;
    options.file = path;
    dlg.SetMetricsOutput(std::make_unique<MetricsOutput>(options));
    EXPECT_NE(fakes::ReadText(path).find("tarnwatch_entry_state{row=\"0\",address=\"127.0.0.1\","
                                         "source=\"" +
                                         std::to_string(server.port()) +
                                         "\",service_test=\"Http\",description=\"up\"} 0\n"),
              std::string::npos)
        << fakes::ReadText(path);

    dlg.Engine().OnUpdateAll();
    // Published when the window's event loop is back, not inside the pass.
    EXPECT_NE(fakes::ReadText(path).find("tarnwatch_last_pass_duration_seconds NaN"),
              std::string::npos);
    QApplication::processEvents();
    const std::string text = fakes::ReadText(path);
    EXPECT_NE(text.find("description=\"up\"} 1\n"), std::string::npos) << text;
    EXPECT_NE(text.find("description=\"down\"} 5\n"), std::string::npos) << text;
    EXPECT_NE(text.find("tarnwatch_overall_level 3\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("tarnwatch_last_pass_duration_seconds NaN"), std::string::npos) << text;
    dlg.CloseProgram();
}

// How many descriptors this process has open.
int OpenDescriptors() {
    int n = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator("/proc/self/fd")) ++n;
    return n;
}

// Making the text may fail part-way (out of memory, no thread for the
// writer): the temporary file and its descriptor go, the old file stays.
TEST(MetricsFileFailures, MakingTheTextFailsPartWayAndLeavesNothingBehind) {
    fakes::TempDir dir;
    const std::string path = dir / "metrics.prom";
    std::ofstream(path) << "old\n";
    const int before = OpenDescriptors();
    const std::pair<std::function<void()>, int> failures[] = {
        {[] { throw std::bad_alloc(); }, ENOMEM},
        {[] { throw std::system_error(EAGAIN, std::generic_category()); }, EAGAIN},
        {[] { throw 1; }, EIO},
    };
    for (const auto& [fail, expected] : failures) {
        errno = 0;
        bool threw = false;
        try {
            EXPECT_FALSE(ReplaceFile(path, false, [&](int fd) {
                if (!WriteAll(fd, "partial", 7)) return false;
                fail();
                return true;
            }));
        } catch (...) {
            threw = true;
        }
        EXPECT_FALSE(threw);
        EXPECT_EQ(errno, expected);
        EXPECT_EQ(fakes::ReadText(path), "old\n");
        std::vector<std::string> left;
        for (const auto& e : std::filesystem::directory_iterator(dir.path())) {
            left.push_back(e.path().filename());
        }
        EXPECT_EQ(left, std::vector<std::string>{"metrics.prom"});
        EXPECT_EQ(OpenDescriptors(), before);
    }
}

// A descriptor handed to the server is closed after a failed start only
// while it is still the server's copy of our socket, never when its number
// went to another file in the meantime.
TEST(MetricsFileFailures, FailedServerStartClosesOnlyADescriptorStillOurs) {
    const int kept = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(kept, 0);
    // Still ours: closed.
    int handed = fcntl(kept, F_DUPFD_CLOEXEC, 0);
    ASSERT_GE(handed, 0);
    EXPECT_TRUE(CloseIfStillHanded(handed, kept));
    EXPECT_EQ(fcntl(handed, F_GETFD), -1);
    // The server closed it and another thread got the number: left open.
    handed = fcntl(kept, F_DUPFD_CLOEXEC, 0);
    ASSERT_GE(handed, 0);
    close(handed);
    int other[2];
    ASSERT_EQ(pipe(other), 0);
    ASSERT_EQ(dup2(other[0], handed), handed);
    EXPECT_FALSE(CloseIfStillHanded(handed, kept));
    EXPECT_NE(fcntl(handed, F_GETFD), -1);
    // Another socket under the number is no copy of ours either.
    const int stranger = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(stranger, 0);
    ASSERT_EQ(dup2(stranger, handed), handed);
    EXPECT_FALSE(CloseIfStillHanded(handed, kept));
    EXPECT_NE(fcntl(handed, F_GETFD), -1);
    // Closed and not reused: nothing to close.
    close(handed);
    EXPECT_FALSE(CloseIfStillHanded(handed, kept));
    for (int fd : {kept, other[0], other[1], stranger}) close(fd);
}

// An endpoint on a free loopback port, serving a short text.
struct Endpoint {
    Endpoint() {
        {
            fakes::HangupServer gone;
            port = gone.port();
        }
        ListenAddress where;
        EXPECT_TRUE(ParseListenAddress(std::to_string(port), where, nullptr));
        EXPECT_TRUE(server.Start(where, nullptr));
        server.Publish(std::make_shared<const std::string>("tarnwatch_overall_level 0\n"));
    }
    // A connection from `from` (in 127.0.0.0/8) whose reads and writes give
    // up after a generous bound.
    int Connect(const char* from) const {
        const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const timeval bound{8, 0};
        setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &bound, sizeof bound);
        setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &bound, sizeof bound);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        inet_pton(AF_INET, from, &a.sin_addr);
        EXPECT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0) << from;
        inet_pton(AF_INET, "127.0.0.1", &a.sin_addr);
        a.sin_port = htons(static_cast<std::uint16_t>(port));
        EXPECT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0) << from;
        clients.push_back(fd);
        return fd;
    }
    // A client that has sent the first byte of its request and sends the
    // rest one byte at a time, slowly.
    int Trickler(const char* from) const {
        const int fd = Connect(from);
        send(fd, "G", 1, MSG_NOSIGNAL);
        return fd;
    }
    // The status line of a scrape from 127.0.0.1; "" without an answer.
    std::string Scrape() const {
        const int fd = Connect("127.0.0.1");
        const std::string request = "GET /metrics HTTP/1.1\r\nHost: x\r\n\r\n";
        send(fd, request.data(), request.size(), MSG_NOSIGNAL);
        std::string reply;
        char buf[512];
        for (ssize_t n;
             reply.find("\r\n") == std::string::npos && (n = recv(fd, buf, sizeof buf, 0)) > 0;) {
            reply.append(buf, static_cast<std::size_t>(n));
        }
        return reply.substr(0, reply.find("\r\n"));
    }
    ~Endpoint() {
        for (int fd : clients) close(fd);
    }
    int port = 0;
    MetricsServer server;
    mutable std::vector<int> clients;
};

// True when the server has closed `fd` (within a generous bound).
bool ClosedByServer(int fd, int boundMs = 8000) {
    pollfd p{fd, POLLIN, 0};
    char c;
    return poll(&p, 1, boundMs) == 1 && recv(fd, &c, 1, MSG_DONTWAIT) <= 0;
}

TEST(SlowClientsTest, AScrapeIsAnsweredBesideClientsThatTrickleTheirRequests) {
    {
        Endpoint e;
        for (int i = 0; i < 16; ++i) e.Trickler("127.0.0.1");
        EXPECT_EQ(e.Scrape(), "HTTP/1.1 200 OK");
    }
    {
        Endpoint e;
        for (int i = 2; i < 66; ++i) e.Trickler(("127.0.0." + std::to_string(i)).c_str());
        EXPECT_EQ(e.Scrape(), "HTTP/1.1 200 OK");
    }
    // Eight from one address stay; a ninth takes the place of the oldest.
    Endpoint e;
    std::vector<int> fds;
    for (int i = 0; i < 9; ++i) fds.push_back(e.Trickler("127.0.0.1"));
    EXPECT_TRUE(ClosedByServer(fds[0]));
    EXPECT_FALSE(ClosedByServer(fds[1], 0));
}

TEST(SlowClientsTest, ARequestThatDoesNotArriveWithinSecondsIsGivenUp) {
    Endpoint e;
    const int fd = e.Trickler("127.0.0.1");
    // A byte a second never lets the connection go idle.
    bool closed = false;
    for (int i = 0; i < 12 && !closed; ++i) {
        closed = ClosedByServer(fd, 1000) || send(fd, "E", 1, MSG_NOSIGNAL) < 0;
    }
    EXPECT_TRUE(closed);
}

}  // namespace
}  // namespace tarnwatch
