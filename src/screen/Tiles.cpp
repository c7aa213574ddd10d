#include "screen/Tiles.h"

#include <algorithm>
#include <cmath>

namespace ScreenTextReader {

namespace {

// The nearest integer, halves away from zero; none when out of any sane range.
std::optional<long> rounded(double value) {
    if (!std::isfinite(value) || std::abs(value) > 1e9) return std::nullopt;
    return std::lround(value);
}

} // namespace

std::optional<Tile> tile(const QImage& image, QRectF strip, QRectF span) {
    if (image.isNull() || !(strip.width() > 0) || !(span.width() > 0)) return std::nullopt;
    const double density = image.width() / strip.width();
    const std::optional<long> left = rounded(density * (span.left() - strip.left()));
    const std::optional<long> wanted = rounded(density * span.width());
    if (!left || !wanted) return std::nullopt;
    const long x0 = *left;
    const long width = std::min(long(image.width()) - x0, *wanted);
    if (x0 < 0 || width < 1) return std::nullopt;

    const QImage crop = image.copy(int(x0), 0, int(width), image.height());
    if (crop.isNull()) return std::nullopt;

    long factor = std::max(1L, rounded(kWantedPixelsPerPoint / density).value_or(1));
    while (factor >= 2 && width * factor > kWidestTilePixels)
        --factor;

    Tile result;
    result.image = magnified(crop, int(factor));
    result.strip = span;
    result.clippedLeft = span.left() > strip.left() + kClipTolerance;
    result.clippedRight = span.right() < strip.right() - kClipTolerance;
    return result;
}

QImage magnified(const QImage& image, int factor) {
    if (factor < 2 || image.isNull()) return image;
    const QImage larger = image.scaled(image.width() * factor, image.height() * factor, Qt::IgnoreAspectRatio,
                                       Qt::SmoothTransformation);
    return larger.isNull() ? image : larger;
}

QList<QRectF> spansCoveringStrip(QRectF strip) {
    // No screen is a million points wide: such a strip is garbage, not work.
    if (!std::isfinite(strip.left()) || !std::isfinite(strip.width()) || strip.width() > 1e6) return {};
    if (strip.width() <= kTileSpanWidth) return {strip};
    QList<QRectF> spans;
    for (double start = strip.left(); start < strip.right(); start += kCoveringStep)
        spans.append(
            QRectF(start, strip.top(), std::min(kTileSpanWidth, strip.right() - start), strip.height()));
    return spans;
}

} // namespace ScreenTextReader
