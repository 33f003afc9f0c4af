// The contiguous record array handed out by the process-list probes. It is
// allocated from the C heap inside the library and must come back to the
// family's free function, which releases it with ReleaseTaskArray.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace qg_probes {

template <typename Record>
class TaskArray {
public:
    TaskArray() = default;
    ~TaskArray() { std::free(data_); }
    TaskArray(const TaskArray&) = delete;
    TaskArray& operator=(const TaskArray&) = delete;

    // A zeroed record at the end; null when memory runs out.
    Record* Append() {
        if (size_ == capacity_ && !Grow()) return nullptr;
        Record* r = data_ + size_++;
        std::memset(static_cast<void*>(r), 0, sizeof *r);
        return r;
    }

    // Gives up the last record appended (it could not be filled).
    void DropLast() {
        if (size_ > 0) --size_;
    }

    // Hands the array to the caller; null with count 0 when empty.
    Record* Release(std::uint32_t* count) {
        if (size_ == 0) {
            *count = 0;
            return nullptr;
        }
        *count = size_;
        Record* out = data_;
        data_ = nullptr;
        size_ = capacity_ = 0;
        return out;
    }

private:
    bool Grow() {
        constexpr std::uint32_t kFirst = 256;
        constexpr std::uint32_t kMax = 0x7FFFFFFFu / sizeof(Record);
        if (capacity_ >= kMax) return false;
        std::uint32_t next = capacity_ == 0 ? kFirst : capacity_ * 2;
        if (next > kMax) next = kMax;
        void* grown = std::realloc(data_, static_cast<std::size_t>(next) * sizeof(Record));
        if (grown == nullptr) return false;
        data_ = static_cast<Record*>(grown);
        capacity_ = next;
        return true;
    }

    Record* data_ = nullptr;
    std::uint32_t size_ = 0;
    std::uint32_t capacity_ = 0;
};

inline void ReleaseTaskArray(void* list) {
    std::free(list);
}

}  // namespace qg_probes
