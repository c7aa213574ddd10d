#pragma once

#include "platform/TextRecognizer.h"
#include "screen/ScreenTextReader.h"

#include <QImage>
#include <QList>
#include <QRectF>
#include <QString>

// Recognising a tile into positioned lines.
namespace ScreenTextReader {

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

} // namespace ScreenTextReader
