// A text written to a file while it is still being made, by a thread of its
// own, so a long text's making and its writing overlap.
#pragma once

#include <cerrno>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string>
#include <thread>

namespace tarnwatch {

// Writes a text to a file while the text is still being made: the maker publishes how much of it is
// finished, the thread writes up to there. The text may be reallocated only after the thread has
// written all that was published, and the thread reads the text's address again each time, under
// the lock.
class BackgroundFileWriter {
public:
    BackgroundFileWriter(int fd, const std::string& text)
        : fd_(fd), base_(text.data()), ready_(text.size()), thread_([this] { Run(); }) {}
    ~BackgroundFileWriter() { Finish(nullptr); }
    BackgroundFileWriter(const BackgroundFileWriter&) = delete;
    BackgroundFileWriter& operator=(const BackgroundFileWriter&) = delete;

    // The text's first `size` bytes are finished and lie at `base`.
    void Publish(const char* base, std::size_t size) {
        {
            std::lock_guard lock(mutex_);
            base_ = base;
            ready_ = size;
        }
        wake_.notify_one();
    }
    // Waits until nothing published is still being written, so the text may
    // move.
    void Drain() {
        std::unique_lock lock(mutex_);
        drained_.wait(lock, [this] { return written_ == ready_ || error_ != 0; });
    }
    // Ends the writing once the text is whole; false, with the write's errno
    // set in this thread, when it failed.
    bool Finish(const std::string* whole) {
        if (!thread_.joinable()) return error_ == 0;
        {
            std::lock_guard lock(mutex_);
            if (whole) {
                base_ = whole->data();
                ready_ = whole->size();
            }
            done_ = true;
        }
        wake_.notify_one();
        thread_.join();
        if (error_ != 0) errno = error_;
        return error_ == 0;
    }

private:
    void Run();

    const int fd_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable drained_;
    const char* base_;
    std::size_t ready_;
    std::size_t written_ = 0;
    bool done_ = false;
    int error_ = 0;
    std::thread thread_;
};

}  // namespace tarnwatch
