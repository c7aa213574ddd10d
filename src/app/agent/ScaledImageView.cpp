#include "app/agent/ScaledImageView.h"

#include <QPainter>

ScaledImageView::ScaledImageView(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void ScaledImageView::setImage(const QImage& image) {
    pixmap_ = QPixmap::fromImage(image);
    update();
}

void ScaledImageView::clear() {
    pixmap_ = QPixmap();
    update();
}

QRectF ScaledImageView::fitted(QSizeF image, QRectF bounds) {
    if (image.isEmpty() || bounds.isEmpty()) return {};
    const QSizeF size = image.scaled(bounds.size(), Qt::KeepAspectRatio);
    return {bounds.center().x() - size.width() / 2, bounds.center().y() - size.height() / 2, size.width(),
            size.height()};
}

void ScaledImageView::paintEvent(QPaintEvent*) {
    if (pixmap_.isNull()) return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawPixmap(fitted(pixmap_.size(), rect()), pixmap_, pixmap_.rect());
}
