// Alert actions: sounds, commands and restoring the window.
#include "engine/AlertActions.h"

#include <ctime>
#include <string>

#include "engine/AlertSilence.h"
#include "engine/EntryCommand.h"
#include "engine/MessageText.h"
#include "res/StringTable.h"

namespace tarnwatch {

std::int32_t SoundEnabledFor(const SoundAlert& sound, std::int32_t classBit) {
    switch (classBit) {
        case kStateTimedOut:
            return sound.soundOnTimedOut;
        case kStateUnavailable:
            return sound.soundOnUnavailable;
        case kStateUnresolved:
            return sound.soundOnUnresolved;
        default:
            return 0;
    }
}

bool AlertActions::Quiet() const {
    return quiet_ || AlertsPaused(settings_, ports_.clock ? ports_.clock->Now() : 0);
}

void AlertActions::RestoreMainWindow() {
    if (settings_.restore && ports_.window && !Quiet()) ports_.window->Show();
}

void AlertActions::PlaySound(const char* name, std::int32_t mode) {
    if (!ports_.sound || Quiet()) return;
    if (mode == kSoundContinuous) {
        ports_.sound->PlayLoop(name);
    } else {
        ports_.sound->PlayOnceWait(name);
    }
}

bool AlertActions::RunAlertCommand(const char* command, std::int32_t wait,
                                   const CommandMacros& macros) {
    if (Quiet()) return false;
    bool refused = false;
    // An alert command that cannot start has nobody to tell: alerts never
    // show a message. One that hangs would hold every test behind it, so a
    // waited one is ended at the time limit, and that is said.
    const int limit = wait ? settings_.commandTimeLimit : 0;
    if (RunEntryCommand(command, macros, wait, ports_.pump, limit, &refused) == kRunTimedOut) {
        ReportEntryCommand(IDS_COMMAND_TIMED_OUT, command, macros, std::to_string(limit));
    }
    return !refused;
}

void AlertActions::FailureSound(const SoundAlert& sound, bool repeated) {
    const auto mode = static_cast<SoundMode>(sound.soundMode);
    if (!FailureAlertFires(RepeatOf(mode), repeated) || sound.failedSound[0] == '\0') return;
    RestoreMainWindow();
    PlaySound(sound.failedSound, mode);
}

bool AlertActions::FailureCommand(const BatchAlert& batch, bool repeated,
                                  const CommandMacros& macros) {
    const auto mode = static_cast<BatchMode>(batch.batchMode);
    if (!FailureAlertFires(RepeatOf(mode), repeated) || batch.failedCommand[0] == '\0') {
        return false;
    }
    RestoreMainWindow();
    return RunAlertCommand(batch.failedCommand, batch.failedCommandWait, macros);
}

void AlertActions::StopFailureLoop(const SoundAlert& sound) {
    if (sound.failedSound[0] != '\0' && sound.soundMode == kSoundContinuous && ports_.sound) {
        ports_.sound->Purge();
    }
}

void AlertActions::OkAgainSound(const SoundAlert& sound) {
    if (sound.soundMode == kSoundNone || sound.okAgainSound[0] == '\0') return;
    RestoreMainWindow();
    PlaySound(sound.okAgainSound, sound.soundMode);
}

bool AlertActions::OkAgainCommand(const BatchAlert& batch, const CommandMacros& macros) {
    if (batch.batchMode == kBatchNone || batch.okAgainCommand[0] == '\0') return false;
    return RunAlertCommand(batch.okAgainCommand, batch.okAgainCommandWait, macros);
}

void AlertActions::Notify(const std::string& key, const std::string& summary,
                          const std::string& status, bool offerSnooze) {
    if (Quiet() || !settings_.notify || !ports_.notifier) return;
    const std::time_t now = ports_.clock ? ports_.clock->Now() : std::time(nullptr);
    std::tm local{};
    char at[16] = "";
    if (localtime_r(&now, &local)) std::strftime(at, sizeof at, "%H:%M:%S", &local);
    ports_.notifier->Notify(DesktopNote{
        key, summary, FormatText(LoadString(IDS_NOTE_BODY), {status, at}), offerSnooze});
}

void AlertActions::Remind(const std::string& key, const std::string& summary,
                          const std::string& text) {
    if (!settings_.notify || !ports_.notifier) return;
    ports_.notifier->Notify(DesktopNote{key, summary, text, false});
}

}  // namespace tarnwatch
