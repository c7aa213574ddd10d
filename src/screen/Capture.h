#pragma once

#include "platform/ScreenCapture.h"

#include <QImage>
#include <QList>
#include <QPointF>
#include <QRectF>
#include <memory>
#include <optional>

// Taking the strip around the pointer: its geometry, the time limit every
// capture runs under, the count of captures that never answered, and keeping
// this program's own windows out of what is read.
namespace ScreenTextReader {

inline constexpr double kStripWidth = 2400.0;
inline constexpr double kStripHeight = 76.0;
// A capture (or permission check) that has not answered by then is abandoned.
inline constexpr double kCaptureTimeLimit = 2.0;
// A window of ours hidden this recently may still be on the captured pixels
// (the X server repaints after the unmap), so it is still painted over.
inline constexpr double kOwnWindowAfterglow = 1.0;

// 2400 x 76 points centred on the pointer, moved right or left to lie on the
// monitor holding the pointer (pinned to its left edge on a narrower one).
// The height is never clamped: the capture trims the strip to the monitor.
QRectF strip(QPointF pointer, const QList<platform::Monitor>& monitors);

// The backend's capture of the strip under the time limit. None on failure or
// time-out. A time-out adds one to the stall count; any answer in time resets
// it. This program's own windows are painted over with their surroundings.
std::optional<platform::Capture> capture(const std::shared_ptr<platform::ScreenCapture>& backend,
                                         QRectF strip, double seconds = kCaptureTimeLimit);

// Whether the screen can be read; false also when the check hangs for 2 s.
// X11 has nothing to ask the user: the answer is the backend's canCapture().
bool ensurePermission(const std::shared_ptr<platform::ScreenCapture>& backend);

// Captures in a row that timed out (lock-guarded).
qint64 stalls();

// This program's visible windows in global points (the pointer's space).
// The preview card calls setOwnWindows({frame}) when it is shown or moved and
// setOwnWindows({}) when it is hidden; a capture paints these rectangles (and
// those hidden in the last second) over with the colour around them before
// anything reads it, so the card's caption is never read back as text: an X11
// root capture cannot leave a window out. Safe from any thread.
void setOwnWindows(const QList<QRectF>& frames);
QList<QRectF> ownWindows();

// Paints the parts of the rectangles that fall on the image (which shows the
// strip) with the image's background: its commonest colour outside them.
void paintOver(QImage& image, QRectF strip, const QList<QRectF>& rectangles);

} // namespace ScreenTextReader
