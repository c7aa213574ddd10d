#include "screen/PageBounds.h"

#include <QColor>
#include <algorithm>
#include <array>
#include <vector>

namespace ScreenTextReader {

namespace {

// The page's colour is the commonest grey level this far either side of the pointer.
constexpr int kSampleReach = 64;
// A pixel this close to the page's grey level is page background. Flat
// terminal backgrounds sit on one level; grainy wallpapers rarely stay on it.
constexpr int kPaperTolerance = 12;
// A column or row with less page background than this share is off the page:
// text never covers that much of a line of pixels, a desktop or title bar does.
constexpr double kLeastPaper = 0.1;
// This many off-page lines in a row end the page: a one-pixel border or a rule
// inside the window does not.
constexpr int kEdgeRun = 4;

struct Grey {
    int width = 0, height = 0;
    std::vector<uchar> levels;
    int at(int x, int y) const { return levels[size_t(y) * size_t(width) + size_t(x)]; }
};

Grey greyOf(const QImage& image) {
    Grey g{image.width(), image.height(), std::vector<uchar>(size_t(image.width()) * size_t(image.height()))};
    for (int y = 0; y < g.height; ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < g.width; ++x)
            g.levels[size_t(y) * size_t(g.width) + size_t(x)] = uchar(qGray(row[x]));
    }
    return g;
}

int commonestLevel(const Grey& g, int fromX, int toX) {
    std::array<int, 256> count{};
    for (int y = 0; y < g.height; ++y)
        for (int x = fromX; x <= toX; ++x)
            ++count[size_t(g.at(x, y))];
    return int(std::max_element(count.begin(), count.end()) - count.begin());
}

// Where the page ends going from the pointer's line in steps of +1 or -1: the
// first line of the first run of off-page lines, after leaving any such run
// the pointer itself lies in; -1 (or the count) when the page reaches the edge.
int pageEnd(const std::vector<bool>& offPage, int from, int step) {
    const int count = int(offPage.size());
    int i = from;
    while (i >= 0 && i < count && offPage[size_t(i)])
        i += step;
    for (; i >= 0 && i < count; i += step) {
        int run = 0;
        while (run < kEdgeRun && i + run * step >= 0 && i + run * step < count && offPage[size_t(i + run * step)])
            ++run;
        // A run cut short by the image's edge is still the page's end.
        const bool atEdge = i + run * step < 0 || i + run * step >= count;
        if (run == kEdgeRun || (run > 0 && atEdge)) return i;
    }
    return step > 0 ? count : -1;
}

} // namespace

QImage pageAround(const QImage& image, QPoint pointer) {
    if (image.isNull() || !image.rect().contains(pointer)) return image;
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    const Grey g = greyOf(rgb);
    const int page = commonestLevel(g, std::max(0, pointer.x() - kSampleReach),
                                    std::min(g.width - 1, pointer.x() + kSampleReach));
    const auto isPaper = [page](int level) { return std::abs(level - page) <= kPaperTolerance; };

    std::vector<int> paperInColumn(size_t(g.width), 0), paperInRow(size_t(g.height), 0);
    for (int y = 0; y < g.height; ++y) {
        for (int x = 0; x < g.width; ++x) {
            if (!isPaper(g.at(x, y))) continue;
            ++paperInColumn[size_t(x)];
            ++paperInRow[size_t(y)];
        }
    }
    std::vector<bool> offColumns(size_t(g.width)), offRows(size_t(g.height));
    for (int x = 0; x < g.width; ++x)
        offColumns[size_t(x)] = paperInColumn[size_t(x)] < kLeastPaper * g.height;
    for (int y = 0; y < g.height; ++y)
        offRows[size_t(y)] = paperInRow[size_t(y)] < kLeastPaper * g.width;

    const int left = pageEnd(offColumns, pointer.x(), -1) + 1;
    const int right = pageEnd(offColumns, pointer.x(), +1);
    const int top = pageEnd(offRows, pointer.y(), -1) + 1;
    const int bottom = pageEnd(offRows, pointer.y(), +1);
    if (left == 0 && right == g.width && top == 0 && bottom == g.height) return image;

    // The page's own colour (not just its grey), from the nearest page pixel on the pointer's column.
    QRgb colour = qRgb(page, page, page);
    for (int d = 0; d < g.height; ++d) {
        const int y = pointer.y() + (d % 2 ? -(d + 1) / 2 : d / 2);
        if (y >= 0 && y < g.height && g.at(pointer.x(), y) == page) {
            colour = rgb.pixel(pointer.x(), y);
            break;
        }
    }
    QImage out = rgb;
    for (int y = 0; y < g.height; ++y) {
        auto* row = reinterpret_cast<QRgb*>(out.scanLine(y));
        const bool wholeRow = y < top || y >= bottom;
        for (int x = 0; x < g.width; ++x)
            if (wholeRow || x < left || x >= right) row[x] = colour;
    }
    return out;
}

} // namespace ScreenTextReader
