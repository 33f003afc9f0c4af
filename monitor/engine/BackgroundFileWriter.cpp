// The background writer's thread; see BackgroundFileWriter.h.
#include "engine/BackgroundFileWriter.h"

#include <fcntl.h>

#include <cerrno>

#include "engine/FileReplace.h"

namespace tarnwatch {

void BackgroundFileWriter::Run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return written_ < ready_ || done_; });
        if (written_ == ready_) return;  // done, and all written
        const char* from = base_ + written_;
        const std::size_t size = ready_ - written_;
        lock.unlock();
        const bool ok = WriteAll(fd_, from, size);
        const int error = errno;
        // Some file systems write a file out when it is renamed over
        // another; starting each part's writing now keeps that short.
        if (ok) {
            sync_file_range(fd_, static_cast<off_t>(written_), static_cast<off_t>(size),
                            SYNC_FILE_RANGE_WRITE);
        }
        lock.lock();
        written_ += size;
        if (!ok) error_ = error;
        drained_.notify_one();
        if (!ok) return;
    }
}

}  // namespace tarnwatch
