#pragma once

#include <QImage>
#include <QList>
#include <QRectF>
#include <QString>

// Fonts that mark their zero with a stroke inside it (Terminus, Inconsolata,
// many bitmap faces) make recognition read that zero as "8", now and then as
// "4" or "@" (a real "@" holds its bowl across the middle, where a zero is
// blank). They differ where recognition looks past: an eight pinches in at its
// waist and a four is open on the left below its bar, so in the middle of
// their height an outer column is blank somewhere; a zero's sides run
// straight down, inked on every middle row whatever its slash or dot.
// Judging the glyph's own pixels keeps this a reading, not a guess between
// digits: a real "8" or "4" stays, and a near twin of a name stays refused.
namespace ScreenTextReader {

// Whether the glyph inside box (image pixels, tight round its ink) has the
// straight, inked sides of a zero all through the middle of its height. False
// for a box too small to judge, without contrast, or outside the image.
bool hasZeroSides(const QImage& image, const QRect& box);

// The text with every "8" or "4" whose glyph hasZeroSides turned to "0", one unit for
// one. boxes: one per unit of text, normalised to the image with the origin
// at the bottom left (as platform::Observation gives them); a null box, or a
// count that does not match the text, leaves those characters as read.
QString readingSlashedZeros(const QImage& image, const QString& text, const QList<QRectF>& boxes);

// A recognised line: its text and one box per unit, as readingSlashedZeros takes them.
struct Glyphs {
    QString text;
    QList<QRectF> boxes;
};

// The same fonts' zeros that recognition loses outright, put back where the
// image shows a zero's sides. In monospaced text (the boxes sit on an even
// pitch) a zero is lost in two ways: dropped, leaving two glyphs two cells
// apart with ink between them ("v1.1..png" for "v1.1.0.png"), or split into
// two glyphs in one cell ("2548" for "250", "8@" for "0"); or read as "@" in
// a cell of its own. Only a cell whose ink has zero sides is read as a zero;
// every other line comes back as it was.
Glyphs restoringZeros(const QImage& image, Glyphs line);

} // namespace ScreenTextReader
