// The service-test table, the new-entry template and the bounded text copy.
#include "engine/ServiceItem.h"

#include <cstring>

namespace tarnwatch {

const ServiceTest kServiceTests[kServiceTestCount] = {
    {"Conference", 531}, {"Domain", 53},       {"Echo", 7},
    {"Finger", 79},      {"Ftp", 21},          {"Ftps", 990},
    {"Gopher", 70},      {"Http", 80},         {"Https", 443},
    {"Imap", 143},       {"Imap3", 220},       {"Imaps", 993},
    {"Irc", 194},        {"Ircs", 994},        {"Is_running", kPortProcessName},
    {"Ms-sql-s", 1433},  {"Nicname", 43},      {"Ping", kPortNoSource},
    {"Pop2", 109},       {"Pop3", 110},        {"Pops", 995},
    {"Return_value", kPortProgram}, {"Smtp", 25}, {"Smtps", 465},
    {"Snpp", 444},       {"Socks", 1080},      {"Telnet", 23},
    {"Telnets", 992},    {"Time", 37},         {"Vorlan", 700},
};

const char* ServiceTestName(std::int32_t index) {
    if (index < 0 || index >= kServiceTestCount) return "";
    return kServiceTests[index].name;
}

void CopyText(char* dest, std::size_t destSize, const char* src) {
    if (destSize == 0) return;
    std::size_t n = src ? strnlen(src, destSize - 1) : 0;
    if (n) std::memcpy(dest, src, n);
    dest[n] = '\0';
}

ServiceItem NewEntryTemplate() {
    ServiceItem e;
    std::memset(&e, 0, sizeof e);
    e.sourceKind = kSourceTcpPort;
    CopyText(e.source, "700");
    CopyText(e.timeoutText, "10");
    e.enabled = 1;
    e.serviceTest = kServiceTestVorlan;
    e.alerts.soundOnUnavailable = 1;
    e.alerts.soundOnTimedOut = 1;
    e.alerts.soundOnUnresolved = 1;
    e.alerts.soundMode = 3;
    e.alerts.soundSpare = 3;
    CopyText(e.alerts.failedSound, "Failure.wav");
    CopyText(e.alerts.okAgainSound, "Available.wav");
    e.state = kStateUntested;
    e.attempts = 1;
    e.soundUseGlobal = 1;
    e.batchUseGlobal = 1;
    e.verifyService = 1;
    e.frequency = kFrequencyHigh;
    return e;
}

}  // namespace tarnwatch
