// Two small stand-ins of what a desktop offers, on the bus the environment
// names, chosen by the first argument:
//   notifications  org.freedesktop.Notifications on the session bus. Each
//                  Notify prints "notify ID REPLACES SUMMARY|BODY|ACTIONS"
//                  (the action keys joined by commas); "invoke ID KEY" on
//                  standard input sends ActionInvoked.
//   login1         org.freedesktop.login1 on the system bus
//                  (DBUS_SYSTEM_BUS_ADDRESS); "sleep" and "wake" on standard
//                  input send PrepareForSleep(true) and (false).
// Both print "ready" once they serve, and end when standard input closes.
#include <unistd.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QSocketNotifier>
#include <QStringList>
#include <QVariantMap>
#include <cstdio>
#include <cstring>

class Notifications : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public slots:
    QStringList GetCapabilities() { return {QStringLiteral("actions"), QStringLiteral("body")}; }
    uint Notify(const QString&, uint replaces, const QString&, const QString& summary,
                const QString& body, const QStringList& actions, const QVariantMap&, int) {
        const uint id = replaces ? replaces : ++last_;
        QStringList keys;
        for (qsizetype i = 0; i + 1 < actions.size(); i += 2) keys << actions[i];
        std::printf("notify %u %u %s|%s|%s\n", id, replaces, qPrintable(summary), qPrintable(body),
                    qPrintable(keys.join(QLatin1Char(','))));
        std::fflush(stdout);
        return id;
    }
    void CloseNotification(uint) {}
    QString GetServerInformation(QString& vendor, QString& version, QString& protocolVersion) {
        vendor = version = protocolVersion = QStringLiteral("1");
        return QStringLiteral("fake");
    }

private:
    uint last_ = 0;
};

namespace {

void Emit(QDBusConnection bus, const char* path, const char* interface, const char* name,
          const QVariantList& args) {
    QDBusMessage signal = QDBusMessage::createSignal(path, interface, name);
    signal.setArguments(args);
    bus.send(signal);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const bool login = argc > 1 && std::strcmp(argv[1], "login1") == 0;
    QDBusConnection bus = login ? QDBusConnection::systemBus() : QDBusConnection::sessionBus();
    Notifications notifications;
    QObject manager;
    const bool served =
        login ? bus.registerObject(QStringLiteral("/org/freedesktop/login1"), &manager) &&
                    bus.registerService(QStringLiteral("org.freedesktop.login1"))
              : bus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &notifications,
                                   QDBusConnection::ExportAllSlots) &&
                    bus.registerService(QStringLiteral("org.freedesktop.Notifications"));
    if (!served) {
        std::fprintf(stderr, "desk_services: cannot serve on the bus\n");
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
            const QList<QByteArray> words = pending.left(end).split(' ');
            if (words[0] == "sleep" || words[0] == "wake") {
                Emit(bus, "/org/freedesktop/login1", "org.freedesktop.login1.Manager",
                     "PrepareForSleep", {words[0] == "sleep"});
            } else if (words[0] == "invoke" && words.size() == 3) {
                Emit(bus, "/org/freedesktop/Notifications", "org.freedesktop.Notifications",
                     "ActionInvoked", {words[1].toUInt(), QString::fromUtf8(words[2])});
            }
            std::printf("done\n");
            std::fflush(stdout);
        }
    });
    return app.exec();
}

#include "desk_services.moc"
