#include "platform/x11/X11ScreenCapture.h"

#include "platform/x11/ReplyBefore.h"
#include "platform/x11/TextScale.h"

#include <cmath>
#include <cstdlib>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <xcb/randr.h>
#include <xcb/shm.h>
#include <xcb/xcb.h>

namespace platform {

namespace {

xcb_screen_t* screenOf(xcb_connection_t* connection, int number) {
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int i = 0; it.rem > 0; xcb_screen_next(&it), ++i)
        if (i == number) return it.data;
    return nullptr;
}

// Whether the root's pixels arrive as 32-bit words 0x00RRGGBB in little-endian
// order, which is QImage::Format_RGB32 byte for byte. Other layouts (16-bit
// colour, big-endian servers) are not read.
bool rootIsRgb32(xcb_connection_t* connection, xcb_screen_t* screen) {
    const xcb_setup_t* setup = xcb_get_setup(connection);
    if (setup->image_byte_order != XCB_IMAGE_ORDER_LSB_FIRST) return false;
    bool bpp32 = false;
    xcb_format_iterator_t formats = xcb_setup_pixmap_formats_iterator(setup);
    for (; formats.rem > 0; xcb_format_next(&formats))
        if (formats.data->depth == screen->root_depth) bpp32 = formats.data->bits_per_pixel == 32;
    if (!bpp32) return false;
    xcb_depth_iterator_t depths = xcb_screen_allowed_depths_iterator(screen);
    for (; depths.rem > 0; xcb_depth_next(&depths)) {
        xcb_visualtype_iterator_t visuals = xcb_depth_visuals_iterator(depths.data);
        for (; visuals.rem > 0; xcb_visualtype_next(&visuals)) {
            const xcb_visualtype_t* v = visuals.data;
            if (v->visual_id == screen->root_visual)
                return v->red_mask == 0xff0000 && v->green_mask == 0xff00 && v->blue_mask == 0xff;
        }
    }
    return false;
}

// Copies rows of x8r8g8b8 words into the image, making the unused byte opaque
// (Format_RGB32 expects 0xff there).
void copyPixels(const uchar* source, QImage& image) {
    const int width = image.width();
    for (int row = 0; row < image.height(); ++row) {
        const auto* from = reinterpret_cast<const quint32*>(source + size_t(row) * size_t(width) * 4);
        auto* to = reinterpret_cast<quint32*>(image.scanLine(row));
        for (int x = 0; x < width; ++x)
            to[x] = from[x] | 0xff000000u;
    }
}

} // namespace

std::unique_ptr<X11ScreenCapture> X11ScreenCapture::open(const char* display) {
    int screenNumber = 0;
    xcb_connection_t* connection = xcb_connect(display, &screenNumber);
    if (!connection || xcb_connection_has_error(connection)) {
        if (connection) xcb_disconnect(connection);
        return nullptr;
    }
    if (!screenOf(connection, screenNumber)) {
        xcb_disconnect(connection);
        return nullptr;
    }
    return std::unique_ptr<X11ScreenCapture>(new X11ScreenCapture(connection, screenNumber));
}

X11ScreenCapture::X11ScreenCapture(xcb_connection_t* connection, int screenNumber) : connection_(connection) {
    xcb_screen_t* screen = screenOf(connection, screenNumber);
    root_ = screen->root;
    rootWidth_ = screen->width_in_pixels;
    rootHeight_ = screen->height_in_pixels;
    rgb32_ = rootIsRgb32(connection, screen);

    // RandR 1.5 lists monitors; older servers get the whole root as one.
    Reply<xcb_randr_query_version_reply_t> randr(
        xcb_randr_query_version_reply(connection, xcb_randr_query_version(connection, 1, 5), nullptr));
    randr_ = randr && (randr->major_version > 1 || randr->minor_version >= 5);

    Reply<xcb_shm_query_version_reply_t> shm(
        xcb_shm_query_version_reply(connection, xcb_shm_query_version(connection), nullptr));
    shmPossible_ = shm != nullptr;
}

X11ScreenCapture::~X11ScreenCapture() {
    const std::lock_guard lock(mutex_);
    detachSegmentLocked();
    xcb_disconnect(connection_);
}

