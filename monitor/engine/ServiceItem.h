// The monitored-entry record. Its in-memory image is also the list-file
// record, so every offset is part of the file format and is checked at
// compile time below.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/FixedText.h"

namespace tarnwatch {

// Source kinds: how an entry's `source` is read.
enum SourceKind : std::int32_t {
    kSourceTcpPort = 0,
    kSourceProcessName = 1,
    kSourceProgram = 2,
    kSourceNone = 3,
};

// Frequency classes; kPassAll is only ever a pass filter.
enum Frequency : std::int32_t {
    kFrequencyOnDemand = 0,
    kFrequencyLow = 1,
    kFrequencyMedium = 2,
    kFrequencyHigh = 3,
    kPassAll = 4,
};

// Entry state bits. A status update keeps kStateKeepMask and sets one bit.
inline constexpr std::int32_t kStateAvailable = 0x00010000;
inline constexpr std::int32_t kStateUnavailable = 0x00020000;
inline constexpr std::int32_t kStateUnresolved = 0x00040000;
inline constexpr std::int32_t kStateTimedOut = 0x00080000;
inline constexpr std::int32_t kStateRetrying = 0x00100000;
inline constexpr std::int32_t kStateUntested = 0x00200000;
inline constexpr std::int32_t kStateAlerted = 0x01000000;
inline constexpr std::int32_t kStateKeepMask = 0x11001111;

inline constexpr std::size_t kTextSize = 256;
inline constexpr std::size_t kTimeoutTextSize = 20;

// Alert modes. The record stores them as plain int32 fields, so a list file
// may hold any value there; every comparison goes through these names.
enum SoundMode : std::int32_t {
    kSoundNone = 0,
    kSoundOnce = 1,
    kSoundEveryFailure = 2,
    kSoundContinuous = 3,  // loops until the entry is ok again; starts once
};
enum BatchMode : std::int32_t {
    kBatchNone = 0,
    kBatchOnce = 1,
    kBatchEveryFailure = 2,
};
enum MessageBoxMode : std::int32_t {
    kMessageBoxNone = 0,
    kMessageBoxOnce = 1,
    kMessageBoxEveryFailure = 2,
};

// The sound half of an alert block: an entry's own, the global one, and (its
// three enables unused) the Internet gate's.
struct SoundAlert {
    std::int32_t soundOnUnavailable;
    std::int32_t soundOnTimedOut;
    std::int32_t soundOnUnresolved;
    std::int32_t soundMode;  // SoundMode
    std::int32_t soundSpare;
    char failedSound[kTextSize];
    char okAgainSound[kTextSize];
};

// The batch half: commands run on failure and on recovery.
struct BatchAlert {
    std::int32_t batchOnUnavailable;
    std::int32_t batchOnTimedOut;
    std::int32_t batchOnUnresolved;
    std::int32_t batchMode;  // BatchMode
    std::int32_t batchSpare;
    char failedCommand[kTextSize];
    char okAgainCommand[kTextSize];
    std::int32_t failedCommandWait;
    std::int32_t okAgainCommandWait;
};

// The sound and batch alert settings of one entry; the global alert settings
// have the same shape.
struct AlertBlock {
    SoundAlert sound;
    BatchAlert batch;
};

// Whether a failure alert fires: the every-failure modes fire on each
// failure, the once modes (continuous included) only on the first of a run
// of failures; a mode of none, or a value no mode has, never fires.
enum class AlertRepeat { kNever, kFirstFailure, kEveryFailure };
AlertRepeat RepeatOf(SoundMode mode);
AlertRepeat RepeatOf(BatchMode mode);
AlertRepeat RepeatOf(MessageBoxMode mode);
bool FailureAlertFires(AlertRepeat repeat, bool repeatedFailure);

struct ServiceItem {
    std::int32_t sourceKind;
    char source[kTextSize];
    char timeoutText[kTimeoutTextSize];
    char address[kTextSize];
    std::int32_t enabled;
    char description[kTextSize];
    std::int32_t serviceTest;
    std::int32_t row;  // run time only
    AlertBlock alerts;
    std::int32_t state;  // run time only
    std::int32_t attempts;
    std::int32_t attempt;  // run time only
    std::int32_t soundUseGlobal;
    std::int32_t batchUseGlobal;
    std::int32_t verifyService;
    std::int32_t lastTestTime;  // run time only
    std::int32_t frequency;
    std::int32_t checkInternet;
};

static_assert(sizeof(SoundAlert) == 532);
static_assert(sizeof(BatchAlert) == 540);
static_assert(sizeof(AlertBlock) == 1072);
static_assert(sizeof(ServiceItem) == 1912);
static_assert(offsetof(ServiceItem, sourceKind) == 0);
static_assert(offsetof(ServiceItem, source) == 4);
static_assert(offsetof(ServiceItem, timeoutText) == 260);
static_assert(offsetof(ServiceItem, address) == 280);
static_assert(offsetof(ServiceItem, enabled) == 536);
static_assert(offsetof(ServiceItem, description) == 540);
static_assert(offsetof(ServiceItem, serviceTest) == 796);
static_assert(offsetof(ServiceItem, row) == 800);
static_assert(offsetof(ServiceItem, alerts) == 804);
static_assert(offsetof(ServiceItem, alerts.sound.soundOnUnavailable) == 804);
static_assert(offsetof(ServiceItem, alerts.sound.soundOnTimedOut) == 808);
static_assert(offsetof(ServiceItem, alerts.sound.soundOnUnresolved) == 812);
static_assert(offsetof(ServiceItem, alerts.sound.soundMode) == 816);
static_assert(offsetof(ServiceItem, alerts.sound.soundSpare) == 820);
static_assert(offsetof(ServiceItem, alerts.sound.failedSound) == 824);
static_assert(offsetof(ServiceItem, alerts.sound.okAgainSound) == 1080);
static_assert(offsetof(ServiceItem, alerts.batch.batchOnUnavailable) == 1336);
static_assert(offsetof(ServiceItem, alerts.batch.batchOnTimedOut) == 1340);
static_assert(offsetof(ServiceItem, alerts.batch.batchOnUnresolved) == 1344);
static_assert(offsetof(ServiceItem, alerts.batch.batchMode) == 1348);
static_assert(offsetof(ServiceItem, alerts.batch.batchSpare) == 1352);
static_assert(offsetof(ServiceItem, alerts.batch.failedCommand) == 1356);
static_assert(offsetof(ServiceItem, alerts.batch.okAgainCommand) == 1612);
static_assert(offsetof(ServiceItem, alerts.batch.failedCommandWait) == 1868);
static_assert(offsetof(ServiceItem, alerts.batch.okAgainCommandWait) == 1872);
static_assert(offsetof(ServiceItem, state) == 1876);
static_assert(offsetof(ServiceItem, attempts) == 1880);
static_assert(offsetof(ServiceItem, attempt) == 1884);
static_assert(offsetof(ServiceItem, soundUseGlobal) == 1888);
static_assert(offsetof(ServiceItem, batchUseGlobal) == 1892);
static_assert(offsetof(ServiceItem, verifyService) == 1896);
static_assert(offsetof(ServiceItem, lastTestTime) == 1900);
static_assert(offsetof(ServiceItem, frequency) == 1904);
static_assert(offsetof(ServiceItem, checkInternet) == 1908);

// Service tests: 30 names in this fixed order; the index is `serviceTest`.
inline constexpr int kServiceTestCount = 30;
inline constexpr int kServiceTestIsRunning = 14;
inline constexpr int kServiceTestPing = 17;
inline constexpr int kServiceTestReturnValue = 21;
inline constexpr int kServiceTestVorlan = 29;
// A port of 0 or more, or a kind marker.
inline constexpr std::int32_t kPortProcessName = -1;
inline constexpr std::int32_t kPortProgram = -2;
inline constexpr std::int32_t kPortNoSource = -3;

struct ServiceTest {
    char name[16];
    std::int32_t port;
};
extern const ServiceTest kServiceTests[kServiceTestCount];

// The name of a service test, or "" for an index outside the table (a list
// file may hold any value there).
const char* ServiceTestName(std::int32_t index);

// True for the kinds tested over the network (TCP port, Ping).
inline bool IsNetworkKind(std::int32_t kind) {
    return kind == kSourceTcpPort || kind == kSourceNone;
}

// The record a new entry starts from.
ServiceItem NewEntryTemplate();
// The new entry's sound half; its batch half is all zero.
SoundAlert DefaultSoundAlert();

}  // namespace tarnwatch
