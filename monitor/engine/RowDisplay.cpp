// Cell texts of a list row.
#include "engine/RowDisplay.h"

#include <algorithm>
#include <ctime>

#include "res/StringTable.h"

namespace tarnwatch {

int EffectiveRowImage(const ServiceItem& entry, int image) {
    if (entry.enabled) return image;
    return IsNetworkKind(entry.sourceKind) ? kImageNetworkDisabled : kImageLocalDisabled;
}

std::string AttemptText(const ServiceItem& entry) {
    std::string text = std::to_string(std::min(entry.attempt, entry.attempts)) + "/" +
                       std::to_string(entry.attempts);
    if (entry.lastTestTime != 0) {
        time_t t = entry.lastTestTime;
        tm local{};
        char buf[64];
        if (localtime_r(&t, &local) &&
            std::strftime(buf, sizeof buf, "  %H:%M:%S %d/%m/%y", &local)) {
            text += buf;
        }
    }
    return text;
}

static std::string FrequencyText(std::int32_t frequency) {
    switch (frequency) {
        case kFrequencyOnDemand:
            return LoadString(IDS_ONDEMAND);
        case kFrequencyLow:
            return LoadString(IDS_LOW);
        case kFrequencyMedium:
            return LoadString(IDS_MEDIUM);
        case kFrequencyHigh:
            return LoadString(IDS_HIGH);
        default:
            return "";
    }
}

RowView MakeRowView(const ServiceItem& entry, int image, const std::string& status) {
    RowView row;
    row.image = EffectiveRowImage(entry, image);
    row.checked = entry.enabled != 0;
    row.cells[kColAddress] = entry.address;
    row.cells[kColDescription] = entry.description;
    row.cells[kColServiceTest] = ServiceTestName(entry.serviceTest);
    switch (entry.sourceKind) {
        case kSourceTcpPort:
            row.cells[kColSource] = std::string("port ") + entry.source;
            break;
        case kSourceNone:
            row.cells[kColSource] = LoadString(IDS_NA);
            break;
        default:
            row.cells[kColSource] = entry.source;
            break;
    }
    row.cells[kColAttempt] = AttemptText(entry);
    row.cells[kColTimeout] = entry.sourceKind == kSourceProcessName ? " " : entry.timeoutText;
    if (entry.enabled) {
        row.cells[kColStatus] = status == LoadString(IDS_DISABLED) ? " " : status;
    } else {
        row.cells[kColStatus] = LoadString(IDS_DISABLED);
    }
    row.cells[kColFreq] = FrequencyText(entry.frequency);
    return row;
}

}  // namespace tarnwatch
