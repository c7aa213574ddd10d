#pragma once

#include "core/OncePerChange.h"
#include "platform/AccessibilityReader.h"
#include "platform/Desktop.h"

#include <QElapsedTimer>
#include <QPoint>
#include <QSet>
#include <memory>

namespace atspi {
class Applications;
class Session;
} // namespace atspi

// Accessibility on Linux: AT-SPI 2 through libatspi.
//
// The element under the pointer is found from the X11 window there: the
// application registered by that window's process, then its top-level
// accessible under the pointer, then down through "accessible at point" to the
// deepest one. The lookup itself (AccessibilityLookup) reads that element and
// its ancestors. Every call is bounded in time (AtspiSession); a process slow
// to answer is skipped for a while and the screen is read instead.
//
// The desktop must outlive the reader. Main thread only.
class AtspiAccessibilityReader final : public AccessibilityReader {
  public:
    explicit AtspiAccessibilityReader(platform::Desktop& desktop);
    ~AtspiAccessibilityReader() override;

    // Switches the session's accessibility on (once) and connects to its bus.
    void requestAccess() override;
    std::shared_ptr<AccessibilityElement> elementAt(QPointF point) override;
    // Accessibility is switched on for the whole session, once; the process is remembered.
    void wakeAccessibility(const AccessibilityElement& element) override;
    std::optional<WindowContext> windowContext(const AccessibilityElement& element) override;
    AccessibilityLookup::Findings findingsAt(const AccessibilityElement& element, QPointF at) override;

    // The processes that publish an application on the accessibility bus;
    // none when the bus cannot be reached.
    std::optional<QSet<qint32>> publishingProcesses();

    // Whether the process is being skipped for answering too slowly.
    bool skipping(qint32 pid) const;
    // The processes asked to publish their accessibility so far.
    const QSet<qint32>& wokenProcesses() const { return woken_; }

  private:
    std::shared_ptr<AccessibilityElement> find(QPointF point);
    QPoint rootOrigin();
    void switchOn();

    platform::Desktop& desktop_;
    std::shared_ptr<atspi::Session> session_;
    std::unique_ptr<atspi::Applications> applications_;
    QSet<qint32> woken_;
    bool switchedOn_ = false;
    QPoint origin_;
    QElapsedTimer originAge_;
    OncePerChange said_;
};
