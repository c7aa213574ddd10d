#pragma once

#include "app/AccessibilityReader.h"
#include "app/ScreenReader.h"
#include "core/ProcessRoots.h"
#include "platform/Desktop.h"

#include <QHash>
#include <QList>
#include <QPointF>
#include <QRectF>
#include <QString>
#include <QUrl>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

// Stand-ins for what the controller works with, each steered through a state
// the test keeps while the controller owns the object.

struct DesktopState {
    QPointF pointer;
    quint64 flags = 0;
    std::optional<platform::WindowInfo> window;
    QList<platform::ScreenArea> screens;
    QPointF origin; // of global points in window system coordinates
    bool canRead = true;
    std::function<void(quint64)> watcher;
};

class FakeDesktop final : public platform::Desktop {
  public:
    explicit FakeDesktop(std::shared_ptr<DesktopState> state) : state_(std::move(state)) {}
    QPointF pointer() override { return state_->pointer; }
    quint64 modifierFlags() override { return state_->flags; }
    std::optional<platform::WindowInfo> windowAt(QPointF) override { return state_->window; }
    QList<platform::ScreenArea> screens() override { return state_->screens; }
    QPointF windowSystemOrigin() override { return state_->origin; }
    bool accessibilityEnabled() override { return true; }
    bool canReadScreen() override { return state_->canRead; }
    bool watchModifiers(std::function<void(quint64)> changed) override {
        state_->watcher = std::move(changed);
        return true;
    }

  private:
    std::shared_ptr<DesktopState> state_;
};

class FakeElement final : public AccessibilityElement {
  public:
    FakeElement(std::optional<qint32> pid, std::optional<QString> role) : pid_(pid), role_(std::move(role)) {}
    std::optional<qint32> processId() const override { return pid_; }
    std::optional<QString> role() const override { return role_; }

  private:
    std::optional<qint32> pid_;
    std::optional<QString> role_;
};

struct AccessibilityState {
    std::shared_ptr<FakeElement> element;
    std::optional<QUrl> url;
    std::optional<WindowContext> context;
    std::function<void()> duringLookup; // e.g. to let the fake clock run
    int lookups = 0;
    int wakes = 0;
    bool accessRequested = false;
};

class FakeAccessibility final : public AccessibilityReader {
  public:
    explicit FakeAccessibility(std::shared_ptr<AccessibilityState> state) : state_(std::move(state)) {}
    void requestAccess() override { state_->accessRequested = true; }
    std::shared_ptr<AccessibilityElement> elementAt(QPointF) override { return state_->element; }
    void wakeAccessibility(const AccessibilityElement&) override { ++state_->wakes; }
    std::optional<WindowContext> windowContext(const AccessibilityElement&) override {
        return state_->context;
    }
    std::optional<QUrl> imageURL(const AccessibilityElement&, QPointF, const QUrl&) override {
        ++state_->lookups;
        if (state_->duringLookup) state_->duringLookup();
        return state_->url;
    }

  private:
    std::shared_ptr<AccessibilityState> state_;
};

// A screen reader whose readings wait until the test answers for their point
// (readings run on worker threads; everything here is lock-guarded).
class FakeScreen final : public ScreenReader {
  public:
    ~FakeScreen() override { close(); }

    void prime() override { primed_ = true; }
    bool ensurePermission() override { return permission_; }
    qint64 stalls() override { return stalls_; }
    void setOwnWindows(const QList<QRectF>& frames) override {
        const std::lock_guard lock(mutex_);
        ownWindows_.append(frames);
    }

    std::optional<QUrl> imageReference(QPointF at, const QUrl&, bool) override {
        std::unique_lock lock(mutex_);
        readings_.append(at);
        changed_.notify_all();
        const QString key = keyOf(at);
        changed_.wait(lock, [&] { return closed_ || answers_.contains(key); });
        if (!answers_.contains(key)) return std::nullopt;
        return answers_.take(key);
    }

    void answer(QPointF at, std::optional<QUrl> url) {
        const std::lock_guard lock(mutex_);
        answers_.insert(keyOf(at), url);
        changed_.notify_all();
    }
    // Lets every waiting and later reading return nothing.
    void close() {
        const std::lock_guard lock(mutex_);
        closed_ = true;
        changed_.notify_all();
    }

    QList<QPointF> readings() {
        const std::lock_guard lock(mutex_);
        return readings_;
    }
    QList<QList<QRectF>> ownWindows() {
        const std::lock_guard lock(mutex_);
        return ownWindows_;
    }

    std::atomic<bool> primed_ = false;
    std::atomic<bool> permission_ = false;
    std::atomic<qint64> stalls_ = 0;

  private:
    static QString keyOf(QPointF p) { return QStringLiteral("%1,%2").arg(p.x()).arg(p.y()); }

    std::mutex mutex_;
    std::condition_variable changed_;
    bool closed_ = false;
    QHash<QString, std::optional<QUrl>> answers_;
    QList<QPointF> readings_;
    QList<QList<QRectF>> ownWindows_;
};

struct ProcessesState {
    ProcessRoots::ProcessTable table;
    QHash<qint32, QString> directories;
    std::atomic<int> tableReads = 0;
};

class FakeProcesses final : public ProcessRoots::Source {
  public:
    explicit FakeProcesses(std::shared_ptr<ProcessesState> state) : state_(std::move(state)) {}
    ProcessRoots::ProcessTable processTable() const override {
        ++state_->tableReads;
        return state_->table;
    }
    QString workingDirectory(qint32 pid) const override { return state_->directories.value(pid); }

  private:
    std::shared_ptr<ProcessesState> state_;
};
