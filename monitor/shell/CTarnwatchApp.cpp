// Application start-up.
#include "shell/CTarnwatchApp.h"

#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QMessageBox>
#include <QSessionManager>

#include "engine/ListFile.h"
#include "res/StringTable.h"
#include "shell/CTarnwatchDlg.h"
#include "shell/LibraryMessageBox.h"
#include "shell/ProfileStore.h"
#include "shell/QtPorts.h"
#include "shell/QtText.h"

namespace tarnwatch {
namespace {

bool SocketsAvailable() {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    close(fd);
    return true;
}

void RefuseToStart(int textId) {
    ShowMessage(nullptr, LoadString(textId));
}

}  // namespace

int RunningCopies(int /*isWindows9x*/) {
    // Not the library's process-list count: that one counts every user's
    // processes, zombies and names that differ in case, so anybody's
    // process could keep the monitor from starting.
    return CountOwnProcesses(OwnProgramName());
}

bool ClaimSingleInstance(int isWindows9x, ListDirectoryLock& lock) {
    if (RunningCopies(isWindows9x) > 1) return false;
    const ListFilePaths paths = ListFileLocation();
    switch (lock.Acquire(paths.directory)) {
        case ListDirectoryLock::Result::kTaken:
            return false;
        case ListDirectoryLock::Result::kHeld:
            RemoveLeftoverTempFiles(paths);
            break;
        case ListDirectoryLock::Result::kUnavailable:
            // A directory that cannot be written cannot be saved to either;
            // the save reports that.
            break;
    }
    return true;
}

int CTarnwatchApp::Run(int& argc, char** argv) {
    QApplication app(argc, argv);
    // The profile: organisation "Quillon", application "Tarnwatch".
    QCoreApplication::setOrganizationName(QText(IDS_PROFILE_ORG));
    QCoreApplication::setApplicationName(QText(IDS_PROFILE_APP));
    QApplication::setQuitOnLastWindowClosed(false);

    if (!SocketsAvailable()) {
        RefuseToStart(IDS_NO_SOCKETS);
        return -1;
    }
    isWindows9x = 0;
    InstallLibraryMessageBox();
    ListDirectoryLock listLock;
    if (!ClaimSingleInstance(isWindows9x, listLock)) {
        RefuseToStart(IDS_ALREADY_RUNNING);
        return -1;
    }

    // The handlers go in before the window exists so that a signal during
    // start-up is not fatal; it is acted on once the event loop runs.
    CTarnwatchDlg* mainWindow = nullptr;
    InstallTerminationSignals(
        [](void* context) {
            if (auto* window = *static_cast<CTarnwatchDlg**>(context)) window->CloseProgram();
        },
        &mainWindow);
    ProfileStore profile;
    CTarnwatchDlg dlg(&profile);
    dlg.SetMetricsOutput(std::make_unique<MetricsOutput>(metrics));
    mainWindow = &dlg;
    // A session end runs the whole shutdown so settings and list are saved.
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &dlg,
                     [&dlg](QSessionManager&) { dlg.CloseProgram(); });
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &dlg, [&dlg] { dlg.CloseProgram(); });
    dlg.exec();
    mainWindow = nullptr;
    return 0;
}

}  // namespace tarnwatch
