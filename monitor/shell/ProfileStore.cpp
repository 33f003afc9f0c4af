// Reading and writing the profile. A value that is missing, of the wrong
// type or out of its range reads as its default; failures are silent, except
// a profile that is not a regular file, which is said once.
#include "shell/ProfileStore.h"

#include <sys/stat.h>

#include <QCoreApplication>
#include <QFile>
#include <QSettings>
#include <QStandardPaths>
#include <atomic>
#include <optional>

#include "engine/MessageText.h"
#include "engine/SettingsTable.h"
#include "res/QtText.h"
#include "res/StringTable.h"
#include "shell/Autostart.h"

namespace tarnwatch {
namespace {

// ~/.config/Quillon/Tarnwatch.conf, under $XDG_CONFIG_HOME when that is set.
QString ProfilePath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + '/' +
           TableText(IDS_PROFILE_ORG) + '/' + TableText(IDS_PROFILE_APP) + QStringLiteral(".conf");
}

// True unless something other than a regular file stands at the profile's
// path (after its links): a FIFO would hold the start in open for ever, and a
// save would put a file in its place. The first refusal is said on standard
// error.
bool ProfileUsable() {
    const QByteArray path = QFile::encodeName(ProfilePath());
    struct stat st {};
    if (stat(path.constData(), &st) != 0 || S_ISREG(st.st_mode)) return true;
    static std::atomic<bool> told{false};
    if (!told.exchange(true)) {
        TellOnStandardError(FormatText(LoadString(IDS_PROFILE_NOT_REGULAR), {path.toStdString()}));
    }
    return false;
}

QSettings* OpenProfile(std::optional<QSettings>& settings) {
    if (!ProfileUsable()) return nullptr;
    return &settings.emplace(QSettings::NativeFormat, QSettings::UserScope,
                             TableText(IDS_PROFILE_ORG), TableText(IDS_PROFILE_APP));
}

// The profile's "Options" group. A profile that cannot be used reads as all
// defaults and takes no writes.
class Profile {
public:
    Profile() {
        if (OpenProfile(storage_)) storage_->beginGroup(TableText(IDS_PROFILE_SECTION));
    }
    ~Profile() {
        if (!storage_) return;
        storage_->endGroup();
        storage_->sync();
    }

    // An integer within [low, high], else the default.
    std::int32_t Int(int id, std::int32_t def, std::int32_t low = INT32_MIN,
                     std::int32_t high = INT32_MAX) {
        const QVariant v = Value(id);
        if (!v.isValid() || v.typeId() == QMetaType::QStringList) return def;
        bool ok = false;
        const qlonglong n = v.toString().trimmed().toLongLong(&ok);
        if (!ok || n < low || n > high) return def;
        return static_cast<std::int32_t>(n);
    }
    void Text(int id, char* dest, const char* def) {
        const QVariant v = Value(id);
        QString text;
        if (!v.isValid()) {
            CopyText(dest, kTextSize, def);
            return;
        }
        // An unquoted text with commas reads back as a list: it was still
        // meant as one text.
        text = v.typeId() == QMetaType::QStringList ? v.toStringList().join(QStringLiteral(", "))
                                                    : v.toString();
        CopyText(dest, kTextSize, text.toLocal8Bit().constData());
    }
    bool Has(int id) const { return storage_ && storage_->contains(TableText(id)); }
    void SetInt(int id, std::int32_t value) {
        if (storage_) storage_->setValue(TableText(id), value);
    }
    void SetText(int id, const char* text) {
        if (storage_) storage_->setValue(TableText(id), QString::fromLocal8Bit(text));
    }

private:
    QVariant Value(int id) const { return storage_ ? storage_->value(TableText(id)) : QVariant(); }

    std::optional<QSettings> storage_;
};

// Reads one value of the table into `s`; a value that is missing, of the
// wrong type or out of its range takes the default from `def`.
void ReadValue(Profile& p, const SettingDef& d, GlobalSettings& s, const GlobalSettings& def) {
    if (d.kind == SettingKind::kInt) {
        *d.intField(s) = p.Int(d.nameId, IntValue(d, def), d.low, d.high);
    } else {
        p.Text(d.nameId, d.textField(s), TextValue(d, def));
    }
}

void WriteGroup(const GlobalSettings& s, SettingGroup group) {
    Profile p;
    for (const SettingDef& d : SettingsTable()) {
        if (d.group != group) continue;
        if (d.kind == SettingKind::kInt) {
            p.SetInt(d.nameId, IntValue(d, s));
        } else {
            p.SetText(d.nameId, TextValue(d, s));
        }
    }
}

}  // namespace

void ProfileStore::ReadSettings(GlobalSettings& s) {
    Profile p;
    const GlobalSettings def = DefaultSettings();
    for (const SettingDef& d : SettingsTable()) ReadValue(p, d, s, def);
    NormaliseSettings(s);
    if (autostart_ == Autostart::kLeaveAlone) return;
    // The "Startup" box and the autostart file never disagree: the first
    // start makes the file the default promises; later starts show what the
    // desktop will do, also after the user removed or switched off the
    // entry in the desktop's own settings.
    if (!p.Has(IDS_STARTUP) && s.startup && !QFile::exists(AutostartFilePath())) {
        if (!WriteAutostartFile()) s.startup = 0;
    } else {
        s.startup = AutostartActive() ? 1 : 0;
    }
    p.SetInt(IDS_STARTUP, s.startup);
}

void ProfileStore::WriteListAndAlertSettings(const GlobalSettings& s) {
    WriteGroup(s, SettingGroup::kListAndAlerts);
}

QString ProfileStore::AutostartFile() {
    return AutostartFilePath();
}

std::string ProfileStore::MetricsFile() {
    std::optional<QSettings> storage;
    QSettings* settings = OpenProfile(storage);
    if (!settings) return {};
    const QVariant v = settings->value(TableText(IDS_PROFILE_METRICS_SECTION) + '/' +
                                       TableText(IDS_PROFILE_METRICS_FILE));
    if (!v.isValid()) return {};
    // A path with commas reads back as a list unless it was quoted.
    const QString path = v.typeId() == QMetaType::QStringList
                             ? v.toStringList().join(QLatin1Char(','))
                             : v.toString();
    return path.toLocal8Bit().toStdString();
}

void ProfileStore::WriteRunOptions(const GlobalSettings& s, int startupBefore) {
    WriteGroup(s, SettingGroup::kRunOptions);
    if (s.startup == startupBefore) return;
    if (s.startup) {
        WriteAutostartFile();
    } else {
        RemoveAutostartFile();
    }
}

}  // namespace tarnwatch
