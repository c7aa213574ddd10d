#include "screen/SlashedZeros.h"

#include <QColor>
#include <algorithm>
#include <cmath>
#include <optional>
#include <vector>

namespace ScreenTextReader {

namespace {

// Glyphs fewer pixels high than this are too coarse to tell a waist from a side.
constexpr int kLeastHeight = 7;
constexpr int kLeastWidth = 4;
// The middle of the height, where an eight's waist lies: 30 % to 70 %.
constexpr double kMiddleFrom = 0.3;
constexpr double kMiddleTo = 0.7;
// A side's stroke lies in the outer 30 % of the glyph's width.
constexpr double kSideShare = 0.3;
// Ink and background must differ by this many grey levels to judge at all.
constexpr int kLeastContrast = 48;
// A side's stroke is on a row when its column is at least this near its own
// strongest ink there: a straight stroke is on every row, while enlarging the
// tile smooths only part of the ink into an eight's blank waist.
constexpr double kSideInk = 0.75;

int grey(const QImage& image, int x, int y) {
    return qGray(image.pixel(x, y));
}

// The background's grey level: the median of the ring of pixels just outside
// the box (recognition's boxes are tight, so the ring is mostly background).
std::optional<int> backgroundAround(const QImage& image, const QRect& box) {
    const QRect ring = box.adjusted(-2, -2, 2, 2).intersected(image.rect());
    std::vector<int> levels;
    for (int y = ring.top(); y <= ring.bottom(); ++y)
        for (int x = ring.left(); x <= ring.right(); ++x)
            if (!box.contains(x, y)) levels.push_back(grey(image, x, y));
    if (levels.empty()) return std::nullopt;
    std::nth_element(levels.begin(), levels.begin() + qsizetype(levels.size() / 2), levels.end());
    return levels[levels.size() / 2];
}

// A normalised box (origin bottom left) in the image's pixels.
QRect pixelBox(const QRectF& normalised, const QSize& size) {
    const double left = normalised.left() * size.width();
    const double right = normalised.right() * size.width();
    // QRectF's top() is the smaller y: here the glyph's bottom edge.
    const double top = (1.0 - normalised.bottom()) * size.height();
    const double bottom = (1.0 - normalised.top()) * size.height();
    return QRect(QPoint(int(std::lround(left)), int(std::lround(top))),
                 QPoint(int(std::lround(right)) - 1, int(std::lround(bottom)) - 1));
}

} // namespace

bool hasZeroSides(const QImage& image, const QRect& box) {
    if (image.isNull() || box.height() < kLeastHeight || box.width() < kLeastWidth ||
        !image.rect().contains(box))
        return false;
    const std::optional<int> background = backgroundAround(image, box);
    if (!background) return false;
    const auto inkAt = [&](int x, int y) { return std::abs(grey(image, x, y) - *background); };
    int strongest = 0;
    for (int y = box.top(); y <= box.bottom(); ++y)
        for (int x = box.left(); x <= box.right(); ++x)
            strongest = std::max(strongest, inkAt(x, y));
    if (strongest < kLeastContrast) return false;
    // Each side's stroke: the column in its outer share that holds the most
    // ink. Found by its ink, not by the box's edge, which recognition may
    // draw a pixel or two wide.
    const int reach = std::max(1, int(std::ceil(box.width() * kSideShare)));
    const auto strokeColumn = [&](bool left) {
        int best = left ? box.left() : box.right(), bestInk = -1;
        for (int i = 0; i < reach; ++i) {
            const int x = left ? box.left() + i : box.right() - i;
            int sum = 0;
            for (int y = box.top(); y <= box.bottom(); ++y)
                sum += inkAt(x, y);
            if (sum > bestInk) best = x, bestInk = sum;
        }
        return best;
    };
    const int from = box.top() + int(std::floor(box.height() * kMiddleFrom));
    const int to = std::min(box.bottom(), box.top() + int(std::ceil(box.height() * kMiddleTo)));
    for (const int x : {strokeColumn(true), strokeColumn(false)}) {
        int most = 0;
        for (int y = box.top(); y <= box.bottom(); ++y)
            most = std::max(most, inkAt(x, y));
        // Each side carries a stroke of the glyph's own weight, on every middle row.
        if (2 * most < strongest) return false;
        for (int y = from; y <= to; ++y)
            if (inkAt(x, y) < kSideInk * most) return false;
    }
    return true;
}

QString readingSlashedZeros(const QImage& image, const QString& text, const QList<QRectF>& boxes) {
    const auto misread = [](QChar c) { return c == QLatin1Char('8') || c == QLatin1Char('4'); };
    if (boxes.size() != text.size() || std::none_of(text.cbegin(), text.cend(), misread)) return text;
    QString out = text;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (!misread(text.at(i)) || boxes.at(i).isNull()) continue;
        if (hasZeroSides(image, pixelBox(boxes.at(i), image.size()))) out[i] = QLatin1Char('0');
    }
    return out;
}

} // namespace ScreenTextReader
