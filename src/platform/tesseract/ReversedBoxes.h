#pragma once

#include <QImage>

// Reverse video on a page already turned dark on light: a terminal's block
// cursor, and the selection in most terminals and editors, paint a box in the
// text's colour with the characters under it in the background's. The engine
// reads such a box as no text at all and, next to a path, often drops the
// whole line with it (a cursor block after a URL lost the URL).
namespace platform::tesseract_page {

// Turns each reversed box of an 8-bit grey page (a solid dark rectangle,
// character-cell tall and narrow, or a run of cells wide and low) back over:
// the box becomes paper and the characters inside it ink. Glyphs that are
// solid rectangles themselves (a bold "l", a hyphen, a square full stop) are
// too thin, too low or too square to be taken for one. A cell that is only
// outlined (the cursor of a terminal without the focus), read as "| |", is
// wiped, and the character inside it kept.
void turnBackReversedBoxes(QImage& page);

} // namespace platform::tesseract_page
