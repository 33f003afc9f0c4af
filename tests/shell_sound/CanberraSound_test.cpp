// The alert-sound player through a real audio path: a private sound server
// with a null sink whose output is recorded and measured. Where no such path
// can be made the cases are skipped, never faked.
#include "shell/CanberraSound.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "shell_sound/AudioPath.h"

namespace tarnwatch {
namespace {

using namespace std::chrono_literals;
using test::Level;

// The null sink renders exact zeros while nothing plays.
constexpr double kSilent = 0.002;

class TempDir {
public:
    TempDir() {
        char pattern[] = "/tmp/tarnwatch-sound-XXXXXX";
        const char* made = mkdtemp(pattern);
        path_ = made != nullptr ? made : "";
    }
    ~TempDir() {
        std::error_code ec;
        if (!path_.empty()) std::filesystem::remove_all(path_, ec);
    }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

class CanberraSoundTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(dir_.path().empty());
        oldCwd_ = std::filesystem::current_path();
        std::string why;
        if (!server_.Start(dir_.path(), &why)) GTEST_SKIP() << why;
        loud_ = dir_.path() + "/loud.wav";
        quiet_ = dir_.path() + "/quiet.wav";
        ASSERT_TRUE(test::MakeTone(loud_, 0.3, 440, 0.9));
        ASSERT_TRUE(test::MakeTone(quiet_, 0.3, 660, 0.1));
    }
    void TearDown() override {
        std::filesystem::current_path(oldCwd_);
        server_.Stop();
    }

    // Records the sink while `during` runs and for `tail` after it.
    Level Record(const std::function<void()>& during, std::chrono::milliseconds tail) {
        const std::string wav = dir_.path() + "/rec" + std::to_string(++recordings_) + ".wav";
        test::Recorder recorder;
        if (!recorder.Start(wav)) {
            ADD_FAILURE() << "the sink could not be recorded";
            return Level{};
        }
        during();
        std::this_thread::sleep_for(tail);
        recorder.Stop();
        Level level = test::MeasureLevel(wav);
        EXPECT_TRUE(level.ok) << "sox could not read " << wav;
        return level;
    }

    // The peak of the loud tone as this path renders it; the other cases
    // compare against it instead of a fixed level.
    double LoudPeak(CanberraSound& sound) {
        const Level level = Record([&] { sound.PlayOnceWait(loud_); }, 200ms);
        EXPECT_GT(level.max, 0.05) << "the loud tone was not heard";
        return level.max;
    }

