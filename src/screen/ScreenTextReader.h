#pragma once

#include "platform/TextRecognizer.h"

#include <QImage>
#include <QList>
#include <QRectF>
#include <QString>
#include <optional>
#include <utility>

// Reading text from a captured strip of the screen: tiles, recognised lines
// and their positions. Row geometry is in Layout.h, capturing in Capture.h.
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

// ---- Tiles (Tiles.cpp) ------------------------------------------------------

// The part of a capture (image of strip) that span shows, enlarged towards
// 2.5 pixels per point; none when the span lies outside the image or either
// rectangle has no width.
std::optional<Tile> tile(const QImage& image, QRectF strip, QRectF span);

// The image enlarged by a whole factor with smooth interpolation; factors
// below 2 give the image unchanged.
QImage magnified(const QImage& image, int factor);

// Spans of at most 1000 points, every 500 points, covering the strip.
QList<QRectF> spansCoveringStrip(QRectF strip);

// ---- Lines (Lines.cpp) ------------------------------------------------------

// Lines the engine is less sure of than this (0..100) are dropped: on noise and
// on one-coloured strips it reads garbage, all below it.
inline constexpr double kLeastConfidence = 40.0;

// The recogniser's observations, with nonsense dropped: boxes outside 0..1 or
// reversed, text and boxes of different lengths, lines below leastConfidence,
// an engine that throws.
QList<platform::Observation> observations(const platform::TextRecognizer& recognizer, const QImage& image,
                                          double leastConfidence = kLeastConfidence);

// The tile's lines in global points. A line that a clipped tile edge cuts is
// kept whatever the engine's confidence: glyphs cut in half make it unsure of
// the whole line, and such a line is often the tail of a long path that only
// this tile shows. So is a line that holds a whole image name: the engine is
// unsure of many clean ones.
QList<Line> lines(const platform::TextRecognizer& recognizer, const Tile& tile);

// lines() wrapped with its tile.
Read read(const platform::TextRecognizer& recognizer, const Tile& tile);

// The raw strings of a whole strip (every covering span), in span order.
QList<RecognizedString> recognizeStrings(const platform::TextRecognizer& recognizer, const QImage& image,
                                         QRectF strip);
// The same for one tile image and the span it shows; no look-alike repair.
QList<RecognizedString> recognizeStringsInTile(const platform::TextRecognizer& recognizer,
                                               const QImage& image, QRectF strip);

// The text without leading (trailing) Unicode whitespace.
QString trimmingLeadingWhitespace(const QString& text);
QString trimmingTrailingWhitespace(const QString& text);

// ---- Warm-up (Prime.cpp) ----------------------------------------------------

// 96 x 20 pixels, white, "a/b.png" in black DejaVu Sans Mono of 11 pixels at
// (3, 5) from the bottom left.
QImage primingImage();

// Runs one recognition of the priming image so that the calling thread's
// engine is loaded before the first real reading. Call it on the thread that
// will read the screen.
void prime(const platform::TextRecognizer& recognizer);

} // namespace ScreenTextReader
