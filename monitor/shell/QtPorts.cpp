// Qt implementations of the engine's ports.
#include "shell/QtPorts.h"

#include <QApplication>
#include <QMessageBox>
#include <QProgressDialog>
#include <QSystemTrayIcon>
#include <cstdio>

#include "engine/MessageText.h"
#include "res/QtText.h"
#include "res/StringTable.h"

namespace tarnwatch {

void QtTimerPort::SetTimer(int id, int milliseconds) {
    auto& timer = timers_[id];
    if (!timer) {
        timer = std::make_unique<QTimer>();
        timer->setSingleShot(true);
        QObject::connect(timer.get(), &QTimer::timeout, this, [this, id] {
            if (sink_) sink_->OnTimer(id);
        });
    }
    timer->start(std::max(0, milliseconds));
}

void QtTimerPort::KillTimer(int id) {
    auto it = timers_.find(id);
    if (it != timers_.end()) it->second->stop();
}

bool QtTimerPort::IsArmed(int id) const {
    auto it = timers_.find(id);
    return it != timers_.end() && it->second->isActive();
}

void QtPump::Pump() {
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

bool NobodyCanClick() {
    const QString platform = QGuiApplication::platformName();
    return platform == QLatin1String("offscreen") || platform == QLatin1String("minimal");
}

void ShowMessage(QWidget* parent, const std::string& text) {
    if (NobodyCanClick()) {
        TellOnStandardError(text);
        return;
    }
    QMessageBox::information(parent, TableText(IDS_APP_NAME), QString::fromLocal8Bit(text.c_str()));
}

void EndModalWindows(const QWidget* except) {
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window == except || !window->isVisible()) continue;
        if (auto* wait = qobject_cast<QProgressDialog*>(window)) {
            wait->cancel();
        } else if (auto* dialog = qobject_cast<QDialog*>(window)) {
            dialog->reject();
        } else {
            window->close();
        }
    }
}

void QtMessageBox::Show(const std::string& text) {
    if (pump_.Closing()) {
        TellOnStandardError(text);
        return;
    }
    ShowMessage(parent_, text);
}

bool QtMessageBox::WritesToStandardError() const {
    return NobodyCanClick() || pump_.Closing();
}

void QtWaitCursor::Begin() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

void QtWaitCursor::End() {
    QApplication::restoreOverrideCursor();
}

void QtWindowPort::Show() {
    if (!window_) return;
    window_->showNormal();
    window_->raise();
    window_->activateWindow();
}

void QtWindowPort::Hide() {
    if (window_ && CanHide()) window_->hide();
}

bool QtWindowPort::CanHide() {
    if (QSystemTrayIcon::isSystemTrayAvailable()) return true;
    if (!toldNoArea_) TellOnStandardError(LoadString(IDS_NO_NOTIFICATION_AREA));
    toldNoArea_ = true;
    return false;
}

bool QtWindowPort::IsHidden() const {
    return !window_ || window_->isHidden();
}

}  // namespace tarnwatch
