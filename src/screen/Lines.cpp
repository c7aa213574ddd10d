#include "screen/Lines.h"

#include "core/ImageReference.h"
#include "screen/Layout.h"
#include "screen/SlashedZeros.h"
#include "screen/Tiles.h"

#include <algorithm>
#include <cmath>
#include <exception>

namespace ScreenTextReader {

namespace {

// Boxes from the engine are trusted within this much of the unit square.
constexpr double kBoxSlack = 1e-6;

bool sane(const QRectF& box) {
    const bool finite = std::isfinite(box.x()) && std::isfinite(box.y()) && std::isfinite(box.width()) &&
                        std::isfinite(box.height());
    return finite && box.width() > 0 && box.height() > 0 && box.left() >= -kBoxSlack &&
           box.bottom() <= 1 + kBoxSlack && box.top() >= -kBoxSlack && box.right() <= 1 + kBoxSlack;
}

// The box clamped to the unit square (it is already within the slack).
QRectF clamped(const QRectF& box) {
    return box.intersected(QRectF(0, 0, 1, 1));
}

struct Edges {
    double minX, maxX, minY, maxY;
};

// A normalised box (origin bottom left) placed on the span the tile shows.
Edges placed(const QRectF& b, const QRectF& s) {
    return Edges{s.left() + b.left() * s.width(), s.left() + b.right() * s.width(),
                 s.bottom() - b.bottom() * s.height(), s.bottom() - b.top() * s.height()};
}

// Whether a line (box normalised to the tile) reaches within the tile-edge
// distance of a side where the tile cut the captured strip.
bool cutByTileEdge(const QRectF& box, const Tile& tile) {
    const double width = tile.strip.width();
    const bool nearLeft = tile.clippedLeft && box.left() * width <= kTileEdge;
    const bool nearRight = tile.clippedRight && (1.0 - box.right()) * width <= kTileEdge;
    return nearLeft || nearRight;
}

// Whether the text holds a whole image name. The engine is unsure of many a
// clean line that holds one (a word like "-528." drags the average to 0),
// while what it reads from noise and pictures is almost never such a name.
bool namesAnImage(const QString& text) {
    return !ImageReference::collect(ImageReference::strict(), text).isEmpty();
}

// Whether a line's box holds the middle of another, shorter line that lies
// above or below the box's own middle and beside it: the box spans two rows
// (recognition read one row's words into the next), and says nothing about
// where either lies. A line split in two on one row keeps both halves.
bool spansTwoRows(const Line& line, const QList<Line>& all) {
    return std::any_of(all.begin(), all.end(), [&](const Line& other) {
        const bool beside = other.minX < line.maxX && line.minX < other.maxX;
        return &other != &line && beside && other.height() < line.height() && line.minY < other.middle() &&
               other.middle() < line.maxY && std::abs(other.middle() - line.middle()) > line.height() / 4;
    });
}

} // namespace

QList<platform::Observation> observations(const platform::TextRecognizer& recognizer, const QImage& image,
                                          double leastConfidence) {
    QList<platform::Observation> raw;
    try {
        raw = recognizer.recognize(image);
    } catch (...) {
        return {};
    }
    QList<platform::Observation> kept;
    for (platform::Observation& o : raw) {
        if (!sane(o.box) || o.confidence < leastConfidence) continue;
        o.box = clamped(o.box);
        if (o.characters.size() != o.text.size()) {
            o.characters.clear();
        } else {
            for (QRectF& c : o.characters)
                c = (!c.isNull() && sane(c)) ? clamped(c) : QRectF();
        }
        kept.append(std::move(o));
    }
    return kept;
}

QList<Line> lines(const platform::TextRecognizer& recognizer, const Tile& tile) {
    QList<Line> result;
    for (const platform::Observation& o : observations(recognizer, tile.image, 0.0)) {
        const Glyphs read = restoringZeros(tile.image, {o.text, o.characters});
        const QString repaired = ImageReference::normalisingRecognition(read.text);
        const QString searchable = readingSlashedZeros(
            tile.image, repaired.size() == read.text.size() ? repaired : read.text, read.boxes);
        if (o.confidence < kLeastConfidence && !cutByTileEdge(o.box, tile) && !namesAnImage(searchable))
            continue;
        Line line;
        line.text = read.text;
        line.searchable = searchable;
        line.characterBoxes = read.boxes;
        line.tile = tile;
        const Edges e = placed(o.box, tile.strip);
        line.minX = e.minX;
        line.maxX = e.maxX;
        line.minY = e.minY;
        line.maxY = e.maxY;
        result.append(std::move(line));
    }
    QList<Line> kept;
    for (const Line& line : std::as_const(result))
        if (!spansTwoRows(line, result)) kept.append(line);
    return kept;
}

Read read(const platform::TextRecognizer& recognizer, const Tile& tile) {
    return Read{tile, lines(recognizer, tile)};
}

QList<RecognizedString> recognizeStringsInTile(const platform::TextRecognizer& recognizer,
                                               const QImage& image, QRectF strip) {
    QList<RecognizedString> result;
    for (const platform::Observation& o : observations(recognizer, image)) {
        const Edges e = placed(o.box, strip);
        result.append(RecognizedString{o.text, e.minX, e.maxX, e.minY, e.maxY});
    }
    return result;
}

QList<RecognizedString> recognizeStrings(const platform::TextRecognizer& recognizer, const QImage& image,
                                         QRectF strip) {
    QList<RecognizedString> result;
    for (const QRectF& span : spansCoveringStrip(strip)) {
        if (const std::optional<Tile> t = tile(image, strip, span))
            result.append(recognizeStringsInTile(recognizer, t->image, t->strip));
    }
    return result;
}

QString trimmingLeadingWhitespace(const QString& text) {
    qsizetype i = 0;
    while (i < text.size() && text.at(i).isSpace())
        ++i;
    return text.mid(i);
}

QString trimmingTrailingWhitespace(const QString& text) {
    qsizetype end = text.size();
    while (end > 0 && text.at(end - 1).isSpace())
        --end;
    return text.left(end);
}

std::optional<Word> Line::word(bool first) const {
    const QString& s = searchable;
    const qsizetype n = s.size();
    if (first) {
        qsizetype from = 0;
        while (from < n && s.at(from).isSpace())
            ++from;
        if (from == n) return std::nullopt;
        qsizetype to = from;
        while (to < n && !s.at(to).isSpace())
            ++to;
        return Word{from, to, s.mid(from, to - from)};
    }
    qsizetype to = n;
    while (to > 0 && s.at(to - 1).isSpace())
        --to;
    if (to == 0) return std::nullopt;
    qsizetype from = to;
    while (from > 0 && !s.at(from - 1).isSpace())
        --from;
    return Word{from, to, s.mid(from, to - from)};
}

std::optional<std::pair<double, double>> Line::span(qsizetype from, qsizetype to) const {
    const qsizetype n = text.size();
    if (from < 0 || to <= from || to > n || characterBoxes.size() != n) return std::nullopt;
    qsizetype start = from;
    while (start > 0 && !text.at(start - 1).isSpace())
        --start;
    qsizetype end = to;
    while (end < n && !text.at(end).isSpace())
        ++end;

    QRectF box;
    for (qsizetype i = start; i < end; ++i) {
        const QRectF& c = characterBoxes.at(i);
        if (!c.isNull()) box = box.isNull() ? c : box.united(c);
    }
    if (box.isNull()) return std::nullopt;
    const QRectF& s = tile.strip;
    const double base = s.left() + box.left() * s.width();
    const double perCharacter = (box.width() * s.width()) / double(end - start);
    return std::pair{base + perCharacter * double(from - start), base + perCharacter * double(to - start)};
}

} // namespace ScreenTextReader
