#pragma once

#include <QByteArrayView>

// Whether the first bytes of a file are those of an image type we decode:
// PNG, JPEG, GIF, WebP, TIFF, BMP, or HEIF/AVIF (an ISO media "ftyp" box with
// an image brand); or, possibly, SVG: markup that starts like an SVG document,
// or gzip data (an .svgz). Checked before any decoder sees a file, so that a
// large file of something else under an image name is refused at once instead
// of being sniffed by every loader in turn. Whether a possible SVG really is
// one is for the whole document to tell (SvgDocument).
namespace ImageSignature {

// Enough of a file's start for every signature above.
inline constexpr qsizetype kHeadBytes = 4096;

enum class Kind { None, Raster, Vector };

Kind kind(QByteArrayView head);

inline bool isImage(QByteArrayView head) {
    return kind(head) != Kind::None;
}

} // namespace ImageSignature