    TempDir dir_;
    std::filesystem::path oldCwd_;
    test::PulseServer server_;
    std::string loud_;
    std::string quiet_;
    int recordings_ = 0;
};

TEST_F(CanberraSoundTest, PlaysAFileOnceByFullOrRelativeName) {
    CanberraSound sound;
    ASSERT_TRUE(sound.IsOpen()) << "the sound server runs but the player could not open it";

    const Level full = Record([&] { sound.PlayOnceWait(loud_); }, 200ms);
    EXPECT_GT(full.rms, 0.01);

    std::filesystem::current_path(dir_.path());
    const Level relative = Record([&] { sound.PlayOnceWait("quiet.wav"); }, 200ms);
    EXPECT_GT(relative.max, kSilent);

    // Once means once: nothing is left playing afterwards.
    const Level after = Record([] {}, 600ms);
    EXPECT_LT(after.max, kSilent);
}

TEST_F(CanberraSoundTest, ThemeEventIsTriedBeforeAFileOfTheSameName) {
    if (!std::filesystem::exists("/usr/share/sounds/freedesktop/stereo/complete.oga")) {
        GTEST_SKIP() << "the freedesktop sound theme is not installed";
    }
    // A silent file named like the event: if it were preferred, nothing
    // would be heard.
    std::filesystem::current_path(dir_.path());
    ASSERT_TRUE(test::MakeTone(dir_.path() + "/silent.wav", 0.5, 440, 0.0));
    std::filesystem::rename(dir_.path() + "/silent.wav", dir_.path() + "/complete");

    CanberraSound sound;
    ASSERT_TRUE(sound.IsOpen());
    const Level level = Record([&] { sound.PlayOnceWait("complete"); }, 200ms);
    EXPECT_GT(level.max, kSilent);
}

// A bare name is looked for in the user's sound folder, then in the
// program's, then from the working directory; a name with a folder only as
// given. Three tones of different loudness tell which one played.
TEST_F(CanberraSoundTest, BareNamesAreFoundInTheUsersThenTheProgramsFolderThenAsGiven) {
    const std::string user = dir_.path() + "/data/tarnwatch/sounds";
    const std::string program = dir_.path() + "/program";
    std::filesystem::create_directories(user);
    std::filesystem::create_directories(program);
    std::filesystem::create_directories(dir_.path() + "/sub");
    ASSERT_TRUE(test::MakeTone(user + "/a.wav", 0.3, 440, 0.9));
    ASSERT_TRUE(test::MakeTone(program + "/a.wav", 0.3, 440, 0.45));
    ASSERT_TRUE(test::MakeTone(dir_.path() + "/a.wav", 0.3, 440, 0.12));
    ASSERT_TRUE(test::MakeTone(dir_.path() + "/sub/a.wav", 0.3, 440, 0.12));
    std::filesystem::current_path(dir_.path());
    setenv("XDG_DATA_HOME", (dir_.path() + "/data").c_str(), 1);
    CanberraSound sound(30s, program);
    ASSERT_TRUE(sound.IsOpen());
    const double peak = LoudPeak(sound) / 0.9;  // the path's gain
    auto played = [&](const std::string& name) {
        return Record([&] { sound.PlayOnceWait(name); }, 200ms).max / peak;
    };
    const double fromUser = played("a.wav");
    std::filesystem::remove(user + "/a.wav");
    const double fromProgram = played("a.wav");
    std::filesystem::remove(program + "/a.wav");
    const double fromHere = played("a.wav");
    std::filesystem::create_directories(user + "/sub");
    ASSERT_TRUE(test::MakeTone(user + "/sub/a.wav", 0.3, 440, 0.9));
    const double withFolder = played("sub/a.wav");
    unsetenv("XDG_DATA_HOME");
    EXPECT_GT(fromUser, 0.7);
    EXPECT_GT(fromProgram, 0.3);
    EXPECT_LT(fromProgram, 0.6);
    EXPECT_GT(fromHere, 0.05);
    EXPECT_LT(fromHere, 0.25);
    EXPECT_LT(withFolder, 0.25) << "a name with a folder was looked for in the user's folder";
}

// A name that no theme sound and no file can play plays the theme's warning
// sound instead, so an alert is never silent by mistake; it leaves nothing
// playing, and a loop of it stops on purge. An empty name plays nothing.
TEST_F(CanberraSoundTest, UnplayableNamesPlayTheWarningSoundAndLeaveNothingPlaying) {
    if (!std::filesystem::exists("/usr/share/sounds/freedesktop/stereo/dialog-warning.oga")) {
        GTEST_SKIP() << "the freedesktop sound theme is not installed";
    }
    CanberraSound sound;
    ASSERT_TRUE(sound.IsOpen());
    const std::string garbage = dir_.path() + "/garbage.wav";
    std::ofstream(garbage) << "RIFF this is no wave at all";
    const std::string empty = dir_.path() + "/empty.wav";
    std::ofstream(empty).close();
    // Opening a pipe nobody writes to would wait forever.
    const std::string pipe = dir_.path() + "/pipe.wav";
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);

    EXPECT_LT(Record([&] { sound.PlayOnceWait(""); }, 300ms).max, kSilent);
    for (const std::string& name :
         {std::string("no-such-sound.wav"), garbage, empty, pipe, dir_.path()}) {
        EXPECT_GT(Record([&] { sound.PlayOnceWait(name); }, 100ms).max, kSilent) << name;
    }
    sound.PlayLoop(garbage);
    std::this_thread::sleep_for(300ms);
    sound.Purge();
    EXPECT_LT(Record([] {}, 600ms).max, kSilent);
}

TEST_F(CanberraSoundTest, LoopRepeatsBlocksSinglePlaysAndStopsOnPurge) {
    CanberraSound sound;
    ASSERT_TRUE(sound.IsOpen());
    const double loudPeak = LoudPeak(sound);

    sound.PlayLoop(quiet_);
    // Well past the first 0.3 s play, so only a replay can be heard.
    std::this_thread::sleep_for(800ms);
    const Level looping = Record([&] { sound.PlayOnceWait(loud_); }, 800ms);
    EXPECT_GT(looping.max, kSilent) << "the loop did not repeat";
    EXPECT_LT(looping.max, loudPeak / 2) << "a single play sounded over the loop";

    sound.Purge();
    std::this_thread::sleep_for(300ms);
    const Level purged = Record([] {}, 800ms);
    EXPECT_LT(purged.max, kSilent);

    const Level again = Record([&] { sound.PlayOnceWait(loud_); }, 200ms);
    EXPECT_GT(again.max, loudPeak / 2);
}

