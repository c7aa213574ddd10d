#pragma once

#include "core/ImageReference.h"
#include "platform/ScreenCapture.h"
#include "platform/TextRecognizer.h"
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

// Deciding which image reference on the screen the pointer rests on, and
// turning it into one file. The cheapest and surest readings come first:
// exact resolution before searching the disk, whole references before ones cut
// by a tile edge, the pointer's own line before rows rejoined across a wrap,
// and session records only at the very end. Several candidates, or a line that
// may be the tail of a wrapped path, give nothing rather than a guess.
namespace ScreenTextReader {

// One candidate reference found on a line.
struct Hit {
    QString reference;      // as the pattern returned it
    bool onPointer = false; // its extent, widened by 14 points each side, holds the pointer's x
    bool loose = false;     // found by the loose pattern
};

// Turns a reference into an existing image (or a web URL), or nothing.
using Resolver = std::function<std::optional<QUrl>(const QString&)>;
// Whether a line may carry on a row above it.
using Continuing = std::function<bool(const Line&)>;

// The reference as written, against the base, its ancestors and the roots.
Resolver exactResolver(const QUrl& baseDirectory);
// The whole on-disk pipeline: other extensions, a lost leading slash, misread
// characters, the project's files.
Resolver onDiskResolver(const QUrl& baseDirectory);
// On disk, then the images recent coding-agent sessions showed.
Resolver anywhereResolver(const QUrl& baseDirectory);

// A match such as "word/home/dev/a.png" whose head is a stray word glued to an
// absolute path that exists: the match moved onto the path. Others unchanged.
ImageReference::Match withoutGluedPrefix(const ImageReference::Match& match);

// The reference under the pointer on one read's lines (strict, then loose).
// Fragments cut by a clipped tile edge count only when allowed; the same-line
// fallback takes a lone other bare name on the pointer's line when sessions
// are consulted or nothing lay on the pointer. A match in the first word of a
// line that `continuing` says may carry on a row above is not guessed at.
std::optional<QUrl> recognizeLines(const Read& read, QPointF pointer, bool allowFragments,
                                   bool consultingSessions, const Resolver& resolve,
                                   const Continuing& continuing, bool verbose);

// A reference wrapped across rows, rejoined from the reads' lines: chains of
// rows that carry each other on, longest first; a match must start on the
// chain's first row, run into a later one and lie under the pointer. Each
// reference is resolved at most once.
std::optional<QUrl> rejoined(const QList<Read>& reads, QPointF pointer, const Resolver& resolve,
                             bool verbose);

// The reference under the pointer in a captured image of the strip: tiles are
// read only as the stages need them (the pointer's, then one along the cut
// line, then ones across a wrapped row).
std::optional<QUrl> recognize(const platform::TextRecognizer& recognizer, const QImage& image, QRectF strip,
                              QPointF pointer, const QUrl& baseDirectory, bool verbose);

// Captures the strip around the pointer (under the time limit) and recognises it.
std::optional<QUrl> imageReference(const std::shared_ptr<platform::ScreenCapture>& capture,
                                   const platform::TextRecognizer& recognizer, QPointF at,
                                   const QUrl& baseDirectory, bool verbose);

// The detail lines of one read: its tile and each recognised line.
QStringList readLog(const Read& read, const QString& label);

// A number as C's "%.0f" prints it.
QString wholePoints(double value);

} // namespace ScreenTextReader
