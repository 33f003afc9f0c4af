// A notification area of the StatusNotifier kind, as Plasma and GNOME's
// AppIndicator extension host icons, on the session bus it is given: it is
// the StatusNotifierWatcher with a host registered, says "registered NAME"
// when an item registers, and acts as a host would on commands read from
// standard input, one per line:
//   activate          the item's Activate (what a left click does)
//   menu              prints each menu item as "item LABEL enabled visible"
//                     and then "end"
//   click LABEL       sends the menu item's "clicked" event
// It ends when standard input closes.
#include <unistd.h>

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QSocketNotifier>
#include <cstdio>

namespace {

struct MenuItem {
    int id = 0;
    QString label;
    bool enabled = true;
    bool visible = true;
};

// The layout as dbusmenu sends it: (ia{sv}av), children nested as variants.
void ReadLayout(const QDBusArgument& arg, QList<MenuItem>& items) {
    MenuItem item;
    QVariantMap properties;
    arg.beginStructure();
    arg >> item.id >> properties;
    arg.beginArray();
    QList<QDBusArgument> children;
    while (!arg.atEnd()) {
        QDBusVariant child;
        arg >> child;
        children.append(child.variant().value<QDBusArgument>());
    }
    arg.endArray();
    arg.endStructure();
    item.label = properties.value(QStringLiteral("label")).toString();
    item.enabled = properties.value(QStringLiteral("enabled"), true).toBool();
    item.visible = properties.value(QStringLiteral("visible"), true).toBool();
    if (!item.label.isEmpty()) items.append(item);
    for (const QDBusArgument& child : children) ReadLayout(child, items);
}

}  // namespace

class Watcher : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ items)
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ hostRegistered)
    Q_PROPERTY(int ProtocolVersion READ protocolVersion)
public:
    QStringList items() const { return item_.isEmpty() ? QStringList() : QStringList{item_}; }
    bool hostRegistered() const { return true; }
    int protocolVersion() const { return 0; }

    // Never a blocking call: the item may be calling the watcher at the
    // same moment, and both would wait for each other.
    void Command(const QString& line) {
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (line == QLatin1String("activate")) {
            bus.asyncCall(Call(QStringLiteral("/StatusNotifierItem"),
                               QStringLiteral("org.kde.StatusNotifierItem"),
                               QStringLiteral("Activate"), {0, 0}));
            return;
        }
        const QDBusPendingCall layout =
            bus.asyncCall(Call(QStringLiteral("/MenuBar"), QStringLiteral("com.canonical.dbusmenu"),
                               QStringLiteral("GetLayout"), {0, -1, QStringList()}));
        auto* pending = new QDBusPendingCallWatcher(layout, this);
        connect(pending, &QDBusPendingCallWatcher::finished, this, [this, line, pending] {
            pending->deleteLater();
            const QDBusMessage reply = pending->reply();
            QList<MenuItem> all;
            if (reply.arguments().size() == 2) {
                ReadLayout(reply.arguments().at(1).value<QDBusArgument>(), all);
            }
            for (const MenuItem& m : all) {
                if (line == QLatin1String("menu")) {
                    std::printf("item %s %d %d\n", qPrintable(m.label), m.enabled, m.visible);
                } else if (line == QLatin1String("click ") + m.label) {
                    // Hosts never wait for the item's answer: what a click
                    // starts (a sheet, a message) may run for long.
                    QDBusConnection::sessionBus().asyncCall(
                        Call(QStringLiteral("/MenuBar"), QStringLiteral("com.canonical.dbusmenu"),
                             QStringLiteral("Event"),
                             {m.id, QStringLiteral("clicked"), QVariant::fromValue(QDBusVariant(0)),
                              0u}));
                }
            }
            std::printf("end\n");
            std::fflush(stdout);
        });
    }

public slots:
    void RegisterStatusNotifierItem(const QString& service) {
        // An item may give its path instead of its name; then the caller's
        // name is the service.
        item_ = service.startsWith(QLatin1Char('/')) ? message().service() : service;
        std::printf("registered %s\n", qPrintable(item_));
        std::fflush(stdout);
    }
    void RegisterStatusNotifierHost(const QString&) {}

private:
    QDBusMessage Call(const QString& path, const QString& interface, const QString& method,
                      const QVariantList& args) const {
        QDBusMessage m = QDBusMessage::createMethodCall(item_, path, interface, method);
        m.setArguments(args);
        return m;
    }

    QString item_;
};

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    Watcher watcher;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.registerObject(QStringLiteral("/StatusNotifierWatcher"), &watcher,
                            QDBusConnection::ExportAllContents) ||
        !bus.registerService(QStringLiteral("org.kde.StatusNotifierWatcher"))) {
        std::fprintf(stderr, "sni_watcher: cannot serve on the session bus\n");
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    QSocketNotifier input(0, QSocketNotifier::Read);
    QByteArray pending;
    QObject::connect(&input, &QSocketNotifier::activated, &app, [&] {
        char buf[256];
        const ssize_t n = read(0, buf, sizeof buf);
        if (n <= 0) {
            QCoreApplication::quit();
            return;
        }
        pending.append(buf, n);
        for (qsizetype end; (end = pending.indexOf('\n')) >= 0; pending.remove(0, end + 1)) {
            watcher.Command(QString::fromUtf8(pending.left(end)));
        }
    });
    return app.exec();
}

#include "sni_watcher.moc"
