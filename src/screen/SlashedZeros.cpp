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
// A side is the outer fifth of the glyph's width (at least one column).
constexpr double kSideShare = 0.2;
// Ink and background must differ by this many grey levels to judge at all.
constexpr int kLeastContrast = 48;
// A side is inked on a row when it is at least this near its own strongest
// ink: a straight stroke is on every row, while enlarging the tile smooths
// only part of the ink into an eight's blank waist.
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
    int strongest = 0;
    for (int y = box.top(); y <= box.bottom(); ++y)
        for (int x = box.left(); x <= box.right(); ++x)
            strongest = std::max(strongest, std::abs(grey(image, x, y) - *background));
    if (strongest < kLeastContrast) return false;
    const int side = std::max(1, int(std::lround(box.width() * kSideShare)));
    // How strongly each side is inked on each row: its pixel farthest from the background.
    const auto sideInk = [&](int y, bool left) {
        int most = 0;
        for (int i = 0; i < side; ++i)
            most = std::max(most,
                            std::abs(grey(image, left ? box.left() + i : box.right() - i, y) - *background));
        return most;
    };
    int leftMost = 0, rightMost = 0;
    for (int y = box.top(); y <= box.bottom(); ++y) {
        leftMost = std::max(leftMost, sideInk(y, true));
        rightMost = std::max(rightMost, sideInk(y, false));
    }
    // Both sides carry strokes of the glyph's own weight.
    if (2 * leftMost < strongest || 2 * rightMost < strongest) return false;
    const int from = box.top() + int(std::floor(box.height() * kMiddleFrom));
    const int to = std::min(box.bottom(), box.top() + int(std::ceil(box.height() * kMiddleTo)));
    for (int y = from; y <= to; ++y) {
        if (sideInk(y, true) < kSideInk * leftMost || sideInk(y, false) < kSideInk * rightMost) return false;
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
