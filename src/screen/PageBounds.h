#pragma once

#include <QImage>
#include <QPoint>

// The captured strip reaches past the window under the pointer: the desktop
// beside it, a title bar above, another window. Those bands are not text the
// user points at, and a wide block of another colour beside the text makes
// the recogniser drop or garble the line next to it. So the strip is read as
// the window's page only: from the pointer outwards, the first run of columns
// (or rows) that hold almost none of the page's own background colour ends
// the page, and everything beyond it is painted in that colour.
namespace ScreenTextReader {

// The image with everything beyond the page round the pointer (in image
// pixels) painted in the page's background colour; the image itself when the
// page fills it or the pointer lies outside it.
QImage pageAround(const QImage& image, QPoint pointer);

} // namespace ScreenTextReader
