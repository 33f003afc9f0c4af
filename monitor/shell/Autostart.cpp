// The autostart entry; see Autostart.h.
#include "shell/Autostart.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "engine/FileReplace.h"
#include "res/QtText.h"
#include "res/StringTable.h"

namespace tarnwatch {

QString AutostartFilePath() {
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base)) base = QDir::homePath() + "/.config";
    return base + "/autostart/" + TableText(IDS_APP_NAME) + ".desktop";
}

bool AutostartActive() {
    QFile file(AutostartFilePath());
    if (!file.open(QIODevice::ReadOnly)) return false;
    bool inEntry = false;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.startsWith('[')) {
            inEntry = line == QLatin1String("[Desktop Entry]");
            continue;
        }
        if (!inEntry) continue;
        const qsizetype eq = line.indexOf('=');
        if (eq < 0) continue;
        const QString key = line.left(eq).trimmed();
        const QString value = line.mid(eq + 1).trimmed();
        if (key == QLatin1String("Hidden") && value == QLatin1String("true")) return false;
        if (key == QLatin1String("X-GNOME-Autostart-enabled") && value == QLatin1String("false")) {
            return false;
        }
    }
    return true;
}

QString DesktopExecValue(const QString& program) {
    // Inside a quoted argument ", `, $ and \ take a backslash.
    QString quoted;
    for (const QChar c : program) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
        quoted += c;
    }
    quoted = '"' + quoted + '"';
    // The value is a string first: its backslashes and line breaks are
    // escaped again, and "%" would start a field code.
    QString value;
    for (const QChar c : quoted) {
        if (c == '\\') {
            value += QLatin1String("\\\\");
        } else if (c == '\n') {
            value += QLatin1String("\\n");
        } else if (c == '\t') {
            value += QLatin1String("\\t");
        } else if (c == '\r') {
            value += QLatin1String("\\r");
        } else if (c == '%') {
            value += QLatin1String("%%");
        } else {
            value += c;
        }
    }
    return value;
}

QString RunningProgram() {
    return QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget();
}

bool WriteAutostartFile(const QString& program) {
    const QString path = AutostartFilePath();
    QDir().mkpath(QFileInfo(path).absolutePath());
    const QString text = QStringLiteral(
                             "[Desktop Entry]\nType=Application\nName=%1\nExec=%2\n"
                             "X-GNOME-Autostart-enabled=true\n")
                             .arg(TableText(IDS_APP_NAME), DesktopExecValue(program));
    const QByteArray bytes = text.toUtf8();
    return ReplaceFile(QFile::encodeName(path).toStdString(), false,
                       std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
}

void RemoveAutostartFile() {
    QFile::remove(AutostartFilePath());
}

}  // namespace tarnwatch
