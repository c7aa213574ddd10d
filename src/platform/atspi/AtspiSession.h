#pragma once

#include <QElapsedTimer>
#include <QHash>
#include <QPoint>
#include <QPointF>
#include <QRectF>
#include <QtGlobal>
#include <memory>
#include <optional>
#include <type_traits>

// libatspi's headers are C with GLib; keep them out of everyone else's way.
#include <atspi/atspi.h>

// The connection to the accessibility bus and the time limits of every call
// made on it. Main thread only.
//
// A hung application must not freeze the tick: each call is bounded by
// libatspi's D-Bus timeout, each tick's conversation with one process by a
// budget, and a process that was slow once is skipped for a while (the screen
// reader gets its turn meanwhile).
namespace atspi {

// Owning pointers for what libatspi hands out.
struct ObjectUnref {
    void operator()(gpointer p) const {
        if (p) g_object_unref(p);
    }
};
template <class T> using Ref = std::unique_ptr<T, ObjectUnref>;
struct Free {
    void operator()(gpointer p) const { g_free(p); }
};
using Chars = std::unique_ptr<gchar, Free>;
using Rect = std::unique_ptr<AtspiRect, Free>;
struct HashUnref {
    void operator()(GHashTable* p) const {
        if (p) g_hash_table_unref(p);
    }
};
using Hash = std::unique_ptr<GHashTable, HashUnref>;

// Frees what a libatspi call returned: strings and rectangles, hash tables,
// and otherwise objects (accessibles and their interfaces, links, state sets).
template <class T> void release(T value) {
    if constexpr (std::is_same_v<T, gchar*> || std::is_same_v<T, AtspiRect*>) {
        g_free(value);
    } else if constexpr (std::is_same_v<T, GHashTable*>) {
        if (value) g_hash_table_unref(value);
    } else if constexpr (std::is_pointer_v<T>) {
        if (value) g_object_unref(value);
    }
}

// A new reference to the same object.
template <class T> Ref<T> share(T* object) {
    return Ref<T>(object ? static_cast<T*>(g_object_ref(object)) : nullptr);
}

// libatspi's own limit on one D-Bus call.
inline constexpr int kCallTimeoutMs = 250;
// A call that took this long means the application is struggling.
inline constexpr qint64 kSlowCallMs = 200;
// All calls to one process during one tick.
inline constexpr qint64 kTickBudgetMs = 300;
// How long a slow process is left alone.
inline constexpr qint64 kSkipMs = 10'000;
// How long to wait before trying the bus again after it could not be reached.
inline constexpr qint64 kRetryBusMs = 10'000;

class Session {
  public:
    Session();

    // Connects to the accessibility bus on first use; false while it cannot be
    // reached (tried again after a pause; for good once libatspi failed).
    bool ready();

    // Starts a tick's conversation with the process: false while it is skipped.
    bool begin(qint32 pid);
    // Goes on with the conversation begun for pid (begins one for another process).
    bool resume(qint32 pid);

    // Whether a conversation is going on (begun, and its budget not spent).
    bool isOpen() const { return open_; }

    // Whether the process is being skipped as too slow.
    bool skipping(qint32 pid) const;

    // AT-SPI's screen coordinates are root-window pixels; the desktop's global
    // points have their origin at the primary monitor's top left, which lies at
    // this root pixel.
    void setOrigin(QPoint origin) { origin_ = origin; }
    QPoint toScreen(QPointF globalPoint) const {
        return QPoint(qRound(globalPoint.x()) + origin_.x(), qRound(globalPoint.y()) + origin_.y());
    }
    QRectF fromScreen(const QRectF& rect) const { return rect.translated(-QPointF(origin_)); }

    // Runs one libatspi call, which fills the GError it is given on failure,
    // within the conversation's budget. None when the budget is spent, no
    // conversation is going on, or the call failed.
    template <class F> auto call(F&& f) -> std::optional<std::invoke_result_t<F, GError**>> {
        if (!open_) return std::nullopt;
        GError* error = nullptr;
        QElapsedTimer timer;
        timer.start();
        auto result = f(&error);
        account(timer.elapsed());
        if (error) {
            g_error_free(error);
            release(result); // libatspi hands out an empty string or object even on failure
            return std::nullopt;
        }
        return result;
    }

  private:
    void account(qint64 elapsedMs);
    void pumpEvents();

    enum class Bus { Unknown, Ready, Failed };
    Bus bus_ = Bus::Unknown;
    QElapsedTimer lastProbe_;
    bool pump_ = false; // nothing else runs GLib's main context: drain libatspi's messages ourselves

    bool open_ = false;
    qint32 pid_ = 0;
    qint64 spentMs_ = 0;
    QElapsedTimer clock_;
    QHash<qint32, qint64> skipUntil_; // pid -> clock_ time in ms
    QPoint origin_;
};

} // namespace atspi
