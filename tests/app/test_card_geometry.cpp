// The card's size, decode ceiling and placement at screen edges and work areas.
#include "app/agent/CardGeometry.h"

#include <QTest>
#include <cmath>
#include <limits>

Q_DECLARE_METATYPE(QList<platform::ScreenArea>)
Q_DECLARE_METATYPE(QList<CardGeometry::QtScreen>)

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

    // A card placed on a scaled screen: the arithmetic runs in window-system
    // pixels with the card's size times the ratio, and the top-left goes to Qt
    // in device-independent pixels. Checked by mapping the result back as Qt
    // does: it must land where the rule at scale 1 puts a card that large,
    // and wholly on the pointer's monitor.
    void scaledPlacement_data() {
        QTest::addColumn<double>("ratio");
        QTest::addColumn<QRectF>("monitor");        // window-system pixels
        QTest::addColumn<QPointF>("pointer");       // window-system pixels
        QTest::addColumn<QPointF>("windowTopLeft"); // what setGeometry gets
        // A second, unscaled monitor beside each one, so the right one must be chosen.
        QTest::newRow("scale 1") << 1.0 << QRectF(0, 0, 1920, 1080) << QPointF(190, 112) << QPointF(212, 130);
        QTest::newRow("scale 2, the measured pointer")
            << 2.0 << QRectF(0, 0, 3200, 1800) << QPointF(190, 112) << QPointF(106, 65);
        QTest::newRow("scale 2, near the right edge: flipped left")
            << 2.0 << QRectF(0, 0, 3200, 1800) << QPointF(3000, 900) << QPointF(1269, 459);
        QTest::newRow("scale 1.5, near the bottom: flipped above")
            << 1.5 << QRectF(0, 0, 2880, 1620) << QPointF(600, 1500) << QPointF(1244.0 / 3, 2476.0 / 3);
        QTest::newRow("scale 2, monitor at a positive offset")
            << 2.0 << QRectF(1920, 0, 3200, 1800) << QPointF(5000, 100) << QPointF(3229, 59);
        QTest::newRow("scale 1.5, monitor at a negative offset")
            << 1.5 << QRectF(-2880, -200, 2880, 1620) << QPointF(-100, -150)
            << QPointF(-3784.0 / 3, -464.0 / 3);
        QTest::newRow("scale 2, monitor at a negative offset")
            << 2.0 << QRectF(-3200, 0, 3200, 1800) << QPointF(-3190, 10) << QPointF(-3184, 14);
    }
    void scaledPlacement() {
        QFETCH(double, ratio);
        QFETCH(QRectF, monitor);
        QFETCH(QPointF, pointer);
        QFETCH(QPointF, windowTopLeft);
        const QSizeF card(220, 160);
        const QRectF other =
            monitor.left() < 0 ? QRectF(0, 0, 1920, 1080) : QRectF(monitor.left() - 1920, 0, 1920, 1080);
        const QList<CardGeometry::QtScreen> screens = {
            {other, 1.0},
            {QRectF(monitor.topLeft(), monitor.size() / ratio), ratio},
        };
        const CardGeometry::QtScreen screen = CardGeometry::screenHolding(pointer, screens);
        QCOMPARE(screen.ratio, ratio);
        const QRectF frame = CardGeometry::placement(pointer, card * ratio, monitor);
        const QPointF topLeft = CardGeometry::toDeviceIndependent(frame.topLeft(), screen);
        QCOMPARE(topLeft.x(), windowTopLeft.x());
        QCOMPARE(topLeft.y(), windowTopLeft.y());

        // Back to window-system pixels the way Qt maps a window on that screen.
        const QPointF origin = screen.geometry.topLeft();
        const QRectF shown(origin + (topLeft - origin) * ratio, card * ratio);
        QVERIFY2(monitor.contains(shown), "the card lies wholly on the pointer's monitor");
        QCOMPARE(shown.topLeft().x(), frame.left());
        QCOMPARE(shown.topLeft().y(), frame.top());
        // Beside the pointer: its nearest corner within the offsets of the rule at scale 1.
        const double dx =
            std::min(std::abs(shown.left() - pointer.x()), std::abs(shown.right() - pointer.x()));
        const double dy =
            std::min(std::abs(shown.top() - pointer.y()), std::abs(shown.bottom() - pointer.y()));
        QVERIFY(dx <= CardGeometry::kRightOfPointer && dy <= CardGeometry::kAbovePointer);
    }

    void screenHoldingEdges_data() {
        QTest::addColumn<QPointF>("pixel");
        QTest::addColumn<double>("ratio");
        const QList<CardGeometry::QtScreen> screens = {{QRectF(0, 0, 1600, 900), 2.0},
                                                       {QRectF(3200, 0, 1920, 1080), 1.0}};
        // The scaled screen's Qt geometry ends at 1600, its pixels at 3200.
        QTest::newRow("past the scaled geometry, inside its pixels") << QPointF(2500, 100) << 2.0;
        QTest::newRow("the shared edge belongs to the right screen") << QPointF(3200, 100) << 1.0;
        QTest::newRow("below every screen: the first") << QPointF(100, 5000) << 2.0;
    }
    void screenHoldingEdges() {
        QFETCH(QPointF, pixel);
        QFETCH(double, ratio);
        const QList<CardGeometry::QtScreen> screens = {{QRectF(0, 0, 1600, 900), 2.0},
                                                       {QRectF(3200, 0, 1920, 1080), 1.0}};
        QCOMPARE(CardGeometry::screenHolding(pixel, screens).ratio, ratio);
    }

    void noScreensMeansNoScaling() {
        const CardGeometry::QtScreen none = CardGeometry::screenHolding(QPointF(10, 10), {});
        QCOMPARE(CardGeometry::toDeviceIndependent(QPointF(300, 40), none), QPointF(300, 40));
        // A nonsense ratio is taken as 1 rather than dividing by it.
        QCOMPARE(CardGeometry::toDeviceIndependent(QPointF(300, 40), {QRectF(0, 0, 10, 10), 0.0}),
                 QPointF(300, 40));
    }

    void noScreensGivesNoArea() { QVERIFY(CardGeometry::areaUnder(QPointF(10, 10), {}).isEmpty()); }
};

QTEST_MAIN(TestCardGeometry)
#include "test_card_geometry.moc"
