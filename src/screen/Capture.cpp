#include "screen/Capture.h"

#include "screen/OwnWindows.h"

#include <QMutex>
#include <QMutexLocker>
#include <algorithm>

namespace ScreenTextReader {

namespace {

// Captures in a row that timed out; read by the hover loop to tell the user
// that screen reading has stopped responding.
class Stalls {
  public:
    void record(bool timedOut) {
        const QMutexLocker lock(&mutex_);
        count_ = timedOut ? count_ + 1 : 0;
    }
    qint64 count() {
        const QMutexLocker lock(&mutex_);
        return count_;
    }

  private:
    QMutex mutex_;
    qint64 count_ = 0;
};

Stalls& stallStore() {
    static Stalls store;
    return store;
}

} // namespace

QRectF strip(QPointF pointer, const QList<platform::Monitor>& monitors) {
    const std::optional<platform::Monitor> m = platform::monitorAt(pointer, monitors);
    const double scale = m ? m->textScale : 1.0;
    const double width = kStripWidth * scale;
    const double height = kStripHeight * scale;
    double x = pointer.x() - width / 2;
    if (m) {
        // Pinned inside the monitors the strip's rows run across, not only the pointer's.
        const QRectF rows = QRectF(x, pointer.y() - height / 2, width, height).intersected(m->frame);
        const QRectF frame = platform::monitorRow(*m, rows.top(), rows.bottom(), monitors).frame;
        x = std::max(frame.left(), std::min(frame.right() - width, x));
    }
    return QRectF(x, pointer.y() - height / 2, width, height);
}

std::optional<platform::Capture> capture(const std::shared_ptr<platform::ScreenCapture>& backend,
                                         QRectF strip, std::chrono::milliseconds limit) {
    if (!backend) return std::nullopt;
    const QList<QRectF> shownBefore = ownWindows();
    const platform::Deadline deadline = std::chrono::steady_clock::now() + limit;
    std::optional<platform::Capture> answer;
    try {
        answer = backend->capture(strip, deadline);
    } catch (...) {
        // A backend that throws has failed, in time: no stall, and the reading goes on.
        stallStore().record(false);
        return std::nullopt;
    }
    // Backends answer none at the deadline when the window system is silent.
    stallStore().record(!answer && std::chrono::steady_clock::now() >= deadline);
    if (!answer) return std::nullopt;

    platform::Capture result = *std::move(answer);
    if (result.image.isNull() || !(result.strip.width() > 0) || !(result.strip.height() > 0))
        return std::nullopt;
    // The card may have been shown or hidden while the pixels were read: both
    // sets of rectangles are painted over.
    paintOver(result.image, result.strip, shownBefore + ownWindows());
    return result;
}

bool ensurePermission(const std::shared_ptr<platform::ScreenCapture>& backend) {
    if (!backend) return false;
    try {
        return backend->canCapture(std::chrono::steady_clock::now() + kCaptureTimeLimit);
    } catch (...) {
        return false;
    }
}

qint64 stalls() {
    return stallStore().count();
}

} // namespace ScreenTextReader
