// Headless mode.
#include "shell/Headless.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

#include "engine/CheckReport.h"
#include "engine/MonitorEngine.h"
#include "engine/SystemClock.h"
#include "res/StringTable.h"
#include "shell/CTarnwatchApp.h"
#include "shell/CanberraSound.h"
#include "shell/ProfileStore.h"
#include "shell/QtPorts.h"

namespace tarnwatch {
namespace {

// Nobody can press OK: messages go to standard error and the pass goes on.
class StderrMessageBox final : public MessageBoxPort {
public:
    void Show(const std::string& text) override {
        std::fprintf(stderr, "%s: %s\n", LoadString(IDS_APP_NAME), text.c_str());
        std::fflush(stderr);
    }
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
        std::printf("%s\t%s\t%s\t%s\t%s\n", Now().c_str(), v.cells[kColAddress].c_str(),
                    v.cells[kColServiceTest].c_str(), v.cells[kColStatus].c_str(),
                    v.cells[kColAttempt].c_str());
        std::fflush(stdout);
    }
    bool print = true;
    MetricsOutput* metrics = nullptr;

private:
    const MonitorEngine& engine_;
};

// Keeps standard output for the one-pass report alone: until Restore(), what
// the entries' programs and alert commands print goes to standard error, so
// a monitor that reads the first line as the status gets the status.
class ReportOutput {
public:
    explicit ReportOutput(bool divert) {
        if (!divert) return;
        std::fflush(stdout);
        // Close-on-exec: a command left running must not hold the report open.
        saved_ = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
        if (saved_ >= 0 && dup2(STDERR_FILENO, STDOUT_FILENO) < 0) {
            close(saved_);
            saved_ = -1;
        }
    }
    ~ReportOutput() { Restore(); }
    void Restore() {
        if (saved_ < 0) return;
        std::fflush(stdout);
        dup2(saved_, STDOUT_FILENO);
        close(saved_);
        saved_ = -1;
    }

private:
    int saved_ = -1;
};

// Why the pass cannot run on the list at all, or "" when it can. A list
// file that does not exist yet is an empty list, not an error.
std::string UnreadableList(const MonitorEngine& engine) {
    const LoadReport& load = engine.LastLoad();
    const std::string file = ListFileLocation().listFile;
    const auto because = [&](const std::string& reason) {
        return FillText(IDS_LIST_UNREADABLE, file, reason);
    };
    if (load.outOfMemory) return because("there is not enough memory to load it");
    if (load.opened) {
        return load.readError && engine.Entries().rowCount == 0 ? because("it is cut short") : "";
    }
    struct stat st {};
    if (stat(file.c_str(), &st) != 0) return errno == ENOENT ? "" : because(std::strerror(errno));
    if (!S_ISREG(st.st_mode)) return because("it is not a regular file");
    if (load.readError) return because("it is cut short");
    const int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return because(std::strerror(errno));
    close(fd);
    return "";
}

void PrintTable(const MonitorEngine& engine) {
    static constexpr int kShown[] = {kColAddress, kColDescription, kColSource,  kColServiceTest,
                                     kColStatus,  kColAttempt,     kColTimeout, kColFreq};
    std::size_t width[kColumnCount];
    for (int c : kShown) width[c] = std::string(LoadString(IDS_COL_ADDRESS + c)).size();
    for (const RowView& v : engine.Rows()) {
        for (int c : kShown)
            width[c] = std::max(width[c], v.cells[static_cast<std::size_t>(c)].size());
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
    for (const RowView& v : engine.Rows()) {
        line([&](int c) { return v.cells[static_cast<std::size_t>(c)]; });
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
    QCoreApplication::setOrganizationName(QString::fromLatin1(LoadString(IDS_PROFILE_ORG)));
    QCoreApplication::setApplicationName(QString::fromLatin1(LoadString(IDS_PROFILE_APP)));
    const int isWindows9x = 0;
    if (RunningCopies(isWindows9x) > 1) {
        StderrMessageBox().Show(LoadString(IDS_ALREADY_RUNNING));
        return -1;
    }

    SystemClock clock;
    QtTimerPort timers;
    QtPump pump;
    StderrMessageBox messageBox;
    NoCursor cursor;
    NoWindow window;
    CanberraSound sound;
    ProfileStore profile;
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
