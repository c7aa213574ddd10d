#pragma once

#include <QImage>
#include <QList>
#include <QPointF>
#include <QRectF>
#include <chrono>
#include <cmath>
#include <optional>

// Reading the screen's pixels: the seam between the screen reader and the
// window system.
//
// Rectangles are global points: origin at the top left of the primary monitor,
// y downwards (the pointer's space, see Desktop.h). A monitor left of or above
// the primary one therefore has negative coordinates.
//
// Captures run on the screen reader's worker thread, never on the GUI thread;
// an implementation must be safe to call from any one thread at a time and
// must not share a connection with the GUI thread. Every call takes a
// deadline and returns by it, answering none (or false, or no monitors) when
// the window system has not answered in time: a display that stops
// answering then costs the worker one deadline, never a thread. The stall
// count and hiding this program's own windows are done above this seam, in
// screen/Capture.h, so every backend gets them alike.
namespace platform {

using Deadline = std::chrono::steady_clock::time_point;

struct Monitor {
    QRectF frame; // global points
    double pixelsPerPoint = 1.0;
    // How many times larger than at 96 dpi the desktop draws text here (2 for
    // Xft.dpi 192): the screen reader sizes its strip and reads its rows in
    // units of that text, so large text is read like ordinary text.
    double textScale = 1.0;
    bool operator==(const Monitor&) const = default;
};

struct Capture {
    QImage image; // device pixels
    QRectF strip; // the global points that the image shows; image width / strip width = pixels per point
};

// Smallest part of a strip worth capturing, in points.
inline constexpr double kLeastCaptureWidth = 40.0;
inline constexpr double kLeastCaptureHeight = 8.0;

// The monitor holding the point (frames are half-open: a point on the right
// or bottom edge belongs to the neighbour), or none.
inline std::optional<Monitor> monitorAt(QPointF point, const QList<Monitor>& monitors) {
    for (const Monitor& m : monitors) {
        const QRectF& f = m.frame;
        if (point.x() >= f.left() && point.x() < f.right() && point.y() >= f.top() && point.y() < f.bottom())
            return m;
    }
    return std::nullopt;
}

// The monitor, its frame widened across the monitors beside it (edge to
// edge, left or right, at the same density and text scale) whose height
// covers the rows from top to bottom: a line of text that runs on across a
// monitor edge is read whole, as the eye reads it. Monitors of another density
// are not joined: one capture has one density, and one line one text size.
inline Monitor monitorRow(const Monitor& monitor, double top, double bottom, const QList<Monitor>& monitors) {
    Monitor row = monitor;
    for (bool widened = true; widened;) {
        widened = false;
        for (const Monitor& other : monitors) {
            const QRectF& f = other.frame;
            if (other.pixelsPerPoint != monitor.pixelsPerPoint || other.textScale != monitor.textScale ||
                f.top() > top || f.bottom() < bottom)
                continue;
            if (std::abs(f.left() - row.frame.right()) < 0.5 && f.right() > row.frame.right()) {
                row.frame.setRight(f.right());
                widened = true;
            } else if (std::abs(f.right() - row.frame.left()) < 0.5 && f.left() < row.frame.left()) {
                row.frame.setLeft(f.left());
                widened = true;
            }
        }
    }
    return row;
}

// The part of the strip to capture: the strip trimmed to the monitor holding
// its centre (the first monitor when none does), widened by monitorRow over
// the strip's rows on it, or none when that part is narrower than 40 or
// lower than 8 points.
inline std::optional<std::pair<QRectF, Monitor>> captureRegion(QRectF strip, const QList<Monitor>& monitors) {
    if (monitors.isEmpty() || !strip.isValid()) return std::nullopt;
    const Monitor on = monitorAt(strip.center(), monitors).value_or(monitors.first());
    const QRectF rows = strip.intersected(on.frame);
    const Monitor monitor = rows.isEmpty() ? on : monitorRow(on, rows.top(), rows.bottom(), monitors);
    const QRectF region = strip.intersected(monitor.frame);
    if (region.width() < kLeastCaptureWidth || region.height() < kLeastCaptureHeight) return std::nullopt;
    return std::pair{region, monitor};
}

class ScreenCapture {
  public:
    virtual ~ScreenCapture() = default;

    // Whether this display's pixels can be read at all (an X11 display that
    // answers a one-pixel read; false under Wayland without X or with no display).
    virtual bool canCapture(Deadline deadline) = 0;

    // The monitors with their frames and densities; empty when unknown.
    virtual QList<Monitor> monitors(Deadline deadline) = 0;

    // The strip trimmed by captureRegion, read at the monitor's device pixels.
    // None on any failure.
    virtual std::optional<Capture> capture(QRectF strip, Deadline deadline) = 0;
};

// Reads nothing: for machines without a display.
class NullScreenCapture final : public ScreenCapture {
  public:
    bool canCapture(Deadline) override { return false; }
    QList<Monitor> monitors(Deadline) override { return {}; }
    std::optional<Capture> capture(QRectF, Deadline) override { return std::nullopt; }
};

} // namespace platform
