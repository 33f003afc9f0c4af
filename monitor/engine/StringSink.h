// A text made of many short pieces, gathered in a small buffer and appended a
// chunk at a time; optionally handed to a BackgroundFileWriter as it grows.
#pragma once

#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>

#include "engine/BackgroundFileWriter.h"

namespace tarnwatch {

// The text being made. Lines are put together in a small buffer that stays
// in the cache and go to the string a chunk at a time: most of a long text
// is many short pieces. With a writer, the finished text goes to it every
// `kPublishEvery` bytes.
class StringSink {
public:
    explicit StringSink(std::string& out, BackgroundFileWriter* writer = nullptr)
        : out_(out), writer_(writer) {}
    ~StringSink() { Flush(); }
    StringSink(const StringSink&) = delete;
    StringSink& operator=(const StringSink&) = delete;
    void Put(std::string_view text) {
        if (used_ + text.size() > kChunk) {
            Flush();
            if (text.size() > kChunk) {
                Append(text.data(), text.size());
                return;
            }
        }
        std::memcpy(buf_ + used_, text.data(), text.size());
        used_ += text.size();
    }
    void Put(char c) {
        if (used_ == kChunk) Flush();
        buf_[used_++] = c;
    }
    void Flush() {
        Append(buf_, used_);
        used_ = 0;
    }
    // Makes room for `more` bytes at once, rather than as the text grows.
    void Reserve(std::size_t more) {
        if (out_.capacity() - out_.size() >= used_ + more) return;
        Flush();
        if (!writer_) {
            out_.reserve(out_.size() + more);
            return;
        }
        writer_->Drain();
        out_.reserve(out_.size() + more);
        published_ = out_.size();
        writer_->Publish(out_.data(), published_);
    }

private:
    static constexpr std::size_t kChunk = 16 * 1024;
    static constexpr std::size_t kPublishEvery = 256 * 1024;

    void Append(const char* p, std::size_t size) {
        if (!writer_) {
            out_.append(p, size);
            return;
        }
        // Bytes past the published end are the writer's only once published.
        if (out_.capacity() - out_.size() < size) writer_->Drain();
        out_.append(p, size);
        if (out_.size() - published_ >= kPublishEvery) {
            published_ = out_.size();
            writer_->Publish(out_.data(), published_);
        }
    }

    std::string& out_;
    BackgroundFileWriter* writer_;
    std::size_t published_ = 0;
    std::size_t used_ = 0;
    char buf_[kChunk];
};

}  // namespace tarnwatch
