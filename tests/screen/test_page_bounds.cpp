// Reading only the window under the pointer: synthetic strips of a terminal
// page (three rows of glyph-like strokes) with what real desktops put beside
// it, and where the page is taken to end.
#include "screen/PageBounds.h"

#include <QColor>
#include <QPainter>
#include <QRandomGenerator>
#include <QTest>

using ScreenTextReader::pageAround;

namespace {

constexpr int kWidth = 600;
constexpr int kHeight = 76;
const QColor kPaper(0x00, 0x2b, 0x36); // Solarized dark
const QColor kInk(0x83, 0x94, 0x96);
const QColor kDesktop(0x5f, 0x7f, 0x9f);

// Glyph-like strokes on three rows (tops 8, 32, 56; 14 high) between x0 and x1.
void drawText(QImage& strip, int x0, int x1, QColor ink = kInk) {
    QPainter p(&strip);
    for (int top : {8, 32, 56})
        for (int x = x0 + 4; x + 3 < x1; x += 8)
            p.fillRect(x, top + (x % 3), 3, 12, ink);
}

QImage page() {
    QImage strip(kWidth, kHeight, QImage::Format_RGB32);
    strip.fill(kPaper);
    drawText(strip, 0, kWidth);
    return strip;
}

// Grainy "photograph": every pixel its own colour.
void wallpaper(QImage& strip, QRect area) {
    QRandomGenerator random(7);
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            strip.setPixel(x, y, qRgb(random.bounded(40, 220), random.bounded(40, 220), random.bounded(40, 220)));
}

// The strip with everything outside the rectangle painted in the page's colour.
QImage only(QImage strip, QRect page) {
    for (int y = 0; y < strip.height(); ++y)
        for (int x = 0; x < strip.width(); ++x)
            if (!page.contains(x, y)) strip.setPixel(x, y, kPaper.rgb());
    return strip;
}

// The bounding box of the pixels whose colour is not the page's.
QRect notPaper(const QImage& image) {
    QRect box;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) != kPaper.rgb()) box |= QRect(x, y, 1, 1);
    return box;
}

} // namespace

class PageBoundsTest : public QObject {
    Q_OBJECT

  private slots:
    // The part of the strip kept as the page; everything else is painted in its colour.
    void bands_data() {
        QTest::addColumn<QImage>("strip");
        QTest::addColumn<QPoint>("pointer");
        QTest::addColumn<QRect>("kept");
        const QRect all(0, 0, kWidth, kHeight);

        QTest::newRow("a page and nothing else") << page() << QPoint(300, 40) << all;
        {
            QImage s = page();
            QPainter(&s).fillRect(QRect(400, 0, 200, kHeight), kDesktop);
            QTest::newRow("desktop colour right of the window")
                << s << QPoint(100, 40) << QRect(0, 0, 400, kHeight);
        }
        {
            // The desktop is most of the strip: the page is still the one under the pointer.
            QImage s = page();
            QPainter(&s).fillRect(QRect(0, 0, 420, kHeight), kDesktop);
            QTest::newRow("desktop left of the window, wider than it")
                << s << QPoint(500, 40) << QRect(420, 0, 180, kHeight);
        }
        {
            QImage s = page();
            wallpaper(s, QRect(350, 0, 250, kHeight));
            QTest::newRow("photographic wallpaper beside the window")
                << s << QPoint(100, 40) << QRect(0, 0, 350, kHeight);
        }
        {
            // A one-pixel frame and then the desktop: the frame alone does not end the page.
            QImage s = page();
            QPainter p(&s);
            p.fillRect(QRect(300, 0, 1, kHeight), Qt::black);
            p.fillRect(QRect(450, 0, 150, kHeight), kDesktop);
            QTest::newRow("a rule inside the window, the desktop beyond")
                << s << QPoint(100, 40) << QRect(0, 0, 450, kHeight);
        }
        {
            QImage s = page();
            QPainter(&s).fillRect(QRect(0, 0, kWidth, 24), QColor(0x33, 0x33, 0x33));
            QTest::newRow("a title bar above the pointer's row")
                << s << QPoint(300, 40) << QRect(0, 24, kWidth, kHeight - 24);
        }
        {
            // A block cursor on an empty last row: text, not a band.
            QImage s(kWidth, kHeight, QImage::Format_RGB32);
            s.fill(kPaper);
            drawText(s, 0, 400);
            QPainter p(&s);
            p.fillRect(QRect(0, 56, kWidth, 20), kPaper);
            p.fillRect(QRect(2, 56, 9, 16), kInk);
            QTest::newRow("a block cursor on an empty row") << s << QPoint(200, 40) << all;
        }
        {
            // The pointer on a full-width status bar: its own band is kept.
            QImage s = page();
            QPainter(&s).fillRect(QRect(0, 56, kWidth, 20), QColor(0x93, 0xa1, 0xa1));
            QTest::newRow("the pointer on a reverse-video bar") << s << QPoint(300, 64) << all;
        }
        {
            // Highlighted cells on one row: the rows around them keep their columns on the page.
            QImage s = page();
            QPainter(&s).fillRect(QRect(200, 30, 120, 18), QColor(0x26, 0x8b, 0xd2));
            QTest::newRow("highlighted cells on one row") << s << QPoint(100, 40) << all;
        }
    }
    void bands() {
        QFETCH(QImage, strip);
        QFETCH(QPoint, pointer);
        QFETCH(QRect, kept);
        const QImage read = pageAround(strip, pointer);
        QCOMPARE(read.size(), strip.size());
        QCOMPARE(notPaper(read), notPaper(only(strip, kept)));
        QVERIFY(read == only(strip, kept));
    }

    void pointerOutsideTheImage() {
        const QImage strip = page();
        QCOMPARE(pageAround(strip, QPoint(-1, 10)), strip);
        QCOMPARE(pageAround(strip, QPoint(kWidth, 10)), strip);
        QVERIFY(pageAround(QImage(), QPoint(0, 0)).isNull());
    }
};

QTEST_GUILESS_MAIN(PageBoundsTest)
#include "test_page_bounds.moc"
