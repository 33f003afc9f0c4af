// Application start-up.
#include "shell/CTarnwatchApp.h"

#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QMessageBox>
#include <QSessionManager>
#include <cstdlib>

#include "engine/ListFile.h"
#include "engine/MessageText.h"
#include "res/QtText.h"
#include "res/StringTable.h"
#include "shell/CTarnwatchDlg.h"
#include "shell/LibraryMessageBox.h"
#include "shell/ProfileStore.h"
#include "shell/QtPorts.h"

namespace tarnwatch {
namespace {

bool SocketsAvailable() {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    close(fd);
    return true;
}

void RefuseToStart(const std::string& text) {
    ShowMessage(nullptr, text);
}

}  // namespace

int RunningCopies(int /*isWindows9x*/) {
    // Not the library's process-list count: that one counts every user's
    // processes, zombies and names that differ in case, so anybody's
    // process could keep the monitor from starting. Nor does a copy count
    // that is still starting or about to refuse: two copies started at the
    // same instant would otherwise both refuse.
    return CountClaimedCopies(OwnProgramName());
}

namespace {

// Where the user's copies take turns to start: the user's runtime
// directory, else the profile's.
std::string StartTurnDirectory() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && runtime[0] == '/') return runtime;
    const char* config = std::getenv("XDG_CONFIG_HOME");
    const char* home = std::getenv("HOME");
    const std::string base = config && config[0] == '/'
                                 ? std::string(config)
                                 : std::string(home ? home : "") + "/.config";
    return base + "/" + LoadString(IDS_PROFILE_ORG);
}

}  // namespace

std::string ClaimSingleInstance(int isWindows9x, ListDirectoryLock& lock) {
    const StartTurn turn(StartTurnDirectory());
    // The list's lock first: of two copies on one list exactly one gets it,
    // and the other, holding no lock, is not counted by the first.
    const ListFilePaths paths = ListFileLocation();
    switch (lock.Acquire(paths.directory)) {
        case ListDirectoryLock::Result::kHeld:
            break;
        case ListDirectoryLock::Result::kTaken:
            return LoadString(IDS_ALREADY_RUNNING);
        case ListDirectoryLock::Result::kFailed:
            return FormatText(LoadString(IDS_LOCK_FAILED), {lock.path(), lock.reason()});
    }
    if (RunningCopies(isWindows9x) > 1) return LoadString(IDS_ALREADY_RUNNING);
    RemoveLeftoverTempFiles(paths);
    return "";
}

int CTarnwatchApp::Run(int& argc, char** argv) {
    QApplication app(argc, argv);
    // The profile: organisation "Quillon", application "Tarnwatch".
    QCoreApplication::setOrganizationName(TableText(IDS_PROFILE_ORG));
    QCoreApplication::setApplicationName(TableText(IDS_PROFILE_APP));
    QApplication::setQuitOnLastWindowClosed(false);

    if (!SocketsAvailable()) {
        RefuseToStart(LoadString(IDS_NO_SOCKETS));
        return -1;
    }
    isWindows9x = 0;
    InstallLibraryMessageBox();
    ListDirectoryLock listLock;
    if (const std::string refusal = ClaimSingleInstance(isWindows9x, listLock); !refusal.empty()) {
        RefuseToStart(refusal);
        return -1;
    }

    // The handlers go in before the window exists so that a signal during
    // start-up is not fatal: it ends any message the start-up shows, and the
    // close follows as soon as the window exists.
    struct Closer {
        CTarnwatchDlg* window = nullptr;
        bool wanted = false;
    } closer;
    InstallTerminationSignals(
        [](void* context) {
            auto* c = static_cast<Closer*>(context);
            if (c->window) {
                c->window->CloseProgram();
                return;
            }
            c->wanted = true;
            EndModalWindows(nullptr);
        },
        &closer);
    ProfileStore profile;
    CTarnwatchDlg dlg(&profile);
    dlg.SetMetricsOutput(std::make_unique<MetricsOutput>(metrics));
    dlg.Engine().SetParallelTests(parallel);
    closer.window = &dlg;
    // The session manager's save request saves and nothing more: a logout
    // may still be cancelled. The session's real end quits the event loop.
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &dlg,
                     [&dlg](QSessionManager&) { dlg.SaveForSession(); });
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &dlg, [&dlg] { dlg.CloseProgram(); });
    // The window is shown, not run: hiding it behind the notification icon
    // or minimising it ends nothing. Only CloseProgram ends the event loop.
    dlg.show();
    if (closer.wanted) {
        QMetaObject::invokeMethod(&dlg, &CTarnwatchDlg::CloseProgram, Qt::QueuedConnection);
    }
    app.exec();
    // An event loop ended from outside (the platform's quit) still saves.
    dlg.CloseProgram();
    closer.window = nullptr;
    return 0;
}

}  // namespace tarnwatch
