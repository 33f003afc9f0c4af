// Headless mode.
#include "shell/Headless.h"

#include <QCoreApplication>
#include <QSettings>
#include <QTimer>
#include <array>
#include <cstdio>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "engine/CheckReport.h"
#include "engine/MessageText.h"
#include "engine/MonitorEngine.h"
#include "engine/SystemClock.h"
#include "res/QtText.h"
#include "res/StringTable.h"
#include "shell/CTarnwatchApp.h"
#include "shell/CanberraSound.h"
#include "shell/DesktopNotifier.h"
#include "shell/OnePassReport.h"
#include "shell/ProfileStore.h"
#include "shell/QtPorts.h"
#include "res/QtText.h"
#include "shell/SleepWatch.h"
#include "shell/StandardOutput.h"

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
        output_.WriteOrTellOnce(Now() + '\t' + cell(kColAddress) + '\t' + cell(kColServiceTest) +
                                '\t' + cell(kColStatus) + '\t' + cell(kColAttempt) + '\n');
    }
    bool print = true;
    MetricsOutput* metrics = nullptr;

private:
    const MonitorEngine& engine_;
    StandardOutput output_;
};

// The rows as a table, then the tool tip.
std::string TableText(const MonitorEngine& engine) {
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
    std::string table;
    auto line = [&](auto cell) {
        std::string out;
        for (int c : kShown) {
            std::string text = cell(c);
            text.resize(width[c], ' ');
            out += text + "  ";
        }
        while (!out.empty() && out.back() == ' ') out.pop_back();
        table += out + '\n';
    };
    line([](int c) { return std::string(LoadString(IDS_COL_ADDRESS + c)); });
    for (const auto& shown : rows) {
        line([&](int c) { return shown[static_cast<std::size_t>(c)]; });
    }
    table += engine.ToolTip() + '\n';
    return table;
}

// Tests once every entry of a class that has an interval; says so when no
// class has one, since then nothing would ever be tested.
void TestTimedEntriesNow(MonitorEngine& engine) {
    const GlobalSettings& s = engine.Settings();
    std::vector<int> timed;
    for (int cls : {kFrequencyHigh, kFrequencyMedium, kFrequencyLow}) {
        if (UpdateScheduler::ClassInterval(cls, s) > 0) timed.push_back(cls);
    }
    if (timed.empty() || !engine.Scheduler().timersOn()) {
        const std::string profile =
            QSettings(QSettings::NativeFormat, QSettings::UserScope, TableText(IDS_PROFILE_ORG),
                      TableText(IDS_PROFILE_APP))
                .fileName()
                .toStdString();
        TellOnStandardError(
            FormatText(LoadString(IDS_HEADLESS_NOTHING_TIMED),
                       {LoadString(IDS_HIGHNETUPDATE), LoadString(IDS_MEDNETUPDATE),
                        LoadString(IDS_LOWNETUPDATE), LoadString(IDS_PROFILE_SECTION), profile}));
        return;
    }
    engine.PauseSchedule();
    for (int cls : timed) {
        if (engine.CloseHeld()) break;
        engine.SetPassClass(cls);
        engine.RunTestPass(-1);
    }
    engine.ResumeSchedule();
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
    IgnoreBrokenPipes();
    ReportOutput report(once);
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName(TableText(IDS_PROFILE_ORG));
    QCoreApplication::setApplicationName(TableText(IDS_PROFILE_APP));
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
    // A check run once by another monitor has nobody at a desk to tell.
    std::unique_ptr<DesktopNotifier> notifier;
    if (!once) notifier = std::make_unique<DesktopNotifier>();
    const Ports ports{.clock = &clock,
                      .timers = &timers,
                      .pump = &pump,
                      .messageBox = &messageBox,
                      .waitCursor = &cursor,
                      .window = &window,
                      .sound = &sound,
                      .notifier = notifier.get()};

    MonitorEngine engine(ports, &profile);
    engine.SetParallelTests(options.parallel);
    MetricsOutput metrics(options.metrics);
    LinePrinter printer(engine);
    printer.print = !once;
    printer.metrics = &metrics;
    engine.SetObserver(&printer);
    // A check run once ends long before any sleep could matter.
    std::unique_ptr<SleepWatch> sleepWatch;
    if (!once) {
        sleepWatch = std::make_unique<SleepWatch>();
        QObject::connect(sleepWatch.get(), &SleepWatch::sleeping, &app,
                         [&engine] { engine.OnSleep(); });
        QObject::connect(sleepWatch.get(), &SleepWatch::woke, &app, [&engine] { engine.OnWake(); });
    }
    if (notifier) {
        QObject::connect(
            notifier.get(), &DesktopNotifier::snoozeRequested, &app,
            [&engine](const QString& key) { engine.SnoozeEntry(key.toStdString(), 60 * 60); });
    }
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
        const std::string text = options.json
                                     ? JsonReport(engine, clock.Now(), result)
                                     : PluginLine(engine, result) + '\n' + TableText(engine);
        StandardOutput output;
        code = result.exitCode;
        // A check whose report is lost must not pass for one that was read.
        if (!output.Write(text)) {
            TellOnStandardError(LoadFormatted(IDS_REPORT_NOT_WRITTEN, output.error()));
            code = kCheckUnknown;
        }
    } else {
        metrics.Publish(engine);
        if (!sound.IsOpen()) TellOnStandardError(LoadString(IDS_HEADLESS_SOUNDS_OFF));
        // A daemon shows its first results at once, not after a whole
        // interval; from the event loop, so that a signal can cut it short.
        QTimer::singleShot(0, &app, [&engine] { TestTimedEntriesNow(engine); });
        app.exec();
    }
    const GlobalSettings& s = engine.Settings();
    engine.Shutdown(s.columnPosition, s.columnWidth);
    engine.SetObserver(nullptr);
    return code;
}

}  // namespace tarnwatch
