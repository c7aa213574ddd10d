// The pointer's row of ink and whether recognition read it: tiles painted in
// the test with blocks of "ink" on rows, and read lines given by hand.
#include "HandLines.h"
#include "screen/Choosing.h"
#include "screen/InkRow.h"
#include "screen/Rejoining.h"

#include <QPainter>
#include <QTest>

using namespace ScreenTextReader;

namespace {

// Rows of ink: 12 points high from top, 8 points per character from x 0 to x 400.
struct Scheme {
    QColor background;
    QColor ink;
};

// A tile showing x 0..500, y 0..76 at `scale` pixels per point, with ink
// blocks on the rows whose tops are given.
Tile paintedTile(const QList<double>& rowTops, const Scheme& scheme, int scale) {
    Tile t = handTile(0, 500, false, false);
    QImage image(500 * scale, 76 * scale, QImage::Format_RGB32);
    image.fill(scheme.background);
    QPainter painter(&image);
    for (double top : rowTops)
        for (int c = 0; c < 50; ++c) // 6-point glyphs in 8-point cells
            painter.fillRect(QRectF(c * 8 * scale, top * scale, 6 * scale, 12 * scale), scheme.ink);
    painter.end();
    t.image = image;
    return t;
}

} // namespace

class TestInkRow : public QObject {
    Q_OBJECT

  private slots:
    void unreadRow_data() {
        QTest::addColumn<QList<double>>("inkRows");  // tops of the painted rows, 12 points high
        QTest::addColumn<QList<double>>("readRows"); // tops of the boxes recognition returned
        QTest::addColumn<double>("readHeight");      // their height
        QTest::addColumn<double>("readMinX");        // where they start (they run 200 points)
        QTest::addColumn<QPointF>("pointer");
        QTest::addColumn<QString>("scheme");
        QTest::addColumn<int>("scale");
        QTest::addColumn<QString>("known"); // what the pixels show: the pointer's "row", "between" two, ""
        QTest::addColumn<bool>("unread");

        const QList<double> three{10, 30, 50};
        const QList<double> outer{10, 50};
        // Rows at y 10..22, 30..42, 50..62; the pointer's x (100) is over ink.
        QTest::newRow("every row read")
            << three << three << 12.0 << 0.0 << QPointF(100, 36) << "light" << 1 << "row" << false;
        QTest::newRow("the pointer's row dropped")
            << three << outer << 12.0 << 0.0 << QPointF(100, 36) << "light" << 1 << "row" << true;
        QTest::newRow("dropped, on a dark low-contrast scheme")
            << three << outer << 12.0 << 0.0 << QPointF(100, 36) << "solarized" << 1 << "row" << true;
        QTest::newRow("dropped, on a tile enlarged twice")
            << three << outer << 12.0 << 0.0 << QPointF(100, 36) << "light" << 2 << "row" << true;
        QTest::newRow("dropped, and the box above reaches 3 points into it")
            << three << outer << 23.0 << 0.0 << QPointF(100, 36) << "light" << 1 << "row" << true;
        QTest::newRow("a box 3 points off the ink still lies on its row")
            << three << QList<double>{10, 33, 50} << 12.0 << 0.0 << QPointF(100, 31) << "light" << 1 << "row"
            << false;
        QTest::newRow("the pointer's row read, but only far to the left")
            << three << three << 12.0 << -300.0 << QPointF(100, 36) << "light" << 1 << "row" << true;
        QTest::newRow("on the blank band halfway between rows")
            << three << three << 12.0 << 0.0 << QPointF(100, 26) << "light" << 1 << "between" << false;
        QTest::newRow("on the blank band, 3 points nearer one row")
            << three << three << 12.0 << 0.0 << QPointF(100, 24.5) << "light" << 1 << "between" << false;
        QTest::newRow("on the blank band, the row above clearly nearer")
            << three << three << 12.0 << 0.0 << QPointF(100, 23) << "light" << 1 << "row" << false;
        QTest::newRow("on the blank band, clearly nearer a row not read")
            << three << outer << 12.0 << 0.0 << QPointF(100, 29) << "light" << 1 << "row" << true;
        QTest::newRow("on a blank row, the rows beyond reach")
            << QList<double>{0, 60} << QList<double>{0, 60} << 12.0 << 0.0 << QPointF(100, 36) << "light" << 1
            << "" << false;
        QTest::newRow("ink only more than 14 points to the side")
            << three << outer << 12.0 << 0.0 << QPointF(440, 36) << "light" << 1 << "" << false;
        QTest::newRow("rows touching are not one row") << QList<double>{10, 22, 50} << outer << 12.0 << 0.0
                                                       << QPointF(100, 26) << "light" << 1 << "" << false;
    }
    void unreadRow() {
        QFETCH(QList<double>, inkRows);
        QFETCH(QList<double>, readRows);
        QFETCH(double, readHeight);
        QFETCH(double, readMinX);
        QFETCH(QPointF, pointer);
        QFETCH(QString, scheme);
        QFETCH(int, scale);
        QFETCH(QString, known);
        QFETCH(bool, unread);
        const Scheme colours = scheme == QStringLiteral("solarized")
                                   ? Scheme{QColor(0x00, 0x2b, 0x36), QColor(0x83, 0x94, 0x96)}
                                   : Scheme{Qt::white, Qt::black};
        Read read{paintedTile(inkRows, colours, scale), {}};
        for (double top : readRows)
            read.lines.append(
                handLine(QStringLiteral("x"), readMinX, readMinX + 200, top, top + readHeight, read.tile));
        const PointerRow at = pointerRowAt({read}, pointer);
        QCOMPARE(at.row         ? QStringLiteral("row")
                 : at.ambiguous ? QStringLiteral("between")
                                : QString(),
                 known);
        QCOMPARE(at.row && !rowWasRead({read}, pointer, *at.row), unread);
    }

