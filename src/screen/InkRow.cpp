#include "screen/InkRow.h"

#include "screen/Layout.h"

#include <QColor>
#include <algorithm>
#include <array>
#include <cmath>

namespace ScreenTextReader {

namespace {

// Grey levels apart from the background that make a pixel ink. Low-contrast
// schemes (Solarized's body text on its dark base) still differ by about 100.
constexpr int kInkContrast = 48;
// Grey levels per histogram bucket when finding the background.
constexpr int kBucket = 8;
// With no line read to measure by, a row of text is no taller than this.
constexpr double kTallestRowUnmeasured = 40.0;
// A run of ink up to this many times the tallest line read is one row.
constexpr double kRowTallness = 1.5;

// The commonest grey of the tile: on a strip of text, the background.
int background(const QImage& image) {
    std::array<int, 256 / kBucket> counts{};
    const int step = std::max(1, std::min(image.width(), image.height()) / 40);
    for (int y = 0; y < image.height(); y += step)
        for (int x = 0; x < image.width(); x += step)
            ++counts[std::size_t(qGray(image.pixel(x, y)) / kBucket)];
    const auto commonest = std::max_element(counts.begin(), counts.end());
    return int(commonest - counts.begin()) * kBucket + kBucket / 2;
}

} // namespace

PointerRow pointerRowAt(const Tile& tile, QPointF pointer, double tallest) {
    const QImage& image = tile.image;
    const QRectF& s = tile.strip;
    if (image.isNull() || !(s.width() > 0) || !(s.height() > 0)) return {};
    const double sx = image.width() / s.width();
    const double sy = image.height() / s.height();
    const int y = int(std::floor((pointer.y() - s.top()) * sy));
    const int x0 = std::max(0, int(std::floor((pointer.x() - kPointerReach - s.left()) * sx)));
    const int x1 = std::min(image.width() - 1, int(std::ceil((pointer.x() + kPointerReach - s.left()) * sx)));
    if (y < 0 || y >= image.height() || x0 > x1) return {};

    const int base = background(image);
    const auto inked = [&](int row) {
        for (int x = x0; x <= x1; ++x)
            if (std::abs(qGray(image.pixel(x, row)) - base) > kInkContrast) return true;
        return false;
    };
    // The run of inked pixel rows through `from`, in points.
    const auto runThrough = [&](int from) {
        int top = from, bottom = from;
        while (top > 0 && inked(top - 1))
            --top;
        while (bottom + 1 < image.height() && inked(bottom + 1))
            ++bottom;
        return InkRow{s.top() + top / sy, s.top() + (bottom + 1) / sy};
    };
    const auto tooTall = [&](InkRow r) { return r.bottom - r.top > tallest; };

    if (inked(y)) {
        const InkRow row = runThrough(y);
        if (tooTall(row)) return {};
        return PointerRow{row, false};
    }

    // On a blank band: the nearest run above and below within reach.
    const int reach = int(std::ceil(kPointerReach * sy));
    std::optional<InkRow> above, below;
    for (int r = y - 1; r >= std::max(0, y - reach) && !above; --r)
        if (inked(r)) above = runThrough(r);
    for (int r = y + 1; r <= std::min(image.height() - 1, y + reach) && !below; ++r)
        if (inked(r)) below = runThrough(r);
    if ((above && tooTall(*above)) || (below && tooTall(*below))) return {};
    if (!above && !below) return {};
    if (!above) return PointerRow{below, false};
    if (!below) return PointerRow{above, false};
    const double up = pointer.y() - above->bottom;
    const double down = below->top - pointer.y();
    if (up + kOcclusion < down) return PointerRow{above, false};
    if (down + kOcclusion < up) return PointerRow{below, false};
    return PointerRow{std::nullopt, true};
}

PointerRow pointerRowAt(const QList<Read>& reads, QPointF pointer) {
    double tallest = 0;
    for (const Read& r : reads)
        for (const Line& l : r.lines)
            tallest = std::max(tallest, l.height());
    tallest = tallest > 0 ? kRowTallness * tallest : kTallestRowUnmeasured;
    for (const Read& r : reads) {
        const QRectF& s = r.tile.strip;
        if (s.left() <= pointer.x() && pointer.x() < s.right()) return pointerRowAt(r.tile, pointer, tallest);
    }
    return {};
}

bool onInkRow(const Line& line, InkRow row) {
    const double overlap = std::min(line.maxY, row.bottom) - std::max(line.minY, row.top);
    return overlap > 0.5 * std::min(line.height(), row.bottom - row.top);
}

bool rowWasRead(const QList<Read>& reads, QPointF pointer, InkRow row) {
    for (const Read& r : reads)
        for (const Line& l : r.lines) {
            const bool beside =
                l.minX - kPointerReach <= pointer.x() && pointer.x() <= l.maxX + kPointerReach;
            if (beside && onInkRow(l, row)) return true;
        }
    return false;
}

} // namespace ScreenTextReader
