#pragma once

#include <QImage>
#include <QList>
#include <QRectF>

// Keeping this program's own windows out of what is read.
namespace ScreenTextReader {

// A window of ours hidden this recently may still be on the captured pixels
// (the X server repaints after the unmap), so it is still painted over.
inline constexpr double kOwnWindowAfterglow = 1.0;

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
