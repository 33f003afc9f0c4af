// Snoozes and the pause of alerts.
#include "engine/AlertSilence.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#include "engine/EntryKey.h"
#include "engine/FileReplace.h"

namespace tarnwatch {

bool AlertsPaused(const GlobalSettings& settings, std::int64_t now) {
    const std::int64_t until = settings.alertsPausedUntil;
    return until == kPausedUntilResumed || until > now;
}

std::int64_t AlertSilence::SnoozedUntil(std::uint64_t key, std::int64_t now) const {
    const auto it = snoozes_.find(key);
    if (it == snoozes_.end()) return 0;
    return it->second == kSnoozeUntilOk || it->second > now ? it->second : 0;
}

bool AlertSilence::Recovered(std::uint64_t key) {
    const auto it = snoozes_.find(key);
    if (it == snoozes_.end() || it->second != kSnoozeUntilOk) return false;
    snoozes_.erase(it);
    return true;
}

std::vector<std::uint64_t> AlertSilence::TakeEnded(std::int64_t now) {
    std::vector<std::uint64_t> ended;
    for (auto it = snoozes_.begin(); it != snoozes_.end();) {
        if (it->second != kSnoozeUntilOk && it->second <= now) {
            ended.push_back(it->first);
            it = snoozes_.erase(it);
        } else {
            ++it;
        }
    }
    return ended;
}

std::int64_t AlertSilence::NextEnd() const {
    std::int64_t next = 0;
    for (const auto& [key, until] : snoozes_) {
        if (until != kSnoozeUntilOk && (next == 0 || until < next)) next = until;
    }
    return next;
}

bool AlertSilence::KeepOnly(const std::vector<std::uint64_t>& known) {
    const std::size_t before = snoozes_.size();
    std::erase_if(snoozes_, [&known](const auto& snooze) {
        return std::find(known.begin(), known.end(), snooze.first) == known.end();
    });
    return snoozes_.size() != before;
}

void AlertSilence::Load(const std::string& path, std::int64_t now) {
    snoozes_.clear();
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string keyText;
        long long until = 0;
        std::uint64_t key = 0;
        if (!(fields >> keyText >> until) || !ParseEntryKey(keyText, key)) continue;
        if (until == kSnoozeUntilOk || until > now) snoozes_[key] = until;
    }
}

bool AlertSilence::Save(const std::string& path, std::string* reason) const {
    if (snoozes_.empty()) {
        if (unlink(path.c_str()) == 0 || errno == ENOENT) return true;
        if (reason) *reason = std::strerror(errno);
        return false;
    }
    std::string text;
    for (const auto& [key, until] : snoozes_) {
        text += EntryKeyText(key) + ' ' + std::to_string(until) + '\n';
    }
    return ReplaceFile(
        path, false, [&text](int fd) { return WriteAll(fd, text.data(), text.size()); }, reason);
}

}  // namespace tarnwatch
