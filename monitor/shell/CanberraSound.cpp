// The alert-sound player on top of libcanberra; see CanberraSound.h.
//
// Locking: libcanberra calls OnFinished with its own locks held (from its
// event thread, and from inside ca_context_cancel on the caller's thread).
// OnFinished takes mutex_, so mutex_ is never held across a libcanberra call.
#include "shell/CanberraSound.h"

#include <canberra.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

namespace tarnwatch {

namespace {

// Replays of a loop start no closer together than this, so a sound that ends
// at once (an empty file) cannot make the helper thread spin.
constexpr std::chrono::milliseconds kMinLoopPeriod(100);
// How often sounds under way are checked against libcanberra's own list, in
// case the end of one is never reported.
constexpr std::chrono::milliseconds kPollPeriod(1000);
// Consecutive checks a sound must be missing from that list to count as ended.
constexpr int kMissedPollsToEnd = 2;

// Plays with one property naming the sound; the result code of libcanberra.
int PlayWithProperty(ca_context* context, std::uint32_t id, const char* key,
                     const std::string& value, ca_finish_callback_t callback, void* self) {
    ca_proplist* props = nullptr;
    if (ca_proplist_create(&props) != CA_SUCCESS) return CA_ERROR_OOM;
    int rc = ca_proplist_sets(props, key, value.c_str());
    if (rc == CA_SUCCESS) rc = ca_context_play_full(context, id, props, callback, self);
    ca_proplist_destroy(props);
    return rc;
}

// Where a name is looked for as a file, in order.
std::vector<std::string> SoundFiles(const std::string& name, const std::string& programSounds) {
    if (name.find('/') != std::string::npos) return {name};
    const char* data = std::getenv("XDG_DATA_HOME");
    const char* home = std::getenv("HOME");
    const std::string user = data && data[0] == '/' ? std::string(data)
                             : home                 ? std::string(home) + "/.local/share"
                                                    : std::string();
    std::vector<std::string> files;
    if (!user.empty()) files.push_back(user + "/tarnwatch/sounds/" + name);
    if (!programSounds.empty()) files.push_back(programSounds + "/" + name);
    files.push_back(name);
    return files;
}

// share/tarnwatch/sounds beside the running program's bin folder where it
// is installed; "sounds" beside the program in a build tree.
std::string ProgramSoundFolder() {
    char exe[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0) return "";
    std::string path(exe, static_cast<std::size_t>(n));
    path.resize(path.find_last_of('/'));
    struct stat info {};
    const std::string installed = path + "/../share/tarnwatch/sounds";
    return stat(installed.c_str(), &info) == 0 && S_ISDIR(info.st_mode) ? installed
                                                                        : path + "/sounds";
}

bool IsRegularFile(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// The sound theme's warning sound.
constexpr const char* kFallbackEvent = "dialog-warning";

}  // namespace

CanberraSound::CanberraSound(std::chrono::milliseconds waitCap, std::string programSounds)
    : waitCap_(waitCap),
      programSounds_(programSounds.empty() ? ProgramSoundFolder() : std::move(programSounds)) {
    ca_context* context = nullptr;
    if (ca_context_create(&context) != CA_SUCCESS) return;
    ca_context_change_props(context, CA_PROP_APPLICATION_NAME, "Tarnwatch", CA_PROP_APPLICATION_ID,
                            "org.quillon.Tarnwatch", nullptr);
    if (ca_context_open(context) != CA_SUCCESS) {
        ca_context_destroy(context);
        return;
    }
    context_ = context;
    worker_ = std::thread([this] { Worker(); });
}

CanberraSound::~CanberraSound() {
    if (context_ == nullptr) return;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    worker_.join();
    StopAll();
    // Reports every sound still known to libcanberra as ended, on this thread,
    // while the members OnFinished uses are still alive.
    ca_context_destroy(context_);
}

void CanberraSound::OnFinished(ca_context*, std::uint32_t id, int result, void* self) {
    static_cast<CanberraSound*>(self)->Finished(id, result);
}

void CanberraSound::Finished(std::uint32_t id, int result) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = plays_.find(id);
        if (it == plays_.end()) return;
        if (!it->second.started) {
            // The play call has not returned yet; StartPlay finishes the job.
            it->second.finished = true;
            it->second.result = result;
            return;
        }
        Play play = it->second;
        plays_.erase(it);
        EndPlayLocked(play, result);
    }
    changed_.notify_all();
}

void CanberraSound::EndPlayLocked(const Play& play, int result) {
    if (!play.loop || !loop_.active || play.loopGeneration != loop_.generation) return;
    if (result == CA_SUCCESS) {
        loop_.restartPending = true;
    } else {
        // Cut off or broken: replaying it would only fail again.
        loop_.active = false;
        loop_.restartPending = false;
    }
}

int CanberraSound::PlayNamed(std::uint32_t id, const std::string& name) {
    int rc = PlayWithProperty(context_, id, CA_PROP_EVENT_ID, name, &OnFinished, this);
    if (rc == CA_SUCCESS) return rc;
    for (const std::string& file : SoundFiles(name, programSounds_)) {
        // Opening a pipe or a device could wait without end; a sound is a file.
        if (!IsRegularFile(file)) continue;
        rc = PlayWithProperty(context_, id, CA_PROP_MEDIA_FILENAME, file, &OnFinished, this);
        if (rc == CA_SUCCESS) return rc;
    }
    return PlayWithProperty(context_, id, CA_PROP_EVENT_ID, kFallbackEvent, &OnFinished, this);
}

