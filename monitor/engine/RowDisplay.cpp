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

namespace {

void TwoDigits(char* out, int value) {
    out[0] = static_cast<char>('0' + value / 10 % 10);
    out[1] = static_cast<char>('0' + value % 10);
}

}  // namespace

std::string AttemptText(const ServiceItem& entry) {
    std::string text = std::to_string(std::min(entry.attempt, entry.attempts)) + "/" +
                       std::to_string(entry.attempts);
    if (entry.lastTestTime != 0) {
        // "  %H:%M:%S %d/%m/%y" in local time, formatted by hand: this runs for
        // every tested row, and strftime costs more than the rest of the row.
        // Rows tested within the same second share one conversion.
        thread_local bool cached = false;
        thread_local time_t cachedTime = 0;
        thread_local tm cachedLocal{};
        const time_t t = entry.lastTestTime;
        if (!cached || t != cachedTime) {
            cached = localtime_r(&t, &cachedLocal) != nullptr;
            cachedTime = t;
        }
        if (cached) {
            const tm& local = cachedLocal;
            char buf[] = "  hh:mm:ss dd/mm/yy";
            TwoDigits(buf + 2, local.tm_hour);
            TwoDigits(buf + 5, local.tm_min);
            TwoDigits(buf + 8, local.tm_sec);
            TwoDigits(buf + 11, local.tm_mday);
            TwoDigits(buf + 14, local.tm_mon + 1);
            TwoDigits(buf + 17, (local.tm_year + 1900) % 100);
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
