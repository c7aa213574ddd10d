// The card's size, decode ceiling and placement at screen edges and work areas.
#include "app/agent/CardGeometry.h"

#include <QTest>
#include <limits>

Q_DECLARE_METATYPE(QList<platform::ScreenArea>)

namespace {

const QList<platform::ScreenArea> twoScreens = {
    {QRectF(0, 0, 1920, 1080), QRectF(0, 0, 1920, 1050), 1.0},       // a panel along the bottom
    {QRectF(1920, 0, 1280, 1024), QRectF(1920, 30, 1280, 994), 1.0}, // a panel along the top
};

} // namespace

class TestCardGeometry : public QObject {
    Q_OBJECT
  private slots:
    // Settings from a hand-edited file: rounded, clamped, and NaN taken as the narrowest.
    void sizeAndDecodeCeiling_data() {
        QTest::addColumn<double>("setting");
        QTest::addColumn<QSizeF>("size");
        QTest::addColumn<int>("ceiling");
        const double nan = std::numeric_limits<double>::quiet_NaN();
        QTest::newRow("not a number") << nan << QSizeF(160, 116) << 320;
        QTest::newRow("just above rounds down") << 160.4 << QSizeF(160, 116) << 320;
        QTest::newRow("half rounds up") << 160.5 << QSizeF(161, 117) << 322;
        QTest::newRow("far above widest") << 1000.0 << QSizeF(420, 305) << 840;
    }
    void sizeAndDecodeCeiling() {
        QFETCH(double, setting);
        QFETCH(QSizeF, size);
        QFETCH(int, ceiling);
        QCOMPARE(CardGeometry::cardSize(setting), size);
        QCOMPARE(CardGeometry::decodeCeiling(setting), ceiling);
    }

    void placement_data() {
        QTest::addColumn<QPointF>("pointer");
        QTest::addColumn<QList<platform::ScreenArea>>("screens");
        QTest::addColumn<QRectF>("frame");
        const QList<platform::ScreenArea> small = {{QRectF(0, 0, 300, 200), QRectF(0, 0, 300, 200), 1.0}};
        const QList<platform::ScreenArea> tiny = {{QRectF(0, 0, 200, 100), QRectF(0, 0, 200, 100), 1.0}};
        QTest::newRow("fits exactly at the right")
            << QPointF(1678, 400) << twoScreens << QRectF(1700, 418, 220, 160);
        QTest::newRow("flips left near the right edge")
            << QPointF(1679, 400) << twoScreens << QRectF(1437, 418, 220, 160);
        QTest::newRow("flips above near the bottom panel")
            << QPointF(500, 873) << twoScreens << QRectF(500 + 22, 873 - 22 - 160, 220, 160);
        QTest::newRow("fits exactly above the panel")
            << QPointF(500, 872) << twoScreens << QRectF(522, 890, 220, 160);
        QTest::newRow("neither side fits: clamped inside")
            << QPointF(150, 100) << small << QRectF(0, 0, 220, 160);
        QTest::newRow("card larger than the area: right and top edges win")
            << QPointF(100, 50) << tiny << QRectF(-20, 0, 220, 160);
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
