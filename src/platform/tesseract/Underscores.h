#pragma once

#include <QImage>
#include <QList>
#include <QRectF>
#include <QString>

namespace platform::tesseract_lines {

// One line as the engine gave it, in pixels of the page it was shown.
struct RawLine {
    QString text;
    QList<QRectF> boxes; // per UTF-16 unit; null for blanks
    QRectF box;          // the line's ink
    double baseline = 0; // y of the baseline at the line's start
};

// The English model often reads an underscore between letters as a blank
// ("snake case" for "snake_case") or as a word of its own ("snake _ case").
// Puts back the underscores whose stroke is plainly there on the page: a thin
// ink run below the baseline, about one character wide, where the blank is.
// page: dark text on light.
void restoreUnderscores(const QImage& page, RawLine& line);

} // namespace platform::tesseract_lines
