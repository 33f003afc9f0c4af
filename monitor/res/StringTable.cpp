// The texts of the string table.
#include "res/StringTable.h"

#include <algorithm>
#include <array>
#include <utility>

namespace tarnwatch {
namespace {

constexpr std::pair<int, const char*> kStrings[] = {
    {IDS_ABOUTBOX, "&About Tarnwatch..."},
    {IDS_TIP, "Tarnwatch"},
    {IDS_MINIMIZE, "Minimize"},
    {IDS_STARTUP, "Startup"},
    {IDS_LOWNETUPDATE, "LowNetUpdate"},
    {IDS_DISABLECLOSE, "DisableClose"},
    {IDS_AMOVE, "amove"},
    {IDS_ADISABLE, "adisable"},
    {IDS_RESTORE, "restore"},
    {IDS_MEDNETUPDATE, "MedNedUpdate"},
    {IDS_HIGHNETUPDATE, "HighNetUpdate"},
    {IDS_SOURCECOLUMN, "SourceColumn"},
    {IDS_SOURCEWIDTH, "SourceWidth"},
    {IDS_ADDRESSCOLUMN, "AddressColumn"},
    {IDS_ADDRESSWIDTH, "AddressWidth"},
    {IDS_DESCCOLUMN, "DescColumn"},
    {IDS_DESCWIDTH, "DescWidth"},
    {IDS_STATUSCOLUMN, "StatusColumn"},
    {IDS_STATUSWIDTH, "StatusWidth"},
    {IDS_ATTEMPTCOLUMN, "AttemptColumn"},
    {IDS_ATTEMPTWIDTH, "AttemptWidth"},
    {IDS_TIMEOUTCOLUMN, "TimeoutColumn"},
    {IDS_TIMEOUTWIDTH, "TimeoutWidth"},
    {IDS_SERVICETESTCOLUMN, "ServiceTestColumn"},
    {IDS_SERVICETESTWIDTH, "ServiceTestWidth"},
    {IDS_FREQCOLUMN, "FreqColumn"},
    {IDS_FREQWIDTH, "FreqWidth"},
    {IDS_SOUNDALERTUNAVAILABLE, "SoundAlertUnavailable"},
    {IDS_SOUNDALERTTIMEDOUT, "SoundAlertTimedout"},
    {IDS_SOUNDALERTUNRESOLVED, "SoundAlertUnresolved"},
    {IDS_SOUNDUNAVAILABLE, "SoundUnavailable"},
    {IDS_WAVEUNAVAILABLE, "WaveUnavailable"},
    {IDS_WAVE2UNAVAILABLE, "Wave2Unavailable"},
    {IDS_BATCHALERTUNAVAILABLE, "BatchAlertUnavailable"},
    {IDS_BATCHALERTUNRESOLVED, "BatchAlertUnresolved"},
    {IDS_BATCHALERTTIMEDOUT, "BatchAlertTimedout"},
    {IDS_EXEUNAVAILABLE, "ExeUnavailable"},
    {IDS_RUNUNAVAILABLE, "RunUnavailable"},
    {IDS_RUN2UNAVAILABLE, "Run2Unavailable"},
    {IDS_RUNWAIT, "RunWait"},
    {IDS_RUN2WAIT, "Run2Wait"},
    {IDS_ISOUNDUNAVAILABLE, "iSoundUnavailable"},
    {IDS_IMESSAGEBOX, "iMessageBox"},
    {IDS_IWAVEUNAVAILABLE, "iWaveUnavailable"},
    {IDS_IWAVE2UNAVAILABLE, "iWave2Unavailable"},
    {IDS_IMESSAGEBOXAVAIL, "iMessageBoxAvail"},
    {IDS_N_IP_LIST, "n_IP_List"},
    {IDS_IP_LIST0, "IP_List0"},
    {IDS_IP_LIST0 + 1, "IP_List1"},
    {IDS_IP_LIST0 + 2, "IP_List2"},
    {IDS_IP_LIST0 + 3, "IP_List3"},
    {IDS_IP_LIST0 + 4, "IP_List4"},
    {IDS_IP_LIST0 + 5, "IP_List5"},
    {IDS_IP_LIST0 + 6, "IP_List6"},
    {IDS_IP_LIST0 + 7, "IP_List7"},
    {IDS_IP_LIST0 + 8, "IP_List8"},
    {IDS_IP_LIST0 + 9, "IP_List9"},
    {IDS_IEXEUNAVAILABLE, "iExeUnavailable"},
    {IDS_IRUNUNAVAILABLE, "iRunUnavailable"},
    {IDS_IRUN2UNAVAILABLE, "iRun2Unavailable"},
    {IDS_IRUNWAIT, "iRunWait"},
    {IDS_IRUN2WAIT, "iRun2Wait"},
    {IDS_UNAVAILABLE, "unavailable"},
    {IDS_UNRESOLVED, "unresolved"},
    {IDS_TIMEDOUT, "timed out"},
    {IDS_DISABLED, "disabled"},
    {IDS_RUNNING, "running"},
    {IDS_NOTRUNNING, "not running"},
    {IDS_SUCCEEDED, "succeeded"},
    {IDS_FAILED, "failed"},
    {IDS_ALERTED, "alerted"},
    {IDS_HIGH, "high"},
    {IDS_MEDIUM, "medium"},
    {IDS_LOW, "low"},
    {IDS_ONDEMAND, "on demand"},
    {IDS_APP_NAME, "Tarnwatch"},
    {IDS_ALREADY_RUNNING, "Tarnwatch is already running!"},
    {IDS_NO_SOCKETS, "Cannot initialize windows sockets.  Network capabilities not supported."},
    {IDS_OUT_OF_MEMORY, "Out of memory - program terminating"},
    {IDS_NO_MEMORY_TO_SORT, "Not enough memory to sort"},
    {IDS_INVALID_COMMAND, "Invalid command - cannot execute!"},
    {IDS_INTERNET_UNAVAILABLE, "Internet unavailable - current test aborted"},
    {IDS_INTERNET_RESTORED, "Internet connectivity restored."},
    {IDS_UNKNOWN, "unknown"},
    {IDS_CONNECTING, "connecting"},
    {IDS_ACKNOWLEDGING, "acknowledging"},
    {IDS_RECEIVING, "receiving"},
    {IDS_OK, "ok"},
    {IDS_ERROR, "error"},
    {IDS_NA, "n/a"},
    {IDS_LOCAL_MACHINE, "Local Machine"},
    {IDS_STATUS_PREFIX, " - Status : "},
    {IDS_LEVEL_OK, "Ok"},
    {IDS_LEVEL_WARNING, "Warning"},
    {IDS_LEVEL_INFORMATION, "Information"},
    {IDS_LEVEL_ERROR, "Error"},
    {IDS_COL_ADDRESS, "Address"},
    {IDS_COL_DESCRIPTION, "Description"},
    {IDS_COL_SOURCE, "Source"},
    {IDS_COL_SERVICETEST, "Service Test"},
    {IDS_COL_STATUS, "Status"},
    {IDS_COL_ATTEMPT, "Attempt"},
    {IDS_COL_TIMEOUT, "Timeout"},
    {IDS_COL_FREQ, "Freq"},
    {IDS_ABOUT_TITLE, "About Tarnwatch"},
    {IDS_VERSION_LINE, "Tarnwatch Version 2.20"},
    {IDS_LIST_FILE, "Tarnwatch.ini"},
    {IDS_BACKUP_FILE, "Tarnwatch.bak"},
    {IDS_PROFILE_ORG, "Quillon"},
    {IDS_PROFILE_APP, "Tarnwatch"},
    {IDS_PROFILE_SECTION, "Options"},
    {IDS_PROTO_HELLO, "HELLO"},
    {IDS_PROTO_CONNECTED, "CONNECTED"},
    {IDS_PROTO_VORLAN, "VORLAN"},
    {IDS_PROTO_BYE, "BYE"},
    {IDS_NO_MEMORY_TO_ADD, "Not enough memory to add the entry"},
    {IDS_WAITING_FOR_COMMAND, "Waiting for the command to end..."},
    {IDS_STOP_WAITING, "Stop waiting"},
    {IDS_SHEET_ADD_EDIT, "Add/Edit"},
    {IDS_PAGE_GENERAL, "General"},
    {IDS_PAGE_ALERT_SETTINGS, "Alert settings"},
    {IDS_PAGE_SOUND_ALERTS, "Sound Alerts"},
    {IDS_PAGE_BATCH_ALERTS, "Batch Alerts"},
    {IDS_ENTER_PORT, "Enter port"},
    {IDS_ENTER_PROCESS_NAME, "Enter process name"},
    {IDS_ENTER_PROGRAM, "Enter exe/bat name"},
    {IDS_FOR_UNAVAILABLE, "Enabled for unavailable services"},
    {IDS_FOR_NOT_RUNNING, "Enabled for not running services"},
    {IDS_FOR_FAILED, "Enabled for failed services"},
    {IDS_FOR_TIMED_OUT, "Enabled for timed out services"},
    {IDS_FOR_UNRESOLVED, "Enabled for unresolved services"},
    {IDS_FOR_UNAVAILABLE_OR_FAILED, "Enabled for unavailable/failed services"},
    {IDS_SOUND_FAILED, "Service failed sound"},
    {IDS_SOUND_OK_AGAIN, "Service ok again sound"},
    {IDS_SOUND_NOT_RUNNING, "Service not running sound"},
    {IDS_SOUND_RUNNING_AGAIN, "Service running again sound"},
    {IDS_SOUND_SUCCEEDED, "Service succeeded sound"},
    {IDS_BATCH_FAILED, "Service failed batch/executable"},
    {IDS_BATCH_OK_AGAIN, "Service ok again batch/executable"},
    {IDS_BATCH_NOT_RUNNING, "Service not running batch/executable"},
    {IDS_BATCH_RUNNING_AGAIN, "Service running again batch/executable"},
    {IDS_BATCH_SUCCEEDED, "Service succeeded batch/executable"},
    {IDS_HOUR, " hour"},
    {IDS_HOURS, " hours"},
    {IDS_HALF, ".5"},
    {IDS_MINUTE, " minute"},
    {IDS_MINUTES, " minutes"},
    {IDS_MAX_ADDRESSES, "Maximum of 10 entries already reached"},
    {IDS_ADDRESS_TOO_LONG,
     "The address was not added: an address can have at most 255 characters."},
    {IDS_ADDRESS_BLANK, "The address was not added: it holds only blanks and tabs."},
    {IDS_GLOBAL_OPTIONS, "Global Options"},
    {IDS_PAGE_INTERNET, "Internet"},
    {IDS_SAVE_FAILED,
     "The list could not be saved to %s: %s. The file keeps the list it held before."},
    {IDS_LIST_DAMAGED, "The list file %s is damaged: %s entries were loaded."},
    {IDS_LIST_KEPT_DAMAGED, " The damaged file is kept as %s."},
    {IDS_LIST_KEPT_BACKUP, " The last complete list is kept as %s."},
    {IDS_LIST_KEEP_FAILED, " A copy could not be kept: %s."},
    {IDS_LIST_NOT_REGULAR,
     "The list file %s is not a regular file: the list starts empty and nothing is written "
     "over it."},
    {IDS_NOT_REGULAR_FILE, "it is not a regular file"},
    {IDS_COMMAND_REFUSED,
     "The command \"%s\" of the entry %s (%s) was not run: a macro stands where the shell "
     "would not read its value as plain text."},
    {IDS_LOCK_FILE, "Tarnwatch.lock"},
    {IDS_UNSAFE_LINK,
     "%s is a symbolic link of another user in a directory that others may write to, and is "
     "not followed"},
    {IDS_LIST_UNSAFE_LINK,
     "The list file %s is not used: %s. The list starts empty and nothing is written there."},
    {IDS_LOCK_FAILED,
     "Tarnwatch cannot lock its list: the lock file %s cannot be taken (%s). Remove it or "
     "replace it with an ordinary file you can write, or set TARNWATCH_HOME to another "
     "directory, then start Tarnwatch again."},
    {IDS_LOCK_IS_LINK, "it is a symbolic link"},
    {IDS_PROFILE_NOT_REGULAR,
     "The profile %s is not a regular file: the settings are the defaults and nothing is "
     "written over it."},
    {IDS_PROFILE_METRICS_SECTION, "Metrics"},
    {IDS_PROFILE_METRICS_FILE, "MetricsFile"},
    {IDS_METRICS_FILE_FAILED, "The metrics file %s cannot be written: %s"},
    {IDS_METRICS_FILE_WRITTEN_AGAIN, "The metrics file %s is written again"},
    {IDS_METRICS_LISTEN_FAILED, "The metrics cannot be served on %s: %s"},
    {IDS_LIST_UNREADABLE, "the list file %s cannot be read: %s"},
    {IDS_TRAY_OPEN, "&Open Tarnwatch"},
    {IDS_TRAY_UPDATE_ALL, "Update &All"},
    {IDS_TRAY_GLOBAL_OPTIONS, "&Global Options..."},
    {IDS_TRAY_EXIT, "E&xit"},
    {IDS_NO_NOTIFICATION_AREA,
     "No notification area was found: minimising leaves the window on the screen."},
    {IDS_COMMANDTIMELIMIT, "CommandTimeLimit"},
    {IDS_COMMAND_TIMED_OUT,
     "The command \"%s\" of the entry %s (%s) was ended after %s seconds: it had not finished."},
    {IDS_OUTPUT_FAILED,
     "Standard output cannot be written (%s): the lines of the tests are lost; monitoring goes "
     "on."},
    {IDS_REPORT_NOT_WRITTEN, "The report cannot be written to standard output: %s"},
    {IDS_HEADLESS_NOTHING_TIMED,
     "no update class has an interval, so nothing will be tested: set %s (minutes), %s (half "
     "hours) or %s (hours) in [%s] of %s, or test everything once with --headless --once"},
    {IDS_HEADLESS_SOUNDS_OFF, "no sound server answers: alert sounds are off"},
    {IDS_PARALLELTESTS, "ParallelTests"},
    {IDS_BAD_PARALLEL, "--parallel needs a whole number from 1 to 256"},
    {IDS_TRAY_EXPORT_LIST, "&Export List..."},
    {IDS_TRAY_IMPORT_LIST, "&Import List..."},
    {IDS_LIST_TEXT_FILTER, "Tarnwatch lists (*.toml);;All files (*)"},
    {IDS_IMPORT_CONFIRM,
     "Replace the %s entries of the list with the %s entries of %s?\n\nThe list it replaces "
     "is kept as a copy beside it."},
    {IDS_EXPORT_TO_FILE, "Export List to File"},
    {IDS_IMPORT_FROM_FILE, "Import List from File"},
    {IDS_NOTIFY, "Notify"},
    {IDS_ALERTSPAUSEDUNTIL, "AlertsPausedUntil"},
    {IDS_NO_NOTIFICATION_SERVICE,
     "No desktop notification service answers: failures and recoveries are not shown as "
     "notifications."},
    {IDS_NOTE_BODY, "%s at %s"},
    {IDS_NOTE_OK_AGAIN, "Ok again"},
    {IDS_NOTE_INTERNET, "Internet connection"},
    {IDS_NOTE_INTERNET_DOWN, "Unavailable"},
    {IDS_NOTE_INTERNET_UP, "Available again"},
    {IDS_NOTE_OPEN, "Open"},
    {IDS_NOTE_SNOOZE, "Snooze 1 hour"},
    {IDS_NOTE_SNOOZE_ENDED, "Snooze ended, still failed: %s"},
    {IDS_NOTE_PAUSE_ENDED, "Alerts resumed"},
    {IDS_NOTE_STILL_FAILED, "Still failed: %s"},
    {IDS_MENU_SNOOZE, "&Snooze alerts"},
    {IDS_MENU_SNOOZE_1H, "&1 hour"},
    {IDS_MENU_SNOOZE_4H, "&4 hours"},
    {IDS_MENU_SNOOZE_UNTIL_OK, "&Until it is ok again"},
    {IDS_MENU_END_SNOOZE, "&End snooze"},
    {IDS_MENU_PAUSE, "&Pause all alerts"},
    {IDS_MENU_PAUSE_15M, "&15 minutes"},
    {IDS_MENU_PAUSE_1H, "&1 hour"},
    {IDS_MENU_PAUSE_UNTIL_RESUMED, "&Until resumed"},
    {IDS_MENU_RESUME, "&Resume alerts"},
    {IDS_TIP_SNOOZED_UNTIL, "Alerts snoozed until %s"},
    {IDS_TIP_SNOOZED_UNTIL_OK, "Alerts snoozed until it is ok again"},
    {IDS_TIP_PAUSED_UNTIL, "All alerts paused until %s"},
    {IDS_TIP_PAUSED_UNTIL_RESUMED, "All alerts paused until resumed"},
    {IDS_TIP_SNOOZED_COUNT, "Alerts of %s entries snoozed"},
    {IDS_SNOOZE_FILE, "Tarnwatch.snooze"},
    {IDS_SNOOZE_NOT_SAVED, "The snoozes cannot be kept in %s: %s"},
    {IDS_TIP_SINCE, "%s since %s, %s"},
    {IDS_TIP_DOWN_SINCE, "failed since %s, %s"},
    {IDS_EMPTY_LIST_HINT, "No services are watched yet.\nAdd starts watching one."},
};

constexpr int MaxId() {
    int max = 0;
    for (const auto& entry : kStrings) max = std::max(max, entry.first);
    return max;
}

// Two texts under one id would hide one of them: ids are numbered by hand.
constexpr bool IdsAreUnique() {
    for (std::size_t i = 0; i < std::size(kStrings); ++i) {
        for (std::size_t j = i + 1; j < std::size(kStrings); ++j) {
            if (kStrings[i].first == kStrings[j].first) return false;
        }
    }
    return true;
}
static_assert(IdsAreUnique(), "two texts of the string table share an id");

// Indexed by id, so a lookup costs one bounds check: texts are looked up for
// every row of every pass.
constexpr auto kById = [] {
    std::array<const char*, MaxId() + 1> table{};
    for (const auto& entry : kStrings) {
        // Two texts under one id (a new block numbered into an old one)
        // would hide one of them: such a table does not compile.
        if (table[static_cast<std::size_t>(entry.first)]) throw "two texts share a string id";
        table[static_cast<std::size_t>(entry.first)] = entry.second;
    }
    return table;
}();

}  // namespace

const char* LoadString(int id) {
    if (id < 0 || id >= static_cast<int>(kById.size())) return "";
    const char* text = kById[static_cast<std::size_t>(id)];
    return text ? text : "";
}

}  // namespace tarnwatch
