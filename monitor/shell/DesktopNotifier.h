// Desktop notifications through the notification service of the session
// bus. Every call is asynchronous: a slow or missing service never holds up
// a test pass. Without a service nothing is shown, and standard error says
// so once.
#pragma once

#include <QDBusConnection>
#include <QHash>
#include <QObject>
#include <QString>
#include <vector>

#include "engine/Ports.h"

namespace tarnwatch {

class DesktopNotifier final : public QObject, public NotifyPort {
    Q_OBJECT
public:
    DesktopNotifier();
    void Notify(const DesktopNote& note) override;

signals:
    // "Open" or a click on a notification.
    void openRequested();
    // "Snooze 1 hour" on the notification about `key`.
    void snoozeRequested(const QString& key);

private slots:
    void OnActionInvoked(uint id, const QString& action);
    void OnClosed(uint id, uint reason);

private:
    void ServiceMissing();
    void Send(const DesktopNote& note);

    QDBusConnection bus_;
    bool missing_ = false;
    // Until the service has said what it offers, notifications wait here:
    // one sent meanwhile would lack its actions.
    bool known_ = false;
    std::vector<DesktopNote> waiting_;
    bool actions_ = false;
    bool markup_ = false;
    QHash<QString, uint> shown_;  // key -> the notification shown for it
    QHash<uint, QString> keys_;
};

}  // namespace tarnwatch
