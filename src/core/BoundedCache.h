#pragma once

#include <QHash>
#include <QtGlobal>
#include <chrono>
#include <mutex>
#include <optional>

// A process-wide cache shared between threads: one lock, held only while
// entries are copied in or out (never while the caller computes, reads the
// disk or waits). Each entry is stamped with the time it was stored and the
// reader judges its freshness. The cache is bounded without bookkeeping for
// eviction order: a store that finds it holding `bound` entries empties it
// completely first.
//
// Clock is a steady clock by default; tests substitute one they can move.
template <typename Key, typename Value, typename Clock = std::chrono::steady_clock>
class BoundedCache {
  public:
    struct Entry {
        Value value;
        typename Clock::time_point stamp;
        quint64 serial = 0; // tells the entry read apart from a later store under the same key

        // Seconds since the entry was stored.
        double age() const { return std::chrono::duration<double>(Clock::now() - stamp).count(); }
    };

    explicit BoundedCache(qsizetype bound) : bound_(bound) {}

    // The entry under key, whatever its age.
    std::optional<Entry> entry(const Key& key) const {
        std::lock_guard guard(lock_);
        const auto it = entries_.constFind(key);
        if (it == entries_.cend()) return std::nullopt;
        return *it;
    }

    // The value under key, whatever its age.
    std::optional<Value> value(const Key& key) const {
        std::optional<Entry> found = entry(key);
        if (!found) return std::nullopt;
        return std::move(found->value);
    }

    // The value under key if it was stored less than freshFor seconds ago. A
    // stale entry stays until it is overwritten or the cache is emptied.
    std::optional<Value> value(const Key& key, double freshFor) const {
        std::optional<Entry> found = entry(key);
        if (!found || found->age() >= freshFor) return std::nullopt;
        return std::move(found->value);
    }

    bool contains(const Key& key) const {
        std::lock_guard guard(lock_);
        return entries_.contains(key);
    }

    void store(const Key& key, Value value) {
        const typename Clock::time_point now = Clock::now();
        std::lock_guard guard(lock_);
        if (entries_.size() >= bound_) entries_.clear();
        entries_.insert(key, Entry{std::move(value), now, ++serial_});
    }

    // Drops the entry only if nobody stored under its key since it was read, so
    // a reader that judged an entry stale or gone cannot remove a newer answer.
    void removeIfUnchanged(const Key& key, const Entry& seen) {
        std::lock_guard guard(lock_);
        const auto it = entries_.find(key);
        if (it != entries_.end() && it->serial == seen.serial) entries_.erase(it);
    }

    qsizetype size() const {
        std::lock_guard guard(lock_);
        return entries_.size();
    }

    void clear() {
        std::lock_guard guard(lock_);
        entries_.clear();
    }

  private:
    const qsizetype bound_;
    mutable std::mutex lock_;
    QHash<Key, Entry> entries_;
    quint64 serial_ = 0;
};
