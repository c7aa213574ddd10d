#pragma once

#include "core/ImageReference.h"
#include "screen/ScreenTextReader.h"

#include <QPointF>
#include <QString>
#include <QUrl>
#include <functional>
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

// A match such as "word/home/dev/a.png" whose head is a stray word glued to an
// absolute path that exists: the match moved onto the path. Others unchanged.
ImageReference::Match withoutGluedPrefix(const ImageReference::Match& match);

// The reference under the pointer on one read's lines (strict, then loose).
// Fragments cut by a clipped tile edge count only when allowed. When nothing
// at all lay on the pointer, the same-line fallback takes a lone other bare
// name from the line whose own box holds the pointer's y, unless that line
// holds a URL scheme; a row that recognition dropped gives nothing. A match in
// the first word of a line that `continuing` says may carry on a row above is
// not guessed at.
std::optional<QUrl> recognizeLines(const Read& read, QPointF pointer, bool allowFragments,
                                   const Resolver& resolve, const Continuing& continuing, bool verbose);

} // namespace ScreenTextReader
