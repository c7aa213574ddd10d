#include "app/agent/CardGeometry.h"

#include <algorithm>
#include <cmath>

namespace CardGeometry {

namespace {

double roundedWidth(double previewWidth) {
    return std::isfinite(previewWidth) ? std::round(previewWidth) : 0.0;
}

// Half-open, so a point on the shared edge of two monitors belongs to one of them.
bool holds(const QRectF& frame, QPointF p) {
    return p.x() >= frame.left() && p.x() < frame.right() && p.y() >= frame.top() && p.y() < frame.bottom();
}

} // namespace

double cardWidth(double previewWidth) {
    const double w = roundedWidth(previewWidth);
    if (w <= kNarrowest) return kNarrowest;
    if (w > kWidest) return kWidest;
    return w;
}

QSizeF cardSize(double previewWidth) {
    const double w = cardWidth(previewWidth);
    return {w, std::round(w * 8.0 / 11.0)};
}

int decodeCeiling(double previewWidth) {
    const double w = std::min(roundedWidth(previewWidth), kWidest);
    if (w <= kNarrowest) return 2 * static_cast<int>(kNarrowest);
    return 2 * static_cast<int>(w);
}

QRectF imageBox(QSizeF card, bool withCaption) {
    const double below = withCaption ? kCaptionBand : 0.0;
    return {kInset, kInset, card.width() - 2 * kInset, card.height() - 2 * kInset - below};
}

QRectF captionFrame(QSizeF card) {
    return {kInset, card.height() - kInset - kCaptionHeight, card.width() - 2 * kInset, kCaptionHeight};
}

QRectF messageFrame(QSizeF card) {
    return {kMessageInset, kMessageInset, card.width() - 2 * kMessageInset,
            card.height() - 2 * kMessageInset};
}

QRectF areaUnder(QPointF pointer, const QList<platform::ScreenArea>& screens) {
    for (const platform::ScreenArea& screen : screens) {
        if (holds(screen.frame, pointer)) return screen.usable;
    }
    return screens.isEmpty() ? QRectF() : screens.first().usable;
}

QRectF placement(QPointF pointer, QSizeF card, QRectF area) {
    const double w = card.width();
    const double h = card.height();

    double x = pointer.x() + kRightOfPointer;
    if (x + w > area.right()) x = pointer.x() - w - kRightOfPointer;

    double top = pointer.y() + kBelowPointer;
    if (top + h > area.bottom()) top = pointer.y() - kAbovePointer - h;

    x = std::max(x, area.left());
    x = std::min(x, area.right() - w);
    top = std::min(top, area.bottom() - h);
    top = std::max(top, area.top());
    return {x, top, w, h};
}

namespace {

double usableRatio(double ratio) {
    return std::isfinite(ratio) && ratio > 0 ? ratio : 1.0;
}

} // namespace

QtScreen screenHolding(QPointF pixel, const QList<QtScreen>& screens) {
    for (const QtScreen& screen : screens) {
        const QRectF native(screen.geometry.topLeft(), screen.geometry.size() * usableRatio(screen.ratio));
        if (holds(native, pixel)) return screen;
    }
    return screens.isEmpty() ? QtScreen{QRectF(), 1.0} : screens.first();
}

QPointF toDeviceIndependent(QPointF pixel, const QtScreen& screen) {
    const QPointF origin = screen.geometry.topLeft();
    return origin + (pixel - origin) / usableRatio(screen.ratio);
}

} // namespace CardGeometry
