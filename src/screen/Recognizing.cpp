// The screen reader's entry: capture the strip, read its tiles as the stages
// ask for them, and hand the lines to the choosing and rejoining steps with
// resolvers that widen stage by stage.
#include "screen/Recognizing.h"

#include "core/Diagnostics.h"
#include "screen/Capture.h"
#include "screen/Choosing.h"
#include "screen/Layout.h"
#include "screen/Lines.h"
#include "screen/PageBounds.h"
#include "screen/Rejoining.h"
#include "screen/Tiles.h"

#include <QLocale>
#include <algorithm>
#include <cmath>
#include <cstdio>

namespace ScreenTextReader {

namespace {

void logRead(const Read& read, const QString& label, bool verbose) {
    if (!verbose) return;
    for (const QString& line : readLog(read, label))
        Diagnostics::print(line);
}

// A rectangle as "(x, y, width, height)" with each number written in full.
QString described(QRectF r) {
    const auto number = [](double v) {
        QString s = QString::number(v, 'g', QLocale::FloatingPointShortest);
        if (!s.contains(QLatin1Char('.')) && !s.contains(QLatin1Char('e')) && !s.contains(QLatin1Char('n')))
            s += QStringLiteral(".0");
        return s;
    };
    return QStringLiteral("(%1, %2, %3, %4)")
        .arg(number(r.x()), number(r.y()), number(r.width()), number(r.height()));
}

// Places the strip on the pointer's monitor inside the capture, so that the
// monitor query runs under the capture's deadline: a display which stops
// answering holds up one capture until its deadline (and counts as a stall)
// instead of hanging the monitor query before it.
class StripOnMonitor final : public platform::ScreenCapture {
  public:
    explicit StripOnMonitor(std::shared_ptr<platform::ScreenCapture> inner) : inner_(std::move(inner)) {}
    bool canCapture(platform::Deadline deadline) override { return inner_->canCapture(deadline); }
    QList<platform::Monitor> monitors(platform::Deadline deadline) override { return inner_->monitors(deadline); }
    // The strip handed in is centred on the pointer; it is moved onto the monitor here.
    std::optional<platform::Capture> capture(QRectF centred, platform::Deadline deadline) override {
        const QList<platform::Monitor> monitors = inner_->monitors(deadline);
        const std::optional<platform::Monitor> m = platform::monitorAt(centred.center(), monitors);
        textScale_ = m ? m->textScale : 1.0;
        return inner_->capture(strip(centred.center(), monitors), deadline);
    }
    // The text scale of the monitor the last capture was taken on.
    double textScale() const { return textScale_; }

  private:
    std::shared_ptr<platform::ScreenCapture> inner_;
    double textScale_ = 1.0;
};

// The span read first: 1000 points round the pointer on a wide strip, moved
// to lie inside the strip rather than cut by its edge. A tile cut short near
// the screen's edge would leave a line running past its far side unread for
// good: the tile along that line would start at the same edge, and a span
// that starts where a read tile starts is never read again.
QRectF pointerSpan(QRectF strip, QPointF pointer) {
    if (strip.width() <= kTileSpanWidth) return strip;
    double x = pointer.x() - kTileSpanWidth / 2;
    x = std::max(strip.left(), std::min(strip.right() - kTileSpanWidth, x));
    return QRectF(x, strip.top(), kTileSpanWidth, strip.height());
}

} // namespace

QString wholePoints(double value) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.0f", value);
    return QString::fromLatin1(buffer);
}

QStringList readLog(const Read& read, const QString& label) {
    QStringList lines;
    const QRectF& s = read.tile.strip;
    lines << QStringLiteral("  [ocr] read x %1..%2  %3x%4 px  %5 line(s)  %6")
                 .arg(wholePoints(s.left()), wholePoints(s.right()))
                 .arg(read.tile.image.width())
                 .arg(read.tile.image.height())
                 .arg(read.lines.size())
                 .arg(label);
    for (const Line& l : read.lines)
        lines << QStringLiteral("        read  x %1..%2 y %3..%4  ")
                         .arg(wholePoints(l.minX), wholePoints(l.maxX), wholePoints(l.minY),
                              wholePoints(l.maxY)) +
                     l.text;
    return lines;
}

Resolver exactResolver(const ResolutionContext& context) {
    return [context](const QString& r) { return ImageReference::resolveExact(r, context); };
}

Resolver onDiskResolver(const ResolutionContext& context) {
    return [context](const QString& r) { return ImageReference::resolveOnDisk(r, context); };
}

Resolver anywhereResolver(const ResolutionContext& context) {
    return [context](const QString& r) { return ImageReference::resolveExisting(r, context); };
}

