#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>
#include <optional>

// Decoding preview images through libvips: shrink-on-load thumbnails no larger
// than a pixel ceiling on their longer side, orientation applied, converted to
// 8-bit sRGB with alpha. Safe to call from any thread.
//
// Only the loaders of the supported image types are enabled, so a file that is
// something else under an image extension (a script, a PDF) is never handed to
// a general-purpose decoder. BMP, which libvips has no loader of its own for,
// is decoded by Qt. SVG is drawn by libvips' SVG loader (librsvg), and only
// after SvgDocument found the document self-contained.
//
// Every thumbnail carries the pixel size of its source (ImageDetails), read
// from the header, not from decoding; one of a file also the file's size in
// bytes when it was read.
namespace Thumbnails {

// Sources with more pixels than this are refused from their header alone:
// decoding them would take seconds even when streamed. For SVG, the size the
// document declares counts.
inline constexpr qint64 kMostSourcePixels = 100'000'000;

// Drawing an SVG is stopped when it takes longer than this. The check runs
// between the tiles the renderer draws, and the element limit of SvgDocument
// keeps a single tile short.
inline constexpr int kSvgMilliseconds = 3000;

// Starts libvips once per process (later calls do nothing).
void initialise();

// The thumbnail of a local file; none for anything unreadable, truncated,
// corrupt, enormous or not an image. Never blocks on the file itself: FIFOs,
// devices and sockets are refused, and so is a regular file whose first bytes
// are not an image's.
std::optional<QImage> ofFile(const QString& path, int maxPixels);

// The same for encoded bytes (downloads).
std::optional<QImage> ofData(const QByteArray& data, int maxPixels);

// An SVG or SVGZ document drawn with maxPixels on its longer side (a vector
// picture is sharp at any size, so a small icon is drawn large, not scaled up
// later as a blur); none when it is not self-contained, declares more than
// kMostSourcePixels, fails to draw, or takes longer than milliseconds.
std::optional<QImage> ofSvg(QByteArrayView file, int maxPixels, int milliseconds = kSvgMilliseconds);

// The 67-byte PNG of one transparent pixel.
QByteArray transparentPixelPNG();

// Decodes transparentPixelPNG at a 440-pixel ceiling so that the decoder and its
// libraries are loaded before the first real preview. Initialises libvips.
void warmImageDecoder();

} // namespace Thumbnails