bool CanberraSound::StartPlay(const std::string& name, bool loop, std::uint64_t loopGeneration,
                              std::uint32_t* id) {
    std::uint32_t playId = 0;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        do {
            playId = ++nextId_;
        } while (playId == 0 || plays_.count(playId) != 0);
        Play play;
        play.loop = loop;
        play.loopGeneration = loopGeneration;
        play.epoch = epoch_;
        plays_.emplace(playId, play);
    }
    const int rc = PlayNamed(playId, name);
    bool cancel = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = plays_.find(playId);
        if (it == plays_.end()) return false;  // only a started play is taken by others
        if (rc != CA_SUCCESS) {
            plays_.erase(it);
            return false;
        }
        if (it->second.finished) {
            Play play = it->second;
            plays_.erase(it);
            EndPlayLocked(play, play.result);
        } else {
            it->second.started = true;
            // A purge that ran while the play call was under way could not
            // see this sound yet.
            cancel = it->second.epoch != epoch_;
        }
    }
    changed_.notify_all();
    if (cancel) ca_context_cancel(context_, playId);
    if (id != nullptr) *id = playId;
    return true;
}

void CanberraSound::StopAll() {
    std::vector<std::uint32_t> started;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ++epoch_;
        loop_.active = false;
        loop_.restartPending = false;
        for (const auto& [playId, play] : plays_) {
            if (play.started) started.push_back(playId);
        }
    }
    changed_.notify_all();
    for (std::uint32_t playId : started) ca_context_cancel(context_, playId);
}

void CanberraSound::PlayOnceWait(const std::string& name) {
    if (context_ == nullptr || name.empty()) return;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!plays_.empty() || loop_.active) return;
    }
    std::uint32_t playId = 0;
    if (!StartPlay(name, false, 0, &playId)) return;
    bool ended = false;
    {
        std::unique_lock<std::mutex> lock(mutex_);
        ended = changed_.wait_for(lock, waitCap_,
                                  [&] { return stopping_ || plays_.count(playId) == 0; });
    }
    if (!ended) ca_context_cancel(context_, playId);
}

void CanberraSound::PlayLoop(const std::string& name) {
    if (context_ == nullptr || name.empty()) return;
    StopAll();
    std::uint64_t generation = 0;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        loop_.active = true;
        loop_.restartPending = false;
        loop_.name = name;
        ++loop_.generation;
        loop_.lastStart = std::chrono::steady_clock::now();
        generation = loop_.generation;
    }
    if (!StartPlay(name, true, generation, nullptr)) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (loop_.generation == generation) loop_.active = false;
    }
}

void CanberraSound::PlayAsync(const std::string& name) {
    if (context_ == nullptr || name.empty()) return;
    StopAll();
    StartPlay(name, false, 0, nullptr);
}

void CanberraSound::Purge() {
    if (context_ == nullptr) return;
    StopAll();
}

void CanberraSound::PollLocked(std::unique_lock<std::mutex>& lock) {
    std::vector<std::uint32_t> started;
    for (const auto& [playId, play] : plays_) {
        if (play.started) started.push_back(playId);
    }
    if (started.empty()) return;
    std::vector<std::uint32_t> gone;
    lock.unlock();
    for (std::uint32_t playId : started) {
        int playing = 0;
        if (ca_context_playing(context_, playId, &playing) == CA_SUCCESS && playing == 0) {
            gone.push_back(playId);
        }
    }
    lock.lock();
    for (auto& [playId, play] : plays_) {
        bool missing = false;
        for (std::uint32_t g : gone) missing = missing || g == playId;
        play.missedPolls = missing ? play.missedPolls + 1 : 0;
    }
    for (auto it = plays_.begin(); it != plays_.end();) {
        if (it->second.started && it->second.missedPolls >= kMissedPollsToEnd) {
            Play play = it->second;
            it = plays_.erase(it);
            EndPlayLocked(play, CA_SUCCESS);
        } else {
            ++it;
        }
    }
}

void CanberraSound::Worker() {
    using Clock = std::chrono::steady_clock;
    std::unique_lock<std::mutex> lock(mutex_);
    Clock::time_point nextPoll = Clock::now() + kPollPeriod;
    while (!stopping_) {
        const Clock::time_point now = Clock::now();
        if (loop_.active && loop_.restartPending) {
            const Clock::time_point due = loop_.lastStart + kMinLoopPeriod;
            if (now < due) {
                changed_.wait_until(lock, due);
                continue;
            }
            loop_.restartPending = false;
            loop_.lastStart = now;
            const std::string name = loop_.name;
            const std::uint64_t generation = loop_.generation;
            lock.unlock();
            const bool ok = StartPlay(name, true, generation, nullptr);
            lock.lock();
            if (!ok && loop_.generation == generation) loop_.active = false;
            continue;
        }
        if (now >= nextPoll) {
            PollLocked(lock);
            nextPoll = Clock::now() + kPollPeriod;
            continue;
        }
        if (plays_.empty()) {
            // Nothing to watch: sleep until a loop needs a replay or we stop.
            changed_.wait(lock);
            nextPoll = Clock::now() + kPollPeriod;
        } else {
            changed_.wait_until(lock, nextPoll);
        }
    }
}

}  // namespace tarnwatch
