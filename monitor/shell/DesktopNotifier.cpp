// Desktop notifications; see DesktopNotifier.h.
#include "shell/DesktopNotifier.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QStringList>

#include "engine/MessageText.h"
#include "res/StringTable.h"
#include "res/QtText.h"

namespace tarnwatch {
namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kInterface = QStringLiteral("org.freedesktop.Notifications");
const QString kOpenAction = QStringLiteral("open");
const QString kSnoozeAction = QStringLiteral("snooze");
// The installed icon's name, which is also the desktop entry's.
const QString kIconName = QStringLiteral("org.quillon.Tarnwatch");

}  // namespace

DesktopNotifier::DesktopNotifier() : bus_(QDBusConnection::sessionBus()) {
    if (!bus_.isConnected()) {
        ServiceMissing();
        return;
    }
    bus_.connect(QString(), kPath, kInterface, QStringLiteral("ActionInvoked"), this,
                 SLOT(OnActionInvoked(uint, QString)));
    bus_.connect(QString(), kPath, kInterface, QStringLiteral("NotificationClosed"), this,
                 SLOT(OnClosed(uint, uint)));
    // The service may be started by the bus on this first call.
    const QDBusPendingCall call = bus_.asyncCall(
        QDBusMessage::createMethodCall(kService, kPath, kInterface, "GetCapabilities"));
    auto* watcher = new QDBusPendingCallWatcher(call, this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher] {
        watcher->deleteLater();
        const QDBusPendingReply<QStringList> reply = *watcher;
        if (reply.isError()) {
            ServiceMissing();
            return;
        }
        actions_ = reply.value().contains(QStringLiteral("actions"));
        markup_ = reply.value().contains(QStringLiteral("body-markup"));
        known_ = true;
        for (const DesktopNote& note : waiting_) Send(note);
        waiting_.clear();
    });
}

void DesktopNotifier::ServiceMissing() {
    if (missing_) return;
    missing_ = true;
    waiting_.clear();
    TellOnStandardError(LoadString(IDS_NO_NOTIFICATION_SERVICE));
}

void DesktopNotifier::Notify(const DesktopNote& note) {
    if (missing_) return;
    if (!known_) {
        // A newer notification about the same thing replaces a waiting one.
        std::erase_if(waiting_, [&note](const DesktopNote& w) { return w.key == note.key; });
        waiting_.push_back(note);
        return;
    }
    Send(note);
}

void DesktopNotifier::Send(const DesktopNote& note) {
    const QString key = QString::fromStdString(note.key);
    QString body = QString::fromLocal8Bit(note.body);
    // Entry texts are the user's, never markup.
    if (markup_) body = body.toHtmlEscaped();
    QStringList actions;
    if (actions_) {
        actions << QStringLiteral("default") << TableText(IDS_NOTE_OPEN) << kOpenAction
                << TableText(IDS_NOTE_OPEN);
        if (note.offerSnooze) actions << kSnoozeAction << TableText(IDS_NOTE_SNOOZE);
    }
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, "Notify");
    call << TableText(IDS_APP_NAME) << shown_.value(key, 0u) << kIconName
         << QString::fromLocal8Bit(note.summary) << body << actions
         << QVariantMap{{QStringLiteral("desktop-entry"), kIconName}} << -1;
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, key] {
        watcher->deleteLater();
        const QDBusPendingReply<uint> reply = *watcher;
        if (reply.isError()) return;
        keys_.remove(shown_.value(key, 0u));
        shown_.insert(key, reply.value());
        keys_.insert(reply.value(), key);
    });
}

void DesktopNotifier::OnActionInvoked(uint id, const QString& action) {
    const auto it = keys_.constFind(id);
    if (it == keys_.constEnd()) return;  // another program's notification
    if (action == kSnoozeAction) {
        emit snoozeRequested(*it);
    } else {
        emit openRequested();
    }
}

void DesktopNotifier::OnClosed(uint id, uint /*reason*/) {
    const auto it = keys_.constFind(id);
    if (it == keys_.constEnd()) return;
    shown_.remove(*it);
    keys_.erase(it);
}

}  // namespace tarnwatch
