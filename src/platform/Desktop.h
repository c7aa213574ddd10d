#pragma once

#include <QList>
#include <QPointF>
#include <QRectF>
#include <QString>
#include <QtGlobal>

#include <functional>
#include <memory>
#include <optional>

// The desktop as the hover loop sees it: where the pointer is, which modifier
// keys are down, which application window lies under the pointer, the screens,
// and whether the two permissions the agent needs are there.
//
// Coordinates are global points with the origin at the top left of the primary
// screen and y growing downwards. Modifier state is a word of HoverModifiers
// flag bits (core/HoverModifier.h), whatever the window system reports.
namespace platform {

struct WindowInfo {
    qint32 pid = 0;      // owning process (_NET_WM_PID), 0 when unknown
    QString title;       // _NET_WM_NAME, else WM_NAME; empty when none
    QString className;   // WM_CLASS class part; empty when none
    QString instanceName; // WM_CLASS instance part
    QRectF frame;        // the top-level window, global points
};

struct ScreenArea {
    QRectF frame;   // the monitor, global points
    QRectF usable;  // without panels and docks (_NET_WORKAREA clipped to the monitor)
    double pixelsPerPoint = 1.0;
};

class Desktop {
public:
    virtual ~Desktop() = default;

    virtual QPointF pointer() = 0;
    virtual quint64 modifierFlags() = 0;

    // The top-level application window under the point, ignoring this program's own windows.
    virtual std::optional<WindowInfo> windowAt(QPointF point) = 0;

    virtual QList<ScreenArea> screens() = 0;

    // The application windows on the desktop (the window manager's clients, or
    // without one the shown top-level windows), this program's own left out.
    // For diagnostics: one request per window.
    virtual QList<WindowInfo> applicationWindows() { return {}; }

    // Where the global origin lies in the window system's own coordinates,
    // those Qt places windows in (X11 root pixels): add it to a global point
    // to move a window there. Zero unless the primary screen is off the
    // window system's origin (a monitor left of or above the primary one).
    virtual QPointF windowSystemOrigin() { return {}; }

    // Moves this program's window of the title so that its frame's top left
    // lies at the point (global points), above other windows, where only the
    // compositor may place windows (Wayland). False where the toolkit's own
    // move places it, as on X11.
    virtual bool placeWindow(const QString& title, QPointF topLeft) {
        Q_UNUSED(title);
        Q_UNUSED(topLeft);
        return false;
    }

    // Whether a compositing manager blends translucent windows. Without one,
    // transparent pixels of a window show as black, so round corners must be
    // cut out of the window's shape instead.
    virtual bool composites() { return true; }

    // The accessibility bus is reachable and enabled.
    virtual bool accessibilityEnabled() = 0;
    // This display's pixels can be read (an X11 display, not a Wayland session without X).
    virtual bool canReadScreen() = 0;

    // Calls back on the main thread whenever the set of held modifiers may have changed.
    // Returns false when the display offers no such events (the tick alone then notices).
    virtual bool watchModifiers(std::function<void(quint64 flags)> changed) = 0;
};

// The X11 desktop when a display can be opened, else the null desktop.
std::unique_ptr<Desktop> openDesktop();

// A desktop with no pointer, no windows, no screens and no permissions (tests,
// and machines without a display).
std::unique_ptr<Desktop> nullDesktop();

} // namespace platform