TEST_F(CanberraSoundTest, NewLoopOrAsyncPlayReplacesTheLoop) {
    CanberraSound sound;
    ASSERT_TRUE(sound.IsOpen());
    const double loudPeak = LoudPeak(sound);

    sound.PlayLoop(loud_);
    std::this_thread::sleep_for(400ms);
    sound.PlayLoop(quiet_);
    std::this_thread::sleep_for(300ms);
    const Level replaced = Record([] {}, 800ms);
    EXPECT_GT(replaced.max, kSilent);
    EXPECT_LT(replaced.max, loudPeak / 2);

    const Level async = Record([&] { sound.PlayAsync(loud_); }, 600ms);
    EXPECT_GT(async.max, loudPeak / 2);
    const Level after = Record([] {}, 800ms);
    EXPECT_LT(after.max, kSilent) << "the loop went on after an async play";
}

TEST_F(CanberraSoundTest, SinglePlayIsCutAtTheWaitCap) {
    const std::string longTone = dir_.path() + "/long.wav";
    ASSERT_TRUE(test::MakeTone(longTone, 4.0, 440, 0.5));
    CanberraSound sound(300ms);
    ASSERT_TRUE(sound.IsOpen());

    const Level during = Record([&] { sound.PlayOnceWait(longTone); }, 0ms);
    EXPECT_GT(during.max, kSilent);
    std::this_thread::sleep_for(300ms);
    const Level after = Record([] {}, 800ms);
    EXPECT_LT(after.max, kSilent) << "the sound went on after the wait gave up";

    const Level next = Record([&] { sound.PlayOnceWait(loud_); }, 200ms);
    EXPECT_GT(next.max, 0.05);
}

TEST_F(CanberraSoundTest, DestroyingThePlayerStopsItsLoop) {
    auto sound = std::make_unique<CanberraSound>();
    ASSERT_TRUE(sound->IsOpen());
    sound->PlayLoop(loud_);
    std::this_thread::sleep_for(500ms);
    sound.reset();
    std::this_thread::sleep_for(300ms);
    const Level after = Record([] {}, 800ms);
    EXPECT_LT(after.max, kSilent);
}

TEST_F(CanberraSoundTest, CallsFromSeveralThreadsEndInSilenceAfterPurge) {
    CanberraSound sound(2s);
    ASSERT_TRUE(sound.IsOpen());
    // Plays started while a purge runs in another thread must not survive it.
    auto hammer = [&](int seed) {
        for (int i = 0; i < 60; ++i) {
            switch ((i + seed) % 4) {
                case 0:
                    sound.PlayLoop(i % 2 == 0 ? loud_ : quiet_);
                    break;
                case 1:
                    sound.PlayAsync(quiet_);
                    break;
                case 2:
                    sound.Purge();
                    break;
                default:
                    sound.PlayOnceWait(quiet_);
                    break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5 + (i * 7 + seed) % 20));
        }
    };
    std::thread a(hammer, 0);
    std::thread b(hammer, 1);
    a.join();
    b.join();
    sound.Purge();
    std::this_thread::sleep_for(300ms);
    const Level after = Record([] {}, 800ms);
    EXPECT_LT(after.max, kSilent);
}

TEST(CanberraSoundWithoutServer, EveryCallReturnsSilently) {
    TempDir dir;
    ASSERT_FALSE(dir.path().empty());
    const std::string conf = dir.path() + "/client.conf";
    std::ofstream(conf) << "autospawn = no\n";
    setenv("PULSE_CLIENTCONFIG", conf.c_str(), 1);
    setenv("PULSE_SERVER", ("unix:" + dir.path() + "/no-server").c_str(), 1);
    setenv("CANBERRA_DRIVER", "pulse", 1);

    CanberraSound sound;
    EXPECT_FALSE(sound.IsOpen());
    // None of these may wait for anything.
    sound.PlayLoop("bell");
    sound.PlayOnceWait("bell");
    sound.PlayAsync("bell");
    sound.Purge();
}

}  // namespace
}  // namespace tarnwatch
