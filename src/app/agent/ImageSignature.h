#pragma once

#include <QByteArrayView>

// Whether the first bytes of a file are those of an image type we decode:
// PNG, JPEG, GIF, WebP, TIFF, BMP, or HEIF/AVIF (an ISO media "ftyp" box with
// an image brand). Checked before any decoder sees a file, so that a large
// file of something else under an image name is refused at once instead of
// being sniffed by every loader in turn.
namespace ImageSignature {

// Enough of a file's start for every signature above.
inline constexpr qsizetype kHeadBytes = 4096;

bool isImage(QByteArrayView head);

} // namespace ImageSignature
