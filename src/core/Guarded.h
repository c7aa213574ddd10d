#pragma once

#include <mutex>
#include <utility>

// A value shared between threads, copied in and out under its own lock (the
// lock is never held while the caller works with the copy).
template <typename T>
class Guarded {
  public:
    Guarded() = default;
    explicit Guarded(T initial) : value_(std::move(initial)) {}

    T value() const {
        std::lock_guard guard(lock_);
        return value_;
    }
    void set(T value) {
        std::lock_guard guard(lock_);
        value_ = std::move(value);
    }

  private:
    mutable std::mutex lock_;
    T value_{};
};
