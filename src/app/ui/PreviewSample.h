#pragma once

#include <QImage>
#include <QPolygonF>
#include <QRectF>
#include <QSizeF>
#include <QWidget>
#include <optional>

// The settings window's live sample: a miniature of the screen with a pointer
// and the preview card drawn to scale beside it, so the chosen width, caption
// and image details can be judged before a real card shows. Geometry in Qt's convention
// (origin top left, y downwards).
class PreviewSample : public QWidget {
    Q_OBJECT
  public:
    // Where everything is drawn in a view of a given size.
    struct Layout {
        double scale = 0; // view points per screen point
        QRectF screen;    // the miniature screen's outline
        QPointF pointer;  // the pointer's tip
        QRectF card;      // the card, clamped into the view
        double cornerRadius = 0;
        QRectF imageBox;                  // where the artwork is drawn (aspect fill)
        std::optional<QRectF> captionBar; // the stand-in for the file name
        std::optional<QRectF> detailsBar; // the stand-in for the pixel and file size
    };

    explicit PreviewSample(QWidget* parent = nullptr);

    QSizeF cardSize() const { return cardSize_; }
    void setCardSize(QSizeF size);
    bool showsCaption() const { return showsCaption_; }
    void setShowsCaption(bool on);
    bool showsDetails() const { return showsDetails_; }
    void setShowsDetails(bool on);

    Layout layout() const {
        return layoutFor(QSizeF(size()), screenSize().width(), cardSize_, showsCaption_, showsDetails_);
    }
    static Layout layoutFor(QSizeF view, double screenWidth, QSizeF cardSize, bool showsCaption,
                            bool showsDetails = false);

    // The part of an image of size artwork with the box's proportions, centred.
    static QRectF aspectFillSource(QSizeF artwork, QSizeF box);
    // The arrow pointer with its tip at p, pointing up and to the left.
    static QPolygonF pointerPolygon(QPointF p);
    // The primary screen's size in points, 1512 x 945 when there is none.
    static QSizeF screenSize();
    // The sample picture, loaded once; the application's icon when it is missing.
    static const QImage& artwork();

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QSizeF cardSize_{220, 160};
    bool showsCaption_ = true;
    bool showsDetails_ = false;
};
