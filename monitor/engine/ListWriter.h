// Saves of the list made on a thread of their own, so that an add or an edit
// never holds up the window for the seconds a large list and a slow disk may
// take. The caller hands over a copy of the collection; a newer copy replaces
// one whose write has not started, since only the latest list matters.
#pragma once

#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "engine/EntryCollection.h"
#include "engine/ListFile.h"

namespace tarnwatch {

class ListWriter {
public:
    ListWriter();
    // Writes what was handed over, then ends the thread.
    ~ListWriter();
    ListWriter(const ListWriter&) = delete;
    ListWriter& operator=(const ListWriter&) = delete;

    void Submit(EntryCollection entries, ListFilePaths paths);
    // Waits until everything handed over is written.
    void Flush();
    // True when nothing is waiting or being written.
    bool Idle();
    // The reports of failed saves since the last call, oldest first.
    std::vector<std::string> TakeFailures();

private:
    void Run();

    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable done_;
    struct Job {
        EntryCollection entries;
        ListFilePaths paths;
    };
    std::optional<Job> pending_;
    bool writing_ = false;
    bool stopping_ = false;
    std::vector<std::string> failures_;
    std::thread thread_;
};

}  // namespace tarnwatch
