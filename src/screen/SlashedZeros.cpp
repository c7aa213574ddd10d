#include "screen/SlashedZeros.h"

#include "core/EvenPitch.h"

#include <QColor>
#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <optional>
#include <utility>
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
// A middle row between a zero's sides is mostly blank: its slash or dot
// covers at most this share of it.
constexpr double kMostInsideInk = 0.75;

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

// The image rectangle in a normalised box (origin bottom left).
QRectF normalisedBox(const QRect& r, const QSize& size) {
    return QRectF(double(r.left()) / size.width(), 1.0 - double(r.top() + r.height()) / size.height(),
                  double(r.width()) / size.width(), double(r.height()) / size.height());
}

// Enough steps between glyphs to judge the pitch by.
constexpr int kLeastPitchSamples = 4;
// A dropped glyph leaves a step of about two pitches; one box over two glyphs
// is about one and a half pitches wide; two glyphs read in one cell step
// about half a pitch, and their ink together is no wider than a cell or so.
constexpr double kLeastDroppedStep = 1.7;
constexpr double kMostDroppedStep = 2.3;
constexpr double kLeastMergedWidth = 1.3;
constexpr double kMostMergedWidth = 2.3;
constexpr double kMostSplitStep = 0.6;
constexpr double kMostCellWidth = 1.3;
// Ink is a glyph of its own when it is at least this share of the pitch wide
// and of the line's height tall.
constexpr double kLeastGlyphWidth = 0.3;
constexpr double kLeastGlyphHeight = 0.5;

// Characters recognition makes of a zero split in two: digits and "@" ("48",
// "8@"), or one of those and a character outside ASCII ("@é"). Never an ASCII
// letter: "S0" read into one cell is a misplaced box, not a split zero.
bool zeroPiece(QChar c) {
    return c.isDigit() || c == QLatin1Char('@');
}
bool zeroPieces(QChar a, QChar b) {
    const auto stray = [](QChar c) { return c.unicode() > 127 && !c.isSpace(); };
    return (zeroPiece(a) && (zeroPiece(b) || stray(b))) || (zeroPiece(b) && stray(a));
}

// Characters a lost zero is found next to: it stands in a number ("0042",
// "v1.0.png", "frame-0"), not among letters, where a dropped letter's
// neighbours can pass for it.
bool inNumber(QChar c) {
    return c.isDigit() || QStringLiteral(".-_v").contains(c);
}
// Ink narrower than this many pixels is noise, not a glyph.
constexpr int kLeastRun = 2;
// A dropped glyph's ink lies about half-way between its neighbours.
constexpr double kMostOffCentre = 0.25;

// Which pixels of an area are ink: those at least half as far from its
// background (its commonest grey: flat, where ink is anti-aliased into many
// levels) as its farthest. None without contrast.
class AreaInk {
  public:
    AreaInk(const QImage& image, const QRect& area) : image_(image), area_(area.intersected(image.rect())) {
        if (area_.isEmpty()) return;
        std::array<int, 256> count{};
        for (int y = area_.top(); y <= area_.bottom(); ++y)
            for (int x = area_.left(); x <= area_.right(); ++x)
                ++count[size_t(grey(image, x, y))];
        background_ = int(std::max_element(count.begin(), count.end()) - count.begin());
        for (int level = 0; level < 256; ++level)
            if (count[size_t(level)] > 0) strongest_ = std::max(strongest_, std::abs(level - background_));
    }
    bool at(int x, int y) const {
        return strongest_ >= kLeastContrast && area_.contains(x, y) &&
               2 * std::abs(grey(image_, x, y) - background_) >= strongest_;
    }
    // The tight box round the ink between columns from and to (inclusive).
    std::optional<QRect> box(int from, int to) const {
        QRect ink;
        for (int y = area_.top(); y <= area_.bottom(); ++y)
            for (int x = std::max(from, area_.left()); x <= std::min(to, area_.right()); ++x)
                if (at(x, y)) ink |= QRect(x, y, 1, 1);
        return ink.isEmpty() ? std::nullopt : std::optional<QRect>(ink);
    }
    // The runs of inked columns at least `least` wide, left to right: the
    // glyphs of the area, without the edges of neighbours reaching into it.
    QList<std::pair<int, int>> runs(double least) const {
        QList<std::pair<int, int>> found;
        for (int x = area_.left(); x <= area_.right(); ++x) {
            if (!column(x)) continue;
            int end = x;
            while (end + 1 <= area_.right() && column(end + 1))
                ++end;
            if (end - x + 1 >= least) found.append({x, end});
            x = end;
        }
        return found;
    }
    // The tight box round the area's one glyph; none for none or several.
    std::optional<QRect> glyph(double least) const {
        const QList<std::pair<int, int>> found = runs(least);
        return found.size() == 1 ? box(found.front().first, found.front().second) : std::nullopt;
    }
    bool column(int x) const {
        for (int y = area_.top(); y <= area_.bottom(); ++y)
            if (at(x, y)) return true;
        return false;
    }

