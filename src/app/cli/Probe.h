#pragma once

#include "platform/ScreenCapture.h"
#include "screen/ScreenTextReader.h"

#include <QImage>
#include <QList>
#include <QPointF>
#include <QRectF>
#include <QString>
#include <QUrl>
#include <functional>
#include <memory>
#include <optional>

// Tells the user, in a terminal, why some text on the screen does not
// preview: it reads the strip around a point once, as the agent would, and
// prints the permission, the strip asked for and the one got, every line
// recognised with its extent and its relation to the point, and the image
// reference resolved under the point, if any.
namespace Probe {

// What the probe reads with. The agent's own parts come from systemParts();
// tests put in their own, so the report can be checked without a display.
struct Parts {
    std::shared_ptr<platform::ScreenCapture> capture;
    // Every line recognised in the whole captured strip.
    std::function<QList<ScreenTextReader::RecognizedString>(const QImage& image, QRectF strip)> strings;
    // The image under the point in the captured strip, resolved, or nothing.
    std::function<std::optional<QUrl>(const QImage& image, QRectF strip, QPointF point, const QUrl& base)>
        reference;
    // One whole line of output.
    std::function<void(const QString& line)> print;
};

// The X11 capture and the Tesseract recogniser, printing to standard output.
Parts systemParts();

// Reads the screen at the point (global points, y downwards) and reports.
// 1 when the screen cannot be read or the capture fails, else 0 (found or not).
int run(double x, double y);
int run(QPointF point, const Parts& parts);

// ---- The report's pieces ----------------------------------------------------

// The shortest decimal that reads back as the same double, with at least one
// digit after the point: 812 gives "812.0", 344.5 gives "344.5".
QString number(double value);
// "(x, y)" and "(x, y, width, height)" in that form.
QString point(QPointF p);
QString rectangle(QRectF r);

// Points a line's extent is widened by on every side when compared with the point.
inline constexpr double kReach = 14.0;

// 11 characters: "<-- pointer" when the widened extent holds the point,
// "    (row)  " when it holds it only vertically, else blanks.
QString marker(const ScreenTextReader::RecognizedString& line, QPointF point);

// The line's report row: extent, marker and text.
QString row(const ScreenTextReader::RecognizedString& line, QPointF point);

// The lines top first; lines with the same top keep their order.
QList<ScreenTextReader::RecognizedString> topFirst(QList<ScreenTextReader::RecognizedString> lines);

} // namespace Probe
