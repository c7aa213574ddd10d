#include "app/agent/PreviewPanel.h"

#include "app/agent/CardGeometry.h"
#include "app/agent/CardView.h"
#include "app/agent/ImageDetails.h"
#include "app/agent/MessageText.h"
#include "app/agent/ScaledImageView.h"
#include "core/Settings.h"

#include <QApplication>
#include <QFontMetricsF>
#include <QLabel>
#include <QPainterPath>
#include <QRegion>
#include <QScreen>

namespace {

QFont labelFont() {
    QFont font = QApplication::font();
    font.setPixelSize(12);
    return font;
}

void setTextColour(QLabel* label, QPalette::ColorRole role) {
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, QApplication::palette().color(role));
    label->setPalette(palette);
}

} // namespace

PreviewPanel::PreviewPanel(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                          Qt::WindowDoesNotAcceptFocus | Qt::WindowTransparentForInput),
      card_(new CardView(this)), image_(new ScaledImageView(card_)), label_(new QLabel(card_)) {
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_TranslucentBackground);
    setFocusPolicy(Qt::NoFocus);
    setWindowTitle(QStringLiteral("Vistel preview"));

    label_->setFont(labelFont());
    label_->setAlignment(Qt::AlignCenter);
    label_->setTextFormat(Qt::PlainText);
    label_->setAttribute(Qt::WA_TransparentForMouseEvents);

    readSettings();
    resizeCard();
    layoutForImage();
}

void PreviewPanel::setShapedCorners(bool shaped) {
    shapedCorners_ = shaped;
    resizeCard();
}

void PreviewPanel::resizeCard() {
    setFixedSize(cardSize_.toSize());
    card_->setGeometry(rect());
    if (!shapedCorners_) {
        clearMask();
        return;
    }
    QPainterPath outline;
    outline.addRoundedRect(QRectF(rect()), CardGeometry::kCornerRadius, CardGeometry::kCornerRadius);
    setMask(QRegion(outline.toFillPolygon().toPolygon()));
}

void PreviewPanel::readSettings() {
    cardSize_ = CardGeometry::cardSize(Settings::previewWidth());
    showsCaption_ = Settings::showCaption();
    showsDetails_ = Settings::showImageDetails();
}

void PreviewPanel::applySettings() {
    readSettings();
    resizeCard();
    layoutForImage();
    if (isVisible()) {
        frame_.setSize(cardSize_ * devicePixelRatioF()); // the frame is in window-system pixels
        emit framesChanged({frame_});
    }
}

void PreviewPanel::layoutForImage() {
    message_ = false;
    image_->setGeometry(CardGeometry::imageBox(cardSize_, hasCaptionBand()).toRect());
    const QRectF caption = CardGeometry::captionFrame(cardSize_);
    label_->setGeometry(caption.toRect());
    label_->setWordWrap(false);
    setTextColour(label_, QPalette::PlaceholderText);
    label_->setText(ImageDetails::caption(showsCaption_ ? name_ : QString(),
                                          showsDetails_ ? details_ : QString(), QFontMetricsF(label_->font()),
                                          caption.width()));
    label_->setVisible(hasCaptionBand());
}

void PreviewPanel::showImage(const QImage& image, const QUrl& url, QPointF pointer, QRectF area) {
    image_->setImage(image);
    image_->show();
    name_ = url.fileName(QUrl::FullyDecoded);
    details_ = ImageDetails::of(image);
    layoutForImage();
    place(pointer, area);
}

void PreviewPanel::showMessage(const QString& message, QPointF pointer, QRectF area) {
    image_->hide();
    image_->clear();
    message_ = true;
    const QRectF frame = CardGeometry::messageFrame(cardSize_);
    label_->setGeometry(frame.toRect());
    label_->setWordWrap(true);
    setTextColour(label_, QPalette::Text);
    label_->setText(MessageText::fitted(message, label_->font(), frame.width(), CardGeometry::kMessageLines));
    label_->show();
    place(pointer, area);
}

void PreviewPanel::place(QPointF pointer, QRectF area) {
    // The pointer, the area and the frame are in window-system pixels; the
    // card's size and Qt's geometry are in device-independent ones, which a
    // scaled screen (QT_SCALE_FACTOR, Xft.dpi) makes larger.
    QList<CardGeometry::QtScreen> screens;
    for (const QScreen* screen : QGuiApplication::screens())
        screens.append({QRectF(screen->geometry()), screen->devicePixelRatio()});
    const CardGeometry::QtScreen screen = CardGeometry::screenHolding(pointer + origin_, screens);
    frame_ = CardGeometry::placement(pointer, cardSize_ * screen.ratio, area);
    const QPointF topLeft = CardGeometry::toDeviceIndependent(frame_.topLeft() + origin_, screen);
    setGeometry(QRectF(topLeft, cardSize_).toRect());
    show();
    raise();
    emit framesChanged({frame_});
}

void PreviewPanel::hideCard() {
    if (!isVisible()) return;
    hide();
    frame_ = QRectF();
    emit framesChanged({});
}

QString PreviewPanel::labelText() const {
    return label_->text();
}
bool PreviewPanel::labelVisible() const {
    return label_->isVisibleTo(this);
}
QRectF PreviewPanel::labelFrame() const {
    return label_->geometry();
}
QRectF PreviewPanel::imageFrame() const {
    return image_->geometry();
}
bool PreviewPanel::imageVisible() const {
    return image_->isVisibleTo(this);
}
QSize PreviewPanel::imageSize() const {
    return image_->imageSize();
}