  private:
    const QImage& image_;
    QRect area_;
    int background_ = 0;
    int strongest_ = 0;
};

// How a side's stroke is judged. Straight: the column with the most ink,
// inked on every middle row near its strongest, which only a zero's straight
// side is (an eight's waist and a four's open side fall short). Oval: the
// column whose faintest middle row is inkiest, inked there near its usual
// level: an oval zero's side, or one its slash joins, is inked unevenly but
// nowhere near blank. Oval also passes some small fours and eights, so it only
// judges glyphs recognition lost, never one it read.
enum class Sides { Straight, Oval };

bool zeroSides(const QImage& image, const QRect& box, Sides rule) {
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
    const int from = box.top() + int(std::floor(box.height() * kMiddleFrom));
    const int to = std::min(box.bottom(), box.top() + int(std::ceil(box.height() * kMiddleTo)));
    // Each side's stroke, found by its ink, not by the box's edge, which
    // recognition may draw a pixel or two wide.
    const int reach = std::max(1, int(std::ceil(box.width() * kSideShare)));
    const auto strokeColumn = [&](bool left) {
        int best = left ? box.left() : box.right();
        std::pair<int, int> bestInk{-1, -1};
        for (int i = 0; i < reach; ++i) {
            const int x = left ? box.left() + i : box.right() - i;
            int sum = 0;
            int faintest = std::numeric_limits<int>::max();
            for (int y = box.top(); y <= box.bottom(); ++y) {
                sum += inkAt(x, y);
                if (y >= from && y <= to) faintest = std::min(faintest, inkAt(x, y));
            }
            const std::pair<int, int> ink =
                rule == Sides::Oval ? std::pair{faintest, sum} : std::pair{sum, 0};
            if (ink > bestInk) best = x, bestInk = ink;
        }
        return best;
    };
    const int leftSide = strokeColumn(true);
    const int rightSide = strokeColumn(false);
    for (const int x : {leftSide, rightSide}) {
        int most = 0;
        for (int y = box.top(); y <= box.bottom(); ++y)
            most = std::max(most, inkAt(x, y));
        // Each side carries a stroke of the glyph's own weight, on every middle row.
        if (2 * most < strongest) return false;
        std::vector<int> middle;
        for (int y = from; y <= to; ++y)
            middle.push_back(inkAt(x, y));
        std::sort(middle.begin(), middle.end());
        const int usual = middle[middle.size() / 2];
        const int reference = rule == Sides::Oval ? usual : most;
        if (2 * usual < most || middle.front() < kSideInk * reference) return false;
    }
    // Between the sides, a zero holds at most its slash or dot on any middle
    // row; an eight drawn with a bar across its middle (Terminus) has straight
    // sides too, but inks that row right across.
    const int insideFrom = leftSide + 1;
    const int insideTo = rightSide - 1;
    if (insideTo >= insideFrom) {
        for (int y = from; y <= to; ++y) {
            int inked = 0;
            for (int x = insideFrom; x <= insideTo; ++x)
                inked += 2 * inkAt(x, y) >= strongest;
            if (inked > kMostInsideInk * (insideTo - insideFrom + 1)) return false;
        }
    }
    return true;
}

} // namespace

