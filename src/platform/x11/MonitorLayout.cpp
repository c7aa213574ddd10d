#include "platform/x11/MonitorLayout.h"

namespace platform::x11 {

MonitorLayout monitorLayout(const QList<RootMonitor>& monitors, QSize rootSize) {
    MonitorLayout layout;
    qsizetype primary = -1;
    for (const RootMonitor& m : monitors) {
        if (m.rect.isEmpty()) continue;
        if (m.primary && primary < 0) primary = layout.monitors.size();
        layout.monitors.append(m.rect);
    }
    if (layout.monitors.isEmpty()) layout.monitors.append(QRect(QPoint(0, 0), rootSize));
    if (primary > 0) layout.monitors.move(primary, 0);
    layout.origin = layout.monitors.first().topLeft();
    return layout;
}

std::optional<QRect> workArea(const QList<long>& workAreas, std::optional<long> currentDesktop) {
    const long desktop = currentDesktop.value_or(0);
    if (desktop < 0 || (desktop + 1) * 4 > workAreas.size()) return std::nullopt;
    const qsizetype at = qsizetype(desktop) * 4;
    const long x = workAreas[at], y = workAreas[at + 1], width = workAreas[at + 2],
               height = workAreas[at + 3];
    // Values from another client: refuse what cannot be a rectangle on a screen.
    constexpr long limit = 1 << 24;
    if (width <= 0 || height <= 0 || width > limit || height > limit || qAbs(x) > limit || qAbs(y) > limit)
        return std::nullopt;
    return QRect(int(x), int(y), int(width), int(height));
}

QRect usableArea(const QRect& monitor, const std::optional<QRect>& workArea) {
    if (!workArea) return monitor;
    const QRect usable = monitor.intersected(*workArea);
    return usable.isEmpty() ? monitor : usable;
}

} // namespace platform::x11
