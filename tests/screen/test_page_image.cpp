// What the engine is handed for tiles in every colour scheme: dark text on a
// light page, the margin in the page's own background, the levels stretched
// so that faint schemes read like black on white.
#include "platform/tesseract/PageImage.h"

#include <QColor>
#include <QTest>
#include <algorithm>

using platform::tesseract_page::prepared;

namespace {

constexpr int kMargin = 12;
constexpr int kWidth = 120;
constexpr int kHeight = 30;

// Vertical strokes standing in for glyphs: a core of the text's colour two
// pixels wide, with an anti-aliased pixel either side half-way to the
// background. Strokes sit every 10 pixels from x 10, rows 8 to 22.
QImage strokes(QColor background, QColor text) {
    QImage tile(kWidth, kHeight, QImage::Format_RGB32);
    tile.fill(background);
    const QColor edge((background.red() + text.red()) / 2, (background.green() + text.green()) / 2,
                      (background.blue() + text.blue()) / 2);
    for (int x = 10; x + 3 < kWidth - 10; x += 10) {
        for (int y = 8; y < 22; ++y) {
            tile.setPixelColor(x, y, edge);
            tile.setPixelColor(x + 1, y, text);
            tile.setPixelColor(x + 2, y, text);
            tile.setPixelColor(x + 3, y, edge);
        }
    }
    return tile;
}

int at(const QImage& page, int x, int y) {
    return page.constScanLine(y + kMargin)[x + kMargin];
}

// Every pixel of the margin round the tile has this grey level.
bool marginIs(const QImage& page, int level) {
    for (int y = 0; y < page.height(); ++y) {
        for (int x = 0; x < page.width(); ++x) {
            const bool inside =
                x >= kMargin && x < page.width() - kMargin && y >= kMargin && y < page.height() - kMargin;
            if (!inside && page.constScanLine(y)[x] != level) return false;
        }
    }
    return true;
}

} // namespace

class PageImageTest : public QObject {
    Q_OBJECT

  private slots:
    void schemes_data() {
        QTest::addColumn<QColor>("background");
        QTest::addColumn<QColor>("text");
        QTest::addColumn<bool>("faint"); // stretched until the text is black
        QTest::newRow("Solarized dark: faint light text on dark teal")
            << QColor("#002b36") << QColor("#839496") << true;
        QTest::newRow("Solarized light: faint dark text on cream")
            << QColor("#fdf6e3") << QColor("#657b83") << true;
        QTest::newRow("black on white") << QColor(Qt::white) << QColor(Qt::black) << false;
        QTest::newRow("white on black") << QColor(Qt::black) << QColor(Qt::white) << false;
        QTest::newRow("green on black") << QColor(Qt::black) << QColor("#00ff00") << false;
        QTest::newRow("grey on mid-grey wallpaper") << QColor("#5f7f9f") << QColor("#dddddd") << true;
        QTest::newRow("black on mid grey") << QColor("#909090") << QColor(Qt::black) << false;
    }
    void schemes() {
        QFETCH(QColor, background);
        QFETCH(QColor, text);
        QFETCH(bool, faint);
        const QImage page = prepared(strokes(background, text), kMargin);
        QCOMPARE(page.format(), QImage::Format_Grayscale8);
        QCOMPARE(page.size(), QSize(kWidth + 2 * kMargin, kHeight + 2 * kMargin));

        const int paper = at(page, 2, 2);
        const int ink = at(page, 11, 15);
        // Dark on light, the background white; faint text stretched to black,
        // text that stands out already kept as dark as it was.
        QCOMPARE(paper, 255);
        if (faint)
            QCOMPARE(ink, 0);
        else
            QVERIFY2(ink <= 255 - 160, qPrintable(QString::number(ink)));
        // The margin continues the background, with no frame round the tile.
        QVERIFY(marginIs(page, paper));
        // Anti-aliased edges stay between the two rather than becoming ink or paper.
        QVERIFY2(at(page, 10, 15) > 40 && at(page, 10, 15) < 215,
                 qPrintable(QString::number(at(page, 10, 15))));
    }

    // A tile with nothing on it: its grain must not be stretched into
    // speckles the engine would read as text, whatever its brightness.
    void blankTilesKeepTheirGrain_data() {
        QTest::addColumn<int>("level");
        QTest::newRow("dark") << 30;
        QTest::newRow("mid grey") << 128;
        QTest::newRow("light") << 230;
    }
    void blankTilesKeepTheirGrain() {
        QFETCH(int, level);
        QImage tile(kWidth, kHeight, QImage::Format_Grayscale8);
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x)
                tile.scanLine(y)[x] = uchar(level + ((x * 7 + y * 13) % 9) - 4);
        }
        const QImage page = prepared(tile, kMargin);
        int least = 255;
        int most = 0;
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x) {
                least = std::min(least, at(page, x, y));
                most = std::max(most, at(page, x, y));
            }
        }
        QVERIFY2(most - least <= 8, qPrintable(QString("%1 .. %2").arg(least).arg(most)));
        // Light either way round: a dark blank tile is turned over like dark schemes are.
        QVERIFY(least >= 128 - 4);
        // The margin is one level from within the tile's own.
        const int margin = page.constScanLine(0)[0];
        QVERIFY(marginIs(page, margin));
        QVERIFY(margin >= least && margin <= most);
    }

    // A cursor block or a stray bright pixel must not set the scale: the text's
    // cores still reach black and the background white.
    void aFewStrayPixelsDoNotSetTheScale() {
        QImage tile = strokes(QColor("#002b36"), QColor("#839496"));
        tile.setPixelColor(0, 0, Qt::white);
        tile.setPixelColor(1, 0, Qt::white);
        const QImage page = prepared(tile, kMargin);
        QCOMPARE(at(page, 2, 2), 255);
        QVERIFY(at(page, 11, 15) <= 10);
    }

    void nullImageGivesNullPage() { QVERIFY(prepared(QImage(), kMargin).isNull()); }
};

QTEST_APPLESS_MAIN(PageImageTest)
#include "test_page_image.moc"
