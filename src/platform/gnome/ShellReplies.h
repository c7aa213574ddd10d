#pragma once

#include "platform/Desktop.h"

#include <QDBusMessage>
#include <QPoint>
#include <optional>

// Reading the extension's answers (see data/gnome-shell/…/com.vistel.Desktop1.xml).
// Anything that is not a reply of the expected shape — an error, another
// signature, a frame without area, a scale that is no scale — reads as none:
// a Shell that answers nonsense costs a preview, never a wrong one.
namespace platform::ShellReplies {

struct PointerState {
    QPoint at;        // global points
    quint32 mask = 0; // Clutter modifier mask
};

std::optional<PointerState> pointer(const QDBusMessage& reply);
// None also when the Shell found no window there.
std::optional<WindowInfo> window(const QDBusMessage& reply);
// The primary monitor first; none unless every entry is sound.
std::optional<QList<ScreenArea>> monitors(const QDBusMessage& reply);

} // namespace platform::ShellReplies
