// Desktop notifications through the notification service of the session
// bus. Every call is asynchronous: a slow or missing service never holds up
// a test pass. Without a service nothing is shown, and standard error says
// so once.
#pragma once

#include <QDBusConnection>
#include <QHash>
#include <QObject>
#include <QString>

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

    QDBusConnection bus_;
    bool missing_ = false;
    bool actions_ = false;
    bool markup_ = false;
    QHash<QString, uint> shown_;  // key -> the notification shown for it
    QHash<uint, QString> keys_;
};

}  // namespace tarnwatch
