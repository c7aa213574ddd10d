#pragma once

#include <QList>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <optional>

// From X's monitors (root-window pixels, any origin) to the desktop's global
// points: origin at the top left of the primary monitor, one pixel per point.
// X11 has no scaled desktop of its own, and the screen capture reads pixels
// at the same scale, so pointer, windows and captures all agree.
namespace platform::x11 {

struct RootMonitor {
    QRect rect;           // root pixels
    bool primary = false; // RandR's primary flag
};

struct MonitorLayout {
    QPoint origin;         // root pixels of the global origin
    QList<QRect> monitors; // root pixels, the primary monitor first, empty ones left out
    bool operator==(const MonitorLayout&) const = default;
};

// The primary monitor first (the first one when none is marked primary); the
// root window itself when RandR lists no monitor with an area.
MonitorLayout monitorLayout(const QList<RootMonitor>& monitors, QSize rootSize);

// The work area of the current desktop from _NET_WORKAREA (x, y, width, height
// per desktop) and _NET_CURRENT_DESKTOP; none when the list holds no valid
// rectangle for that desktop.
std::optional<QRect> workArea(const QList<long>& workAreas, std::optional<long> currentDesktop);

// The usable part of a monitor: the work area clipped to the monitor, or the
// whole monitor when there is no work area or it misses this monitor (window
// managers publish one box for all monitors; on the others it means nothing).
QRect usableArea(const QRect& monitor, const std::optional<QRect>& workArea);

} // namespace platform::x11
