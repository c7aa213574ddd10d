#include "app/ui/PreviewSample.h"

#include "app/agent/CardGeometry.h"

#include <QGuiApplication>
#include <QIcon>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <algorithm>
#include <cmath>

namespace {

constexpr double kWidth = 420; // the settings window's rows are this wide

QColor withAlpha(QColor color, double alpha) {
    color.setAlphaF(float(alpha));
    return color;
}

} // namespace

PreviewSample::PreviewSample(QWidget* parent) : QWidget(parent) {
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
}

void PreviewSample::setCardSize(QSizeF size) {
    if (size == cardSize_) return;
    cardSize_ = size;
    update();
}

void PreviewSample::setShowsCaption(bool on) {
    if (on == showsCaption_) return;
    showsCaption_ = on;
    update();
}

QSizeF PreviewSample::screenSize() {
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QSizeF size = screen->geometry().size();
        if (size.width() > 0 && size.height() > 0) return size;
    }
    return {1512, 945};
}

int PreviewSample::heightForWidth(int width) const {
    const QSizeF screen = screenSize();
    return int(std::lround(width * screen.height() / screen.width()));
}

QSize PreviewSample::sizeHint() const {
    return {int(kWidth), heightForWidth(int(kWidth))};
}

const QImage& PreviewSample::artwork() {
    static const QImage image = [] {
        QImage picture(QStringLiteral(":/preview-sample.png"));
        if (picture.isNull()) picture = QGuiApplication::windowIcon().pixmap(256, 256).toImage();
        return picture;
    }();
    return image;
}

PreviewSample::Layout PreviewSample::layoutFor(QSizeF view, double screenWidth, QSizeF cardSize,
                                               bool showsCaption) {
    Layout l;
    const QRectF bounds(QPointF(0, 0), view);
    l.scale = screenWidth > 0 ? bounds.width() / screenWidth : 0;
    l.screen = bounds.adjusted(0.5, 0.5, -0.5, -0.5);
    l.pointer = QPointF(bounds.left() + 0.34 * bounds.width(), bounds.top() + 0.32 * bounds.height());

    // The card's offsets from the pointer and its corner radius, scaled; kept
    // inside the frame rather than moved to the other side of the pointer.
    const double cw = l.scale * cardSize.width();
    const double ch = l.scale * cardSize.height();
    const double x =
        std::min(l.pointer.x() + l.scale * CardGeometry::kRightOfPointer, bounds.right() - cw - 4);
    const double y =
        std::min(l.pointer.y() + l.scale * CardGeometry::kBelowPointer, bounds.bottom() - ch - 4);
    l.card = QRectF(x, y, cw, ch);
    l.cornerRadius = std::min(ch / 3, l.scale * CardGeometry::kCornerRadius);

    const double inset = CardGeometry::kInset;
    const double below = showsCaption ? inset + CardGeometry::kCaptionBand : inset;
    const QRectF box(inset, inset, cardSize.width() - 2 * inset, cardSize.height() - inset - below);
    const auto place = [&](const QRectF& r) {
        return QRectF(l.card.left() + l.scale * r.left(), l.card.top() + l.scale * r.top(),
                      l.scale * r.width(), l.scale * r.height());
    };
    l.imageBox = place(box);

    if (showsCaption) {
        const QRectF band(inset, cardSize.height() - inset - CardGeometry::kCaptionHeight,
                          cardSize.width() - 2 * inset, CardGeometry::kCaptionHeight);
        QRectF bar = place(QRectF(band.left() + 0.2 * band.width(), band.top() + 0.35 * band.height(),
                                  0.6 * band.width(), 0.3 * band.height()));
        // At least 1.5 points high, grown upwards from its lower edge.
        if (bar.height() < 1.5) bar.setTop(bar.bottom() - 1.5);
        l.captionBar = bar;
    }
    return l;
}

QRectF PreviewSample::aspectFillSource(QSizeF artwork, QSizeF box) {
    if (artwork.width() <= 0 || artwork.height() <= 0 || box.width() <= 0 || box.height() <= 0) return {};
    if (artwork.width() / artwork.height() <= box.width() / box.height()) {
        const double height = artwork.width() * box.height() / box.width();
        return {0, (artwork.height() - height) / 2, artwork.width(), height};
    }
    const double width = artwork.height() * box.width() / box.height();
    return {(artwork.width() - width) / 2, 0, width, artwork.height()};
}

QPolygonF PreviewSample::pointerPolygon(QPointF p) {
    static const QPointF offsets[] = {{0, 0},      {0, 13},    {3.4, 9.6}, {6, 14.6},
                                      {8.4, 13.4}, {5.8, 8.6}, {10, 8.4}};
    QPolygonF polygon;
    for (const QPointF& offset : offsets)
        polygon << p + offset;
    polygon << p; // closed
    return polygon;
}

void PreviewSample::paintEvent(QPaintEvent*) {
    const Layout l = layout();
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPalette& colors = palette();
    const QColor separator = withAlpha(colors.color(QPalette::WindowText), 0.22);

    painter.setPen(QPen(separator, 1));
    painter.setBrush(colors.color(QPalette::Window));
    painter.drawRoundedRect(l.screen, 7, 7);

    painter.setBrush(colors.color(QPalette::Base));
    painter.drawRoundedRect(l.card, l.cornerRadius, l.cornerRadius);

    const QImage& picture = artwork();
    if (l.imageBox.width() > 2 && l.imageBox.height() > 2 && !picture.isNull()) {
        painter.save();
        painter.setClipRect(l.imageBox);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
        painter.drawImage(l.imageBox, picture, aspectFillSource(QSizeF(picture.size()), l.imageBox.size()));
        painter.restore();
    }

    if (l.captionBar) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(withAlpha(colors.color(QPalette::WindowText), 0.26));
        const double radius = l.captionBar->height() / 2;
        painter.drawRoundedRect(*l.captionBar, radius, radius);
    }

    // The pointer last, over the card.
    painter.setPen(QPen(colors.color(QPalette::Window), 1));
    painter.setBrush(colors.color(QPalette::WindowText));
    painter.drawPolygon(pointerPolygon(l.pointer));
}
