#include "app/agent/Thumbnails.h"

#include "app/agent/ImageDetails.h"
#include "app/agent/ImageSignature.h"
#include "app/agent/SvgDocument.h"

#include <QBuffer>
#include <QDeadlineTimer>
#include <QFile>
#include <QImageReader>
#include <QScopeGuard>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

// GLib names struct members "signals", which Qt defines as a keyword.
#pragma push_macro("signals")
#undef signals
#include <vips/vips.h>
#pragma pop_macro("signals")

namespace Thumbnails {

namespace {

struct Unref {
    void operator()(void* object) const { g_object_unref(object); }
};
using Image = std::unique_ptr<VipsImage, Unref>;
using Source = std::unique_ptr<VipsSource, Unref>;

std::once_flag started;
bool ready = false; // written once under the once_flag, read only after it

void ignoreWarning(const gchar*, GLogLevelFlags, const gchar*, gpointer) {}

void start() {
    if (VIPS_INIT("vistel") != 0) return;
    // Everything but the loaders of the supported types stays shut: files we
    // are pointed at by on-screen text are untrusted.
    vips_block_untrusted_set(TRUE);
    vips_operation_block_set("VipsForeignLoad", TRUE);
    for (const char* loader :
         {"VipsForeignLoadJpeg", "VipsForeignLoadPng", "VipsForeignLoadNsgif", "VipsForeignLoadWebp",
          "VipsForeignLoadTiff", "VipsForeignLoadHeif", "VipsForeignLoadSvg"}) {
        vips_operation_block_set(loader, FALSE);
    }
    // We keep our own caches keyed by modification time; the operation cache
    // would hand back the old pixels of a file that changed.
    vips_cache_set_max(0);
    // Recoverable decoder complaints (odd colour profiles and such) are not ours to print.
    g_log_set_handler("VIPS", G_LOG_LEVEL_WARNING, ignoreWarning, nullptr);
    ready = true;
}

std::optional<QImage> failed() {
    vips_error_clear();
    return std::nullopt;
}

// Asks libvips to stop computing an image once the deadline has passed.
void stopWhenLate(VipsImage* image, VipsProgress*, gpointer deadline) {
    if (static_cast<const QDeadlineTimer*>(deadline)->hasExpired()) vips_image_set_kill(image, TRUE);
}

// 8-bit sRGB with alpha, copied into a QImage ready to paint. The pixels are
// computed here, within the deadline when there is one.
std::optional<QImage> toQImage(VipsImage* thumbnail, const QDeadlineTimer* deadline = nullptr) {
    VipsImage* step = nullptr;
    if (vips_colourspace(thumbnail, &step, VIPS_INTERPRETATION_sRGB, nullptr) != 0) return failed();
    Image image(step);
    if (image->BandFmt != VIPS_FORMAT_UCHAR) {
        if (vips_cast_uchar(image.get(), &step, nullptr) != 0) return failed();
        image.reset(step);
    }
    if (image->Bands == 3) {
        if (vips_addalpha(image.get(), &step, nullptr) != 0) return failed();
        image.reset(step);
    }
    if (image->Bands != 4) return failed();

    if (deadline) {
        vips_image_set_progress(image.get(), TRUE);
        g_signal_connect(image.get(), "eval", G_CALLBACK(stopWhenLate),
                         const_cast<QDeadlineTimer*>(deadline));
    }
    size_t length = 0;
    void* pixels = vips_image_write_to_memory(image.get(), &length); // decodes here
    if (deadline && deadline->hasExpired()) {
        g_free(pixels);
        return failed();
    }
    if (pixels == nullptr) return failed();
    const int width = image->Xsize;
    const int height = image->Ysize;
    if (length != static_cast<size_t>(width) * static_cast<size_t>(height) * 4) {
        g_free(pixels);
        return failed();
    }
    const QImage wrapped(static_cast<const uchar*>(pixels), width, height, width * 4, QImage::Format_RGBA8888,
                         g_free, pixels);
    return wrapped.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

// The size an image shows at, from its header: width and height, swapped when
// its orientation turns it by a quarter. Empty when it is larger than we decode.
QSize shownSize(VipsImage* header) {
    const qint64 pixels = qint64(header->Xsize) * qint64(header->Ysize);
    if (pixels <= 0 || pixels > kMostSourcePixels) return {};
    const QSize size(header->Xsize, header->Ysize);
    return vips_image_get_orientation_swap(header) ? size.transposed() : size;
}

std::optional<QImage> fromSource(VipsSource* source, int maxPixels) {
    // Markup is never sniffed into the SVG loader here: only ofSvg, after its checks, draws SVG.
    const char* loader = vips_foreign_find_load_source(source);
    if (loader == nullptr || QByteArrayView(loader).startsWith("VipsForeignLoadSvg")) return failed();
    // The header alone tells an enormous image; refuse it before any decoding.
    QSize size;
    {
        VipsImage* header = vips_image_new_from_source(source, "", "access", VIPS_ACCESS_SEQUENTIAL, nullptr);
        if (header == nullptr) return failed();
        size = shownSize(header);
        g_object_unref(header);
        if (size.isEmpty()) return std::nullopt;
    }
    VipsImage* out = nullptr;
    // The loader itself must fail on truncated data (thumbnail's own fail_on is not passed on to it).
    if (vips_thumbnail_source(source, &out, maxPixels, "height", maxPixels, "size", VIPS_SIZE_DOWN,
                              "option_string", "fail_on=error", nullptr) != 0) {
        return failed();
    }
    Image thumbnail(out);
    std::optional<QImage> image = toQImage(thumbnail.get());
    if (image) ImageDetails::setSourceSize(*image, size);
    return image;
}

// Qt decodes what libvips has no loader for among the supported types: BMP.
std::optional<QImage> viaQt(QIODevice& device, int maxPixels) {
    if (QImageReader::imageFormat(&device) != "bmp") return std::nullopt;
    QImageReader reader(&device, "bmp");
    reader.setDecideFormatFromContent(false);
    reader.setAutoTransform(true);
    const QSize size = reader.size();
    if (!size.isValid() || qint64(size.width()) * qint64(size.height()) > kMostSourcePixels)
        return std::nullopt;
    QImage image = reader.read();
    if (image.isNull()) return std::nullopt;
    const QSize shown = image.size(); // orientation applied
    if (image.width() > maxPixels || image.height() > maxPixels) {
        image = image.scaled(maxPixels, maxPixels, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    }
    image = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    ImageDetails::setSourceSize(image, shown);
    return image;
}

// A regular file's image, read through its open descriptor.
std::optional<QImage> ofDescriptor(int fd, const struct stat& info, int maxPixels) {
    QByteArray head(ImageSignature::kHeadBytes, Qt::Uninitialized);
    const ssize_t got = ::pread(fd, head.data(), size_t(head.size()), 0);
    if (got <= 0) return std::nullopt;
    const ImageSignature::Kind kind = ImageSignature::kind(QByteArrayView(head).first(got));
    if (kind == ImageSignature::Kind::None) return std::nullopt;
    if (kind == ImageSignature::Kind::Vector) {
        // The whole document is checked before it is drawn; one beyond the
        // markup limit is refused unread (a compressed one is no larger than it inflates to).
        if (info.st_size > SvgDocument::Limits{}.maxBytes) return std::nullopt;
        QFile file;
        if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::DontCloseHandle)) return std::nullopt;
        return ofSvg(file.read(info.st_size), maxPixels);
    }

    // The decoders read the file this descriptor holds, not whatever the path names by then.
    {
        // A source takes its own duplicate of the descriptor.
        Source source(vips_source_new_from_descriptor(fd));
        if (source == nullptr) return failed();
        if (auto image = fromSource(source.get(), maxPixels)) return image;
    }
    if (::lseek(fd, 0, SEEK_SET) != 0) return std::nullopt;
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::DontCloseHandle)) return std::nullopt;
    return viaQt(file, maxPixels);
}

} // namespace

