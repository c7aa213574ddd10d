#pragma once

#include <QImage>
#include <QSize>
#include <QString>
#include <optional>

class QFontMetricsF;

// What the card's caption says about an image: its pixel size and its file
// size ("1920 × 1080 · 245 KB"), beside or instead of its name.
namespace ImageDetails {

// The size in pixels of the image a thumbnail was made from, as shown (its
// orientation applied). It travels with the thumbnail, through the caches, as
// the image's text "vistel-source-size".
void setSourceSize(QImage& thumbnail, QSize size);
// Invalid when the image does not carry one.
QSize sourceSize(const QImage& thumbnail);

// The size in bytes of the file a thumbnail was decoded from, as it was then
// (the caches drop a thumbnail when its file changes). It travels as the text
// "vistel-file-size"; a downloaded image carries none.
void setFileBytes(QImage& thumbnail, qint64 bytes);
std::optional<qint64> fileBytes(const QImage& thumbnail);

// A file size in powers of 1000, the base GNOME Files, Thunar and Nemo (all
// through GLib's g_format_size) and `ls --si` count in, so the card agrees
// with the file manager: "512 bytes", "4.2 KB", "245 KB", "1.0 MB". One
// decimal below 10, whole numbers above, to keep the caption short. Empty for
// a negative size.
QString fileSize(qint64 bytes);

// "1920 × 1080 · 245 KB"; either part alone when the other is missing (a
// remote image has no file size); empty when both are.
QString text(QSize pixels, std::optional<qint64> bytes);

// The details a thumbnail carries: its source's pixel size and, for a local
// file, the file's size. Nothing is read from disk, so the GUI thread may ask.
QString of(const QImage& thumbnail);

// One caption line of at most width: the name, the details, or both joined by
// " · ". The details stay whole and the name gives way, shortened in the
// middle; when not even a shortened name fits beside them, the details alone.
QString caption(const QString& name, const QString& details, const QFontMetricsF& metrics, double width);

} // namespace ImageDetails
