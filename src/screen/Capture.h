#pragma once

#include "platform/ScreenCapture.h"

#include <QImage>
#include <QList>
#include <QPointF>
#include <QRectF>
#include <chrono>
#include <memory>
#include <optional>

// Taking the strip around the pointer: its geometry, the deadline every
// capture runs under, the count of captures that never answered.
namespace ScreenTextReader {

inline constexpr double kStripWidth = 2400.0;
inline constexpr double kStripHeight = 76.0;
// A capture (or permission check) that has not answered by then is abandoned.
inline constexpr std::chrono::milliseconds kCaptureTimeLimit{2000};
// 2400 x 76 points centred on the pointer, moved right or left to lie on the
// monitor holding the pointer (pinned to its left edge on a narrower one).
// The height is never clamped: the capture trims the strip to the monitor.
// Both sides grow with the monitor's text scale, so a strip holds as many
// rows and characters of large text as of ordinary text.
QRectF strip(QPointF pointer, const QList<platform::Monitor>& monitors);

// The backend's capture of the strip, on the calling thread, with a deadline
// the time limit from now. None on failure or time-out. A time-out (no answer
// and the deadline passed) adds one to the stall count; any answer in time
// resets it. This program's own windows are painted over with their surroundings.
std::optional<platform::Capture> capture(const std::shared_ptr<platform::ScreenCapture>& backend,
                                         QRectF strip, std::chrono::milliseconds limit = kCaptureTimeLimit);

// Whether the screen can be read; false also when the check hangs for 2 s.
// X11 has nothing to ask the user: the answer is the backend's canCapture().
bool ensurePermission(const std::shared_ptr<platform::ScreenCapture>& backend);

// Captures in a row that timed out (lock-guarded).
qint64 stalls();

} // namespace ScreenTextReader