bool hasZeroSides(const QImage& image, const QRect& box) {
    return zeroSides(image, box, Sides::Straight);
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

Glyphs restoringZeros(const QImage& image, Glyphs line) {
    const qsizetype n = line.text.size();
    if (image.isNull() || line.boxes.size() != n) return line;
    const auto isGlyph = [&](qsizetype i) {
        return !line.text.at(i).isSpace() && !line.boxes.at(i).isNull();
    };
    QList<QRect> pixels;
    for (const QRectF& b : std::as_const(line.boxes))
        pixels.append(b.isNull() ? QRect() : pixelBox(b, image.size()));
    const auto centre = [&](qsizetype i) { return pixels.at(i).left() + pixels.at(i).width() / 2.0; };

    // The pitch: the median step between neighbouring glyphs, when the steps keep to it.
    QList<double> steps;
    int top = image.height();
    int bottom = -1;
    for (qsizetype i = 0; i < n; ++i) {
        if (!isGlyph(i)) continue;
        top = std::min(top, pixels.at(i).top());
        bottom = std::max(bottom, pixels.at(i).bottom());
        if (i + 1 < n && isGlyph(i + 1)) steps.append(centre(i + 1) - centre(i));
    }
    const std::optional<double> even =
        steps.size() < kLeastPitchSamples ? std::nullopt : EvenPitch::of(steps);
    if (!even) return line;
    const double pitch = *even;
    const int height = bottom - top + 1;
    const auto isZero = [&](const std::optional<QRect>& ink) {
        return ink && ink->width() >= kLeastGlyphWidth * pitch &&
               ink->height() >= kLeastGlyphHeight * height && zeroSides(image, *ink, Sides::Oval);
    };
    const auto put = [&](qsizetype i, QChar c, const QRect& box) {
        line.text.insert(i, c);
        line.boxes.insert(i, normalisedBox(box, image.size()));
        pixels.insert(i, box);
    };
    const auto set = [&](qsizetype i, QChar c, const QRect& box) {
        line.text[i] = c;
        line.boxes[i] = normalisedBox(box, image.size());
        pixels[i] = box;
    };
    const auto remove = [&](qsizetype i) {
        line.text.remove(i, 1);
        line.boxes.removeAt(i);
        pixels.removeAt(i);
    };

    // Whether glyphs a and a + 1 are one pitch apart (or either is missing):
    // then their boxes are where their glyphs are, and a gap beside them is
    // the engine's, not its boxes'.
    const auto onPitch = [&](qsizetype a) {
        return a < 0 || a + 1 >= line.text.size() || !isGlyph(a) || !isGlyph(a + 1) ||
               std::abs(centre(a + 1) - centre(a) - pitch) <= kMostOffCentre * pitch;
    };

    // From the end, so that each change leaves the indices before it alone.
    for (qsizetype i = n - 1; i >= 0; --i) {
        if (!isGlyph(i)) continue;
        // One box over two cells ("." for "0."): the ink splits at a blank
        // column into a zero and the glyph read.
        const QRect box = pixels.at(i);
        // A zero read as "@" in a cell of its own, on pitch with both
        // neighbours (an "@" squeezed beside a zero is a ghost of it, which
        // the resolver's repairs drop), its ink a zero's.
        if (line.text.at(i) == QLatin1Char('@') && i > 0 && i + 1 < line.text.size() && isGlyph(i - 1) &&
            isGlyph(i + 1) && onPitch(i - 1) && onPitch(i) && hasZeroSides(image, box)) {
            set(i, QLatin1Char('0'), box);
            continue;
        }
        // Between its neighbours' centres, one pitch more than the glyphs read.
        const bool cellMissing = i > 0 && i + 1 < line.text.size() && isGlyph(i - 1) && isGlyph(i + 1) &&
                                 std::lround((centre(i + 1) - centre(i - 1)) / pitch) == 3 &&
                                 onPitch(i - 2) && onPitch(i + 1);
        if (cellMissing && inNumber(line.text.at(i)) && box.width() >= kLeastMergedWidth * pitch &&
            box.width() <= kMostMergedWidth * pitch) {
            const AreaInk ink(image, QRect(QPoint(box.left(), top), QPoint(box.right(), bottom)));
            const QList<std::pair<int, int>> glyphs = ink.runs(kLeastRun); // a full stop is narrow
            if (glyphs.size() != 2 || glyphs.front().first <= pixels.at(i - 1).right() ||
                glyphs.back().second >= pixels.at(i + 1).left())
                continue;
            const std::optional<QRect> left = ink.box(glyphs.front().first, glyphs.front().second);
            const std::optional<QRect> right = ink.box(glyphs.back().first, glyphs.back().second);
            if (isZero(left) && !isZero(right)) {
                set(i, line.text.at(i), *right);
                put(i, QLatin1Char('0'), *left);
            } else if (isZero(right) && !isZero(left)) {
                set(i, line.text.at(i), *left);
                put(i + 1, QLatin1Char('0'), *right);
            }
            continue;
        }
        if (i + 1 >= line.text.size() || !isGlyph(i + 1)) continue;
        const double step = centre(i + 1) - centre(i);
        if (step >= kLeastDroppedStep * pitch && step <= kMostDroppedStep * pitch && onPitch(i - 1) &&
            onPitch(i + 1) && (inNumber(line.text.at(i)) || inNumber(line.text.at(i + 1)))) {
            // A glyph dropped between two others: its ink a cell's worth,
            // half-way between them.
            const QRect gap(QPoint(box.right() + 1, top), QPoint(pixels.at(i + 1).left() - 1, bottom));
            const std::optional<QRect> ink = AreaInk(image, gap).glyph(kLeastGlyphWidth * pitch / 2);
            const double middle = (centre(i) + centre(i + 1)) / 2;
            if (isZero(ink) && std::abs(ink->center().x() - middle) <= kMostOffCentre * pitch)
                put(i + 1, QLatin1Char('0'), *ink);
        } else if (step <= kMostSplitStep * pitch && zeroPieces(line.text.at(i), line.text.at(i + 1)) &&
                   i > 0 && i + 2 < line.text.size() && isGlyph(i - 1) && isGlyph(i + 2) &&
                   std::lround((centre(i + 2) - centre(i - 1)) / pitch) == 2 && onPitch(i - 2) &&
                   onPitch(i + 2)) {
            // Two glyphs read in one cell: with their neighbours, three glyphs in three cells.
            const QRect across = box | pixels.at(i + 1);
            const std::optional<QRect> both =
                AreaInk(image, QRect(QPoint(across.left(), top), QPoint(across.right(), bottom)))
                    .glyph(kLeastGlyphWidth * pitch / 2);
            if (!both || both->width() > kMostCellWidth * pitch || !isZero(both)) continue;
            remove(i + 1);
            set(i, QLatin1Char('0'), *both);
        }
    }
    return line;
}

} // namespace ScreenTextReader
