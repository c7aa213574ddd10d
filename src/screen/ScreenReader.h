#pragma once

#include "core/ResolutionContext.h"

#include <QList>
#include <QPointF>
#include <QRectF>
#include <QUrl>
#include <QtGlobal>
#include <optional>

// Reading the image reference under the pointer from the screen's pixels, for
// applications that publish no text. The hover controller calls prime(),
// ensurePermission() and imageReference() on worker threads (never two
// readings at once), the rest on the main thread.
class ScreenReader {
  public:
    virtual ~ScreenReader() = default;

    // Warms the recogniser on the calling thread. Blocking.
    virtual void prime() = 0;

    // Whether the screen can be read after asking (may wait up to 2 seconds). Blocking.
    virtual bool ensurePermission() = 0;

    // The resolved image the text under the point names, looked for where the
    // context says. Blocking; run off the main thread.
    virtual std::optional<QUrl> imageReference(QPointF at, const ResolutionContext& context,
                                               bool verbose) = 0;

    // Captures in a row that never answered.
    virtual qint64 stalls() = 0;

    // This program's visible windows (global points), which a reading must not
    // take for on-screen text; empty when none shows.
    virtual void setOwnWindows(const QList<QRectF>& frames) = 0;
};

// Reads nothing: every reading finds no reference.
class NoScreenReader final : public ScreenReader {
  public:
    void prime() override {}
    bool ensurePermission() override { return false; }
    std::optional<QUrl> imageReference(QPointF, const ResolutionContext&, bool) override {
        return std::nullopt;
    }
    qint64 stalls() override { return 0; }
    void setOwnWindows(const QList<QRectF>&) override {}
};
