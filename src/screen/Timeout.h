#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace ScreenTextReader {

// Runs the operation on a thread of its own and waits for it at most the
// given seconds. Returns its value, or none when the time ran out first.
//
// Exactly one answer is taken: whichever of the operation and the clock comes
// first takes the latch, and an answer arriving later is dropped. The
// operation is never cancelled (a hung read cannot be); its thread lives on
// until it returns, holding only what the operation captured, so capture
// shared ownership of what it uses. An operation that throws answers T{}.
template <class T> std::optional<T> withTimeout(double seconds, std::function<T()> operation) {
    struct Latch {
        std::mutex mutex;
        std::condition_variable answered;
        bool taken = false;
        std::optional<T> value;
    };
    auto latch = std::make_shared<Latch>();
    try {
        std::thread([latch, operation = std::move(operation)] {
            T value{};
            try {
                value = operation();
            } catch (...) {
                value = T{};
            }
            const std::lock_guard lock(latch->mutex);
            if (latch->taken) return; // too late: the caller has moved on
            latch->taken = true;
            latch->value = std::move(value);
            latch->answered.notify_all();
        }).detach();
    } catch (const std::system_error&) {
        return T{}; // no thread to be had: a failed answer, not a stall
    }
    std::unique_lock lock(latch->mutex);
    const auto limit = std::chrono::duration<double>(seconds > 0 ? seconds : 0);
    if (!latch->answered.wait_for(lock, limit, [&] { return latch->taken; })) {
        latch->taken = true;
        return std::nullopt;
    }
    return std::move(latch->value);
}

} // namespace ScreenTextReader