bool X11ScreenCapture::usesSharedMemory() const {
    const std::lock_guard lock(mutex_);
    return segment_.id >= 0;
}

std::optional<X11ScreenCapture::Layout> X11ScreenCapture::layoutLocked(Deadline deadline) {
    if (xcb_connection_has_error(connection_)) return std::nullopt;
    QList<QRectF> frames;
    int primary = 0;
    if (randr_) {
        const auto answer = replyBefore<xcb_randr_get_monitors_reply_t>(
            connection_, xcb_randr_get_monitors(connection_, root_, 1).sequence, deadline);
        if (answer.timedOut) return std::nullopt;
        if (const auto& reply = answer.reply) {
            xcb_randr_monitor_info_iterator_t it = xcb_randr_get_monitors_monitors_iterator(reply.get());
            for (; it.rem > 0; xcb_randr_monitor_info_next(&it)) {
                const xcb_randr_monitor_info_t* m = it.data;
                if (m->width == 0 || m->height == 0) continue;
                if (m->primary) primary = int(frames.size());
                frames.append(QRectF(m->x, m->y, m->width, m->height));
            }
        }
    }
    if (frames.isEmpty()) frames.append(QRectF(0, 0, rootWidth_, rootHeight_));
    if (primary > 0) frames.move(primary, 0);
    // Xft.dpi is one setting for the whole screen, so every monitor shares it.
    const std::optional<double> scale = textScaleLocked(deadline);
    if (!scale) return std::nullopt;
    Layout layout;
    layout.origin = frames.first().topLeft();
    for (const QRectF& f : frames)
        layout.monitors.append(Monitor{f.translated(-layout.origin), 1.0, *scale});
    return layout;
}

std::optional<double> X11ScreenCapture::textScaleLocked(Deadline deadline) {
    // The resource string may run to a few hundred kilobytes; its length is in 32-bit units.
    constexpr uint32_t kMostResourceWords = 1u << 18;
    const auto answer = replyBefore<xcb_get_property_reply_t>(
        connection_,
        xcb_get_property(connection_, 0, root_, XCB_ATOM_RESOURCE_MANAGER, XCB_ATOM_STRING, 0, kMostResourceWords)
            .sequence,
        deadline);
    if (answer.timedOut) return std::nullopt;
    if (!answer.reply) return 1.0;
    const auto* bytes = static_cast<const char*>(xcb_get_property_value(answer.reply.get()));
    return x11::textScale(QByteArray(bytes, xcb_get_property_value_length(answer.reply.get())));
}

QList<Monitor> X11ScreenCapture::monitors(Deadline deadline) {
    const std::lock_guard lock(mutex_);
    const std::optional<Layout> layout = layoutLocked(deadline);
    return layout ? layout->monitors : QList<Monitor>{};
}

bool X11ScreenCapture::canCapture(Deadline deadline) {
    const std::lock_guard lock(mutex_);
    if (!rgb32_ || xcb_connection_has_error(connection_)) return false;
    return readLocked(0, 0, 1, 1, deadline).has_value();
}

std::optional<Capture> X11ScreenCapture::capture(QRectF strip, Deadline deadline) {
    const std::lock_guard lock(mutex_);
    if (!rgb32_) return std::nullopt;
    const std::optional<Layout> layout = layoutLocked(deadline);
    if (!layout) return std::nullopt;
    const auto region = captureRegion(strip, layout->monitors);
    if (!region) return std::nullopt;
    // Whole pixels inside the region (one pixel per point here).
    const QRectF r = region->first;
    const int left = int(std::ceil(r.left())), top = int(std::ceil(r.top()));
    const int right = int(std::floor(r.right())), bottom = int(std::floor(r.bottom()));
    if (right - left < kLeastCaptureWidth || bottom - top < kLeastCaptureHeight) return std::nullopt;
    const int rootX = left + int(layout->origin.x()), rootY = top + int(layout->origin.y());
    std::optional<QImage> image = readLocked(rootX, rootY, right - left, bottom - top, deadline);
    if (!image) return std::nullopt;
    return Capture{*image, QRectF(left, top, right - left, bottom - top)};
}

