// Application start-up.
#include "shell/CTarnwatchApp.h"

#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QMessageBox>
#include <QSessionManager>

#include "quillongen/probes.h"
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

void RefuseToStart(int textId) {
    ShowMessage(nullptr, LoadString(textId));
}

}  // namespace

int RunningCopies(int isWindows9x) {
    const char* name = LoadString(IDS_APP_NAME);
    return isWindows9x ? CheckTaskList95(name) : CheckTaskList(name);
}

int CTarnwatchApp::Run(int& argc, char** argv) {
    QApplication app(argc, argv);
    // The profile: organisation "Quillon", application "Tarnwatch".
    QCoreApplication::setOrganizationName(QString::fromLatin1(LoadString(IDS_PROFILE_ORG)));
    QCoreApplication::setApplicationName(QString::fromLatin1(LoadString(IDS_PROFILE_APP)));
    QApplication::setQuitOnLastWindowClosed(false);

    if (!SocketsAvailable()) {
        RefuseToStart(IDS_NO_SOCKETS);
        return -1;
    }
    isWindows9x = 0;
    InstallLibraryMessageBox();
    if (RunningCopies(isWindows9x) > 1) {
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
