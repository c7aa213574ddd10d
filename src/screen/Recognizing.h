#pragma once

#include "platform/ScreenCapture.h"
#include "platform/TextRecognizer.h"
#include "screen/Choosing.h"
#include "screen/ScreenTextReader.h"

#include <QImage>
#include <QPointF>
#include <QRectF>
#include <QStringList>
#include <QUrl>
#include <memory>
#include <optional>

// The stages of one screen reading, from a captured strip to a resolved image.
namespace ScreenTextReader {

// The reference as written, against the base, its ancestors and the roots.
Resolver exactResolver(const ResolutionContext& context);
// The whole on-disk pipeline: other extensions, a lost leading slash, misread
// characters, the project's files.
Resolver onDiskResolver(const ResolutionContext& context);
// On disk, then the images recent coding-agent sessions showed.
Resolver anywhereResolver(const ResolutionContext& context);

// The reference under the pointer in a captured image of the strip: tiles are
// read only as the stages need them (the pointer's, then one along the cut
// line, then ones across a wrapped row).
std::optional<QUrl> recognize(const platform::TextRecognizer& recognizer, const QImage& image, QRectF strip,
                              QPointF pointer, const ResolutionContext& context, bool verbose);

// The same for a capture (device pixels) of a monitor that draws text
// textScale times larger than at 96 dpi: read in units of that text.
std::optional<QUrl> recognizeCapture(const platform::TextRecognizer& recognizer, const platform::Capture& captured,
                                     QPointF pointer, double textScale, const ResolutionContext& context,
                                     bool verbose);

// Captures the strip around the pointer (under the time limit) and recognises it.
std::optional<QUrl> imageReference(const std::shared_ptr<platform::ScreenCapture>& capture,
                                   const platform::TextRecognizer& recognizer, QPointF at,
                                   const ResolutionContext& context, bool verbose);

// The detail lines of one read: its tile and each recognised line.
QStringList readLog(const Read& read, const QString& label);

// A number as C's "%.0f" prints it.
QString wholePoints(double value);

} // namespace ScreenTextReader