void initialise() {
    std::call_once(started, start);
}

std::optional<QImage> ofFile(const QString& path, int maxPixels) {
    initialise();
    if (!ready || maxPixels <= 0 || path.isEmpty() || path.contains(QChar(0))) return std::nullopt;
    // Without blocking: opening a FIFO for reading would wait for a writer for
    // good. Only a regular file is read, and only when its first bytes are an
    // image's, so a device or a huge file of something else costs one read.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return std::nullopt;
    const auto closing = qScopeGuard([fd] { ::close(fd); });
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
    std::optional<QImage> image = ofDescriptor(fd, info, maxPixels);
    // The size of what was decoded, for the caption: the card need not ask the disk again.
    if (image) ImageDetails::setFileBytes(*image, qint64(info.st_size));
    return image;
}

std::optional<QImage> ofData(const QByteArray& data, int maxPixels) {
    initialise();
    if (!ready || maxPixels <= 0 || data.isEmpty()) return std::nullopt;
    if (ImageSignature::kind(QByteArrayView(data).first(std::min(data.size(), ImageSignature::kHeadBytes))) ==
        ImageSignature::Kind::Vector) {
        return ofSvg(data, maxPixels);
    }
    {
        // The source reads data in place; data outlives it.
        Source source(vips_source_new_from_memory(data.constData(), static_cast<size_t>(data.size())));
        if (source == nullptr) return failed();
        if (auto image = fromSource(source.get(), maxPixels)) return image;
    }
    QBuffer buffer;
    buffer.setData(data);
    if (!buffer.open(QIODevice::ReadOnly)) return std::nullopt;
    return viaQt(buffer, maxPixels);
}

