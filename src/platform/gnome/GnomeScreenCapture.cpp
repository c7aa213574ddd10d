#include "platform/gnome/GnomeScreenCapture.h"

#include "platform/gnome/ShellReplies.h"

#include <QDBusMessage>
#include <QDBusUnixFileDescriptor>
#include <cmath>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

// A strip's PNG is a few hundred kilobytes; anything past this is not one.
constexpr qint64 kLargestImageBytes = 64ll << 20;

int millisecondsUntil(Deadline deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    return int(std::min<qint64>(left.count(), 60'000));
}

// Closes the descriptor when it goes.
struct OwnedFd {
    int fd = -1;
    explicit OwnedFd(int f) : fd(f) {}
    ~OwnedFd() {
        if (fd >= 0) ::close(fd);
    }
    OwnedFd(const OwnedFd&) = delete;
    OwnedFd& operator=(const OwnedFd&) = delete;
};

// Everything the Shell wrote into the memory file.
std::optional<QByteArray> contents(int fd) {
    struct stat info {};
    if (::fstat(fd, &info) != 0 || info.st_size <= 0 || info.st_size > kLargestImageBytes)
        return std::nullopt;
    QByteArray bytes(qsizetype(info.st_size), Qt::Uninitialized);
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::pread(fd, bytes.data() + done, size_t(bytes.size() - done), off_t(done));
        if (n <= 0) return std::nullopt;
        done += n;
    }
    return bytes;
}

} // namespace

GnomeScreenCapture::GnomeScreenCapture(QDBusConnection bus, QString service)
    : bus_(std::move(bus)), service_(std::move(service)) {}

QDBusMessage GnomeScreenCapture::ask(QDBusMessage call, Deadline deadline) {
    const int timeoutMs = millisecondsUntil(deadline);
    if (timeoutMs <= 0) return {};
    return bus_.call(call, QDBus::Block, timeoutMs);
}

bool GnomeScreenCapture::canCapture(Deadline deadline) {
    const QList<Monitor> all = monitors(deadline);
    return !all.isEmpty() && read(QRect(all.first().frame.topLeft().toPoint(), QSize(1, 1)), deadline);
}

QList<Monitor> GnomeScreenCapture::monitors(Deadline deadline) {
    const auto screens = ShellReplies::monitors(
        ask(QDBusMessage::createMethodCall(service_, ShellExtension::kPath, ShellExtension::kInterface,
                                           QStringLiteral("Monitors")),
            deadline));
    QList<Monitor> all;
    for (const ScreenArea& screen : screens.value_or(QList<ScreenArea>{}))
        all.append(Monitor{screen.frame, screen.pixelsPerPoint});
    return all;
}

std::optional<Capture> GnomeScreenCapture::capture(QRectF strip, Deadline deadline) {
    const auto region = captureRegion(strip, monitors(deadline));
    if (!region) return std::nullopt;
    // Whole points covering the region: the Shell takes integers.
    const QRectF r = region->first;
    const QRect area(QPoint(int(std::floor(r.left())), int(std::floor(r.top()))),
                     QPoint(int(std::ceil(r.right())) - 1, int(std::ceil(r.bottom())) - 1));
    const auto image = read(area, deadline);
    if (!image) return std::nullopt;
    return Capture{*image, QRectF(area)};
}

std::optional<QImage> GnomeScreenCapture::read(QRect area, Deadline deadline) {
    const OwnedFd file(::memfd_create("vistel-capture", MFD_CLOEXEC));
    if (file.fd < 0) return std::nullopt;
    QDBusMessage call = QDBusMessage::createMethodCall(service_, ShellExtension::kPath,
                                                       ShellExtension::kInterface, QStringLiteral("Capture"));
    call << QVariant::fromValue(QRect(area)) << QVariant::fromValue(QDBusUnixFileDescriptor(file.fd));
    const QDBusMessage reply = ask(call, deadline);
    if (reply.type() != QDBusMessage::ReplyMessage || !reply.arguments().isEmpty()) return std::nullopt;
    const auto bytes = contents(file.fd);
    if (!bytes) return std::nullopt;
    QImage image = QImage::fromData(*bytes, "PNG");
    // At least a pixel per point: a smaller image is not this rectangle.
    if (image.isNull() || image.width() < area.width() || image.height() < area.height()) return std::nullopt;
    return image;
}

} // namespace platform
