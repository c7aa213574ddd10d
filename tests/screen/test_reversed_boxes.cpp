// Reverse video on the engine's page: cursor blocks, selections and outlined
// cursors are taken off the text, and glyphs that look like boxes are left
// alone. Pages are drawn as the engine gets them: dark text on white, enlarged.
#include "platform/tesseract/ReversedBoxes.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QTest>

using platform::tesseract_page::turnBackReversedBoxes;

namespace {

enum class Mark { None, Reversed, Outlined, Nested };

struct Drawn {
    QImage page;
    QRect cells; // the marked cells
};

// `text` on one row of a white page, the cells [from, to) reversed or outlined
// as a terminal draws its cursor and selection.
Drawn draw(const QString& text, Mark mark, int from, int to, const QString& family = "DejaVu Sans Mono",
           int pixels = 28, bool bold = false) {
    QFont font(family);
    font.setPixelSize(pixels);
    font.setBold(bold);
    font.setStyleHint(QFont::Monospace);
    const QFontMetrics m(font);
    const int cell = m.horizontalAdvance(QLatin1Char('x'));
    const int left = 20;
    const int top = 30;
    QImage page(left * 2 + cell * int(text.size() + 2), top * 2 + m.height(), QImage::Format_Grayscale8);
    page.fill(255);
    {
        QPainter p(&page);
        p.setFont(font);
        p.setPen(Qt::black);
        p.drawText(QPoint(left, top + m.ascent()), text);
    }
    const QRect cells(left + from * cell, top, (to - from) * cell, m.height());
    const auto reverse = [&](const QRect& r) {
        for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = r.left(); x <= r.right(); ++x)
                page.scanLine(y)[x] = uchar(255 - page.scanLine(y)[x]);
    };
    if (mark == Mark::Reversed || mark == Mark::Nested) reverse(cells);
    // The whole row as well, as a dark window's page looks beside a light one.
    if (mark == Mark::Nested)
        reverse(QRect(left - cell, top - 8, cell * int(text.size() + 2), m.height() + 16));
    if (mark == Mark::Outlined) {
        QPainter p(&page);
        p.setPen(QPen(Qt::black, 2));
        p.drawRect(cells.adjusted(1, 1, -1, -1));
    }
    return {page, cells};
}

// Pixels where the two pages differ by more than anti-aliasing would.
int differing(const QImage& a, const QImage& b) {
    int n = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            n += std::abs(a.constScanLine(y)[x] - b.constScanLine(y)[x]) > 64;
    return n;
}

} // namespace

class ReversedBoxesTest : public QObject {
    Q_OBJECT

  private slots:
    // The page turned back is the text as it reads without the mark, but for
    // a few fringe pixels and what of a character lay under an outline.
    void marksAreTakenOff_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("mark");
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("to");
        QTest::addColumn<int>("pixels");
        QTest::newRow("cursor block after a path") << "open a.png " << int(Mark::Reversed) << 10 << 11 << 28;
        QTest::newRow("cursor block on a character") << "open a.png" << int(Mark::Reversed) << 5 << 6 << 28;
        QTest::newRow("cursor block on a digit, small") << "v1.0.png" << int(Mark::Reversed) << 1 << 2 << 22;
        QTest::newRow("a selected name") << "see shots/a.png now" << int(Mark::Reversed) << 4 << 15 << 28;
        QTest::newRow("a selected name, large") << "see a.png now" << int(Mark::Reversed) << 4 << 9 << 48;
        QTest::newRow("a selection inside a reversed row")
            << "see shots/a.png now" << int(Mark::Nested) << 4 << 15 << 28;
        QTest::newRow("outlined cursor after a path")
            << "open a.png " << int(Mark::Outlined) << 10 << 11 << 28;
        QTest::newRow("outlined cursor on a character")
            << "open a.png" << int(Mark::Outlined) << 5 << 6 << 28;
    }
    void marksAreTakenOff() {
        QFETCH(QString, text);
        QFETCH(int, mark);
        QFETCH(int, from);
        QFETCH(int, to);
        QFETCH(int, pixels);
        const Drawn plain = draw(text, Mark::None, from, to, "DejaVu Sans Mono", pixels);
        Drawn marked = draw(text, Mark(mark), from, to, "DejaVu Sans Mono", pixels);
        QVERIFY(differing(plain.page, marked.page) > plain.cells.width() * 2); // the mark is there
        turnBackReversedBoxes(marked.page);
        const int left = differing(plain.page, marked.page);
        const int area = plain.cells.width() * plain.cells.height();
        QVERIFY2(left * 20 < area, qPrintable(QString("%1 pixels of %2 still differ").arg(left).arg(area)));
    }

    // Glyphs as solid as a box, and boxes that do not span their line, stay.
    void glyphsStay_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("family");
        QTest::addColumn<int>("pixels");
        QTest::addColumn<bool>("bold");
        QTest::newRow("m and n at small sizes") << "docs/images/mmnn-460.png"
                                                << "Liberation Mono" << 22 << false;
        QTest::newRow("m and n, DejaVu") << "docs/images/mmnn-460.png"
                                         << "DejaVu Sans Mono" << 22 << false;
        QTest::newRow("bold bars") << "lll|||III.png"
                                   << "DejaVu Sans Mono" << 40 << true;
        QTest::newRow("hyphens, underscores, full stops") << "a--__..--.png"
                                                          << "DejaVu Sans Mono" << 48 << true;
        QTest::newRow("a square glyph lower than its line") << "\u25a0 a.png"
                                                            << "DejaVu Sans Mono" << 28 << false;
        QTest::newRow("box-drawing frame") << "\u250c\u2500\u2510 a.png"
                                           << "DejaVu Sans Mono" << 28 << false;
    }
    void glyphsStay() {
        QFETCH(QString, text);
        QFETCH(QString, family);
        QFETCH(int, pixels);
        QFETCH(bool, bold);
        const Drawn plain = draw(text, Mark::None, 0, 0, family, pixels, bold);
        QImage turned = plain.page;
        turnBackReversedBoxes(turned);
        QCOMPARE(differing(plain.page, turned), 0);
    }

    void otherFormatsAreLeftAlone() {
        QImage colour(40, 40, QImage::Format_RGB32);
        colour.fill(Qt::black);
        const QImage before = colour;
        turnBackReversedBoxes(colour);
        QCOMPARE(colour, before);
    }
};

QTEST_MAIN(ReversedBoxesTest)
#include "test_reversed_boxes.moc"
