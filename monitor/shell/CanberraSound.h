// The alert-sound player: the engine's SoundPort on top of libcanberra.
//
// One sound of the program plays at a time: PlayLoop and PlayAsync first stop
// whatever is playing, PlayOnceWait plays nothing while anything is playing
// (a loop, also between two of its rounds, or an async sound), Purge stops
// everything. A name is tried as a sound-theme event id first, then as a
// regular file: a bare name ("Failure.wav") in the user's sound folder
// ($XDG_DATA_HOME/tarnwatch/sounds), then in the program's own
// (share/tarnwatch/sounds beside its bin folder, or "sounds" beside the
// program in a build tree), then as given, from the
// working directory. A name that none of these can play plays the theme's
// warning sound instead, so an alert is never silent by mistake. An empty
// name does nothing. No call blocks for longer than the wait cap. Where no
// sound server or driver can be opened, every call is silent and returns at
// once.
//
// Create one player for the whole program. Every member may be called from
// any thread; a loop is replayed by a helper thread of the player, because
// libcanberra reports the end of a sound on a thread of its own from which it
// must not be called again.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>

#include "engine/Ports.h"

struct ca_context;

namespace tarnwatch {

class CanberraSound final : public SoundPort {
public:
    // waitCap bounds PlayOnceWait: a sound still playing then is stopped and
    // the call returns.
    // `programSounds` is the program's own sound folder; empty: the one
    // beside the running program.
    explicit CanberraSound(std::chrono::milliseconds waitCap = std::chrono::seconds(30),
                           std::string programSounds = "");
    ~CanberraSound() override;
    CanberraSound(const CanberraSound&) = delete;
    CanberraSound& operator=(const CanberraSound&) = delete;

    void PlayOnceWait(const std::string& name) override;
    void PlayLoop(const std::string& name) override;
    void PlayAsync(const std::string& name) override;
    void Purge() override;

    // False when no sound server or driver could be opened; the player is
    // then silent.
    bool IsOpen() const { return context_ != nullptr; }

private:
    // One sound handed to libcanberra, by its play id.
    struct Play {
        bool loop = false;
        std::uint64_t loopGeneration = 0;
        std::uint64_t epoch = 0;  // the purge epoch it was started in
        bool started = false;     // the play call has returned success
        bool finished = false;    // ended before the play call returned
        int result = 0;
        int missedPolls = 0;
    };
    struct Loop {
        bool active = false;
        bool restartPending = false;
        std::string name;
        std::uint64_t generation = 0;
        std::chrono::steady_clock::time_point lastStart;
    };

    static void OnFinished(ca_context* context, std::uint32_t id, int result, void* self);
    void Finished(std::uint32_t id, int result);
    // Starts one play; false when it could not be started. The id of a play
    // that is under way is stored in *id.
    bool StartPlay(const std::string& name, bool loop, std::uint64_t loopGeneration,
                   std::uint32_t* id);
    int PlayNamed(std::uint32_t id, const std::string& name);
    void EndPlayLocked(const Play& play, int result);
    void StopAll();
    void Worker();
    void PollLocked(std::unique_lock<std::mutex>& lock);

    ca_context* context_ = nullptr;
    const std::chrono::milliseconds waitCap_;
    const std::string programSounds_;

    std::mutex mutex_;
    std::condition_variable changed_;
    std::map<std::uint32_t, Play> plays_;
    Loop loop_;
    std::uint32_t nextId_ = 0;
    std::uint64_t epoch_ = 0;
    bool stopping_ = false;
    std::thread worker_;
};

}  // namespace tarnwatch
