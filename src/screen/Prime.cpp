#include "screen/Prime.h"

#include "screen/Lines.h"

#include <QFont>
#include <QGuiApplication>
#include <QPainter>

namespace ScreenTextReader {

QImage primingImage() {
    // Fonts need the GUI application; without one there is nothing to warm with.
    if (!qGuiApp) return {};
    QImage image(96, 20, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull()) return {};
    image.fill(Qt::white);
    QPainter painter(&image);
    QFont font(QStringLiteral("DejaVu Sans Mono"));
    font.setPixelSize(11); // 11 points on a bitmap of one pixel per point
    painter.setFont(font);
    painter.setPen(Qt::black);
    // The text's baseline sits 5 pixels above the bottom edge.
    painter.drawText(QPointF(3, image.height() - 5), QStringLiteral("a/b.png"));
    return image;
}

void prime(const platform::TextRecognizer& recognizer) {
    const QImage image = primingImage();
    if (!image.isNull()) observations(recognizer, image);
}

} // namespace ScreenTextReader
