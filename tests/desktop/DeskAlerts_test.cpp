// The headless program with a stand-in notification service and login
// manager on private buses: what it tells the desktop, what a pause holds,
// and how it goes to sleep and wakes.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <ctime>
#include <filesystem>
#include <fstream>

#include "desktop/Desktop.h"
#include "fakes/ListFileBytes.h"
#include "fakes/Loopback.h"
#include "fakes/TempDir.h"

namespace tarnwatch {
namespace {

using namespace std::chrono_literals;
using desktop::Child;
using fakes::Environment;

// A private bus with one of the stand-ins on it; `kind` is what
// desk_services serves.
class ServiceOnBus {
public:
    ServiceOnBus(const std::string& dir, const std::string& kind) {
        daemon_ = std::make_unique<Child>(
            std::vector<std::string>{"dbus-daemon", "--session", "--nofork", "--nopidfile",
                                     "--address=unix:path=" + dir + "/" + kind + ".bus",
                                     "--print-address=1"},
            Environment({}), dir + "/" + kind + ".bus.log");
        address_ = daemon_->Expect("unix:", 20s);
        const char* variable =
            kind == "login1" ? "DBUS_SYSTEM_BUS_ADDRESS=" : "DBUS_SESSION_BUS_ADDRESS=";
        service =
            std::make_unique<Child>(std::vector<std::string>{TARNWATCH_DESK_SERVICES, kind},
                                    Environment({variable + address_}), dir + "/" + kind + ".log");
        ready_ = !address_.empty() && !service->Expect("ready").empty();
    }
    bool Ready() const { return ready_; }
    const std::string& Address() const { return address_; }
    void Send(const std::string& command) {
        service->Send(command);
        service->Expect("done");
    }
    std::unique_ptr<Child> service;

private:
    std::unique_ptr<Child> daemon_;
    std::string address_;
    bool ready_ = false;
};

// A loopback port that refuses connects until Open() listens on it.
class Port {
public:
    Port() { fd_ = fakes::ListenOnLoopback(8, port_), close(fd_), fd_ = -1; }
    ~Port() {
        if (fd_ >= 0) close(fd_);
    }
    int number() const { return port_; }
    void Open() {
        fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const int on = 1;
        setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(static_cast<std::uint16_t>(port_));
        ASSERT_EQ(bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
        ASSERT_EQ(listen(fd_, 8), 0);
    }

private:
    int fd_ = -1;
    int port_ = 0;
};

// The program with both stand-ins, a list of `entry` alone whose failure
// command leaves the file "failed", and `options` in its profile.
class Desk {
public:
    Desk(fakes::RawRecord entry, const std::string& options)
        : notes(dir.path(), "notifications"), login(dir.path(), "login1") {
        entry.Int(1892, 0).Int(1336, 1).Int(1340, 1).Int(1344, 1).Int(1348, 2);
        entry.Text(1356, "touch " + dir / "failed").Int(1868, 1);
        entry.Text(1612, "sh -c 'echo $TARNWATCH_DOWNTIME > " + dir / "down'").Int(1872, 1);
        fakes::WriteBytes(dir / "Tarnwatch.ini", fakes::ListFileImage(-2.2f, 1, {entry}));
        std::filesystem::create_directories(dir / "config/Quillon");
        std::ofstream(dir / "config/Quillon/Tarnwatch.conf")
            << "[Options]\nHighNetUpdate=1\nn_IP_List=1\nIP_List0=127.0.0.1\n"
            << options;
        if (!notes.Ready() || !login.Ready()) return;
        program = std::make_unique<fakes::Program>(
            std::vector<std::string>{"--headless"},
            std::vector<std::string>{"TARNWATCH_HOME=" + dir.path(),
                                     "XDG_CONFIG_HOME=" + dir.path() + "/config",
                                     "XDG_DATA_HOME=" + dir.path() + "/data", "TZ=UTC",
                                     "DBUS_SESSION_BUS_ADDRESS=" + notes.Address(),
                                     "DBUS_SYSTEM_BUS_ADDRESS=" + login.Address()},
            dir / "out.txt", dir / "err.txt");
    }
    // The next notification, or "" when none comes within `limit`.
    std::string Note(std::chrono::milliseconds limit = 20s) {
        return notes.service->Expect("notify ", limit);
    }
    // The lines of tested rows so far.
    int Tested() const {
        const std::string out = fakes::ReadText(dir / "out.txt");
        return static_cast<int>(std::count(out.begin(), out.end(), '\n'));
    }
    bool WaitTested(int count, std::chrono::seconds limit) const {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (Tested() < count && std::chrono::steady_clock::now() < end) {
            std::this_thread::sleep_for(50ms);
        }
        return Tested() >= count;
    }
    bool Failed() const { return std::filesystem::exists(dir / "failed"); }

