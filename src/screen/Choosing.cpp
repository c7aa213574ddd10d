// Choosing the reference under the pointer among the matches on one read's lines.
#include "screen/Choosing.h"

#include "core/Diagnostics.h"
#include "core/SpacedNames.h"
#include "screen/InkRow.h"
#include "screen/Layout.h"
#include "screen/Recognizing.h"

#include <QFileInfo>
#include <QSet>
#include <algorithm>

namespace ScreenTextReader {

namespace {

// "/" + first + "/" + second + "/" + rest, cut as a path splitter that skips
// empty pieces and stops after the second cut would: the rest keeps its slashes.
QStringList leadingPieces(const QString& path) {
    QStringList pieces;
    qsizetype start = 0;
    for (qsizetype i = 0; i < path.size(); ++i) {
        if (path.at(i) != QLatin1Char('/')) continue;
        if (i > start) pieces.append(path.sliced(start, i - start));
        start = i + 1;
        if (pieces.size() == 2) break;
    }
    if (start < path.size()) pieces.append(path.sliced(start));
    return pieces;
}

// The match runs into a tile edge that cut the strip: it may be a piece of a longer reference.
bool isFragment(const Line& line, double minX, double maxX) {
    const Tile& t = line.tile;
    const bool cutLeft =
        t.clippedLeft && line.minX <= t.strip.left() + kTileEdge && minX <= t.strip.left() + kTileEdge;
    const bool cutRight =
        t.clippedRight && line.maxX >= t.strip.right() - kTileEdge && maxX >= t.strip.right() - kTileEdge;
    return cutLeft || cutRight;
}

// Paths first, then the strict pattern's finds, then the longer.
bool precedes(const Hit& a, const Hit& b) {
    const bool aPath = a.reference.contains(QLatin1Char('/'));
    const bool bPath = b.reference.contains(QLatin1Char('/'));
    if (aPath != bPath) return aPath;
    if (a.loose != b.loose) return !a.loose;
    return a.reference.size() > b.reference.size();
}

void detail(const QString& text) {
    Diagnostics::print(QStringLiteral("        ") + text);
}

// A web or file scheme, also as recognition mangles it ("http ‘stall.png"):
// the names on such a line belong to a URL, not to the current folder.
bool holdsUrlScheme(const QString& text) {
    static const QRegularExpression scheme(QStringLiteral("\\b(?:https?|ftps?)\\b|\\bfile:|://"),
                                           QRegularExpression::CaseInsensitiveOption);
    return scheme.match(text).hasMatch();
}

// The same-line fallback: a lone bare name elsewhere on the pointer's own line.
std::optional<QUrl> sameLineFallback(const QStringList& names, const Resolver& resolve, bool verbose) {
    QList<QUrl> found;
    QSet<QString> paths;
    QSet<QString> tried;
    for (const QString& name : names) {
        if (name.contains(QLatin1Char('/')) || tried.contains(name)) continue;
        tried.insert(name);
        if (const std::optional<QUrl> url = resolve(name)) {
            found.append(*url);
            paths.insert(url->path());
        }
    }
    if (paths.size() == 1) {
        if (verbose) detail(QStringLiteral("same-line fallback -> ") + found.first().path());
        return found.first();
    }
    if (paths.size() > 1 && verbose)
        detail(QString::number(paths.size()) +
               QStringLiteral(" candidates on this line, too ambiguous to pick"));
    return std::nullopt;
}

// A word that ends like a file name (a period and a few letters) whatever
// the patterns made of it: recognition misread the name the user points at
// ("take-8@528.pnq"), and no neighbour stands in; only what the patterns read
// inside that word may. A word without one may be the first half of a path
// that recognition split in two, which the neighbour ends.
bool looksLikeAName(const QString& word) {
    static const QRegularExpression name(QStringLiteral("\\.[A-Za-z][A-Za-z0-9]{1,4}[^A-Za-z0-9]*$"));
    return name.match(word).hasMatch();
}

// The word of a line whose box holds the pointer's x, if any.
std::optional<Word> wordUnderPointer(const Line& line, double x) {
    static const QRegularExpression word(QStringLiteral("\\S+"));
    for (const QRegularExpressionMatch& m : word.globalMatch(line.searchable)) {
        const auto extent = line.span(m.capturedStart(), m.capturedEnd());
        if (extent && extent->first <= x && x <= extent->second)
            return Word{m.capturedStart(), m.capturedEnd(), m.captured()};
    }
    return std::nullopt;
}

// A bare name the same-line fallback may take, and where its line has it.
struct Beside {
    QString reference;
    const Line* line = nullptr;
    qsizetype from = 0;
    qsizetype to = 0;
};

// The fallback's names, less those a misread name under the pointer rules out.
QStringList fallbackNames(const QList<Beside>& beside, const QList<Line>& lines, QPointF pointer,
                          bool verbose) {
    std::optional<std::pair<const Line*, Word>> misread;
    for (const Line& line : lines) {
        if (line.minY > pointer.y() || pointer.y() > line.maxY) continue;
        if (const std::optional<Word> under = wordUnderPointer(line, pointer.x());
            under && looksLikeAName(under->text))
            misread = {&line, *under};
    }
    if (misread && verbose)
        detail(misread->second.text + QStringLiteral(" looks like a misread name; only what was read in it"));
    QStringList names;
    for (const Beside& b : beside)
        if (!misread ||
            (b.line == misread->first && misread->second.from <= b.from && b.to <= misread->second.to))
            names.append(b.reference);
    return names;
}

// The end of the first word of a line that may carry on the row above: a
// match starting before it may be a wrapped path's tail.
std::optional<qsizetype> continuedHead(const Line& line, const Continuing& continuing) {
    if (!continuing || !continuing(line)) return std::nullopt;
    if (const std::optional<Word> w = line.word(true)) return w->to;
    return std::nullopt;
}

struct SpacedOnPointer {
    SpacedNames::Choice choice;
    bool quotedOrEscaped = false; // such a name lay on the pointer, resolved or not
};

// Names with spaces on the pointer, read from the lines under it as the
// patterns' hits are: the same reach, fragment and row-above rules.
SpacedOnPointer spacedNameOnPointer(const Read& read, const Layout& layout, QPointF pointer,
                                    bool allowFragments, const Resolver& resolve,
                                    const Continuing& continuing, bool verbose) {
    QList<SpacedNames::Reading> onPointer;
    bool quotedOrEscaped = false;
    for (const Line& line : read.lines) {
        if (!layout.underPointerVertically(line, pointer)) continue;
        const std::optional<qsizetype> headEnd = continuedHead(line, continuing);
        const QString& text = line.searchable;
        for (const SpacedNames::Reading& r : SpacedNames::readings(text, 0, text.size())) {
            if (headEnd && r.location < *headEnd) continue;
            const auto extent =
                line.span(r.location, r.location + r.length).value_or(std::pair{line.minX, line.maxX});
            if (!allowFragments && isFragment(line, extent.first, extent.second)) continue;
            if (extent.first - kPointerReach > pointer.x() || pointer.x() > extent.second + kPointerReach)
                continue;
            onPointer.append(r);
            quotedOrEscaped = quotedOrEscaped || r.form == SpacedNames::Form::Quoted ||
                              r.form == SpacedNames::Form::Escaped;
        }
    }
    const SpacedNames::Choice choice = SpacedNames::choose(onPointer, resolve);
    if (verbose && choice.url) detail(QStringLiteral("name with spaces -> ") + choice.url->path());
    if (verbose && choice.ambiguous)
        detail(QStringLiteral("names with spaces fit more than one file; not guessing"));
    return {choice, quotedOrEscaped};
}

} // namespace

ImageReference::Match withoutGluedPrefix(const ImageReference::Match& match) {
    const QString& r = match.reference;
    if (r.startsWith(QLatin1Char('/')) || r.startsWith(QLatin1Char('~')) || r.contains(QLatin1Char(':')))
        return match;
    const qsizetype slash = r.indexOf(QLatin1Char('/'), 1);
    if (slash < 0) return match;
    const QString tail = r.sliced(slash);
    const QStringList pieces = leadingPieces(tail);
    if (pieces.size() != 3) return match;
    const QString folder = QLatin1Char('/') + pieces.at(0) + QLatin1Char('/') + pieces.at(1);
    if (!QFileInfo(folder).isDir()) return match;
    return ImageReference::Match{match.location + slash, match.length - slash, tail};
}

std::optional<QUrl> recognizeLines(const Read& read, QPointF pointer, bool allowFragments,
                                   const Resolver& resolve, const Continuing& continuing, bool verbose) {
    Layout layout(read.lines);
    const PointerRow row = pointerRowAt({read}, pointer);
    if (row.ambiguous) {
        if (verbose) detail(QStringLiteral("the pointer lies between two rows; not guessing"));
        return std::nullopt;
    }
    if (row.row && !rowWasRead({read}, pointer, *row.row)) {
        if (verbose)
            detail(QStringLiteral("the row under the pointer (ink y ") + wholePoints(row.row->top) +
                   QStringLiteral("..") + wholePoints(row.row->bottom) +
                   QStringLiteral(") was not read; not guessing"));
        return std::nullopt;
    }
    layout.pointerRow = row.row;
    QList<Hit> hits;
    // Bare names the fallback may take: only from the line whose own box holds
    // the pointer's y. The 14-point reach would let a neighbouring row stand in
    // for a row that recognition dropped, and a lone name there is not the one meant.
    QList<Beside> besideThePointer;
    for (const bool loose : {false, true}) {
        const QRegularExpression* pattern = loose ? ImageReference::loose() : ImageReference::strict();
        const QString passName = loose ? QStringLiteral("loose ") : QStringLiteral("strict");
        for (const Line& line : read.lines) {
            if (!layout.underPointerVertically(line, pointer)) continue;
            const QList<ImageReference::Match> matches = ImageReference::collect(pattern, line.searchable);
            if (matches.isEmpty()) continue;
            const bool ownRow =
                line.minY <= pointer.y() && pointer.y() <= line.maxY && !holdsUrlScheme(line.searchable);

            // The first word of a line that may carry on the row above may be a path's tail.
            const std::optional<qsizetype> headEnd = continuedHead(line, continuing);
            for (const ImageReference::Match& found : matches) {
                const ImageReference::Match m = withoutGluedPrefix(found);
                if (headEnd && m.location < *headEnd) {
                    if (verbose)
                        detail(m.reference + QStringLiteral(" may carry on the row above; not guessing"));
                    continue;
                }
                const auto extent =
                    line.span(m.location, m.location + m.length).value_or(std::pair{line.minX, line.maxX});
                if (!allowFragments && isFragment(line, extent.first, extent.second)) continue;
                const bool onPointer = extent.first - kPointerReach <= pointer.x() &&
                                       pointer.x() <= extent.second + kPointerReach;
                if (verbose)
                    detail(passName + QStringLiteral(" x ") + wholePoints(extent.first) +
                           QStringLiteral("..") + wholePoints(extent.second) + QStringLiteral(" y ") +
                           wholePoints(line.minY) + QStringLiteral("..") + wholePoints(line.maxY) +
                           QStringLiteral("  x:") +
                           (onPointer ? QStringLiteral("in ") : QStringLiteral("OUT")) +
                           QStringLiteral("  ") + m.reference);
                hits.append(Hit{m.reference, onPointer, loose});
                if (ownRow && !onPointer)
                    besideThePointer.append({m.reference, &line, m.location, m.location + m.length});
            }
        }
    }

    // Equal ranks keep their order of discovery.
    QList<Hit> onPointer;
    for (const Hit& h : hits)
        if (h.onPointer) onPointer.append(h);
    std::stable_sort(onPointer.begin(), onPointer.end(), precedes);
    QSet<QString> tried;
    for (const Hit& h : onPointer) {
        if (tried.contains(h.reference)) continue; // resolved already, to nothing
        tried.insert(h.reference);
        if (const std::optional<QUrl> url = resolve(h.reference)) {
            if (verbose) detail(QStringLiteral("-> ") + url->path());
            return url;
        }
    }

    // A name with spaces that the patterns saw only the last word of.
    const SpacedOnPointer spaced =
        spacedNameOnPointer(read, layout, pointer, allowFragments, resolve, continuing, verbose);
    if (spaced.choice.url || spaced.choice.ambiguous) return spaced.choice.url;

    // Something lay on the pointer and did not resolve: the user meant that, not a neighbour.
    // (Any words before an image name, or in parentheses, read as a name; only one that was
    // quoted or escaped counts.)
    if (!onPointer.isEmpty() || spaced.quotedOrEscaped) return std::nullopt;
    return sameLineFallback(fallbackNames(besideThePointer, read.lines, pointer, verbose), resolve, verbose);
}

} // namespace ScreenTextReader
