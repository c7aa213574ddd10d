#pragma once

#include <QImage>
#include <QList>
#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <QUrl>
#include <QWidget>

class CardView;
class QLabel;
class ScaledImageView;

// The floating card beside the pointer: an image with an optional caption (its
// file name, its pixel and file size, or both), or a short message. It never
// takes focus nor input and stays above other windows. Its window is titled
// "Vistel preview" (its class is the application name, "Vistel"). Main thread
// only.
class PreviewPanel : public QWidget {
    Q_OBJECT
  public:
    // Reads the card width, caption and image details settings.
    explicit PreviewPanel(QWidget* parent = nullptr);

    // Re-reads those settings; a shown card is resized and captioned in place.
    void applySettings();

    // Image and caption laid out for the current size and caption setting.
    void layoutForImage();

    // area: the usable part of the screen under the pointer (global points).
    void showImage(const QImage& image, const QUrl& url, QPointF pointer, QRectF area);
    void showMessage(const QString& message, QPointF pointer, QRectF area);
    void place(QPointF pointer, QRectF area);
    void hideCard();

    // Where global points start in the window system's coordinates (see
    // Desktop::windowSystemOrigin); the card is moved by it when placed.
    void setWindowSystemOrigin(QPointF origin) { origin_ = origin; }
    // Without a compositor the card's round corners are cut out of the window
    // itself; with one they are drawn translucent.
    void setShapedCorners(bool shaped);
    // The card's frame in global points; empty while hidden.
    QRectF frame() const { return frame_; }

    QSizeF cardSize() const { return cardSize_; }
    bool showsCaption() const { return showsCaption_; }
    bool showsDetails() const { return showsDetails_; }
    // The caption band is there when it has something to say: the name or the details.
    bool hasCaptionBand() const { return showsCaption_ || showsDetails_; }
    bool showsMessage() const { return message_; }
    // What the label says, as laid out (the caption may be shortened in the middle).
    QString labelText() const;
    bool labelVisible() const;
    QRectF labelFrame() const;
    QRectF imageFrame() const;
    bool imageVisible() const;
    QSize imageSize() const;

  signals:
    // The card's frame in global points when it shows or moves; empty when hidden.
    void framesChanged(const QList<QRectF>& frames);

  private:
    void resizeCard();
    void readSettings();

    QSizeF cardSize_;
    bool showsCaption_ = true;
    bool showsDetails_ = false;
    bool message_ = false;
    QString name_;
    QString details_;
    QPointF origin_;
    QRectF frame_;
    bool shapedCorners_ = false;
    CardView* card_;
    ScaledImageView* image_;
    QLabel* label_;
};
