// The library's message boxes shown with QMessageBox, installed by the
// window program at start-up.
#include "shell/LibraryMessageBox.h"

#include <QMessageBox>

#include "quillongen/err.h"
#include "shell/QtPorts.h"

namespace tarnwatch {
namespace {

int ShowLibraryBox(const char* text, const char* title, unsigned long style) {
    if (NobodyCanClick()) return 0;  // the library falls back to standard output
    QMessageBox box;
    box.setWindowTitle(QString::fromLocal8Bit(title ? title : ""));
    box.setText(QString::fromLocal8Bit(text ? text : ""));
    switch (style & 0xF) {
        case ERR_STYLE_RETRY_CANCEL:
            box.setStandardButtons(QMessageBox::Retry | QMessageBox::Cancel);
            break;
        case ERR_STYLE_YES_NO_CANCEL:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
            break;
        case ERR_STYLE_OK_CANCEL:
            box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
            break;
        default:
            box.setStandardButtons(QMessageBox::Ok);
            break;
    }
    switch (style & 0xF0) {
        case ERR_ICON_STOP:
            box.setIcon(QMessageBox::Critical);
            break;
        case ERR_ICON_QUESTION:
            box.setIcon(QMessageBox::Question);
            break;
        case ERR_ICON_EXCLAMATION:
            box.setIcon(QMessageBox::Warning);
            break;
        case ERR_ICON_INFORMATION:
            box.setIcon(QMessageBox::Information);
            break;
        default:
            break;
    }
    switch (box.exec()) {
        case QMessageBox::Retry:
            return ERR_ANSWER_RETRY;
        case QMessageBox::Cancel:
            return ERR_ANSWER_CANCEL;
        case QMessageBox::Yes:
            return ERR_ANSWER_YES;
        case QMessageBox::No:
            return ERR_ANSWER_NO;
        default:
            return ERR_ANSWER_OK;
    }
}

}  // namespace

void InstallLibraryMessageBox() {
    err_setMessageBoxHandler(&ShowLibraryBox);
}

}  // namespace tarnwatch
