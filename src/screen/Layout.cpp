#include "screen/Layout.h"

#include "core/ImageReference.h"

#include <algorithm>
#include <cmath>

namespace ScreenTextReader {

namespace {

// How far the pointer's y lies outside the line (0 when within it).
double verticalDistance(const Line& line, QPointF pointer) {
    if (pointer.y() < line.minY) return line.minY - pointer.y();
    if (pointer.y() > line.maxY) return pointer.y() - line.maxY;
    return 0;
}

bool overlapsHorizontally(const Line& a, const Line& b) {
    return a.minX < b.maxX && b.minX < a.maxX;
}

// The first line with the smallest minX (largest maxX for rightmost).
const Line& leftmost(const QList<Line>& lines) {
    return *std::min_element(lines.begin(), lines.end(),
                             [](const Line& a, const Line& b) { return a.minX < b.minX; });
}
const Line& rightmost(const QList<Line>& lines) {
    return *std::max_element(lines.begin(), lines.end(),
                             [](const Line& a, const Line& b) { return a.maxX < b.maxX; });
}

// The line touches its tile's right (left) edge, and that edge cut the strip.
bool nearClippedRight(const Line& line, double reach) {
    return line.tile.clippedRight && line.maxX >= line.tile.strip.right() - reach;
}
bool nearClippedLeft(const Line& line, double reach) {
    return line.tile.clippedLeft && line.minX <= line.tile.strip.left() + reach;
}

// A 1000-point span of the strip's height from x, kept inside the strip.
QRectF spanWithin(double x, QRectF strip) {
    if (x + kTileSpanWidth > strip.right()) x = strip.right() - kTileSpanWidth;
    x = std::max(x, strip.left());
    return QRectF(x, strip.top(), kTileSpanWidth, strip.height()).intersected(strip);
}

} // namespace

Layout Layout::of(const QList<Read>& reads) {
    Layout layout;
    for (const Read& r : reads)
        layout.lines.append(r.lines);
    return layout;
}

QList<Line> Layout::run(const Line& line) const {
    QList<Line> result{line};
    double lo = line.minX, hi = line.maxX;
    const double middle = line.middle();
    bool grew = true;
    while (grew) {
        grew = false;
        for (const Line& m : lines) {
            const bool sameRow = std::abs(m.middle() - middle) < kSameRowBand;
            const bool near = m.maxX >= lo - kRunGap && m.minX <= hi + kRunGap;
            const bool reachesBeyond = m.minX < lo - kRunGrowth || m.maxX > hi + kRunGrowth;
            if (sameRow && near && reachesBeyond) {
                result.append(m);
                lo = std::min(lo, m.minX);
                hi = std::max(hi, m.maxX);
                grew = true;
            }
        }
    }
    return result;
}

bool Layout::endsRow(const Line& line) const {
    const QList<Line> r = run(line);
    if (std::any_of(r.begin(), r.end(), [&](const Line& m) { return m.maxX > line.maxX + kRunGap; }))
        return false;
    if (!nearClippedRight(line, kTileEdge)) return true;
    // Cut by the tile edge: only the same row read in another tile can tell.
    return std::any_of(r.begin(), r.end(), [&](const Line& m) {
        return !nearClippedRight(m, kTileEdge) && std::abs(m.maxX - line.maxX) < kEdgeAgreement;
    });
}

bool Layout::startsRow(const Line& line) const {
    const QList<Line> r = run(line);
    if (std::any_of(r.begin(), r.end(), [&](const Line& m) { return m.minX < line.minX - kRunGap; }))
        return false;
    if (!nearClippedLeft(line, kTileEdge)) return true;
    return std::any_of(r.begin(), r.end(), [&](const Line& m) {
        return !nearClippedLeft(m, kTileEdge) && std::abs(m.minX - line.minX) < kEdgeAgreement;
    });
}

bool Layout::continues(const Line& a, const Line& b) const {
    const double gap = b.minY - a.maxY;
    if (!(gap < kRowGap && gap > -kRowOverlap * std::min(b.height(), a.height()))) return false;
    if (b.middle() < a.middle() + kRowStep) return false;
    const double left = std::min(a.minX, b.minX), right = std::max(a.maxX, b.maxX);
    for (const Line& m : lines) {
        const bool between = m.middle() >= a.middle() + kRowStep && m.middle() <= b.middle() - kRowStep;
        if (between && m.minX < right && m.maxX > left) return false;
    }
    const QList<Line> r = run(a);
    return b.minX <= leftmost(r).minX + kRowGap;
}

bool Layout::mayContinue(const Line& line) const {
    if (!startsRow(line)) return false;
    for (const Line& a : lines) {
        if (!continues(a, line)) continue;
        const QList<Line> r = run(a);
        if (std::any_of(r.begin(), r.end(), [&](const Line& m) { return m.maxX > a.maxX + kRunGap; }))
            continue;
        if (nearClippedRight(a, kCarryZone)) return true;
        const std::optional<Word> last = a.word(false);
        if (last && last->text.contains(QLatin1Char('/'))) return true;
    }
    return false;
}

std::optional<QList<Line>> Layout::adjacent(const QList<Line>& row, bool above) const {
    if (row.isEmpty()) return std::nullopt;
    double minX = row.first().minX, maxX = row.first().maxX, minY = row.first().minY, maxY = row.first().maxY;
    for (const Line& l : row) {
        minX = std::min(minX, l.minX);
        maxX = std::max(maxX, l.maxX);
        minY = std::min(minY, l.minY);
        maxY = std::max(maxY, l.maxY);
    }
    const double middle = row.first().middle();
    const Line* nearest = nullptr;
    for (const Line& c : lines) {
        const bool side = above ? c.middle() <= middle - kRowStep : c.middle() >= middle + kRowStep;
        if (!side || !(c.minX < maxX && minX < c.maxX)) continue;
        if (!nearest || std::abs(c.middle() - middle) < std::abs(nearest->middle() - middle)) nearest = &c;
    }
    if (!nearest) return std::nullopt;
    const double gap = above ? minY - nearest->maxY : nearest->minY - maxY;
    if (gap >= kRowGap) return std::nullopt;
    return run(*nearest);
}

bool Layout::underPointerVertically(const Line& line, QPointF pointer) const {
    const double dy = verticalDistance(line, pointer);
    if (dy > kPointerReach) return false;
    if (pointerRow) return onInkRow(line, *pointerRow);
    const bool lineAbove = line.maxY < pointer.y();
    return std::none_of(lines.begin(), lines.end(), [&](const Line& m) {
        if (!overlapsHorizontally(m, line)) return false;
        const double other = verticalDistance(m, pointer);
        // A line that holds the pointer's y (distance 0) hides one more than 3 away.
        if (other + kOcclusion < dy) return true;
        // In the blank band between two rows the pointer belongs to the row
        // whose cell reaches into the band, and the ink does not tell which:
        // unless one row is clearly nearer, neither is taken. A row whose box
        // holds the pointer's y wins over any other row (boxes drawn round
        // bitmap glyphs overlap the next row's by a few points).
        const bool otherSide = lineAbove ? m.minY > pointer.y() : m.maxY < pointer.y();
        const bool otherRow = std::abs(m.middle() - line.middle()) >= kSameRowBand;
        return dy > 0 && otherRow && (otherSide || other == 0) && other <= dy + kOcclusion;
    });
}

bool Layout::underPointer(const Line& line, QPointF pointer) const {
    return underPointerVertically(line, pointer) && line.minX - kPointerReach <= pointer.x() &&
           pointer.x() <= line.maxX + kPointerReach;
}

bool pathLike(const QString& word) {
    return word.contains(QLatin1Char('/')) ||
           !ImageReference::collect(ImageReference::loose(), word).isEmpty() ||
           !ImageReference::collect(ImageReference::strict(), word).isEmpty();
}

std::optional<QRectF> anchoredSpan(const Read& read, QRectF strip, QPointF pointer) {
    if (strip.width() <= kTileSpanWidth || read.lines.isEmpty()) return std::nullopt;
    const Layout layout(read.lines);
    const Line* anchor = nullptr;
    for (const Line& l : layout.lines) {
        if (!layout.underPointer(l, pointer)) continue;
        if (!anchor || l.maxX - l.minX > anchor->maxX - anchor->minX) anchor = &l;
    }
    if (!anchor) return std::nullopt;

    double x = 0;
    if (nearClippedLeft(*anchor, kTileEdge))
        x = anchor->maxX + kSpanMargin - kTileSpanWidth;
    else if (nearClippedRight(*anchor, kTileEdge))
        x = anchor->minX - kSpanMargin;
    else
        return std::nullopt;

    const QRectF span = spanWithin(x, strip);
    if (span.width() < kLeastAnchoredSpan ||
        std::abs(span.left() - anchor->tile.strip.left()) <= kDuplicateSpan)
        return std::nullopt;
    return span;
}

QList<QRectF> continuationSpans(const QList<Read>& reads, QRectF strip, QPointF pointer) {
    if (strip.width() <= kTileSpanWidth) return {};
    const Layout layout = Layout::of(reads);
    QList<double> starts;

    for (const Line& l : layout.lines) {
        if (!layout.underPointer(l, pointer)) continue;
        const QList<Line> row = layout.run(l);
        const Line& first = leftmost(row);
        const Line& last = rightmost(row);

        // Upward: the pointer on the head of a row whose path began on the row above.
        if (!nearClippedLeft(first, kTileEdge)) {
            const std::optional<Word> w = first.word(true);
            const auto extent = w ? first.span(w->from, w->to) : std::nullopt;
            if (w && extent && extent->second + kPointerReach >= pointer.x()) {
                if (const auto above = layout.adjacent(row, true)) {
                    const Line& u = rightmost(*above);
                    if (nearClippedRight(u, kCarryZone) &&
                        (pathLike(w->text) || u.text.contains(QLatin1Char('/'))))
                        starts.append(u.maxX - kSpanMargin);
                }
            }
        }

        // Downward: the pointer on the tail of a row whose path goes on below.
        if (!nearClippedRight(last, kTileEdge)) {
            const std::optional<Word> w = last.word(false);
            const auto extent = w ? last.span(w->from, w->to) : std::nullopt;
            if (w && extent && extent->first - kPointerReach <= pointer.x() &&
                w->text.contains(QLatin1Char('/')) &&
                ImageReference::collect(ImageReference::strict(), w->text).isEmpty()) {
                QList<Line> sameRow;
                for (const Line& m : layout.lines)
                    if (std::abs(m.middle() - l.middle()) < kSameRowBand) sameRow.append(m);
                const Line& g = leftmost(sameRow);
                if (nearClippedLeft(g, kCarryZone)) {
                    starts.append(g.minX + kSpanMargin - kTileSpanWidth);
                } else if (const auto below = layout.adjacent(sameRow, false)) {
                    const Line& d = leftmost(*below);
                    if (nearClippedLeft(d, kCarryZone)) starts.append(d.minX + kSpanMargin - kTileSpanWidth);
                }
            }
        }
    }

    QList<QRectF> seen;
    for (const Read& r : reads)
        seen.append(r.tile.strip);
    QList<QRectF> accepted;
    for (double x : starts) {
        const QRectF span = spanWithin(x, strip);
        if (span.isEmpty() || span.width() < kLeastContinuationSpan) continue;
        const auto covers = [&](const QRectF& s) {
            return s.left() <= span.left() + kDuplicateSpan && s.right() >= span.right() - kDuplicateSpan;
        };
        if (std::any_of(seen.begin(), seen.end(), covers) ||
            std::any_of(accepted.begin(), accepted.end(), covers))
            continue;
        accepted.append(span);
    }
    return accepted;
}

} // namespace ScreenTextReader
