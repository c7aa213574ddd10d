#pragma once

#include "screen/ScreenTextReader.h"

#include <QImage>
#include <QList>
#include <QRectF>
#include <optional>

// Cutting a captured strip into the pieces the recogniser reads at once.
namespace ScreenTextReader {

// The part of a capture (image of strip) that span shows, enlarged towards
// 2.5 pixels per point; none when the span lies outside the image or either
// rectangle has no width.
std::optional<Tile> tile(const QImage& image, QRectF strip, QRectF span);

// The image enlarged by a whole factor with smooth interpolation; factors
// below 2 give the image unchanged.
QImage magnified(const QImage& image, int factor);

// Spans of at most 1000 points, every 500 points, covering the strip.
QList<QRectF> spansCoveringStrip(QRectF strip);

} // namespace ScreenTextReader
