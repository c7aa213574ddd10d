#pragma once

#include "app/agent/Thumbnails.h"

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QString>
#include <QtEndian>
#include <cstring>

#pragma push_macro("signals")
#undef signals
#include <vips/vips.h>
#pragma pop_macro("signals")

// Image files made on the spot: every supported type, through libvips savers
// (and Qt for BMP), so tests need no fixture files.
namespace ImageFixtures {

inline QImage filled(int width, int height, QColor colour) {
    QImage image(width, height, QImage::Format_RGB888);
    image.fill(colour);
    return image;
}

// Writes the image as the file type that the path's extension names; false on failure.
inline bool save(const QImage& source, const QString& path, int orientation = 0) {
    Thumbnails::initialise();
    const QString extension = path.section(QLatin1Char('.'), -1).toLower();
    if (extension == QLatin1String("bmp")) return source.save(path, "BMP");

    const QImage rgb = source.convertToFormat(QImage::Format_RGB888);
    QByteArray packed;
    for (int y = 0; y < rgb.height(); ++y) {
        packed.append(reinterpret_cast<const char*>(rgb.constScanLine(y)), rgb.width() * 3);
    }
    VipsImage* image = vips_image_new_from_memory_copy(packed.constData(), size_t(packed.size()), rgb.width(),
                                                       rgb.height(), 3, VIPS_FORMAT_UCHAR);
    if (image == nullptr) return false;
    if (orientation != 0) vips_image_set_int(image, "orientation", orientation);
    const QByteArray name = path.toLocal8Bit();
    int failed = 0;
    if (extension == QLatin1String("avif")) {
        failed =
            vips_heifsave(image, name.constData(), "compression", VIPS_FOREIGN_HEIF_COMPRESSION_AV1, nullptr);
    } else if (extension == QLatin1String("heic") || extension == QLatin1String("heif")) {
        failed = vips_heifsave(image, name.constData(), "compression", VIPS_FOREIGN_HEIF_COMPRESSION_HEVC,
                               nullptr);
    } else {
        failed = vips_image_write_to_file(image, name.constData(), nullptr);
    }
    g_object_unref(image);
    vips_error_clear();
    return failed == 0;
}

inline QByteArray pngChunk(const QByteArray& type, const QByteArray& data) {
    QByteArray out(4, '\0');
    qToBigEndian<quint32>(quint32(data.size()), out.data());
    out += type + data;
    QByteArray crc(4, '\0');
    // PNG's CRC-32 is the zlib one.
    quint32 c = 0xffffffffu;
    for (const char byte : type + data) {
        c ^= quint8(byte);
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? 0xedb88320u ^ (c >> 1) : c >> 1;
    }
    qToBigEndian<quint32>(c ^ 0xffffffffu, crc.data());
    return out + crc;
}

// A well-formed PNG header announcing width x height RGB pixels, with one tiny
// compressed row after it: an enormous image for the price of a few bytes.
inline QByteArray enormousPNGHeader(quint32 width, quint32 height) {
    QByteArray ihdr(13, '\0');
    qToBigEndian<quint32>(width, ihdr.data());
    qToBigEndian<quint32>(height, ihdr.data() + 4);
    ihdr[8] = 8;                                                      // bit depth
    ihdr[9] = 2;                                                      // RGB
    const QByteArray row = QByteArray::fromHex("789c63000000010001"); // deflate of one zero byte
    return QByteArray::fromHex("89504e470d0a1a0a") + pngChunk("IHDR", ihdr) + pngChunk("IDAT", row) +
           pngChunk("IEND", QByteArray());
}

} // namespace ImageFixtures
