#pragma once

#include "core/ResolutionContext.h"

#include <QHash>
#include <QList>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <optional>

// Finding the text that names an image, and turning it into one URL.
//
// Offsets exchanged with text readers are UTF-16 code-unit offsets (QString
// indices), which is what QRegularExpression reports.
//
// Conventions for arguments: a base directory is a directory file URL; an
// empty QUrl means "no base" (the program's current directory is used by the
// syntactic resolve(); the searching steps follow their ResolutionContext).
namespace ImageReference {

// ---- Extraction (ImageReference.cpp) ---------------------------------------

// "avif", "bmp", "gif", "heic", "heif", "jpeg", "jpg", "png", "tif", "tiff",
// "webp", "svg", "svgz", in this order: the extension swap tries them in this
// order, so a picture's drawn (raster) form wins over its vector source.
const QStringList& supportedExtensions();

// Whether the lower-cased extension (without the dot) is supported.
bool isSupportedExtension(const QString& extension);

// The lower-cased extension of a path's last component ("" when none).
QString pathExtension(const QString& path);

// The two reference patterns, compiled once. nullptr if compilation failed,
// in which case every search with it finds nothing.
const QRegularExpression* strict();
const QRegularExpression* loose();

// Characters that recognition reads in place of a period, each mapped to '.'.
const QHash<QChar, QChar>& dotLookalikes();

struct Match {
    qint64 location = 0; // UTF-16 offset
    qint64 length = 0;   // UTF-16 units
    QString reference;
    bool operator==(const Match&) const = default;
};

// All non-overlapping matches of the pattern, in text order.
QList<Match> collect(const QRegularExpression* regex, const QString& text);

// The first strict match whose range contains the offset, both ends inclusive.
std::optional<QString> reference(const QString& text, qint64 offset);

struct JoinedText {
    QString text;
    QList<qint64> origins; // for every UTF-16 unit of text, its offset in the input
};

// The text with paths that a terminal wrapped onto an indented next line rejoined.
JoinedText joiningWrappedPaths(const QString& text);

// The reference at the offset after rejoining wrapped paths; absent when nothing
// was joined.
std::optional<QString> referenceAcrossWrappedLines(const QString& text, qint64 offset);

// Replaces period look-alikes by '.', one unit for one (so offsets stay valid),
// a comma between a name and an image extension ("a,png") likewise, and a long
// dash inside a word by '-'; returns the text unchanged when it holds none.
QString normalisingRecognition(const QString& text);

// ---- Resolution (ImageResolution.cpp) --------------------------------------

// The reference with ".", ",", ";", ":", ")", "]", "}" removed from both ends,
// except the dots of a leading "./" or "../" (they make the path relative).
QString trimmed(const QString& reference);

// A trimmed reference starting with "/", "~/", "http://", "https://" or "file:".
bool isAnchored(const QString& trimmedReference);

// Whether a file is there to preview: a regular file, or a symbolic link to
// one. A FIFO, a device or a socket named like an image would block or never
// end when read, so they do not count as existing anywhere in resolution.
bool isExistingFile(const QString& path);

// Syntactic conversion of one reference against one base; no existence test.
std::optional<QUrl> resolve(const QString& reference, const QUrl& baseDirectory);

// The bases a relative reference is tried against: the context's base (else,
// where the context allows, the current directory) and up to 7 ancestors, then
// the context's roots.
QList<QUrl> searchRoots(const ResolutionContext& context);

// The text as written, against the base, its ancestors and the roots.
std::optional<QUrl> resolveExact(const QString& reference, const ResolutionContext& context);

// A bare file name (no folder, not anchored), exactly as written, looked up in
// the project around the base and the roots: the one file of that name, or
// none when no file or several have it. For text read exactly (accessibility),
// where nothing needs repairing.
std::optional<QUrl> resolveInProject(const QString& reference, const ResolutionContext& context);

// Memoised full on-disk pipeline (extension swap, clipped slash, fuzzy repair,
// project index). The memo key holds the whole context.
std::optional<QUrl> resolveOnDisk(const QString& reference, const ResolutionContext& context);

// resolveOnDisk, then the images recent coding-agent sessions showed.
std::optional<QUrl> resolveExisting(const QString& reference, const ResolutionContext& context);

// The unmemoised pipeline and its steps (exposed for tests).
std::optional<QUrl> computeExisting(const QString& reference, const ResolutionContext& context);
std::optional<QUrl> rootedAtFilesystemRoot(const QString& trimmedReference);
std::optional<QUrl> resolveFuzzy(const QString& trimmedReference, const ResolutionContext& context);

// How long a failed resolution is trusted, in seconds (default 2.0).
namespace MissLifetime {
double value();
void set(double seconds);
} // namespace MissLifetime

// Earlier answers of resolveOnDisk (process-wide, lock-guarded, emptied whole
// when it reaches 513 entries).
namespace Memo {
enum class Kind { NoEntry, Miss, Hit };
struct Answer {
    Kind kind = Kind::NoEntry;
    QUrl url;
};
Answer value(const QString& key, double missLifetime);
void store(const std::optional<QUrl>& url, const QString& key);
qsizetype size();
void clear();
} // namespace Memo

} // namespace ImageReference
