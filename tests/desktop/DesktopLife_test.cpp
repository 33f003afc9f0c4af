// The real program on a desktop with a notification area of either kind: it
// hides behind its icon, comes back, ends only through its shutdown, and
// keeps every entry whatever window is open when a close arrives.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "desktop/Desktop.h"
#include "fakes/ListFileBytes.h"
#include "fakes/TempDir.h"

namespace tarnwatch {
namespace {

using namespace std::chrono_literals;
using desktop::Tray;
using desktop::VirtualDesktop;

const std::vector<std::string> kAddresses = {"alpha.test", "bravo.test", "charlie.test"};

// A list of three on-demand entries and, where given, a profile.
class Home {
public:
    explicit Home(const std::string& options = "") {
        std::vector<fakes::RawRecord> records;
        for (const std::string& a : kAddresses) {
            records.push_back(fakes::TestEntry(0, "80", a, 14, "web").Int(1904, 0));
        }
        fakes::WriteBytes(list(), fakes::ListFileImage(-2.2f, 3, records));
        std::filesystem::create_directories(dir / "config/Quillon");
        std::ofstream(dir / "config/Quillon/Tarnwatch.conf") << "[Options]\n" << options;
    }
    std::string list() const { return dir / "Tarnwatch.ini"; }
    // The addresses the list file holds, in order.
    std::vector<std::string> Addresses() const {
        const auto bytes = fakes::ReadBytes(list());
        std::vector<std::string> out;
        for (std::size_t at = 8 + 280; at + 256 <= bytes.size(); at += 1912) {
            out.emplace_back(reinterpret_cast<const char*>(&bytes[at]));
        }
        return out;
    }
    std::vector<std::string> Env(const std::vector<std::string>& more) const {
        std::vector<std::string> env = {
            "TARNWATCH_HOME=" + dir.path(), "XDG_CONFIG_HOME=" + dir.path() + "/config",
            "XDG_DATA_HOME=" + dir.path() + "/data", "XDG_RUNTIME_DIR=", "TZ=UTC"};
        env.insert(env.end(), more.begin(), more.end());
        return env;
    }
    std::string Errors() const {
        const auto bytes = fakes::ReadBytes(dir / "stderr.txt");
        return std::string(bytes.begin(), bytes.end());
    }

