#pragma once

#include <QImage>
#include <QList>
#include <QRectF>
#include <QString>

// Reading text from a picture: the seam between the screen reader and the
// recognition engine.
namespace platform {

// One recognised line of text.
//
// Boxes are normalised to the image (0 to 1) with the origin at the bottom
// left and y upwards: x() is the left edge, y() the bottom edge, so the top
// edge is y() + height().
struct Observation {
    QString text;
    QRectF box;
    // One box per UTF-16 unit of text (both units of a surrogate pair carry the
    // glyph's box); a null QRectF where the engine gives none (the blanks
    // between words). Empty when the engine gives no character boxes at all.
    QList<QRectF> characters;
    // How sure the engine is of the line, 0..100 (100 from engines that do not say).
    double confidence = 100.0;
};

class TextRecognizer {
  public:
    virtual ~TextRecognizer() = default;

    // The lines of text in the image, in the engine's order; empty when it
    // finds none or fails. Must be safe to call from several threads at once
    // (an implementation keeps one engine per thread).
    virtual QList<Observation> recognize(const QImage& image) const = 0;
};

} // namespace platform
