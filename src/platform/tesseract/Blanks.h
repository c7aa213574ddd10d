#pragma once

#include <QImage>
#include <QList>
#include <QRectF>
#include <QString>
#include <optional>

namespace platform::tesseract_lines {

// One line as the engine gave it, in pixels of the page it was shown.
struct RawLine {
    QString text;
    QList<QRectF> boxes;   // per UTF-16 unit; null for blanks
    QRectF box;            // the line's ink
    double baseline = 0;   // y of the baseline at the line's start
    double confidence = 0; // the engine's mean word confidence, 0..100
};

// The English model gets blanks wrong in two ways that break paths: it reads
// an underscore between letters as a blank ("snake case" for "snake_case", or
// "snake _ case"), and it puts blanks into monospaced text where a narrow
// glyph leaves a wide gap ("vistel -e2e", "hero- frame", "2x. png").

// Drops blanks that are no blanks: between words whose glyphs sit on an even
// pitch (a monospaced font), a real blank takes a whole cell, so the glyphs
// either side of it are two pitches apart; a blank between glyphs closer than
// that was read into a narrow glyph's margin; where the engine's boxes say
// otherwise, the ink on the page decides (page: dark text on light; a null
// page leaves it to the boxes). Proportional text is left alone.
// pagePitch, the pitch of the page's other rows, judges a row too short to
// measure its own.
void dropSpuriousBlanks(const QImage& page, RawLine& line, std::optional<double> pagePitch = std::nullopt);

// The even pitch of the lines' glyphs, in pixels; none when they are too few
// or proportional.
std::optional<double> monospacedPitch(const QList<RawLine>& lines);

// Puts back the underscores whose stroke is plainly there on the page: a thin,
// free-standing ink run below the baseline, about one character wide, where
// the blank is. page: dark text on light.
void restoreUnderscores(const QImage& page, RawLine& line);

} // namespace platform::tesseract_lines
