// A real audio path for the sound tests: a private sound server with one null
// sink, a recorder of that sink's monitor, tone files and level measurement,
// all through the system's own tools (pulseaudio, parec, sox).
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace tarnwatch::test {

// True when an executable of this name is on PATH.
bool HaveProgram(const std::string& name);

// Writes a 16-bit mono sine tone. volume is 0..1 of full scale.
bool MakeTone(const std::string& path, double seconds, int hertz, double volume);

struct Level {
    bool ok = false;  // sox could read the recording
    double rms = 0;
    double max = 0;
};
Level MeasureLevel(const std::string& wavPath);

// A sound server of the test's own, reachable only through a socket in dir.
// Start points this process's sound clients at it (PULSE_SERVER and friends).
class PulseServer {
public:
    ~PulseServer();
    // False with the reason in *why when no server could be made.
    bool Start(const std::string& dir, std::string* why);
    void Stop();
    static constexpr const char* kSink = "tarnwatch_test";

private:
    bool KeepSinkResponsive(const std::string& dir);
    pid_t pid_ = -1;
    pid_t keeper_ = -1;
};

// Records the null sink's monitor into a WAV file while running.
class Recorder {
public:
    ~Recorder();
    bool Start(const std::string& wavPath);
    void Stop();

private:
    pid_t pid_ = -1;
};

}  // namespace tarnwatch::test