    void theRowFollowsThePixels() {
        // Enlarged twice, the middle row's ink spans 30..42 points.
        const Read read{paintedTile({10, 30, 50}, Scheme{Qt::white, Qt::black}, 2), {}};
        const std::optional<InkRow> row = pointerRowAt({read}, QPointF(100, 36)).row;
        QVERIFY(row);
        QCOMPARE(row->top, 30.0);
        QCOMPARE(row->bottom, 42.0);
    }

    void aDroppedRowIsNotStoodInForByTheRowAbove() {
        // The row above holds a name within the pointer's 14-point reach; the
        // pointer's own row (y 30..42) was not read.
        Read read{paintedTile({10, 30}, Scheme{Qt::white, Qt::black}, 1), {}};
        read.lines.append(handLine(QStringLiteral("alpha.png"), 60, 132, 10, 22, read.tile));
        QStringList asked;
        const Resolver resolve = [&](const QString& r) -> std::optional<QUrl> {
            asked << r;
            return QUrl::fromLocalFile(QStringLiteral("/fixture/") + r);
        };
        QVERIFY(!recognizeLines(read, QPointF(100, 33), false, resolve, nullptr, false));
        QVERIFY(!rejoined({read}, QPointF(100, 33), resolve, false));
        QVERIFY(asked.isEmpty());
        // With the row read (and holding nothing) the row above is still not taken.
        read.lines.append(handLine(QStringLiteral("just words"), 60, 140, 30, 42, read.tile));
        QVERIFY(!recognizeLines(read, QPointF(100, 33), false, resolve, nullptr, false));
        // A box round the row above that reaches into the pointer's row does not make it that row.
        read.lines.first().maxY = 33;
        QVERIFY(!recognizeLines(read, QPointF(100, 32), false, resolve, nullptr, false));
        read.lines.first().maxY = 22;
        // Without the pointer's row painted, the row above within reach is the one meant.
        read.tile = paintedTile({10}, Scheme{Qt::white, Qt::black}, 1);
        read.lines.removeLast();
        QCOMPARE(recognizeLines(read, QPointF(100, 33), false, resolve, nullptr, false),
                 QUrl::fromLocalFile(QStringLiteral("/fixture/alpha.png")));
    }

    void aTileWithoutPixelsTellsNothing() {
        // Lines built by hand for the geometry tests come without an image.
        const Tile tile = handTile(0, 500, false, false);
        const Read read{tile, {handLine(QStringLiteral("x"), 0, 200, 10, 22, tile)}};
        const PointerRow at = pointerRowAt({read}, QPointF(100, 36));
        QVERIFY(!at.row && !at.ambiguous);
    }
};

QTEST_GUILESS_MAIN(TestInkRow)
#include "test_ink_row.moc"