std::optional<QImage> ofSvg(QByteArrayView file, int maxPixels, int milliseconds) {
    initialise();
    if (!ready || maxPixels <= 0) return std::nullopt;
    const std::optional<QByteArray> markup = SvgDocument::screened(file);
    if (!markup) return std::nullopt;
    const QDeadlineTimer deadline(milliseconds);
    // The SVG loader by name, with no location: nothing else reads the markup,
    // and nothing outside it can be resolved.
    void* bytes = const_cast<char*>(markup->constData());
    const size_t length = size_t(markup->size());
    QSize size;
    {
        VipsImage* header = nullptr;
        if (vips_svgload_buffer(bytes, length, &header, "access", VIPS_ACCESS_SEQUENTIAL, nullptr) != 0)
            return failed();
        size = shownSize(header);
        g_object_unref(header);
        if (size.isEmpty()) return std::nullopt;
    }
    VipsImage* out = nullptr;
    if (vips_thumbnail_buffer(bytes, length, &out, maxPixels, "height", maxPixels, "size", VIPS_SIZE_BOTH,
                              nullptr) != 0) {
        return failed();
    }
    Image thumbnail(out);
    std::optional<QImage> image = toQImage(thumbnail.get(), &deadline);
    if (image) ImageDetails::setSourceSize(*image, size);
    return image;
}

QByteArray transparentPixelPNG() {
    static const unsigned char bytes[] = {
        0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0x00, 0x00, 0x00, 0x0d, 0x49, 0x48, 0x44, 0x52, 0x00,
        0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x08, 0x06, 0x00, 0x00, 0x00, 0x1f, 0x15, 0xc4, 0x89, 0x00,
        0x00, 0x00, 0x0a, 0x49, 0x44, 0x41, 0x54, 0x78, 0x9c, 0x63, 0x00, 0x01, 0x00, 0x00, 0x05, 0x00, 0x01,
        0x0d, 0x0a, 0x2d, 0xb4, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4e, 0x44, 0xae, 0x42, 0x60, 0x82};
    return QByteArray(reinterpret_cast<const char*>(bytes), sizeof bytes);
}

void warmImageDecoder() {
    (void)ofData(transparentPixelPNG(), 440);
}

} // namespace Thumbnails
