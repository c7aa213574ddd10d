#pragma once

#include "platform/ScreenCapture.h"

#include <memory>
#include <mutex>

struct xcb_connection_t;

namespace platform {

// Captures from the X11 root window over a connection of its own (captures
// run on the screen reader's worker, never on the GUI thread's connection),
// with MIT-SHM when the server shares memory with us and plain GetImage
// otherwise. Monitors come from RandR; global points are root pixels moved
// so that the primary monitor's top left is the origin, one pixel per point
// (X11 itself has no notion of a scaled desktop); each monitor's text scale
// comes from Xft.dpi, the setting toolkits scale their text by.
class X11ScreenCapture final : public ScreenCapture {
  public:
    // Connects to the display (the DISPLAY variable when null); null when it
    // cannot be opened.
    static std::unique_ptr<X11ScreenCapture> open(const char* display = nullptr);
    ~X11ScreenCapture() override;
    X11ScreenCapture(const X11ScreenCapture&) = delete;
    X11ScreenCapture& operator=(const X11ScreenCapture&) = delete;

    // Every request waits for its answer only until the deadline (see
    // ReplyBefore.h); what has not answered by then counts as none.
    bool canCapture(Deadline deadline) override;
    // The primary monitor first.
    QList<Monitor> monitors(Deadline deadline) override;
    std::optional<Capture> capture(QRectF strip, Deadline deadline) override;

    // Whether captures go through shared memory (for the benchmark's report).
    bool usesSharedMemory() const;

  private:
    X11ScreenCapture(xcb_connection_t* connection, int screenNumber);
    struct Layout {
        QList<Monitor> monitors;
        QPointF origin; // root pixels of the global origin
    };
    // None when the server did not answer in time.
    std::optional<Layout> layoutLocked(Deadline deadline);
    // Xft.dpi from the root's resources as a text scale; none when the server did not answer in time.
    std::optional<double> textScaleLocked(Deadline deadline);
    std::optional<QImage> readLocked(int x, int y, int width, int height, Deadline deadline);
    bool attachSegmentLocked(size_t bytes, Deadline deadline);
    void detachSegmentLocked();

    mutable std::mutex mutex_; // one request sequence (and one use of the segment) at a time
    xcb_connection_t* connection_ = nullptr;
    quint32 root_ = 0;
    int rootWidth_ = 0, rootHeight_ = 0;
    bool rgb32_ = false; // the root's pixels are 32-bit x8r8g8b8 little-endian
    bool randr_ = false;
    bool shmPossible_ = false;
    struct Segment {
        quint32 seg = 0;
        int id = -1;
        void* address = nullptr;
        size_t size = 0;
    } segment_;
};

// The X11 capture when a display can be opened, else one that reads nothing.
std::unique_ptr<ScreenCapture> openScreenCapture();

} // namespace platform
