// Reading and writing the profile. A value that is missing, of the wrong
// type or out of its range reads as its default; failures are silent.
#include "shell/ProfileStore.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QSettings>
#include <QStandardPaths>

#include "res/StringTable.h"

namespace tarnwatch {
namespace {

struct ColumnNames {
    int position;
    int width;
};
// By column index.
constexpr ColumnNames kColumnNames[kColumnCount] = {
    {IDS_ADDRESSCOLUMN, IDS_ADDRESSWIDTH}, {IDS_DESCCOLUMN, IDS_DESCWIDTH},
    {IDS_SOURCECOLUMN, IDS_SOURCEWIDTH},   {IDS_SERVICETESTCOLUMN, IDS_SERVICETESTWIDTH},
    {IDS_STATUSCOLUMN, IDS_STATUSWIDTH},   {IDS_ATTEMPTCOLUMN, IDS_ATTEMPTWIDTH},
    {IDS_TIMEOUTCOLUMN, IDS_TIMEOUTWIDTH}, {IDS_FREQCOLUMN, IDS_FREQWIDTH},
};

QString Name(int id) {
    return QString::fromLatin1(LoadString(id));
}

class Profile {
public:
    Profile()
        : settings_(QSettings::NativeFormat, QSettings::UserScope, Name(IDS_PROFILE_ORG),
                    Name(IDS_PROFILE_APP)) {
        settings_.beginGroup(Name(IDS_PROFILE_SECTION));
    }
    ~Profile() {
        settings_.endGroup();
        settings_.sync();
    }

