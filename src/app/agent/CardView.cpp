#include "app/agent/CardView.h"

#include "app/agent/CardGeometry.h"

#include <QPainter>
#include <QPainterPath>

CardView::CardView(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void CardView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const double half = CardGeometry::kOutlineWidth / 2;
    QPainterPath outline;
    outline.addRoundedRect(QRectF(rect()).adjusted(half, half, -half, -half), CardGeometry::kCornerRadius,
                           CardGeometry::kCornerRadius);
    painter.fillPath(outline, palette().color(QPalette::Base));
    painter.setPen(QPen(palette().color(QPalette::Mid), CardGeometry::kOutlineWidth));
    painter.drawPath(outline);
}
