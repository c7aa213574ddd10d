#pragma once

#include <QImage>
#include <QList>
#include <QRectF>
#include <QString>
#include <optional>
#include <utility>

// The values of reading text from a captured strip of the screen: tiles,
// recognised lines and their positions. Capture.h takes the strip, Tiles.h
// cuts it, Lines.h recognises it, Layout.h works out its rows, Choosing.h,
// Rejoining.h and Recognizing.h find the reference under the pointer.
//
// Coordinates are global points, y downwards. Text offsets are UTF-16 offsets
// (QString indices), the unit that reference extraction exchanges.
namespace ScreenTextReader {

// Widest piece of a strip recognised at once, in points.
inline constexpr double kTileSpanWidth = 1000.0;
// Spans covering a whole strip start this far apart (so neighbours overlap by half).
inline constexpr double kCoveringStep = 500.0;
// The recogniser reads best at about this many pixels per point.
inline constexpr double kWantedPixelsPerPoint = 2.5;
// An enlarged tile is never wider than this, in pixels.
inline constexpr int kWidestTilePixels = 2200;
// A tile edge more than this inside the captured strip counts as clipped.
inline constexpr double kClipTolerance = 1.0;

// One piece of a capture, ready for recognition.
struct Tile {
    QImage image;              // cropped and possibly enlarged
    QRectF strip;              // the global points that image shows
    bool clippedLeft = false;  // starts more than 1 point right of the captured strip's left edge
    bool clippedRight = false; // ends more than 1 point left of the captured strip's right edge
};

// A word of a line: offsets into Line::searchable, end exclusive.
struct Word {
    qsizetype from = 0;
    qsizetype to = 0;
    QString text;
    bool operator==(const Word&) const = default;
};

// One recognised line.
struct Line {
    QString text;       // as read
    QString searchable; // text with period look-alikes repaired; same length as text
    // The recogniser's box for each UTF-16 unit of text, normalised to the
    // tile (see platform::Observation); what span(from:to:) measures with.
    // Tests build lines by hand with boxes of their own.
    QList<QRectF> characterBoxes;
    Tile tile;
    double minX = 0, maxX = 0, minY = 0, maxY = 0;

    double middle() const { return (minY + maxY) / 2; }
    double height() const { return maxY - minY; }

    // The first (true) or last (false) word of searchable; none when the line
    // is empty or all whitespace.
    std::optional<Word> word(bool first) const;

    // Where the characters from..to (end exclusive) lie on the screen, as
    // (minX, maxX): widened to whole words, measured on their box, and
    // interpolated evenly inside it. None for a bad range or no box.
    std::optional<std::pair<double, double>> span(qsizetype from, qsizetype to) const;
};

// The lines recognised in one tile, in the recogniser's order.
struct Read {
    Tile tile;
    QList<Line> lines;
};

// A recognised string with its edges, for the probe.
struct RecognizedString {
    QString text;
    double minX = 0, maxX = 0, minY = 0, maxY = 0;
};

} // namespace ScreenTextReader