    // An integer within [low, high], else the default.
    std::int32_t Int(int id, std::int32_t def, std::int32_t low = INT32_MIN,
                     std::int32_t high = INT32_MAX) {
        const QVariant v = settings_.value(Name(id));
        if (!v.isValid() || v.typeId() == QMetaType::QStringList) return def;
        bool ok = false;
        const qlonglong n = v.toString().trimmed().toLongLong(&ok);
        if (!ok || n < low || n > high) return def;
        return static_cast<std::int32_t>(n);
    }
    void Text(int id, char (&dest)[kTextSize], const char* def) {
        const QVariant v = settings_.value(Name(id));
        QString text;
        if (!v.isValid()) {
            CopyText(dest, def);
            return;
        }
        // An unquoted text with commas reads back as a list: it was still
        // meant as one text.
        text = v.typeId() == QMetaType::QStringList ? v.toStringList().join(QStringLiteral(", "))
                                                    : v.toString();
        CopyText(dest, text.toLocal8Bit().constData());
    }
    void SetInt(int id, std::int32_t value) { settings_.setValue(Name(id), value); }
    void SetText(int id, const char* text) {
        settings_.setValue(Name(id), QString::fromLocal8Bit(text));
    }

private:
    QSettings settings_;
};

}  // namespace

void ProfileStore::ReadSettings(GlobalSettings& s) {
    Profile p;
    const GlobalSettings def = DefaultSettings();
    s.minimize = p.Int(IDS_MINIMIZE, def.minimize, 0, 1);
    s.startup = p.Int(IDS_STARTUP, def.startup, 0, 1);
    s.disableClose = p.Int(IDS_DISABLECLOSE, def.disableClose, 0, 1);
    s.autoMove = p.Int(IDS_AMOVE, def.autoMove, 0, 1);
    s.autoDisable = p.Int(IDS_ADISABLE, def.autoDisable, 0, 1);
    s.restore = p.Int(IDS_RESTORE, def.restore, 0, 1);
    s.lowInterval = p.Int(IDS_LOWNETUPDATE, def.lowInterval, 0, 24);
    s.mediumInterval = p.Int(IDS_MEDNETUPDATE, def.mediumInterval, 0, 48);
    s.highInterval = p.Int(IDS_HIGHNETUPDATE, def.highInterval, 0, 60);

    for (int c = 0; c < kColumnCount; ++c) {
        const auto i = static_cast<std::size_t>(c);
        s.columnPosition[i] =
            p.Int(kColumnNames[c].position, def.columnPosition[i], 0, kColumnCount - 1);
        s.columnWidth[i] = p.Int(kColumnNames[c].width, def.columnWidth[i], 0, 10000);
    }
    // Positions that are not a permutation would leave a column without a
    // place: the whole set falls back to the default order.
    if (!IsColumnPermutation(s.columnPosition)) s.columnPosition = def.columnPosition;

    AlertBlock& a = s.alerts;
    const AlertBlock& d = def.alerts;
    a.soundOnUnavailable = p.Int(IDS_SOUNDALERTUNAVAILABLE, d.soundOnUnavailable, 0, 1);
    a.soundOnTimedOut = p.Int(IDS_SOUNDALERTTIMEDOUT, d.soundOnTimedOut, 0, 1);
    a.soundOnUnresolved = p.Int(IDS_SOUNDALERTUNRESOLVED, d.soundOnUnresolved, 0, 1);
    a.soundMode = p.Int(IDS_SOUNDUNAVAILABLE, d.soundMode, 0, 3);
    p.Text(IDS_WAVEUNAVAILABLE, a.failedSound, d.failedSound);
    p.Text(IDS_WAVE2UNAVAILABLE, a.okAgainSound, d.okAgainSound);
    a.batchOnUnavailable = p.Int(IDS_BATCHALERTUNAVAILABLE, d.batchOnUnavailable, 0, 1);
    a.batchOnTimedOut = p.Int(IDS_BATCHALERTTIMEDOUT, d.batchOnTimedOut, 0, 1);
    a.batchOnUnresolved = p.Int(IDS_BATCHALERTUNRESOLVED, d.batchOnUnresolved, 0, 1);
    a.batchMode = p.Int(IDS_EXEUNAVAILABLE, d.batchMode, 0, 2);
    p.Text(IDS_RUNUNAVAILABLE, a.failedCommand, d.failedCommand);
    p.Text(IDS_RUN2UNAVAILABLE, a.okAgainCommand, d.okAgainCommand);
    a.failedCommandWait = p.Int(IDS_RUNWAIT, d.failedCommandWait, 0, 1);
    a.okAgainCommandWait = p.Int(IDS_RUN2WAIT, d.okAgainCommandWait, 0, 1);

    s.internetAddressCount =
        p.Int(IDS_N_IP_LIST, def.internetAddressCount, 0, kMaxInternetAddresses);
    for (int i = 0; i < kMaxInternetAddresses; ++i) {
        p.Text(IDS_IP_LIST0 + i, s.internetAddresses[i], def.internetAddresses[i]);
    }
    for (int i = s.internetAddressCount; i < kMaxInternetAddresses; ++i) {
        s.internetAddresses[i][0] = '\0';
    }

    InternetAlerts& n = s.internetAlerts;
    const InternetAlerts& nd = def.internetAlerts;
    n.soundMode = p.Int(IDS_ISOUNDUNAVAILABLE, nd.soundMode, 0, 3);
    p.Text(IDS_IWAVEUNAVAILABLE, n.failedSound, nd.failedSound);
    p.Text(IDS_IWAVE2UNAVAILABLE, n.okAgainSound, nd.okAgainSound);
    n.batchMode = p.Int(IDS_IEXEUNAVAILABLE, nd.batchMode, 0, 2);
    p.Text(IDS_IRUNUNAVAILABLE, n.failedCommand, nd.failedCommand);
    p.Text(IDS_IRUN2UNAVAILABLE, n.okAgainCommand, nd.okAgainCommand);
    n.failedCommandWait = p.Int(IDS_IRUNWAIT, nd.failedCommandWait, 0, 1);
    n.okAgainCommandWait = p.Int(IDS_IRUN2WAIT, nd.okAgainCommandWait, 0, 1);
    n.messageBoxMode = p.Int(IDS_IMESSAGEBOX, nd.messageBoxMode, 0, 2);
    n.messageBoxWhenAvailable = p.Int(IDS_IMESSAGEBOXAVAIL, nd.messageBoxWhenAvailable, 0, 1);
}

void ProfileStore::WriteListAndAlertSettings(const GlobalSettings& s) {
    Profile p;
    for (int c = 0; c < kColumnCount; ++c) {
        const auto i = static_cast<std::size_t>(c);
        p.SetInt(kColumnNames[c].position, s.columnPosition[i]);
        p.SetInt(kColumnNames[c].width, s.columnWidth[i]);
    }
    const AlertBlock& a = s.alerts;
    p.SetInt(IDS_SOUNDALERTUNAVAILABLE, a.soundOnUnavailable);
    p.SetInt(IDS_SOUNDALERTTIMEDOUT, a.soundOnTimedOut);
    p.SetInt(IDS_SOUNDALERTUNRESOLVED, a.soundOnUnresolved);
    p.SetInt(IDS_SOUNDUNAVAILABLE, a.soundMode);
    p.SetText(IDS_WAVEUNAVAILABLE, a.failedSound);
    p.SetText(IDS_WAVE2UNAVAILABLE, a.okAgainSound);
    p.SetInt(IDS_BATCHALERTUNAVAILABLE, a.batchOnUnavailable);
    p.SetInt(IDS_BATCHALERTTIMEDOUT, a.batchOnTimedOut);
    p.SetInt(IDS_BATCHALERTUNRESOLVED, a.batchOnUnresolved);
    p.SetInt(IDS_EXEUNAVAILABLE, a.batchMode);
    p.SetText(IDS_RUNUNAVAILABLE, a.failedCommand);
    p.SetText(IDS_RUN2UNAVAILABLE, a.okAgainCommand);
    p.SetInt(IDS_RUNWAIT, a.failedCommandWait);
    p.SetInt(IDS_RUN2WAIT, a.okAgainCommandWait);
    p.SetInt(IDS_N_IP_LIST, s.internetAddressCount);
    for (int i = 0; i < kMaxInternetAddresses; ++i) {
        p.SetText(IDS_IP_LIST0 + i, s.internetAddresses[i]);
    }
    const InternetAlerts& n = s.internetAlerts;
    p.SetInt(IDS_ISOUNDUNAVAILABLE, n.soundMode);
    p.SetText(IDS_IWAVEUNAVAILABLE, n.failedSound);
    p.SetText(IDS_IWAVE2UNAVAILABLE, n.okAgainSound);
    p.SetInt(IDS_IEXEUNAVAILABLE, n.batchMode);
    p.SetText(IDS_IRUNUNAVAILABLE, n.failedCommand);
    p.SetText(IDS_IRUN2UNAVAILABLE, n.okAgainCommand);
    p.SetInt(IDS_IRUNWAIT, n.failedCommandWait);
    p.SetInt(IDS_IRUN2WAIT, n.okAgainCommandWait);
    p.SetInt(IDS_IMESSAGEBOX, n.messageBoxMode);
    p.SetInt(IDS_IMESSAGEBOXAVAIL, n.messageBoxWhenAvailable);
}

QString ProfileStore::AutostartFile() {
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base)) base = QDir::homePath() + "/.config";
    return base + "/autostart/" + Name(IDS_APP_NAME) + ".desktop";
}

