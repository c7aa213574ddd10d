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

void PreviewSample::setShowsDetails(bool on) {
    if (on == showsDetails_) return;
    showsDetails_ = on;
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
                                               bool showsCaption, bool showsDetails) {
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
    const bool band = showsCaption || showsDetails;
    const double below = band ? inset + CardGeometry::kCaptionBand : inset;
    const QRectF box(inset, inset, cardSize.width() - 2 * inset, cardSize.height() - inset - below);
    const auto place = [&](const QRectF& r) {
        return QRectF(l.card.left() + l.scale * r.left(), l.card.top() + l.scale * r.top(),
                      l.scale * r.width(), l.scale * r.height());
    };
    l.imageBox = place(box);

    if (!band) return l;
    const QRectF caption(inset, cardSize.height() - inset - CardGeometry::kCaptionHeight,
                         cardSize.width() - 2 * inset, CardGeometry::kCaptionHeight);
    // A bar from start to end (fractions of the band's width), standing for text.
    const auto bar = [&](double start, double end) {
        QRectF r =
            place(QRectF(caption.left() + start * caption.width(), caption.top() + 0.35 * caption.height(),
                         (end - start) * caption.width(), 0.3 * caption.height()));
        // At least 1.5 points high, grown upwards from its lower edge.
        if (r.height() < 1.5) r.setTop(r.bottom() - 1.5);
        return r;
    };
    // The name alone is centred; with the details it moves left, and the
    // shorter details bar follows it, as "name · 1920 × 1080 · 245 KB" reads.
    if (showsCaption && showsDetails) {
        l.captionBar = bar(0.1, 0.5);
        l.detailsBar = bar(0.56, 0.9);
    } else if (showsCaption) {
        l.captionBar = bar(0.2, 0.8);
    } else {
        l.detailsBar = bar(0.33, 0.67);
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

    painter.setPen(Qt::NoPen);
    for (const auto& [bar, alpha] : {std::pair{l.captionBar, 0.26}, std::pair{l.detailsBar, 0.16}}) {
        if (!bar) continue;
        painter.setBrush(withAlpha(colors.color(QPalette::WindowText), alpha));
        const double radius = bar->height() / 2;
        painter.drawRoundedRect(*bar, radius, radius);
    }

    // The pointer last, over the card.
    painter.setPen(QPen(colors.color(QPalette::Window), 1));
    painter.setBrush(colors.color(QPalette::WindowText));
    painter.drawPolygon(pointerPolygon(l.pointer));
}