    fakes::TempDir dir;
};

// The program in the test's private PID namespace, so that a monitor the
// developer runs on the same machine does not count as another copy.
std::unique_ptr<fakes::Program> StartProgram(const Home& home,
                                             const std::vector<std::string>& env) {
    return std::make_unique<fakes::Program>(std::vector<std::string>{}, home.Env(env), "/dev/null",
                                            home.dir / "stderr.txt");
}

// The program on a desktop with a notification area of `tray` (or none),
// with the list of three and `options` in its profile.
struct Session {
    explicit Session(Tray tray, const std::string& options = "")
        : home(options), desk(tray, home.dir.path()) {
        if (desk.Ready()) program = StartProgram(home, desk.Env());
    }
    // Started, with its icon in the notification area.
    bool IconShown() { return program && desk.IconShown(); }
    Home home;
    VirtualDesktop desk;
    std::unique_ptr<fakes::Program> program;
};

// With "Minimize" set the window shows, then hides behind the icon.
bool ShownThenHidden(VirtualDesktop& desk) {
    return desk.WaitForWindow("Tarnwatch", true) && desk.WaitForWindow("Tarnwatch", false);
}

// A close request: the program ends by its shutdown and keeps the list.
void ExpectEndsAndKeepsTheList(fakes::Program& program, const Home& home) {
    const int status = program.Wait(5s);
    ASSERT_NE(status, -1) << "the program did not end";
    ASSERT_TRUE(WIFEXITED(status)) << "ended by a signal instead of its shutdown";
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(home.Addresses(), kAddresses);
}

class TrayKinds : public ::testing::TestWithParam<Tray> {};

TEST_P(TrayKinds, HidesBehindTheIconComesBackAndRunsUntilClosed) {
    TW_SKIP_WITHOUT_PRIVATE_PID_NAMESPACE();
    Session on(GetParam());  // the default profile: "Minimize" and "DisableClose" on
    ASSERT_TRUE(on.IconShown()) << on.home.Errors();
    ASSERT_TRUE(ShownThenHidden(on.desk)) << "the window was never hidden";
    std::this_thread::sleep_for(3s);
    ASSERT_TRUE(on.program->Running()) << "hiding the window ended the program";
    on.desk.ClickIcon();
    EXPECT_TRUE(on.desk.WaitForWindow("Tarnwatch", true)) << "the icon did not bring it back";
    EXPECT_TRUE(on.program->Running());
    on.program->Signal(SIGTERM);
    ExpectEndsAndKeepsTheList(*on.program, on.home);
}

// Pausing the alerts starts nothing, so it is offered whatever else runs.
const std::vector<std::string> kPauseItems = {"_Pause all alerts", "_15 minutes", "_1 hour",
                                              "_Until resumed"};

std::vector<std::string> Labels(const std::vector<VirtualDesktop::Item>& items, bool enabled) {
    std::vector<std::string> out;
    for (const auto& i : items) {
        if (i.visible && i.enabled == enabled) out.push_back(i.label);
    }
    return out;
}

TEST(NotificationMenu, OffersWhatTheIconDoesAndExitOnlyWhereCloseIsAllowed) {
    TW_SKIP_WITHOUT_PRIVATE_PID_NAMESPACE();
    {
        Session on(Tray::kStatusNotifier);
        ASSERT_TRUE(on.IconShown()) << on.home.Errors();
        std::vector<std::string> all = {"_Open Tarnwatch",    "Update _All",
                                        "_Global Options...", "_Export List...",
                                        "_Import List...",    "_About Tarnwatch..."};
        all.insert(all.end(), kPauseItems.begin(), kPauseItems.end());
        EXPECT_EQ(Labels(on.desk.Menu(), true), all) << "no exit while \"DisableClose\" is 1";
        on.desk.ClickMenu("_Until resumed");
        std::vector<std::string> paused;
        for (int i = 0; i < 100 && (paused.empty() || paused.back() != "_Resume alerts"); ++i) {
            std::this_thread::sleep_for(50ms);
            paused = Labels(on.desk.Menu(), true);
        }
        EXPECT_EQ(paused.back(), "_Resume alerts") << "a pause is offered to be resumed";
    }
    Session on(Tray::kStatusNotifier, "DisableClose=0\n");
    ASSERT_TRUE(on.IconShown()) << on.home.Errors();
    const auto items = Labels(on.desk.Menu(), true);
    ASSERT_FALSE(items.empty());
    EXPECT_EQ(items.back(), "E_xit");
    on.desk.ClickMenu("E_xit");
    ExpectEndsAndKeepsTheList(*on.program, on.home);
}

// While a sheet or message is open the icon's menu offers nothing that would
// start another. A close then ends the window as if cancelled, and the list
// is saved as it was, never with the sheet's half-made entry.
struct OpenWindow {
    const char* name;
    const char* title;
    std::vector<std::string> keys;  // typed into the main window
    const char* menuItem;           // or clicked in the icon's menu
};

class CloseWithWindowOpen : public ::testing::TestWithParam<OpenWindow> {};

TEST_P(CloseWithWindowOpen, EndsAndKeepsEveryEntry) {
    TW_SKIP_WITHOUT_PRIVATE_PID_NAMESPACE();
    const OpenWindow& open = GetParam();
    Session on(Tray::kStatusNotifier, "Minimize=0\n");
    ASSERT_TRUE(on.IconShown()) << on.home.Errors();
    ASSERT_TRUE(on.desk.WaitForWindow("Tarnwatch", true));
    if (open.menuItem) {
        on.desk.ClickMenu(open.menuItem);
    } else {
        on.desk.Keys("Tarnwatch", open.keys);
    }
    ASSERT_TRUE(on.desk.WaitForWindow(open.title, true)) << open.name << " did not open";
    std::vector<std::string> offered = {"_Open Tarnwatch"};
    offered.insert(offered.end(), kPauseItems.begin(), kPauseItems.end());
    EXPECT_EQ(Labels(on.desk.Menu(), true), offered);
    on.program->Signal(SIGTERM);
    ExpectEndsAndKeepsTheList(*on.program, on.home);
}

INSTANTIATE_TEST_SUITE_P(
    Windows, CloseWithWindowOpen,
    ::testing::Values(OpenWindow{"AddSheet", "Add/Edit", {"alt+a"}, nullptr},
                      OpenWindow{"EditSheet", "Add/Edit", {"Down", "Return"}, nullptr},
                      OpenWindow{"GlobalOptions", "Global Options", {}, "_Global Options..."},
                      OpenWindow{"AboutBox", "About Tarnwatch", {"alt+b"}, nullptr}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Desktop, WithoutANotificationAreaTheWindowStaysAndSaysWhyOnce) {
    TW_SKIP_WITHOUT_PRIVATE_PID_NAMESPACE();
    Session on(Tray::kNone);
    ASSERT_TRUE(on.program);
    ASSERT_TRUE(on.desk.WaitForWindow("Tarnwatch", true));
    std::this_thread::sleep_for(2500ms);
    EXPECT_TRUE(on.desk.WindowShown("Tarnwatch")) << "hidden with no icon to bring it back";
    on.program->Signal(SIGTERM);
    ExpectEndsAndKeepsTheList(*on.program, on.home);
    const std::string errors = on.home.Errors();
    const std::string said = "No notification area was found";
    ASSERT_NE(errors.find(said), std::string::npos) << errors;
    EXPECT_EQ(errors.find(said, errors.find(said) + 1), std::string::npos) << "said twice";
}

// A panel that restarts: the program runs on, the hidden window comes back
// while there is no icon to reach it by, and the icon returns to the new
// panel. Two termination signals in a row end it once, with the list whole.
TEST_P(TrayKinds, PanelRestartLeavesTheProgramRunningAndTheIconComesBack) {
    TW_SKIP_WITHOUT_PRIVATE_PID_NAMESPACE();
    Session on(GetParam());
    ASSERT_TRUE(on.IconShown()) << on.home.Errors();
    ASSERT_TRUE(ShownThenHidden(on.desk));
    on.desk.StopHost();
    EXPECT_TRUE(on.desk.WaitForWindow("Tarnwatch", true)) << "left hidden with no icon";
    ASSERT_TRUE(on.program->Running());
    on.desk.StartHost();
    EXPECT_TRUE(on.desk.IconShown()) << "the icon did not come back";
    on.program->Signal(SIGTERM);
    on.program->Signal(SIGTERM);
    ExpectEndsAndKeepsTheList(*on.program, on.home);
}

// The keys that type `text` (letters, digits and path punctuation).
std::vector<std::string> Typing(const std::string& text) {
    std::vector<std::string> keys;
    for (char c : text) {
        keys.push_back(c == '/'   ? "slash"
                       : c == '.' ? "period"
                       : c == '-' ? "minus"
                       : c == '_' ? "underscore"
                                  : std::string(1, c));
    }
    return keys;
}

// "Import List..." asks first: No leaves the list, Yes replaces it and the
// rows, keeping the list it replaced.
TEST(NotificationMenu, ImportListAsksBeforeReplacingTheList) {
    TW_SKIP_WITHOUT_PRIVATE_PID_NAMESPACE();
    Session on(Tray::kStatusNotifier, "Minimize=0\n");
    ASSERT_TRUE(on.IconShown()) << on.home.Errors();
    ASSERT_TRUE(on.desk.WaitForWindow("Tarnwatch", true));
    const std::string file = on.home.dir / "new.toml";
    std::ofstream(file) << "[[entry]]\naddress = \"delta.test\"\n";
    const auto before = fakes::ReadBytes(on.home.list());
    for (const char* answer : {"alt+n", "alt+y"}) {
        on.desk.ClickMenu("_Import List...");
        ASSERT_TRUE(on.desk.WaitForWindow("Import List from File", true)) << "no file dialog";
        on.desk.Keys("Import List from File", Typing(file));
        // The first Return may only take the name the dialog completed.
        for (int i = 0; i < 3 && on.desk.WindowShown("Import List from File"); ++i) {
            on.desk.Keys("Import List from File", {"Return"});
            on.desk.WaitForWindow("Import List from File", false, 2s);
        }
        ASSERT_TRUE(on.desk.WaitForWindow("Import List", true)) << "no question";
        EXPECT_EQ(fakes::ReadBytes(on.home.list()), before) << "replaced before the answer";
        on.desk.Keys("Import List", {answer});
        if (std::string(answer) == "alt+n") {
            ASSERT_TRUE(on.desk.WaitForWindow("Import List", false));
            EXPECT_EQ(fakes::ReadBytes(on.home.list()), before);
        }
    }
    for (int i = 0; i < 200 && on.home.Addresses().size() != 1; ++i) {
        std::this_thread::sleep_for(50ms);
    }
    EXPECT_EQ(on.home.Addresses(), std::vector<std::string>{"delta.test"});
    ASSERT_TRUE(on.desk.WaitForWindow("Import List", true)) << "the import was not told";
    on.desk.Keys("Import List", {"Return"});
    on.program->Signal(SIGTERM);
    const int status = on.program->Wait(5s);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(on.home.Addresses(), std::vector<std::string>{"delta.test"});
    int kept = 0;
    for (const auto& f : std::filesystem::directory_iterator(on.home.dir.path())) {
        if (f.path().filename().string().rfind("Tarnwatch-replaced-", 0) == 0) {
            EXPECT_EQ(fakes::ReadBytes(f.path()), before);
            ++kept;
        }
    }
    EXPECT_EQ(kept, 1);
}

// A signal while the start-up's own message is up, before the window
// exists: the message ends and the program closes as from any other moment.
TEST(Desktop, SignalDuringTheStartUpMessageEndsTheProgram) {
    TW_SKIP_WITHOUT_PRIVATE_PID_NAMESPACE();
    Home home;
    auto bytes = fakes::ReadBytes(home.list());
    bytes.resize(bytes.size() - 1000);  // cut short: the start-up says so
    fakes::WriteBytes(home.list(), bytes);
    VirtualDesktop desk(Tray::kXEmbed, home.dir.path());
    ASSERT_TRUE(desk.Ready());
    auto program = StartProgram(home, desk.Env());
    ASSERT_TRUE(desk.WaitForWindow("Tarnwatch", true)) << home.Errors();
    program->Signal(SIGTERM);
    const int status = program->Wait(5s);
    ASSERT_NE(status, -1) << "the program did not end";
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(home.Addresses(), (std::vector<std::string>{"alpha.test", "bravo.test"}));
}

// Two copies started at the same instant (an autostart entry and a launcher
// at log-in): exactly one runs, on one list or on two.
TEST(Desktop, TwinStartLeavesExactlyOneRunning) {
    TW_SKIP_WITHOUT_PRIVATE_PID_NAMESPACE();
    for (int trial = 0; trial < 6; ++trial) {
        Home first;
        Home second;
        const Home& other = trial % 2 ? second : first;
        std::vector<std::string> env = {"QT_QPA_PLATFORM=offscreen",
                                        "XDG_CONFIG_HOME=" + first.dir.path() + "/config"};
        fakes::Program a({}, first.Env(env), "/dev/null", first.dir / "a.txt");
        fakes::Program b({}, other.Env(env), "/dev/null", first.dir / "b.txt");
        // The one that refuses does so at once; the other keeps running.
        int refused = 0;
        const auto end = std::chrono::steady_clock::now() + 20s;
        while (refused == 0 && std::chrono::steady_clock::now() < end) {
            for (fakes::Program* c : {&a, &b}) {
                if (!c->Running()) ++refused;
            }
            std::this_thread::sleep_for(20ms);
        }
        std::this_thread::sleep_for(1500ms);
        EXPECT_EQ(a.Running() + b.Running(), 1) << "trial " << trial;
        for (fakes::Program* c : {&a, &b}) {
            if (c->Running()) continue;
            const int status = c->Wait(1s);
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 255) << "trial " << trial;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Hosts, TrayKinds, ::testing::Values(Tray::kXEmbed, Tray::kStatusNotifier),
                         [](const auto& info) {
                             return info.param == Tray::kXEmbed ? "XEmbed" : "StatusNotifier";
                         });

}  // namespace
}  // namespace tarnwatch
