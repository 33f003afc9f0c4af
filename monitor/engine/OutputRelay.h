// What a waited-for program writes, passed on to the monitor's own standard
// output and error through pipes of the monitor's. The pipes close when the
// program ends, so a child it leaves running holds nothing of the monitor's
// output, and whoever reads that output to its end does not wait for the
// child. A child that writes after that gets a broken pipe.
#pragma once

#include <spawn.h>

namespace tarnwatch {

class OutputRelay {
public:
    // Without pipes (none could be made) the program writes to the monitor's
    // own output, as a program started without waiting does.
    OutputRelay();
    ~OutputRelay();
    OutputRelay(const OutputRelay&) = delete;
    OutputRelay& operator=(const OutputRelay&) = delete;

    // For the start: the program's standard output and error become the
    // pipes. Null without pipes.
    const posix_spawn_file_actions_t* Actions() const { return ready_ ? &actions_ : nullptr; }
    // The program has been started (or not): the pipes' writing ends are
    // the program's alone.
    void Started();
    // Passes output on for up to `timeoutMs`, and returns early, true, when
    // `pidFd` (if not -1) shows that the program has ended.
    bool Wait(int pidFd, int timeoutMs);
    // The program has ended: what it left in the pipes is passed on, the
    // pipes close.
    void Finish();

private:
    // Passes on what can be read from pipe `i` now: 1 something, 0 nothing
    // yet, -1 the pipe's end.
    int Pass(int i);
    void Close(int i);

    bool ready_ = false;
    posix_spawn_file_actions_t actions_{};
    int read_[2] = {-1, -1};
    int write_[2] = {-1, -1};
};

}  // namespace tarnwatch