std::optional<QUrl> recognize(const platform::TextRecognizer& recognizer, const QImage& captured, QRectF strip,
                              QPointF pointer, const ResolutionContext& context, bool verbose) {
    if (captured.isNull() || !(strip.width() > 0) || !(strip.height() > 0)) return std::nullopt;
    // Only the window under the pointer is read: the desktop or a title bar
    // beside its text would garble the line next to them.
    const double density = captured.width() / strip.width();
    const QPointF inImage = (pointer - strip.topLeft()) * density;
    const QImage image = pageAround(captured, QPoint(int(std::floor(inImage.x())), int(std::floor(inImage.y()))));
    const Resolver exact = exactResolver(context);
    const Resolver onDisk = onDiskResolver(context);
    const Resolver anywhere = anywhereResolver(context);
    QList<Read> reads;

    // 1. The tile round the pointer, exact resolution only.
    const std::optional<Tile> first = tile(image, strip, pointerSpan(strip, pointer));
    if (!first) return std::nullopt;
    reads.append(read(recognizer, *first));
    logRead(reads.last(), QStringLiteral("under the pointer"), verbose);
    if (auto url = recognizeLines(reads.last(), pointer, false, exact, nullptr, verbose)) return url;
    if (auto url = rejoined(reads, pointer, exact, verbose)) return url;

    // 2. A tile along the pointer's line when the first one cut it.
    if (const std::optional<QRectF> span = anchoredSpan(reads.first(), strip, pointer)) {
        if (const std::optional<Tile> t = tile(image, strip, *span)) {
            reads.append(read(recognizer, *t));
            logRead(reads.last(), QStringLiteral("along the text"), verbose);
            if (auto url = recognizeLines(reads.last(), pointer, false, exact, nullptr, verbose)) return url;
            if (auto url = rejoined(reads, pointer, exact, verbose)) return url;
        }
    }

    // 3. Tiles showing the rest of a row wrapped above or below.
    bool added = false;
    for (const QRectF& span : continuationSpans(reads, strip, pointer)) {
        if (const std::optional<Tile> t = tile(image, strip, span)) {
            reads.append(read(recognizer, *t));
            logRead(reads.last(), QStringLiteral("across a wrapped row"), verbose);
            added = true;
        }
    }
    if (added) {
        if (auto url = rejoined(reads, pointer, exact, verbose)) return url;
    }

    // 4. to 8. Widening: the disk, fragments, then session records.
    for (const Read& r : reads)
        if (auto url = recognizeLines(r, pointer, false, onDisk, nullptr, verbose)) return url;
    if (auto url = rejoined(reads, pointer, onDisk, verbose)) return url;
    for (const Read& r : reads)
        if (auto url = recognizeLines(r, pointer, true, onDisk, nullptr, verbose)) return url;
    if (auto url = rejoined(reads, pointer, anywhere, verbose)) return url;
    const Layout all = Layout::of(reads);
    const Continuing mayContinue = [&all](const Line& line) { return all.mayContinue(line); };
    for (const Read& r : reads)
        if (auto url = recognizeLines(r, pointer, true, anywhere, mayContinue, verbose)) return url;
    return std::nullopt;
}

std::optional<QUrl> recognizeCapture(const platform::TextRecognizer& recognizer, const platform::Capture& captured,
                                     QPointF pointer, double textScale, const ResolutionContext& context,
                                     bool verbose) {
    // Dividing every coordinate by the scale keeps the picture and its
    // pixels: only the density the tiles see grows, so text already large
    // is not enlarged again, and row gaps and reaches scale with the text.
    const double s = std::isfinite(textScale) && textScale > 0 ? textScale : 1.0;
    const QRectF strip(captured.strip.topLeft() / s, captured.strip.size() / s);
    return recognize(recognizer, captured.image, strip, pointer / s, context, verbose);
}

std::optional<QUrl> imageReference(const std::shared_ptr<platform::ScreenCapture>& capture,
                                   const platform::TextRecognizer& recognizer, QPointF at,
                                   const ResolutionContext& context, bool verbose) {
    const QRectF wanted = strip(at, {});
    const auto onMonitor = capture ? std::make_shared<StripOnMonitor>(capture) : nullptr;
    const std::optional<platform::Capture> captured =
        onMonitor ? ScreenTextReader::capture(onMonitor, wanted) : std::nullopt;
    if (!captured) {
        if (verbose) Diagnostics::print(QStringLiteral("  [ocr] capture failed for ") + described(wanted));
        return std::nullopt;
    }
    if (verbose)
        Diagnostics::print(QStringLiteral("  [ocr] pointer %1,%2 strip %3x%4 px")
                               .arg(qint64(at.x()))
                               .arg(qint64(at.y()))
                               .arg(captured->image.width())
                               .arg(captured->image.height()));
    const std::optional<QUrl> url =
        recognizeCapture(recognizer, *captured, at, onMonitor->textScale(), context, verbose);
    if (verbose && !url) Diagnostics::print(QStringLiteral("        no candidate under the pointer"));
    return url;
}

} // namespace ScreenTextReader
