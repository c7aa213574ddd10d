#include "app/cli/Probe.h"

#include "core/Diagnostics.h"
#include "platform/tesseract/TesseractRecognizer.h"
#include "platform/x11/X11ScreenCapture.h"
#include "screen/Capture.h"
#include "screen/Lines.h"
#include "screen/Recognizing.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

namespace Probe {

namespace {

double milliseconds(const QElapsedTimer& timer) {
    return double(timer.nsecsElapsed()) / 1e6;
}

} // namespace

Parts systemParts() {
    auto recognizer = std::make_shared<platform::TesseractRecognizer>();
    Parts parts;
    parts.capture = platform::openScreenCapture();
    parts.strings = [recognizer](const QImage& image, QRectF strip) {
        return ScreenTextReader::recognizeStrings(*recognizer, image, strip);
    };
    parts.reference = [recognizer](const QImage& image, QRectF strip, QPointF p, const QUrl& base) {
        return ScreenTextReader::recognize(*recognizer, image, strip, p, ResolutionContext{base}, false);
    };
    parts.print = Diagnostics::print;
    return parts;
}

int run(double x, double y) {
    return run(QPointF(x, y), systemParts());
}

int run(QPointF p, const Parts& parts) {
    const auto& print = parts.print;
    print(QStringLiteral("probe point (global, top-left origin): ") + point(p));
    const bool allowed = ScreenTextReader::ensurePermission(parts.capture);
    print(QStringLiteral("screen can be read: ") +
          (allowed ? QStringLiteral("true") : QStringLiteral("false")));
    if (!allowed) {
        print(QStringLiteral("-> blocked: the screen cannot be read here; run inside an X11 session"));
        return 1;
    }

    const QRectF strip = ScreenTextReader::strip(
        p, parts.capture->monitors(std::chrono::steady_clock::now() + ScreenTextReader::kCaptureTimeLimit));
    print(QStringLiteral("requested strip: ") + rectangle(strip));
    QElapsedTimer timer;
    timer.start();
    const std::optional<platform::Capture> captured = ScreenTextReader::capture(parts.capture, strip);
    if (!captured || captured->image.isNull()) {
        print(QStringLiteral("-> capture failed"));
        return 1;
    }
    print(QStringLiteral("captured strip:  ") + rectangle(captured->strip));
    print(QString::asprintf("captured image:  %dx%d px in %.0f ms", captured->image.width(),
                            captured->image.height(), milliseconds(timer)));

    timer.restart();
    const QList<ScreenTextReader::RecognizedString> lines = parts.strings(captured->image, captured->strip);
    const double recognition = milliseconds(timer);
    // The whole strip is read as it comes; the agent reads only the window
    // under the pointer, which may find a line the whole strip hid.
    if (lines.isEmpty()) {
        print(QStringLiteral("recognised no text in the whole strip"));
    } else {
        print(QString::asprintf("recognised %d line(s) in %.0f ms (whole strip):", int(lines.size()),
                                recognition));
        for (const ScreenTextReader::RecognizedString& line : topFirst(lines))
            print(row(line, p));
    }

    const QUrl base = QUrl::fromLocalFile(QDir::currentPath() + QLatin1Char('/'));
    timer.restart();
    const std::optional<QUrl> url = parts.reference(captured->image, captured->strip, p, base);
    const double resolution = milliseconds(timer);
    if (!url) {
        print(QString::asprintf("\nno image reference under the pointer (%.0f ms)", resolution));
        return 0;
    }
    // A web answer keeps its host: its path alone would not say where it points.
    const QString shown = url->isLocalFile() ? url->toLocalFile() : url->toString();
    const bool exists = url->isLocalFile() && QFileInfo::exists(url->toLocalFile());
    print(QString::asprintf("\nMATCH in %.0f ms: %s  exists=%s", resolution, shown.toUtf8().constData(),
                            exists ? "yes" : "no"));
    return 0;
}

QString number(double value) {
    char buffer[400]; // the longest fixed form of a double is about 330 characters
    const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
    if (error != std::errc()) return QString::number(value);
    QString text = QString::fromLatin1(buffer, end - buffer);
    if (std::isfinite(value) && !text.contains(QLatin1Char('.'))) text += QStringLiteral(".0");
    return text;
}

QString point(QPointF p) {
    return QStringLiteral("(%1, %2)").arg(number(p.x()), number(p.y()));
}

QString rectangle(QRectF r) {
    return QStringLiteral("(%1, %2, %3, %4)")
        .arg(number(r.x()), number(r.y()), number(r.width()), number(r.height()));
}

QString marker(const ScreenTextReader::RecognizedString& line, QPointF p) {
    const bool vertically = line.minY - kReach <= p.y() && p.y() <= line.maxY + kReach;
    const bool horizontally = line.minX - kReach <= p.x() && p.x() <= line.maxX + kReach;
    if (vertically && horizontally) return QStringLiteral("<-- pointer");
    if (vertically) return QStringLiteral("    (row)  ");
    return QString(11, QLatin1Char(' '));
}

QString row(const ScreenTextReader::RecognizedString& line, QPointF p) {
    return QString::asprintf("  x %6.0f..%-6.0f y %5.0f..%-5.0f %s %s", line.minX, line.maxX, line.minY,
                             line.maxY, marker(line, p).toUtf8().constData(), line.text.toUtf8().constData());
}

QList<ScreenTextReader::RecognizedString> topFirst(QList<ScreenTextReader::RecognizedString> lines) {
    // A top that is not a number sorts last, so the order stays well defined.
    const auto top = [](const ScreenTextReader::RecognizedString& s) {
        return std::isnan(s.minY) ? std::numeric_limits<double>::infinity() : s.minY;
    };
    std::stable_sort(lines.begin(), lines.end(),
                     [&](const auto& a, const auto& b) { return top(a) < top(b); });
    return lines;
}

} // namespace Probe
