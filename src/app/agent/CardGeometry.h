#pragma once

#include "platform/Desktop.h"

#include <QList>
#include <QPointF>
#include <QRectF>
#include <QSizeF>

// The preview card's measurements, as pure functions so they can be checked
// without a display.
//
// Every rectangle here uses Qt's convention: origin at the top left, y growing
// downwards. Boxes inside the card are relative to the card's top-left corner;
// the placement is in global points (the pointer's space, see Desktop.h).
namespace CardGeometry {

inline constexpr double kNarrowest = 160.0;
inline constexpr double kWidest = 420.0;
inline constexpr double kInset = 10.0;
inline constexpr double kCaptionBand = 24.0; // caption height 16 plus the gap above it
inline constexpr double kCaptionHeight = 16.0;
inline constexpr double kMessageInset = 14.0;
inline constexpr int kMessageLines = 5;
inline constexpr double kCornerRadius = 13.5;
inline constexpr double kOutlineWidth = 1.0;
inline constexpr double kRightOfPointer = 22.0;
inline constexpr double kBelowPointer = 18.0;
inline constexpr double kAbovePointer = 22.0;

// The card width for a "previewWidth" value: rounded (halves away from zero),
// then 160 ... 420. Anything not finite counts as the narrowest.
double cardWidth(double previewWidth);

// (w, round(w * 8 / 11)).
QSizeF cardSize(double previewWidth);

// The longest side, in pixels, a preview image is decoded to: twice the
// rounded width capped at 420, and 320 for 160 or less.
int decodeCeiling(double previewWidth);

// Where the image goes, with or without the caption band under it.
QRectF imageBox(QSizeF card, bool withCaption);

// The one-line caption under the image.
QRectF captionFrame(QSizeF card);

// The text of a message card.
QRectF messageFrame(QSizeF card);

// The usable area of the screen under the pointer: the first screen whose frame
// holds it, else the first screen; an empty rectangle when there is none.
QRectF areaUnder(QPointF pointer, const QList<platform::ScreenArea>& screens);

// The card's frame near the pointer: 22 points right of it and its top 18
// points below it; flipped to the left when the right side has no room and
// above the pointer when the bottom has none; then clamped into the area, the
// right and top edges winning when the card is larger than the area.
QRectF placement(QPointF pointer, QSizeF card, QRectF area);

// A screen as Qt sees it. Qt keeps each screen's top-left at its position in
// window-system pixels and divides only the distances within it by the
// screen's device pixel ratio (QT_SCALE_FACTOR, Xft.dpi): its geometry is the
// native top-left with the native size over the ratio.
struct QtScreen {
    QRectF geometry; // QScreen::geometry(), device-independent pixels
    double ratio;    // QScreen::devicePixelRatio()
};

// The screen holding the point in window-system pixels: the first whose native
// extent holds it, else the first; a ratio of 1 at the origin when there is none.
QtScreen screenHolding(QPointF pixel, const QList<QtScreen>& screens);

// A point in window-system pixels in the device-independent pixels Qt's
// move() and setGeometry() take, on the given screen.
QPointF toDeviceIndependent(QPointF pixel, const QtScreen& screen);

} // namespace CardGeometry
