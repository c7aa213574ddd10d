#pragma once

#include <QImage>
#include <QPixmap>
#include <QWidget>

// An image scaled up or down to fit the view, keeping its proportions, centred.
class ScaledImageView : public QWidget {
    Q_OBJECT
  public:
    explicit ScaledImageView(QWidget* parent = nullptr);

    void setImage(const QImage& image);
    void clear();
    bool hasImage() const { return !pixmap_.isNull(); }
    QSize imageSize() const { return pixmap_.size(); }

    // Where an image of that size is drawn inside bounds.
    static QRectF fitted(QSizeF image, QRectF bounds);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QPixmap pixmap_;
};
