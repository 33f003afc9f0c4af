// The table of profile values.
#include "engine/SettingsTable.h"

#include <array>
#include <cstdint>

#include "res/StringTable.h"

namespace tarnwatch {
namespace {

template <std::size_t I>
std::int32_t* ColumnPosition(GlobalSettings& s) {
    return &s.columnPosition[I];
}
template <std::size_t I>
std::int32_t* ColumnWidth(GlobalSettings& s) {
    return &s.columnWidth[I];
}
template <std::size_t I>
char* InternetAddress(GlobalSettings& s) {
    return s.internetAddresses[I];
}

#define TW_INT(id, group, expr, low, high)                                                   \
    SettingDef {                                                                             \
        id, SettingKind::kInt, SettingGroup::group,                                          \
            [](GlobalSettings& s) -> std::int32_t* { return &(s.expr); }, nullptr, low, high \
    }
#define TW_TEXT(id, group, expr)                                    \
    SettingDef {                                                    \
        id, SettingKind::kText, SettingGroup::group, nullptr,       \
            [](GlobalSettings& s) -> char* { return s.expr; }, 0, 0 \
    }
#define TW_COLUMN(posId, widthId, i)                                                               \
    SettingDef{posId, SettingKind::kInt, SettingGroup::kListAndAlerts, ColumnPosition<i>, nullptr, \
               0,     kColumnCount - 1},                                                           \
        SettingDef {                                                                               \
        widthId, SettingKind::kInt, SettingGroup::kListAndAlerts, ColumnWidth<i>, nullptr, 0,      \
            10000                                                                                  \
    }
#define TW_ADDRESS(i)                                                                  \
    SettingDef {                                                                       \
        IDS_IP_LIST0 + (i), SettingKind::kText, SettingGroup::kListAndAlerts, nullptr, \
            InternetAddress<i>, 0, 0                                                   \
    }

const SettingDef kTable[] = {
    // run and control options, with the class intervals
    TW_INT(IDS_MINIMIZE, kRunOptions, minimize, 0, 1),
    TW_INT(IDS_STARTUP, kRunOptions, startup, 0, 1),
    TW_INT(IDS_DISABLECLOSE, kRunOptions, disableClose, 0, 1),
    TW_INT(IDS_AMOVE, kRunOptions, autoMove, 0, 1),
    TW_INT(IDS_ADISABLE, kRunOptions, autoDisable, 0, 1),
    TW_INT(IDS_RESTORE, kRunOptions, restore, 0, 1),
    TW_INT(IDS_LOWNETUPDATE, kRunOptions, lowInterval, 0, 24),
    TW_INT(IDS_MEDNETUPDATE, kRunOptions, mediumInterval, 0, 48),
    TW_INT(IDS_HIGHNETUPDATE, kRunOptions, highInterval, 0, 60),
    TW_INT(IDS_PARALLELTESTS, kRunOptions, parallelTests, 1, kMaxParallelTests),
    // list columns by column index
    TW_COLUMN(IDS_ADDRESSCOLUMN, IDS_ADDRESSWIDTH, 0),
    TW_COLUMN(IDS_DESCCOLUMN, IDS_DESCWIDTH, 1),
    TW_COLUMN(IDS_SOURCECOLUMN, IDS_SOURCEWIDTH, 2),
    TW_COLUMN(IDS_SERVICETESTCOLUMN, IDS_SERVICETESTWIDTH, 3),
    TW_COLUMN(IDS_STATUSCOLUMN, IDS_STATUSWIDTH, 4),
    TW_COLUMN(IDS_ATTEMPTCOLUMN, IDS_ATTEMPTWIDTH, 5),
    TW_COLUMN(IDS_TIMEOUTCOLUMN, IDS_TIMEOUTWIDTH, 6),
    TW_COLUMN(IDS_FREQCOLUMN, IDS_FREQWIDTH, 7),
    // global alert settings (the spare words are not stored)
    TW_INT(IDS_SOUNDALERTUNAVAILABLE, kListAndAlerts, alerts.sound.soundOnUnavailable, 0, 1),
    TW_INT(IDS_SOUNDALERTTIMEDOUT, kListAndAlerts, alerts.sound.soundOnTimedOut, 0, 1),
    TW_INT(IDS_SOUNDALERTUNRESOLVED, kListAndAlerts, alerts.sound.soundOnUnresolved, 0, 1),
    TW_INT(IDS_SOUNDUNAVAILABLE, kListAndAlerts, alerts.sound.soundMode, 0, 3),
    TW_TEXT(IDS_WAVEUNAVAILABLE, kListAndAlerts, alerts.sound.failedSound),
    TW_TEXT(IDS_WAVE2UNAVAILABLE, kListAndAlerts, alerts.sound.okAgainSound),
    TW_INT(IDS_BATCHALERTUNAVAILABLE, kListAndAlerts, alerts.batch.batchOnUnavailable, 0, 1),
    TW_INT(IDS_BATCHALERTTIMEDOUT, kListAndAlerts, alerts.batch.batchOnTimedOut, 0, 1),
    TW_INT(IDS_BATCHALERTUNRESOLVED, kListAndAlerts, alerts.batch.batchOnUnresolved, 0, 1),
    TW_INT(IDS_EXEUNAVAILABLE, kListAndAlerts, alerts.batch.batchMode, 0, 2),
    TW_TEXT(IDS_RUNUNAVAILABLE, kListAndAlerts, alerts.batch.failedCommand),
    TW_TEXT(IDS_RUN2UNAVAILABLE, kListAndAlerts, alerts.batch.okAgainCommand),
    TW_INT(IDS_RUNWAIT, kListAndAlerts, alerts.batch.failedCommandWait, 0, 1),
    TW_INT(IDS_RUN2WAIT, kListAndAlerts, alerts.batch.okAgainCommandWait, 0, 1),
    // Internet test addresses
    TW_INT(IDS_N_IP_LIST, kListAndAlerts, internetAddressCount, 0, kMaxInternetAddresses),
    TW_ADDRESS(0),
    TW_ADDRESS(1),
    TW_ADDRESS(2),
    TW_ADDRESS(3),
    TW_ADDRESS(4),
    TW_ADDRESS(5),
    TW_ADDRESS(6),
    TW_ADDRESS(7),
    TW_ADDRESS(8),
    TW_ADDRESS(9),
    // Internet alert settings
    TW_INT(IDS_ISOUNDUNAVAILABLE, kListAndAlerts, internetAlerts.sound.soundMode, 0, 3),
    TW_TEXT(IDS_IWAVEUNAVAILABLE, kListAndAlerts, internetAlerts.sound.failedSound),
    TW_TEXT(IDS_IWAVE2UNAVAILABLE, kListAndAlerts, internetAlerts.sound.okAgainSound),
    TW_INT(IDS_IEXEUNAVAILABLE, kListAndAlerts, internetAlerts.batch.batchMode, 0, 2),
    TW_TEXT(IDS_IRUNUNAVAILABLE, kListAndAlerts, internetAlerts.batch.failedCommand),
    TW_TEXT(IDS_IRUN2UNAVAILABLE, kListAndAlerts, internetAlerts.batch.okAgainCommand),
    TW_INT(IDS_IRUNWAIT, kListAndAlerts, internetAlerts.batch.failedCommandWait, 0, 1),
    TW_INT(IDS_IRUN2WAIT, kListAndAlerts, internetAlerts.batch.okAgainCommandWait, 0, 1),
    TW_INT(IDS_IMESSAGEBOX, kListAndAlerts, internetAlerts.messageBoxMode, 0, 2),
    TW_INT(IDS_IMESSAGEBOXAVAIL, kListAndAlerts, internetAlerts.messageBoxWhenAvailable, 0, 1),
    // alert commands of entries and of the Internet check
    TW_INT(IDS_COMMANDTIMELIMIT, kListAndAlerts, commandTimeLimit, 0, kMaxCommandTimeLimit),
    // desktop notifications and the pause of every alert
    TW_INT(IDS_NOTIFY, kRunOptions, notify, 0, 1),
    TW_INT(IDS_ALERTSPAUSEDUNTIL, kListAndAlerts, alertsPausedUntil, kPausedUntilResumed,
           INT32_MAX),
};

#undef TW_INT
#undef TW_TEXT
#undef TW_COLUMN
#undef TW_ADDRESS

}  // namespace

std::span<const SettingDef> SettingsTable() {
    return kTable;
}

std::int32_t IntValue(const SettingDef& def, const GlobalSettings& s) {
    return *def.intField(const_cast<GlobalSettings&>(s));
}

const char* TextValue(const SettingDef& def, const GlobalSettings& s) {
    return def.textField(const_cast<GlobalSettings&>(s));
}

void NormaliseSettings(GlobalSettings& s) {
    if (s.internetAddressCount < 0) s.internetAddressCount = 0;
    if (s.internetAddressCount > kMaxInternetAddresses) {
        s.internetAddressCount = kMaxInternetAddresses;
    }
    for (int i = s.internetAddressCount; i < kMaxInternetAddresses; ++i) {
        s.internetAddresses[i][0] = '\0';
    }
    // Positions that are not a permutation would leave a column without a
    // place: the whole set falls back to the default order.
    if (!IsColumnPermutation(s.columnPosition)) s.columnPosition = DefaultSettings().columnPosition;
}

}  // namespace tarnwatch
