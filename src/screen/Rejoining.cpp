// Rejoining a reference that a terminal, table cell or narrow panel wrapped
// onto the next rows, and accepting it only when the pointer rests on it and
// the join is genuine.
#include "screen/Rejoining.h"

#include "core/Diagnostics.h"
#include "screen/Choosing.h"
#include "screen/InkRow.h"
#include "screen/Layout.h"
#include "screen/Lines.h"

#include <QSet>
#include <algorithm>

namespace ScreenTextReader {

namespace {

// One row's piece of the joined text.
struct Piece {
    const Line* line = nullptr;
    qsizetype start = 0;   // where the piece starts in the joined text
    qsizetype end = 0;     // where it ends (exclusive)
    qsizetype trimmed = 0; // leading characters of the line left out
};

// Rows, top to bottom, each ending its row and carried on by the next.
using Chain = QList<qsizetype>;

QList<Chain> chains(const Layout& layout) {
    const QList<Line>& lines = layout.lines;
    QList<bool> starts, ends;
    for (const Line& l : lines) {
        starts.append(layout.startsRow(l));
        ends.append(layout.endsRow(l));
    }
    // The first starter, in layout order, that carries line a on.
    const auto next = [&](qsizetype a) -> std::optional<qsizetype> {
        if (!ends.at(a)) return std::nullopt;
        for (qsizetype b = 0; b < lines.size(); ++b)
            if (b != a && starts.at(b) && layout.continues(lines.at(a), lines.at(b))) return b;
        return std::nullopt;
    };
    QList<Chain> result;
    for (qsizetype a = 0; a < lines.size(); ++a) {
        std::optional<qsizetype> b = next(a);
        if (!b) continue;
        Chain chain{a};
        // Each step goes at least 5 points down, so this ends.
        while (b) {
            chain.append(*b);
            b = next(*b);
        }
        result.append(chain);
    }
    std::stable_sort(result.begin(), result.end(),
                     [](const Chain& x, const Chain& y) { return x.size() > y.size(); });
    return result;
}

// The rows' searchable texts without the blanks at the joins.
QString joined(const Layout& layout, const Chain& chain, QList<Piece>& pieces) {
    QString text;
    for (qsizetype i = 0; i < chain.size(); ++i) {
        const Line& line = layout.lines.at(chain.at(i));
        QString piece = line.searchable;
        qsizetype trimmed = 0;
        if (i > 0) {
            const QString kept = trimmingLeadingWhitespace(piece);
            trimmed = piece.size() - kept.size();
            piece = kept;
        }
        if (i + 1 < chain.size()) piece = trimmingTrailingWhitespace(piece);
        pieces.append(Piece{&line, text.size(), text.size() + piece.size(), trimmed});
        text += piece;
    }
    return text;
}

// A later row holds a reference of its own (or the row above ended one) when
// the strict pattern, run over the text of the rows the match covers from that
// row's start, finds anything but the match's own tail; or when the match's
// text before that row already ends a complete reference. Either way the rows
// are separate references that merely sit one above the other.
bool rowsHoldTheirOwn(const QString& text, const QList<Piece>& pieces, qsizetype last,
                      const ImageReference::Match& m) {
    const qsizetype matchEnd = m.location + m.length;
    const qsizetype coveredEnd = pieces.at(last).end;
    for (qsizetype r = 1; r <= last; ++r) {
        const qsizetype s = pieces.at(r).start;
        for (const ImageReference::Match& own :
             ImageReference::collect(ImageReference::strict(), text.sliced(s, coveredEnd - s))) {
            const bool tail = own.location == 0 && s + own.length == matchEnd;
            if (!tail) return true;
        }
        const QString head = text.sliced(m.location, s - m.location);
        for (const ImageReference::Match& before : ImageReference::collect(ImageReference::strict(), head))
            if (before.location + before.length == head.size()) return true;
    }
    return false;
}

// Whether the pointer rests on the match in one of the rows it covers.
bool onPointer(const Layout& layout, const QList<Piece>& pieces, qsizetype last,
               const ImageReference::Match& m, QPointF pointer) {
    for (qsizetype r = 0; r <= last; ++r) {
        const Piece& p = pieces.at(r);
        if (!layout.underPointerVertically(*p.line, pointer)) continue;
        const qsizetype from = std::max(m.location, p.start);
        const qsizetype to = std::min(m.location + m.length, p.end);
        if (from >= to) continue;
        const auto extent = p.line->span(from - p.start + p.trimmed, to - p.start + p.trimmed);
        if (extent && extent->first - kPointerReach <= pointer.x() &&
            pointer.x() <= extent->second + kPointerReach)
            return true;
    }
    return false;
}

} // namespace

std::optional<QUrl> rejoined(const QList<Read>& reads, QPointF pointer, const Resolver& resolve,
                             bool verbose) {
    Layout layout = Layout::of(reads);
    if (layout.lines.size() < 2) return std::nullopt;
    const PointerRow row = pointerRowAt(reads, pointer);
    if (row.ambiguous || (row.row && !rowWasRead(reads, pointer, *row.row))) return std::nullopt;
    layout.pointerRow = row.row;

    QSet<QString> tried;
    for (const Chain& chain : chains(layout)) {
        const bool underPointer = std::any_of(chain.begin(), chain.end(), [&](qsizetype i) {
            return layout.underPointerVertically(layout.lines.at(i), pointer);
        });
        if (!underPointer) continue;

        QList<Piece> pieces;
        const QString text = joined(layout, chain, pieces);
        for (const bool loose : {false, true}) {
            const QRegularExpression* pattern = loose ? ImageReference::loose() : ImageReference::strict();
            for (const ImageReference::Match& found : ImageReference::collect(pattern, text)) {
                const ImageReference::Match m = withoutGluedPrefix(found);
                // It must start on the first row and run into a later one; the
                // rows below the one it ends in are not part of this join.
                if (m.location >= pieces.at(1).start) continue;
                qsizetype last = 0;
                while (last + 1 < pieces.size() && pieces.at(last + 1).start < m.location + m.length)
                    ++last;
                if (last == 0) continue;
                if (rowsHoldTheirOwn(text, pieces, last, m)) continue;
                if (!onPointer(layout, pieces, last, m, pointer)) continue;
                if (tried.contains(m.reference)) continue;
                tried.insert(m.reference);
                const std::optional<QUrl> url = resolve(m.reference);
                if (!url) continue;
                if (verbose) {
                    QStringList rows;
                    for (qsizetype r = 0; r <= last; ++r)
                        rows << pieces.at(r).line->text;
                    Diagnostics::print(QStringLiteral("        ") + rows.join(QStringLiteral(" + ")));
                    Diagnostics::print(QStringLiteral("        ") +
                                       (loose ? QStringLiteral("loose ") : QStringLiteral("strict")) +
                                       QStringLiteral(" rejoined ") + QString::number(last + 1) +
                                       QStringLiteral(" rows -> ") + url->path());
                }
                return url;
            }
        }
    }
    return std::nullopt;
}

} // namespace ScreenTextReader