void ProfileStore::WriteRunOptions(const GlobalSettings& s, int startupBefore) {
    {
        Profile p;
        p.SetInt(IDS_MINIMIZE, s.minimize);
        p.SetInt(IDS_STARTUP, s.startup);
        p.SetInt(IDS_AMOVE, s.autoMove);
        p.SetInt(IDS_ADISABLE, s.autoDisable);
        p.SetInt(IDS_RESTORE, s.restore);
        p.SetInt(IDS_DISABLECLOSE, s.disableClose);
        p.SetInt(IDS_LOWNETUPDATE, s.lowInterval);
        p.SetInt(IDS_MEDNETUPDATE, s.mediumInterval);
        p.SetInt(IDS_HIGHNETUPDATE, s.highInterval);
    }
    if (s.startup == startupBefore) return;
    const QString file = AutostartFile();
    if (!s.startup) {
        QFile::remove(file);
        return;
    }
    QDir().mkpath(QFileInfo(file).absolutePath());
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly)) return;
    // The program's own path, quoted for the desktop-entry Exec rules.
    QString exe = QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget();
    exe.replace('\\', "\\\\").replace('"', "\\\"").replace('`', "\\`").replace('$', "\\$");
    const QString text = QStringLiteral(
                             "[Desktop Entry]\nType=Application\nName=%1\nExec=\"%2\"\n"
                             "X-GNOME-Autostart-enabled=true\n")
                             .arg(Name(IDS_APP_NAME), exe);
    out.write(text.toUtf8());
    out.commit();
}

}  // namespace tarnwatch