    fakes::TempDir dir;
    ServiceOnBus notes;
    ServiceOnBus login;
    std::unique_ptr<fakes::Program> program;
};

fakes::RawRecord WebEntry(int port) {
    return fakes::TestEntry(0, std::to_string(port), "127.0.0.1", 7, "web");
}

// A failure for good notifies once, about the entry, with the snooze
// offered; the wake's pass finds it ok again and that notifies once, in
// place of the first.
TEST(DeskAlerts, FailureAndRecoveryEachNotifyOnce) {
    TW_SKIP_WITHOUT_PRIVATE_PID_NAMESPACE();
    Port port;
    Desk desk(WebEntry(port.number()), "");
    ASSERT_TRUE(desk.program) << "no private bus";
    const std::string failed = desk.Note();
    ASSERT_FALSE(failed.empty()) << fakes::ReadText(desk.dir / "err.txt");
    EXPECT_NE(failed.find(" 0 web|unavailable at "), std::string::npos) << failed;
    EXPECT_NE(failed.find("|default,open,snooze"), std::string::npos) << failed;
    ASSERT_TRUE(desk.WaitTested(1, 20s));
    EXPECT_TRUE(desk.Failed()) << "the failure command is an alert of its own";

    desk.login.Send("sleep");
    port.Open();
    desk.login.Send("wake");
    ASSERT_TRUE(desk.WaitTested(2, 40s)) << "no pass after waking";
    const std::string recovered = desk.Note();
    const std::string id = failed.substr(7, failed.find(' ', 7) - 7);
    EXPECT_EQ(recovered.rfind("notify " + id + " " + id + " web|Ok again at ", 0), 0) << recovered;
    const std::string down = fakes::ReadText(desk.dir / "down");
    EXPECT_TRUE(!down.empty() && std::stoi(down) >= 0 && std::stoi(down) < 60)
        << "the ok-again command's TARNWATCH_DOWNTIME: " << down;
    std::this_thread::sleep_for(2s);
    EXPECT_EQ(desk.Tested(), 2) << "waking runs one pass";
    EXPECT_EQ(desk.Note(1s), "") << "notified more than once";

    // The notification's snooze holds the entry's alerts for an hour, kept
    // beside the list.
    const auto asked = std::time(nullptr);
    desk.notes.Send("invoke " + id + " snooze");
    std::string kept;
    for (int i = 0; i < 100 && kept.empty(); ++i) {
        std::this_thread::sleep_for(50ms);
        kept = fakes::ReadText(desk.dir / "Tarnwatch.snooze");
    }
    ASSERT_EQ(kept.size(), 16u + 1 + 10 + 1) << kept;
    const long long until = std::stoll(kept.substr(17));
    EXPECT_GE(until, asked + 3600);
    EXPECT_LE(until, std::time(nullptr) + 3600);
}

// While paused, the failure neither notifies nor runs its command; the end
// of the pause reminds of it once.
TEST(DeskAlerts, PausedProgramHoldsAlertsAndRemindsOnceWhenThePauseEnds) {
    TW_SKIP_WITHOUT_PRIVATE_PID_NAMESPACE();
    Port port;
    const auto until = std::time(nullptr) + 8;
    Desk desk(WebEntry(port.number()), "AlertsPausedUntil=" + std::to_string(until) + "\n");
    ASSERT_TRUE(desk.program) << "no private bus";
    ASSERT_TRUE(desk.WaitTested(1, 20s));
    const std::string reminder = desk.Note(20s);
    EXPECT_GE(std::time(nullptr), until) << "notified while paused: " << reminder;
    EXPECT_NE(reminder.find(" 0 Alerts resumed|Still failed: web|"), std::string::npos) << reminder;
    EXPECT_FALSE(desk.Failed()) << "the failure command ran while paused";
    EXPECT_EQ(desk.Note(2s), "") << "reminded more than once";
}

// Going to sleep while a test waits on a silent agent ends the wait: the
// connection closes, the entry is not judged and nothing fires.
TEST(DeskAlerts, SleepDuringAWaitJudgesNothingAndFiresNothing) {
    TW_SKIP_WITHOUT_PRIVATE_PID_NAMESPACE();
    int port = 0;
    const int listener = fakes::ListenOnLoopback(8, port);
    Desk desk(fakes::TestEntry(0, std::to_string(port), "127.0.0.1", 29, "agent").Text(260, "60"),
              "");
    ASSERT_TRUE(desk.program) << "no private bus";
    pollfd waiting{listener, POLLIN, 0};
    ASSERT_EQ(poll(&waiting, 1, 60'000), 1) << "the test never connected";
    const int agent = accept(listener, nullptr, nullptr);
    close(listener);
    ASSERT_GE(agent, 0);
    std::this_thread::sleep_for(500ms);
    desk.login.Send("sleep");
    // The request arrives, then the end of the connection; the entry
    // allows 60 s, so an end within seconds is the sleep's.
    bool ended = false;
    pollfd reply{agent, POLLIN, 0};
    for (char buf[256]; !ended && poll(&reply, 1, 5000) == 1;)
        ended = read(agent, buf, sizeof buf) <= 0;
    close(agent);
    EXPECT_TRUE(ended) << "the wait went on through the sleep";
    EXPECT_EQ(desk.Tested(), 0) << "the entry was judged";
    EXPECT_EQ(desk.Note(1s), "");
    EXPECT_FALSE(desk.Failed());
    desk.program->Signal(SIGTERM);
    ASSERT_NE(desk.program->Wait(10s), -1);
    const auto bytes = fakes::ReadBytes(desk.dir / "Tarnwatch.ini");
    ASSERT_EQ(bytes.size(), 8u + 1912 + 4);
    EXPECT_EQ(fakes::IntAt(bytes, 8 + 1876), 0x00200000) << "the entry was judged";
}

}  // namespace
}  // namespace tarnwatch
