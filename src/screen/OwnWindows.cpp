#include "screen/OwnWindows.h"

#include <QHash>
#include <QMutex>
#include <QMutexLocker>
#include <QPainter>
#include <algorithm>
#include <chrono>
#include <cmath>

namespace ScreenTextReader {

namespace {

using Clock = std::chrono::steady_clock;

// The frames of this program's visible windows, and those hidden lately.
class OwnWindows {
  public:
    void set(const QList<QRectF>& frames) {
        const QMutexLocker lock(&mutex_);
        const Clock::time_point now = Clock::now();
        for (const QRectF& old : shown_)
            if (!frames.contains(old)) hidden_.append({old, now});
        shown_ = frames;
    }
    QList<QRectF> get() {
        const QMutexLocker lock(&mutex_);
        const Clock::time_point now = Clock::now();
        hidden_.removeIf([&](const Hidden& h) {
            return std::chrono::duration<double>(now - h.at).count() > kOwnWindowAfterglow;
        });
        QList<QRectF> all = shown_;
        for (const Hidden& h : hidden_)
            all.append(h.frame);
        return all;
    }

  private:
    struct Hidden {
        QRectF frame;
        Clock::time_point at;
    };
    QMutex mutex_;
    QList<QRectF> shown_;
    QList<Hidden> hidden_;
};

OwnWindows& store() {
    static OwnWindows windows;
    return windows;
}

// The commonest colour of the image outside the rectangles: the background
// that text is drawn on. (A ring just round a window is no good: the card
// often sits right against a row of text.) None when nothing lies outside.
std::optional<QRgb> backgroundColour(const QImage& image, const QList<QRect>& covered) {
    // Every other pixel each way is plenty to find the background.
    QHash<QRgb, int> counts;
    for (int y = 0; y < image.height(); y += 2)
        for (int x = 0; x < image.width(); x += 2) {
            const QPoint p(x, y);
            if (std::none_of(covered.begin(), covered.end(), [&](const QRect& r) { return r.contains(p); }))
                ++counts[image.pixel(x, y)];
        }
    if (counts.isEmpty()) return std::nullopt;
    return std::max_element(counts.cbegin(), counts.cend()).key();
}

} // namespace

void setOwnWindows(const QList<QRectF>& frames) {
    store().set(frames);
}

QList<QRectF> ownWindows() {
    return store().get();
}

void paintOver(QImage& image, QRectF strip, const QList<QRectF>& rectangles) {
    if (image.isNull() || !(strip.width() > 0) || !(strip.height() > 0)) return;
    const double dx = image.width() / strip.width();
    const double dy = image.height() / strip.height();
    QList<QRect> covered;
    for (const QRectF& frame : rectangles) {
        const QRectF on = frame.intersected(strip);
        if (on.isEmpty()) continue;
        // Whole pixels, one more on each side for the frame's antialiased edge.
        const int left = int(std::floor((on.left() - strip.left()) * dx)) - 1;
        const int top = int(std::floor((on.top() - strip.top()) * dy)) - 1;
        const int right = int(std::ceil((on.right() - strip.left()) * dx)) + 1;
        const int bottom = int(std::ceil((on.bottom() - strip.top()) * dy)) + 1;
        const QRect pixels =
            QRect(QPoint(left, top), QPoint(right - 1, bottom - 1)).intersected(image.rect());
        if (!pixels.isEmpty()) covered.append(pixels);
    }
    if (covered.isEmpty()) return;
    // Indexed and one-bit images cannot be painted on.
    if (image.format() == QImage::Format_Indexed8 || image.format() == QImage::Format_Mono ||
        image.format() == QImage::Format_MonoLSB)
        image = image.convertToFormat(QImage::Format_RGB32);
    const QRgb colour = backgroundColour(image, covered).value_or(qRgb(255, 255, 255));
    QPainter painter(&image);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    for (const QRect& r : covered)
        painter.fillRect(r, QColor::fromRgba(colour));
}

} // namespace ScreenTextReader
