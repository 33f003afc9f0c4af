// Headless mode.
#include "shell/Headless.h"

#include <QCoreApplication>
#include <array>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "engine/CheckReport.h"
#include "engine/MessageText.h"
#include "engine/MonitorEngine.h"
#include "engine/SystemClock.h"
#include "res/StringTable.h"
#include "shell/CTarnwatchApp.h"
#include "shell/CanberraSound.h"
#include "shell/OnePassReport.h"
#include "shell/ProfileStore.h"
#include "shell/QtPorts.h"
#include "shell/QtText.h"

namespace tarnwatch {
namespace {

// Nobody can press OK: messages go to standard error and the pass goes on.
class StderrMessageBox final : public MessageBoxPort {
public:
    void Show(const std::string& text) override { TellOnStandardError(text); }
    bool WritesToStandardError() const override { return true; }
};

class NoCursor final : public WaitCursorPort {
public:
    void Begin() override {}
    void End() override {}
};

class NoWindow final : public WindowPort {
public:
    void Show() override {}
    void Hide() override {}
    bool IsHidden() const override { return true; }
};

std::string Now() {
    time_t t = time(nullptr);
    tm local{};
    char buf[32] = "";
    if (localtime_r(&t, &local)) std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &local);
    return buf;
}

// One line per tested row: time, address, service test, status, attempt.
class LinePrinter final : public EngineObserver {
public:
    explicit LinePrinter(const MonitorEngine& engine) : engine_(engine) {}
    void RowsReset() override {}
    void RowChanged(int) override {}
    void StateChanged() override {}
    void TrayIconChanged(bool) override {}
    void CloseRequested() override { QCoreApplication::quit(); }
    void RowVisited(int) override {}
    void PassEnded() override {
        if (metrics && print) metrics->PublishSoon(engine_);
    }
    void RowTested(int row) override {
        if (!print) return;
        const RowView& v = engine_.Rows()[static_cast<std::size_t>(row)];
        auto cell = [&v](int c) { return PrintableText(v.cells[static_cast<std::size_t>(c)]); };
        std::printf("%s\t%s\t%s\t%s\t%s\n", Now().c_str(), cell(kColAddress).c_str(),
                    cell(kColServiceTest).c_str(), cell(kColStatus).c_str(),
                    cell(kColAttempt).c_str());
        std::fflush(stdout);
    }
    bool print = true;
    MetricsOutput* metrics = nullptr;

private:
    const MonitorEngine& engine_;
};

void PrintTable(const MonitorEngine& engine) {
    static constexpr int kShown[] = {kColAddress, kColDescription, kColSource,  kColServiceTest,
                                     kColStatus,  kColAttempt,     kColTimeout, kColFreq};
    // Entry texts and agents' replies as a terminal may safely show them.
    std::vector<std::array<std::string, kColumnCount>> rows;
    for (const RowView& v : engine.Rows()) {
        auto& shown = rows.emplace_back();
        for (int c : kShown) {
            const auto i = static_cast<std::size_t>(c);
            shown[i] = PrintableText(v.cells[i]);
        }
    }
    std::size_t width[kColumnCount];
    for (int c : kShown) width[c] = std::string(LoadString(IDS_COL_ADDRESS + c)).size();
    for (const auto& shown : rows) {
        for (int c : kShown)
            width[c] = std::max(width[c], shown[static_cast<std::size_t>(c)].size());
    }
    auto line = [&](auto cell) {
        std::string out;
        for (int c : kShown) {
            std::string text = cell(c);
            text.resize(width[c], ' ');
            out += text + "  ";
        }
        while (!out.empty() && out.back() == ' ') out.pop_back();
        std::printf("%s\n", out.c_str());
    };
    line([](int c) { return std::string(LoadString(IDS_COL_ADDRESS + c)); });
    for (const auto& shown : rows) {
        line([&](int c) { return shown[static_cast<std::size_t>(c)]; });
    }
    std::printf("%s\n", engine.ToolTip().c_str());
    std::fflush(stdout);
}

}  // namespace

int ExitCodeForLevel(int level) {
    switch (level) {
        case kLevelOk:
            return 0;
        case kLevelWarning:
        case kLevelInformation:
            return 1;
        default:
            return 2;
    }
}

int RunHeadless(int& argc, char** argv, const HeadlessOptions& options) {
    const bool once = options.once;
    ReportOutput report(once);
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QText(IDS_PROFILE_ORG));
    QCoreApplication::setApplicationName(QText(IDS_PROFILE_APP));
    const int isWindows9x = 0;
    ListDirectoryLock listLock;
    if (const std::string refusal = ClaimSingleInstance(isWindows9x, listLock); !refusal.empty()) {
        StderrMessageBox().Show(refusal);
        return -1;
    }

    SystemClock clock;
    QtTimerPort timers;
    QtPump pump;
    StderrMessageBox messageBox;
    NoCursor cursor;
    NoWindow window;
    CanberraSound sound;
    ProfileStore profile(ProfileStore::Autostart::kLeaveAlone);
    const Ports ports{.clock = &clock,
                      .timers = &timers,
                      .pump = &pump,
                      .messageBox = &messageBox,
                      .waitCursor = &cursor,
                      .window = &window,
                      .sound = &sound};

    MonitorEngine engine(ports, &profile);
    MetricsOutput metrics(options.metrics);
    LinePrinter printer(engine);
    printer.print = !once;
    printer.metrics = &metrics;
    engine.SetObserver(&printer);
    InstallTerminationSignals(
        [](void* context) { static_cast<MonitorEngine*>(context)->RequestClose(); }, &engine);

    engine.Initialise();
    int code = 0;
    if (once) {
        CheckResult result;
        result.error = UnreadableList(engine);
        if (result.error.empty()) {
            // The endpoint answers with the loaded list while the pass runs.
            metrics.Publish(engine, false);
            engine.OnUpdateAll();
            metrics.Publish(engine);
            result.exitCode = ExitCodeForLevel(engine.OverallLevel());
        } else {
            result.exitCode = kCheckUnknown;
        }
        report.Restore();
        if (options.json) {
            const std::string json = JsonReport(engine, clock.Now(), result);
            std::fwrite(json.data(), 1, json.size(), stdout);
            std::fflush(stdout);
        } else {
            std::printf("%s\n", PluginLine(engine, result).c_str());
            PrintTable(engine);
        }
        code = result.exitCode;
    } else {
        metrics.Publish(engine);
        app.exec();
    }
    const GlobalSettings& s = engine.Settings();
    engine.Shutdown(s.columnPosition, s.columnWidth);
    engine.SetObserver(nullptr);
    return code;
}

}  // namespace tarnwatch
