// The list writer's thread.
#include "engine/ListWriter.h"

namespace tarnwatch {

ListWriter::ListWriter() : thread_([this] { Run(); }) {}

ListWriter::~ListWriter() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

void ListWriter::Submit(EntryCollection entries, ListFilePaths paths) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        pending_ = Job{std::move(entries), std::move(paths)};
    }
    wake_.notify_all();
}

void ListWriter::Flush() {
    std::unique_lock<std::mutex> lock(mutex_);
    done_.wait(lock, [this] { return !pending_ && !writing_; });
}

bool ListWriter::Idle() {
    std::lock_guard<std::mutex> lock(mutex_);
    return !pending_ && !writing_;
}

std::vector<std::string> ListWriter::TakeFailures() {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::string> out;
    out.swap(failures_);
    return out;
}

void ListWriter::Run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return pending_ || stopping_; });
        if (!pending_) return;  // stopping, and everything is written
        Job job = std::move(*pending_);
        pending_.reset();
        writing_ = true;
        lock.unlock();
        std::string reason;
        const bool failed = SaveListFile(job.entries, job.paths, &reason) == SaveResult::kFailed;
        lock.lock();
        writing_ = false;
        if (failed) failures_.push_back(SaveFailureMessage(job.paths.listFile, reason));
        done_.notify_all();
    }
}

}  // namespace tarnwatch
