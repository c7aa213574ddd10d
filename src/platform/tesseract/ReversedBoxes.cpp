#include "platform/tesseract/ReversedBoxes.h"

#include <algorithm>
#include <vector>

namespace platform::tesseract_page {

namespace {

// Levels below this are ink on a prepared page (paper is near 255).
constexpr int kInk = 128;
// A box is at least this tall on the page: a hyphen or an underscore is lower.
constexpr int kLeastHeight = 10;
// Width over height of a cursor cell (monospaced cells are about half as wide
// as tall) and the least for a selection of a few cells; a bold "l" or "|" is
// narrower than the one, a square full stop falls between the two.
constexpr double kNarrowestCell = 0.3;
constexpr double kWidestCell = 0.8;
constexpr double kNarrowestRun = 2.5;
// Every side of a box or an outline is all but wholly ink.
constexpr double kSideInk = 0.9;
// An outlined cell's outline is a thin line, on every side, with mostly paper
// just inside it, even where its character touches it. A box's outline is
// deep above its characters, or it is mostly ink just inside: the strokes of
// the characters cut out of it are narrower than the ground between them.
constexpr int kThinnestLine = 4;
constexpr int kThinLineShare = 8; // of the cell's height, for large cells
constexpr double kPaperInside = 0.5;
// A box spans its line: at least this share of the height from the highest
// ascender to the lowest descender of the glyphs beside it. An "m" or an "n"
// is as solid as a box at small sizes, but only x-height tall.
constexpr double kLineShare = 0.9;
// Enlarged for the engine, an edge blurs into a grey fringe this wide, which
// would stay behind as a frame the engine reads as "|".
constexpr int kFringe = 2;
// Boxes within boxes are turned back this many deep at most.
constexpr int kPasses = 3;

struct Component {
    int left, top, right, bottom; // inclusive
    int width() const { return right - left + 1; }
    int height() const { return bottom - top + 1; }
    bool contains(int x, int y) const { return x >= left && x <= right && y >= top && y <= bottom; }
};

// How deep the outline of a component's bounding box is on each side: the
// rows or columns from that side in that are all but wholly ink, at most a
// quarter of the way across.
struct Outline {
    int top, bottom, left, right;
};

enum class Kind { Other, Box, Frame };

bool isInk(const QImage& page, int x, int y) {
    return page.constScanLine(y)[x] < kInk;
}

// The share of ink along a row (dy 0) or a column (dx 0) of n pixels from (x, y).
double inkAlong(const QImage& page, int x, int y, int dx, int dy, int n) {
    int ink = 0;
    for (int i = 0; i < n; ++i)
        ink += isInk(page, x + i * dx, y + i * dy);
    return n > 0 ? double(ink) / n : 0;
}

Outline outlineOf(const QImage& page, const Component& c) {
    const auto depth = [&](int x, int y, int stepX, int stepY, int alongX, int alongY, int n, int most) {
        int d = 0;
        while (d < most && inkAlong(page, x + d * stepX, y + d * stepY, alongX, alongY, n) >= kSideInk)
            ++d;
        return d;
    };
    const int w = c.width();
    const int h = c.height();
    return {depth(c.left, c.top, 0, 1, 1, 0, w, h / 4), depth(c.left, c.bottom, 0, -1, 1, 0, w, h / 4),
            depth(c.left, c.top, 1, 0, 0, 1, h, w / 4), depth(c.right, c.top, -1, 0, 0, 1, h, w / 4)};
}

// The share of paper on the ring one pixel inside the outline.
double paperInside(const QImage& page, const Component& c, const Outline& o) {
    const int top = c.top + o.top + 1;
    const int bottom = c.bottom - o.bottom - 1;
    const int left = c.left + o.left + 1;
    const int right = c.right - o.right - 1;
    if (top >= bottom || left >= right) return 0;
    const int across = right - left + 1;
    const int down = bottom - top + 1;
    const double ink = inkAlong(page, left, top, 1, 0, across) * across +
                       inkAlong(page, left, bottom, 1, 0, across) * across +
                       inkAlong(page, left, top, 0, 1, down) * down +
                       inkAlong(page, right, top, 0, 1, down) * down;
    return 1 - ink / (2.0 * (across + down));
}

// Whether the component is as tall as the line of glyphs it stands in: those
// whose middles lie within its height and that are no more than twice as tall
// (a window's edge or a wallpaper beside the line is not a glyph).
bool spansItsLine(const Component& c, const std::vector<Component>& all) {
    int top = c.top;
    int bottom = c.bottom;
    for (const Component& other : all) {
        const int middle = (other.top + other.bottom) / 2;
        if (middle < c.top || middle > c.bottom || other.height() > 2 * c.height()) continue;
        top = std::min(top, other.top);
        bottom = std::max(bottom, other.bottom);
    }
    return c.height() >= kLineShare * (bottom - top + 1);
}

Kind kindOf(const QImage& page, const Component& c, const Outline& o, const std::vector<Component>& all) {
    if (c.height() < kLeastHeight) return Kind::Other;
    const double shape = double(c.width()) / c.height();
    const bool cell = shape >= kNarrowestCell && shape <= kWidestCell;
    const bool run = shape >= kNarrowestRun;
    if (!cell && !run) return Kind::Other;
    if (o.top == 0 || o.bottom == 0 || o.left == 0 || o.right == 0 || !spansItsLine(c, all))
        return Kind::Other;
    const int thin = std::max(kThinnestLine, c.height() / kThinLineShare);
    const bool thinLine = std::max({o.top, o.bottom, o.left, o.right}) <= thin;
    if (!thinLine || paperInside(page, c, o) < kPaperInside) return Kind::Box;
    return cell ? Kind::Frame : Kind::Other;
}

// Pixels within kFringe of (x, y) that are not ink, outside `spare`, become paper.
void clearFringe(QImage& page, int x, int y, const Component& spare) {
    for (int fy = std::max(y - kFringe, 0); fy <= std::min(y + kFringe, page.height() - 1); ++fy) {
        uchar* row = page.scanLine(fy);
        for (int fx = std::max(x - kFringe, 0); fx <= std::min(x + kFringe, page.width() - 1); ++fx)
            if (row[fx] >= kInk && !spare.contains(fx, fy)) row[fx] = 255;
    }
}

// The fringe outside a component's bounding box, made paper.
void clearOuterFringe(QImage& page, const Component& c) {
    for (int x = c.left; x <= c.right; ++x) {
        clearFringe(page, x, c.top, c);
        clearFringe(page, x, c.bottom, c);
    }
    for (int y = c.top; y <= c.bottom; ++y) {
        clearFringe(page, c.left, y, c);
        clearFringe(page, c.right, y, c);
    }
}

// A box's inside turned over, its fringe on either side of its edge made paper.
void turnOver(QImage& page, const Component& c) {
    for (int y = c.top; y <= c.bottom; ++y) {
        uchar* row = page.scanLine(y);
        for (int x = c.left; x <= c.right; ++x) {
            row[x] = uchar(255 - row[x]);
            const int depth = std::min({y - c.top, c.bottom - y, x - c.left, c.right - x});
            if (depth < kFringe && row[x] >= kInk) row[x] = 255;
        }
    }
    clearOuterFringe(page, c);
}

// An outlined cell's outline made paper, with its fringe on either side; of
// the character inside, only what touched the outline goes with it.
void wipe(QImage& page, const Component& c, const Outline& o) {
    for (int y = c.top; y <= c.bottom; ++y) {
        uchar* row = page.scanLine(y);
        for (int x = c.left; x <= c.right; ++x) {
            const int depth = std::min(
                {y - c.top - o.top, c.bottom - y - o.bottom, x - c.left - o.left, c.right - x - o.right});
            if (depth < 0 || (depth < kFringe && row[x] >= kInk)) row[x] = 255;
        }
    }
    clearOuterFringe(page, c);
}

// One pass over the page; whether it turned a box over.
bool turnBackOnce(QImage& page) {
    const int w = page.width();
    const int h = page.height();
    // The components of ink, found by flood fill.
    std::vector<bool> seen(size_t(w) * size_t(h), false);
    std::vector<Component> components;
    std::vector<QPoint> stack;
    for (int y0 = 0; y0 < h; ++y0) {
        for (int x0 = 0; x0 < w; ++x0) {
            if (seen[size_t(y0) * w + x0] || !isInk(page, x0, y0)) continue;
            Component c{x0, y0, x0, y0};
            seen[size_t(y0) * w + x0] = true;
            stack.push_back({x0, y0});
            while (!stack.empty()) {
                const QPoint p = stack.back();
                stack.pop_back();
                c.left = std::min(c.left, p.x());
                c.right = std::max(c.right, p.x());
                c.top = std::min(c.top, p.y());
                c.bottom = std::max(c.bottom, p.y());
                for (const QPoint n : {QPoint(p.x() - 1, p.y()), QPoint(p.x() + 1, p.y()),
                                       QPoint(p.x(), p.y() - 1), QPoint(p.x(), p.y() + 1)}) {
                    if (n.x() < 0 || n.y() < 0 || n.x() >= w || n.y() >= h) continue;
                    const size_t i = size_t(n.y()) * w + n.x();
                    if (seen[i] || !isInk(page, n.x(), n.y())) continue;
                    seen[i] = true;
                    stack.push_back(n);
                }
            }
            components.push_back(c);
        }
    }
    // All judged on the page as it came, then changed.
    std::vector<std::pair<Kind, Outline>> kinds;
    kinds.reserve(components.size());
    for (const Component& c : components) {
        const Outline o = c.height() >= kLeastHeight ? outlineOf(page, c) : Outline{};
        kinds.emplace_back(kindOf(page, c, o, components), o);
    }
    bool turned = false;
    for (size_t i = 0; i < components.size(); ++i) {
        if (kinds[i].first == Kind::Box) {
            turnOver(page, components[i]);
            turned = true;
        } else if (kinds[i].first == Kind::Frame) {
            wipe(page, components[i], kinds[i].second);
        }
    }
    return turned;
}

} // namespace

void turnBackReversedBoxes(QImage& page) {
    if (page.format() != QImage::Format_Grayscale8) return;
    // A box turned over may hold one of its own: a selection inside a whole
    // window that was taken for reversed, or a cursor inside a selection.
    int pass = 0;
    while (pass++ < kPasses && turnBackOnce(page)) {
    }
}

} // namespace platform::tesseract_page
