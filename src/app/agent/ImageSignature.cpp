#include "app/agent/ImageSignature.h"

#include <array>

namespace ImageSignature {

namespace {

bool startsWith(QByteArrayView head, QByteArrayView magic, qsizetype at = 0) {
    return head.size() >= at + magic.size() && head.sliced(at, magic.size()) == magic;
}

// ISO base media: a box size, "ftyp", the major brand, a version, then
// compatible brands to the box's end. Any brand of a still image counts.
bool isHeifFamily(QByteArrayView head) {
    if (!startsWith(head, "ftyp", 4)) return false;
    const qsizetype boxSize = (qsizetype(uchar(head[0])) << 24) | (qsizetype(uchar(head[1])) << 16) |
                              (qsizetype(uchar(head[2])) << 8) | qsizetype(uchar(head[3]));
    const qsizetype end = std::min(head.size(), boxSize < 16 ? qsizetype(16) : boxSize);
    static constexpr std::array<const char*, 10> brands = {"heic", "heix", "heim", "heis", "hevc",
                                                           "hevx", "mif1", "msf1", "avif", "avis"};
    for (qsizetype at = 8; at + 4 <= end; at += 4) {
        if (at == 12) continue; // the minor version, not a brand
        for (const char* brand : brands)
            if (head.sliced(at, 4) == QByteArrayView(brand)) return true;
    }
    return false;
}

bool isRaster(QByteArrayView head) {
    return startsWith(head, "\x89PNG\r\n\x1a\n") || startsWith(head, "\xff\xd8\xff") ||
           startsWith(head, "GIF87a") || startsWith(head, "GIF89a") ||
           (startsWith(head, "RIFF") && startsWith(head, "WEBP", 8)) ||
           startsWith(head, QByteArrayView("II*\0", 4)) || startsWith(head, QByteArrayView("MM\0*", 4)) ||
           startsWith(head, QByteArrayView("II+\0", 4)) || startsWith(head, QByteArrayView("MM\0+", 4)) ||
           startsWith(head, "BM") || isHeifFamily(head);
}

// An SVG document opens, after an optional byte-order mark and blanks, with
// its XML declaration, a comment, its document type or the svg element. An
// HTML page ("<!DOCTYPE html", "<html") does not.
bool isMarkup(QByteArrayView head) {
    if (startsWith(head, "\xef\xbb\xbf")) head = head.sliced(3);
    qsizetype at = 0;
    while (at < head.size() && (head[at] == ' ' || head[at] == '\t' || head[at] == '\r' || head[at] == '\n'))
        ++at;
    head = head.sliced(at);
    if (startsWith(head, "<?xml") || startsWith(head, "<!--") || startsWith(head, "<!DOCTYPE svg"))
        return true;
    // "<svg" followed by a blank, ">" or "/", not "<svgfoo".
    if (!startsWith(head, "<svg") || head.size() < 5) return false;
    const char next = head[4];
    return next == ' ' || next == '\t' || next == '\r' || next == '\n' || next == '>' || next == '/';
}

} // namespace

Kind kind(QByteArrayView head) {
    if (isRaster(head)) return Kind::Raster;
    // gzip: magic and the deflate method, the only one there is.
    if (startsWith(head, "\x1f\x8b\x08") || isMarkup(head)) return Kind::Vector;
    return Kind::None;
}

} // namespace ImageSignature
