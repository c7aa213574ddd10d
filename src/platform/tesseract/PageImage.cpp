#include "platform/tesseract/PageImage.h"

#include "platform/tesseract/ReversedBoxes.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace platform::tesseract_page {

namespace {

using Histogram = std::array<qint64, 256>;

// Grey levels this far from the background count as ink: the faintest scheme
// measured (Solarized dark, text 112 levels above its background) is well
// clear of it, and anti-aliasing noise and JPEG-like wallpaper grain are not.
constexpr int kInkDistance = 32;
// Of the ink's pixels, the darkest this fraction is taken for the text's
// colour. Small glyphs enlarged for the engine reach it in few pixels: a tenth
// mapped their grey edges to black, fattened the strokes and lost an 11-point
// UUID that black on white read right (bench_reference_accuracy). Any higher
// than a few stray pixels is enough.
constexpr double kCoreFraction = 0.01;
// Text this many levels darker than its background counts as full contrast
// (white on black turned over, black on white); Solarized's schemes lie near
// 100 to 130.
constexpr int kFullContrast = 160;

Histogram histogramOf(const QImage& grey) {
    Histogram h{};
    for (int y = 0; y < grey.height(); ++y) {
        const uchar* row = grey.constScanLine(y);
        for (int x = 0; x < grey.width(); ++x)
            ++h[row[x]];
    }
    return h;
}

// The level below which the given fraction of the counted levels lie.
int levelAt(const Histogram& h, int from, int to, double fraction) {
    qint64 total = 0;
    for (int v = from; v <= to; ++v)
        total += h[size_t(v)];
    const qint64 wanted = qint64(double(total) * fraction);
    qint64 seen = 0;
    for (int v = from; v <= to; ++v) {
        seen += h[size_t(v)];
        if (seen > wanted) return v;
    }
    return to;
}

qint64 countIn(const Histogram& h, int from, int to) {
    qint64 n = 0;
    for (int v = std::max(from, 0); v <= std::min(to, 255); ++v)
        n += h[size_t(v)];
    return n;
}

} // namespace

QImage prepared(const QImage& image, int margin) {
    if (image.isNull()) return {};
    QImage grey = image.convertToFormat(QImage::Format_Grayscale8);
    Histogram h = histogramOf(grey);
    // Text covers a small part of a strip, so the median is the background.
    int background = levelAt(h, 0, 255, 0.5);

    // The text lies on whichever side of the background holds more ink; on a
    // blank tile, the side away from the nearer end of the range.
    const qint64 darker = countIn(h, 0, background - kInkDistance);
    const qint64 lighter = countIn(h, background + kInkDistance, 255);
    const bool lightText = darker + lighter > 0 ? lighter > darker : background < 128;
    if (lightText) {
        grey.invertPixels();
        std::reverse(h.begin(), h.end());
        background = 255 - background;
    }

    // Lift the background to white; where the text is faint, also stretch
    // its colour to black: the engine reads low-contrast text far worse than
    // the same text in black on white. Text that already stands out keeps its
    // darkness, anti-aliasing and all: stretching it too changed a "0" the
    // engine had read right into "@" (test_reference_on_screen).
    std::array<uchar, 256> level{};
    const bool hasInk = background - kInkDistance >= 0 && countIn(h, 0, background - kInkDistance) > 0;
    const int ink = hasInk ? levelAt(h, 0, background - kInkDistance, kCoreFraction) : 0;
    const int black = background - ink < kFullContrast ? ink : 0;
    for (int v = 0; v < 256; ++v) {
        if (!hasInk) {
            level[size_t(v)] = uchar(v);
            continue;
        }
        const int stretched = (v - black) * 255 / (background - black);
        level[size_t(v)] = uchar(std::clamp(stretched, 0, 255));
    }

    QImage page(grey.width() + 2 * margin, grey.height() + 2 * margin, QImage::Format_Grayscale8);
    if (page.isNull()) return {};
    // The margin continues the background: a white frame round a grey page is
    // an edge the engine reads as a line of its own.
    for (int y = 0; y < page.height(); ++y)
        std::memset(page.scanLine(y), level[size_t(background)], size_t(page.width()));
    for (int y = 0; y < grey.height(); ++y) {
        const uchar* from = grey.constScanLine(y);
        uchar* to = page.scanLine(y + margin) + margin;
        for (int x = 0; x < grey.width(); ++x)
            to[x] = level[from[x]];
    }
    if (hasInk) turnBackReversedBoxes(page);
    return page;
}

} // namespace platform::tesseract_page
