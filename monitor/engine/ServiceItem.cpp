// The service-test table, the new-entry template and the bounded text copy.
#include "engine/ServiceItem.h"

#include <cstring>

namespace tarnwatch {

const ServiceTest kServiceTests[kServiceTestCount] = {
    {"Conference", 531},
    {"Domain", 53},
    {"Echo", 7},
    {"Finger", 79},
    {"Ftp", 21},
    {"Ftps", 990},
    {"Gopher", 70},
    {"Http", 80},
    {"Https", 443},
    {"Imap", 143},
    {"Imap3", 220},
    {"Imaps", 993},
    {"Irc", 194},
    {"Ircs", 994},
    {"Is_running", kPortProcessName},
    {"Ms-sql-s", 1433},
    {"Nicname", 43},
    {"Ping", kPortNoSource},
    {"Pop2", 109},
    {"Pop3", 110},
    {"Pops", 995},
    {"Return_value", kPortProgram},
    {"Smtp", 25},
    {"Smtps", 465},
    {"Snpp", 444},
    {"Socks", 1080},
    {"Telnet", 23},
    {"Telnets", 992},
    {"Time", 37},
    {"Vorlan", 700},
};

const char* ServiceTestName(std::int32_t index) {
    if (index < 0 || index >= kServiceTestCount) return "";
    return kServiceTests[index].name;
}

AlertRepeat RepeatOf(SoundMode mode) {
    switch (mode) {
        case kSoundOnce:
        case kSoundContinuous:
            return AlertRepeat::kFirstFailure;
        case kSoundEveryFailure:
            return AlertRepeat::kEveryFailure;
        default:
            return AlertRepeat::kNever;
    }
}

AlertRepeat RepeatOf(BatchMode mode) {
    switch (mode) {
        case kBatchOnce:
            return AlertRepeat::kFirstFailure;
        case kBatchEveryFailure:
            return AlertRepeat::kEveryFailure;
        default:
            return AlertRepeat::kNever;
    }
}

AlertRepeat RepeatOf(MessageBoxMode mode) {
    switch (mode) {
        case kMessageBoxOnce:
            return AlertRepeat::kFirstFailure;
        case kMessageBoxEveryFailure:
            return AlertRepeat::kEveryFailure;
        default:
            return AlertRepeat::kNever;
    }
}

bool FailureAlertFires(AlertRepeat repeat, bool repeatedFailure) {
    return repeat == AlertRepeat::kEveryFailure ||
           (repeat == AlertRepeat::kFirstFailure && !repeatedFailure);
}

SoundAlert DefaultSoundAlert() {
    SoundAlert s;
    std::memset(&s, 0, sizeof s);
    s.soundOnUnavailable = 1;
    s.soundOnTimedOut = 1;
    s.soundOnUnresolved = 1;
    s.soundMode = kSoundContinuous;
    s.soundSpare = 3;
    CopyText(s.failedSound, "Failure.wav");
    CopyText(s.okAgainSound, "Available.wav");
    return s;
}

ServiceItem NewEntryTemplate() {
    ServiceItem e;
    std::memset(&e, 0, sizeof e);
    e.sourceKind = kSourceTcpPort;
    CopyText(e.source, "700");
    CopyText(e.timeoutText, "10");
    e.enabled = 1;
    e.serviceTest = kServiceTestVorlan;
    e.alerts.sound = DefaultSoundAlert();
    e.state = kStateUntested;
    e.attempts = 1;
    e.soundUseGlobal = 1;
    e.batchUseGlobal = 1;
    e.verifyService = 1;
    e.frequency = kFrequencyHigh;
    return e;
}

}  // namespace tarnwatch
