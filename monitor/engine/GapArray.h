// An array with one gap in its storage. Indexing costs one comparison more
// than a vector's; in exchange, taking out the element at i and putting it
// back at (or a few places before) the end costs time in proportion to how
// far i lies from where the gap was left, not to the length of the array.
// A test pass moves failed rows to the end one after the other from a row
// that only ever advances, so each move costs O(1) on average.
#pragma once

#include <algorithm>
#include <cstddef>
#include <iterator>
#include <stdexcept>
#include <utility>
#include <vector>

namespace tarnwatch {

template <typename T>
class GapArray {
public:
    template <typename A, typename V>
    class Iter {
    public:
        using iterator_category = std::random_access_iterator_tag;
        using value_type = T;
        using difference_type = std::ptrdiff_t;
        using pointer = V*;
        using reference = V&;
        Iter() = default;
        Iter(A* array, std::size_t i) : a_(array), i_(static_cast<std::ptrdiff_t>(i)) {}
        V& operator*() const { return (*a_)[static_cast<std::size_t>(i_)]; }
        V* operator->() const { return &**this; }
        V& operator[](std::ptrdiff_t n) const { return *(*this + n); }
        Iter& operator++() { return ++i_, *this; }
        Iter operator++(int) { return Iter(a_, static_cast<std::size_t>(i_++)); }
        Iter& operator--() { return --i_, *this; }
        Iter operator--(int) { return Iter(a_, static_cast<std::size_t>(i_--)); }
        Iter& operator+=(std::ptrdiff_t n) { return i_ += n, *this; }
        Iter& operator-=(std::ptrdiff_t n) { return i_ -= n, *this; }
        friend Iter operator+(Iter it, std::ptrdiff_t n) { return it += n; }
        friend Iter operator+(std::ptrdiff_t n, Iter it) { return it += n; }
        friend Iter operator-(Iter it, std::ptrdiff_t n) { return it -= n; }
        friend std::ptrdiff_t operator-(const Iter& x, const Iter& y) { return x.i_ - y.i_; }
        friend bool operator==(const Iter& x, const Iter& y) { return x.i_ == y.i_; }
        friend auto operator<=>(const Iter& x, const Iter& y) { return x.i_ <=> y.i_; }

    private:
        A* a_ = nullptr;
        std::ptrdiff_t i_ = 0;
    };
    using value_type = T;
    using size_type = std::size_t;
    using iterator = Iter<GapArray, T>;
    using const_iterator = Iter<const GapArray, const T>;

    GapArray() = default;
    explicit GapArray(std::size_t n) : buf_(n) {}

    std::size_t size() const { return buf_.size() - GapLength(); }
    bool empty() const { return size() == 0; }
    T& operator[](std::size_t i) { return buf_[Physical(i)]; }
    const T& operator[](std::size_t i) const { return buf_[Physical(i)]; }
    T& at(std::size_t i) { return i < size() ? (*this)[i] : throw std::out_of_range("GapArray"); }
    const T& at(std::size_t i) const {
        return i < size() ? (*this)[i] : throw std::out_of_range("GapArray");
    }
    iterator begin() { return iterator(this, 0); }
    iterator end() { return iterator(this, size()); }
    const_iterator begin() const { return const_iterator(this, 0); }
    const_iterator end() const { return const_iterator(this, size()); }

    operator std::vector<T>() const { return std::vector<T>(begin(), end()); }

    void clear() {
        buf_.clear();
        gapBegin_ = gapEnd_ = 0;
    }
    void reserve(std::size_t n) { buf_.reserve(n + GapLength()); }
    void push_back(T value) { buf_.push_back(std::move(value)); }
    void resize(std::size_t n, const T& value = T()) {
        Close();
        buf_.resize(n, value);
    }
    void swap(GapArray& other) noexcept {
        buf_.swap(other.buf_);
        std::swap(gapBegin_, other.gapBegin_);
        std::swap(gapEnd_, other.gapEnd_);
    }

    // The element at `first` moves to `last - 1`; those in between move up
    // by one. Nothing happens unless first < last <= size().
    void Rotate(std::size_t first, std::size_t last) {
        if (first >= last || last > size()) return;
        const std::size_t tail = size() - last;  // elements that stay behind
        MoveGapTo(first);
        T taken = std::move(buf_[gapEnd_]);
        ++gapEnd_;
        buf_.push_back(std::move(taken));
        std::rotate(buf_.end() - static_cast<std::ptrdiff_t>(tail) - 1, buf_.end() - 1, buf_.end());
        // The gap is never longer than what it lies in, so the storage is
        // at most twice the elements; closing it costs one move of each.
        if (GapLength() > size() + 16) Close();
    }

private:
    std::size_t GapLength() const { return gapEnd_ - gapBegin_; }
    std::size_t Physical(std::size_t i) const { return i < gapBegin_ ? i : i + GapLength(); }

    void MoveGapTo(std::size_t i) {
        if (GapLength() == 0) {
            gapBegin_ = gapEnd_ = i;  // nothing to move (and no element onto itself)
            return;
        }
        const auto b = buf_.begin();
        const auto gb = static_cast<std::ptrdiff_t>(gapBegin_);
        const auto ge = static_cast<std::ptrdiff_t>(gapEnd_);
        const auto to = static_cast<std::ptrdiff_t>(i);
        if (to < gb) {
            std::move_backward(b + to, b + gb, b + ge);
        } else if (to > gb) {
            std::move(b + ge, b + ge + (to - gb), b + gb);
        }
        gapEnd_ = i + GapLength();
        gapBegin_ = i;
    }
    // Takes the gap out of the storage.
    void Close() {
        MoveGapTo(size());
        buf_.erase(buf_.begin() + static_cast<std::ptrdiff_t>(gapBegin_), buf_.end());
        gapBegin_ = gapEnd_ = 0;
    }

    std::vector<T> buf_;
    std::size_t gapBegin_ = 0;
    std::size_t gapEnd_ = 0;
};

}  // namespace tarnwatch
