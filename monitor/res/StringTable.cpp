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
    {IDS_SAVE_FAILED,
     "The list could not be saved to %s: %s. The file keeps the list it held before."},
    {IDS_PROFILE_METRICS_SECTION, "Metrics"},
    {IDS_PROFILE_METRICS_FILE, "MetricsFile"},
    {IDS_METRICS_FILE_FAILED, "The metrics file %s cannot be written: %s"},
    {IDS_METRICS_FILE_WRITTEN_AGAIN, "The metrics file %s is written again"},
    {IDS_METRICS_LISTEN_FAILED, "The metrics cannot be served on %s: %s"},
    {IDS_LIST_UNREADABLE, "the list file %s cannot be read: %s"},
};

constexpr int MaxId() {
    int max = 0;
    for (const auto& entry : kStrings) max = std::max(max, entry.first);
    return max;
}

// Indexed by id, so a lookup costs one bounds check: texts are looked up for
// every row of every pass.
constexpr auto kById = [] {
    std::array<const char*, MaxId() + 1> table{};
    for (const auto& entry : kStrings) table[static_cast<std::size_t>(entry.first)] = entry.second;
    return table;
}();

}  // namespace

const char* LoadString(int id) {
    if (id < 0 || id >= static_cast<int>(kById.size())) return "";
    const char* text = kById[static_cast<std::size_t>(id)];
    return text ? text : "";
}

}  // namespace tarnwatch
