#pragma once

#include "screen/InkRow.h"
#include "screen/ScreenTextReader.h"

#include <QPointF>

// The geometry of recognised rows: which lines form one row, whether a row
// ends where its text stops, whether the next row carries it on, which line
// lies under the pointer, and which further spans of the strip must be read
// so that a row cut by a tile edge is seen whole. Points, y downwards.
namespace ScreenTextReader {

// Two lines are on one row when their middles differ by less than this.
inline constexpr double kSameRowBand = 5.0;
// Neighbours on a row may be this far apart horizontally.
inline constexpr double kRunGap = 10.0;
// A neighbour joins a run only when it reaches more than this beyond it.
inline constexpr double kRunGrowth = 1.0;
// A line this close to a clipped tile edge counts as cut by it.
inline constexpr double kTileEdge = 12.0;
// Two lines end (or start) at the same x when this close.
inline constexpr double kEdgeAgreement = 5.0;
// The vertical gap between a row and the next, and a continuation's indent, stay below this.
inline constexpr double kRowGap = 24.0;
// Consecutive rows may overlap vertically by at most this share of the smaller height.
inline constexpr double kRowOverlap = 0.5;
// The next row's middle lies at least this far below.
inline constexpr double kRowStep = 5.0;
// A row ending this close to a clipped right tile edge may continue beyond the tile.
inline constexpr double kCarryZone = 160.0;
// The pointer is on a line when this close, vertically and horizontally.
inline constexpr double kPointerReach = 14.0;
// Another line more than this much closer to the pointer, vertically, hides a line.
inline constexpr double kOcclusion = 3.0;
// A continuation span reaches this far past the end of the visible text.
inline constexpr double kSpanMargin = 48.0;
// Narrower spans are not worth reading.
inline constexpr double kLeastAnchoredSpan = 250.0;
inline constexpr double kLeastContinuationSpan = 40.0;
// A span whose edges lie this close to an existing tile's or span's is a duplicate.
inline constexpr double kDuplicateSpan = 2.0;

// The lines among which rows are sought: one read's, or all reads' in read order.
struct Layout {
    QList<Line> lines;
    // The row of ink the pointer rests on, when the pixels show one: then a
    // line is under the pointer vertically exactly when it lies on that row.
    // Set only by callers that ask about that one pointer.
    std::optional<InkRow> pointerRow;

    Layout() = default;
    explicit Layout(QList<Line> lines) : lines(std::move(lines)) {}
    // The lines of all reads, in read order.
    static Layout of(const QList<Read>& reads);

    // The lines on the line's row that touch it or each other, the line first.
    QList<Line> run(const Line& line) const;
    // The row's text stops at the line's right (left) end rather than being cut there.
    bool endsRow(const Line& line) const;
    bool startsRow(const Line& line) const;
    // The lower line b carries the upper line a's row on.
    bool continues(const Line& a, const Line& b) const;
    // The line may carry on some row above (that row is cut at a tile edge or ends in a path).
    bool mayContinue(const Line& line) const;
    // The run of the nearest row above (below) the row, when close enough.
    std::optional<QList<Line>> adjacent(const QList<Line>& row, bool above) const;

    // The anchor rule: the line lies under the pointer vertically (within 14
    // points and not hidden by a line more than 3 points closer; with the
    // pointer between two rows, only the one more than 3 points nearer; a
    // row whose box holds the pointer's y hides the rows whose boxes do not;
    // with the pointer's row of ink known, lying on it) ...
    bool underPointerVertically(const Line& line, QPointF pointer) const;
    // ... and horizontally within 14 points of its ends.
    bool underPointer(const Line& line, QPointF pointer) const;
};

// A 1000-point span re-centred on the line under the pointer that the read's
// tile cut; none when the strip is one tile or nothing was cut.
std::optional<QRectF> anchoredSpan(const Read& read, QRectF strip, QPointF pointer);

// Spans that would show the rest of a path cut at a tile edge on the row above
// or below the pointer's; not yet read, without duplicates.
QList<QRectF> continuationSpans(const QList<Read>& reads, QRectF strip, QPointF pointer);

// Contains "/" or holds a reference by the loose or the strict pattern.
bool pathLike(const QString& word);

} // namespace ScreenTextReader
