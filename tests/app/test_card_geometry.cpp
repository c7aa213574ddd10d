// The card's measurements; expected image boxes are written y-upwards and flipped here.
#include "app/CardGeometry.h"

#include <QTest>
#include <cmath>
#include <limits>

Q_DECLARE_METATYPE(QList<platform::ScreenArea>)

namespace {

QRectF fromBottomLeft(QRectF box, double cardHeight) {
    return {box.x(), cardHeight - box.y() - box.height(), box.width(), box.height()};
}

const QList<platform::ScreenArea> twoScreens = {
    {QRectF(0, 0, 1920, 1080), QRectF(0, 0, 1920, 1050), 1.0},       // a panel along the bottom
    {QRectF(1920, 0, 1280, 1024), QRectF(1920, 30, 1280, 994), 1.0}, // a panel along the top
};

} // namespace

class TestCardGeometry : public QObject {
    Q_OBJECT
  private slots:
    void cardSize_data() {
        QTest::addColumn<double>("setting");
        QTest::addColumn<QSizeF>("size");
        QTest::newRow("zero") << 0.0 << QSizeF(160, 116);
        QTest::newRow("not a number") << std::numeric_limits<double>::quiet_NaN() << QSizeF(160, 116);
        QTest::newRow("just above rounds down") << 160.4 << QSizeF(160, 116);
        QTest::newRow("half rounds up") << 160.5 << QSizeF(161, 117);
        QTest::newRow("widest") << 420.0 << QSizeF(420, 305);
        QTest::newRow("half above widest") << 420.5 << QSizeF(420, 305);
    }
    void cardSize() {
        QFETCH(double, setting);
        QFETCH(QSizeF, size);
        const QSizeF card = CardGeometry::cardSize(setting);
        QCOMPARE(card, size);
        QVERIFY(std::abs(card.height() / card.width() - 8.0 / 11.0) <= 0.01);
    }

    void decodeCeiling_data() {
        QTest::addColumn<double>("setting");
        QTest::addColumn<int>("ceiling");
        QTest::newRow("zero") << 0.0 << 320;
        QTest::newRow("rounds above narrowest") << 160.5 << 322;
        QTest::newRow("widest") << 420.0 << 840;
        QTest::newRow("capped") << 1000.0 << 840;
        QTest::newRow("not a number") << std::numeric_limits<double>::quiet_NaN() << 320;
    }
    void decodeCeiling() {
        QFETCH(double, setting);
        QFETCH(int, ceiling);
        QCOMPARE(CardGeometry::decodeCeiling(setting), ceiling);
    }

    void boxes_data() {
        QTest::addColumn<double>("width");
        QTest::addColumn<bool>("caption");
        QTest::addColumn<QRectF>("fromBottom"); // expected image box, y upwards
        QTest::newRow("160 with caption") << 160.0 << true << QRectF(10, 34, 140, 72);
        QTest::newRow("301 with caption") << 301.0 << true << QRectF(10, 34, 281, 175);
        QTest::newRow("220 without caption") << 220.0 << false << QRectF(10, 10, 200, 140);
    }
    void boxes() {
        QFETCH(double, width);
        QFETCH(bool, caption);
        QFETCH(QRectF, fromBottom);
        const QSizeF card = CardGeometry::cardSize(width);
        QCOMPARE(CardGeometry::imageBox(card, caption), fromBottomLeft(fromBottom, card.height()));
    }

    void captionAndMessageAt220() {
        const QSizeF card = CardGeometry::cardSize(220);
        QCOMPARE(CardGeometry::captionFrame(card), QRectF(10, 134, 200, 16));
        QCOMPARE(CardGeometry::messageFrame(card), QRectF(14, 14, 192, 132));
        // The caption sits in the band under the image, 8 points below it.
        QCOMPARE(CardGeometry::captionFrame(card).top() - CardGeometry::imageBox(card, true).bottom(), 8.0);
    }

    void placement_data() {
        QTest::addColumn<QPointF>("pointer");
        QTest::addColumn<QList<platform::ScreenArea>>("screens");
        QTest::addColumn<QRectF>("frame");
        const QList<platform::ScreenArea> small = {{QRectF(0, 0, 300, 200), QRectF(0, 0, 300, 200), 1.0}};
        const QList<platform::ScreenArea> tiny = {{QRectF(0, 0, 200, 100), QRectF(0, 0, 200, 100), 1.0}};
        QTest::newRow("right of and below") << QPointF(500, 400) << twoScreens << QRectF(522, 418, 220, 160);
        QTest::newRow("fits exactly at the right")
            << QPointF(1678, 400) << twoScreens << QRectF(1700, 418, 220, 160);
        QTest::newRow("flips left near the right edge")
            << QPointF(1679, 400) << twoScreens << QRectF(1437, 418, 220, 160);
        QTest::newRow("flips above near the bottom panel")
            << QPointF(500, 873) << twoScreens << QRectF(500 + 22, 873 - 22 - 160, 220, 160);
        QTest::newRow("fits exactly above the panel")
            << QPointF(500, 872) << twoScreens << QRectF(522, 890, 220, 160);
        QTest::newRow("bottom right corner flips both ways")
            << QPointF(1900, 1040) << twoScreens << QRectF(1658, 858, 220, 160);
        QTest::newRow("neither side fits: clamped inside")
            << QPointF(150, 100) << small << QRectF(0, 0, 220, 160);
        QTest::newRow("card larger than the area: right and top edges win")
            << QPointF(100, 50) << tiny << QRectF(-20, 0, 220, 160);
        QTest::newRow("second screen's right edge")
            << QPointF(3150, 300) << twoScreens << QRectF(2908, 318, 220, 160);
        QTest::newRow("second screen's top panel")
            << QPointF(2500, 5) << twoScreens << QRectF(2522, 30, 220, 160);
        QTest::newRow("shared edge belongs to the second screen")
            << QPointF(1920, 300) << twoScreens << QRectF(1942, 318, 220, 160);
        QTest::newRow("off every screen: the first one")
            << QPointF(-500, -500) << twoScreens << QRectF(0, 0, 220, 160);
    }
    void placement() {
        QFETCH(QPointF, pointer);
        QFETCH(QList<platform::ScreenArea>, screens);
        QFETCH(QRectF, frame);
        const QRectF area = CardGeometry::areaUnder(pointer, screens);
        QCOMPARE(CardGeometry::placement(pointer, QSizeF(220, 160), area), frame);
    }

    void noScreensGivesNoArea() { QVERIFY(CardGeometry::areaUnder(QPointF(10, 10), {}).isEmpty()); }
};

QTEST_MAIN(TestCardGeometry)
#include "test_card_geometry.moc"