bool X11ScreenCapture::attachSegmentLocked(size_t bytes, Deadline deadline) {
    if (segment_.id >= 0 && segment_.size >= bytes) return true;
    detachSegmentLocked();
    const int id = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
    if (id < 0) return false;
    void* address = shmat(id, nullptr, 0);
    if (address == reinterpret_cast<void*>(-1)) {
        shmctl(id, IPC_RMID, nullptr);
        return false;
    }
    const xcb_shm_seg_t seg = xcb_generate_id(connection_);
    const xcb_void_cookie_t attach = xcb_shm_attach_checked(connection_, seg, id, 0);
    // The attach has no reply: a round trip after it tells when the server
    // has handled it, and then asking for its error no longer blocks.
    const bool handled =
        !replyBefore<xcb_get_input_focus_reply_t>(connection_, xcb_get_input_focus(connection_).sequence, deadline)
             .timedOut;
    Reply<xcb_generic_error_t> error(handled ? xcb_request_check(connection_, attach) : nullptr);
    // Marked for removal at once: it disappears when both sides detach, even
    // if this process dies.
    shmctl(id, IPC_RMID, nullptr);
    if (!handled || error || xcb_connection_has_error(connection_)) {
        if (!handled) {
            // The server may still attach it later: let it go again then.
            xcb_discard_reply(connection_, attach.sequence);
            xcb_shm_detach(connection_, seg);
            xcb_flush(connection_);
        }
        shmdt(address);
        return false;
    }
    segment_ = Segment{seg, id, address, bytes};
    return true;
}

void X11ScreenCapture::detachSegmentLocked() {
    if (segment_.id < 0) return;
    if (!xcb_connection_has_error(connection_)) {
        xcb_shm_detach(connection_, segment_.seg);
        xcb_flush(connection_);
    }
    shmdt(segment_.address);
    segment_ = Segment{};
}

std::optional<QImage> X11ScreenCapture::readLocked(int x, int y, int width, int height, Deadline deadline) {
    if (width <= 0 || height <= 0 || x < 0 || y < 0 || x + width > rootWidth_ || y + height > rootHeight_)
        return std::nullopt;
    if (xcb_connection_has_error(connection_)) return std::nullopt;
    const size_t bytes = size_t(width) * size_t(height) * 4;
    QImage image(width, height, QImage::Format_RGB32);
    if (image.isNull()) return std::nullopt;

    if (shmPossible_ && attachSegmentLocked(bytes, deadline)) {
        const auto answer = replyBefore<xcb_shm_get_image_reply_t>(
            connection_,
            xcb_shm_get_image(connection_, root_, qint16(x), qint16(y), quint16(width), quint16(height), ~0u,
                              XCB_IMAGE_FORMAT_Z_PIXMAP, segment_.seg, 0)
                .sequence,
            deadline);
        // A late answer may still write the segment; the next request's
        // answer comes after it, so the segment is kept.
        if (answer.timedOut) return std::nullopt;
        if (answer.reply && answer.reply->size >= bytes) {
            copyPixels(static_cast<const uchar*>(segment_.address), image);
            return image;
        }
        // A server that cannot write our memory (a remote one) is asked plainly from now on.
        detachSegmentLocked();
        shmPossible_ = false;
    }

    const auto answer = replyBefore<xcb_get_image_reply_t>(
        connection_,
        xcb_get_image(connection_, XCB_IMAGE_FORMAT_Z_PIXMAP, root_, qint16(x), qint16(y), quint16(width),
                      quint16(height), ~0u)
            .sequence,
        deadline);
    if (!answer.reply) return std::nullopt;
    const int length = xcb_get_image_data_length(answer.reply.get());
    if (length < 0 || size_t(length) < bytes) return std::nullopt;
    copyPixels(xcb_get_image_data(answer.reply.get()), image);
    return image;
}

std::unique_ptr<ScreenCapture> openScreenCapture() {
    if (std::unique_ptr<X11ScreenCapture> x11 = X11ScreenCapture::open()) return x11;
    return std::make_unique<NullScreenCapture>();
}

} // namespace platform
