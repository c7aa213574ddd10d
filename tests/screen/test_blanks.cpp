// Repairs of the recogniser's blanks on hand-made lines and pages: invented
// blanks in monospaced words, underscores read as blanks.
#include "platform/tesseract/Blanks.h"

#include <QPainter>
#include <QTest>

using namespace platform::tesseract_lines;

namespace {

// Glyphs 10 pixels wide at the given x positions (NaN for a blank), y 12 to the baseline at 30.
RawLine lineAt(const QString& text, const QList<double>& lefts) {
    RawLine line;
    line.text = text;
    for (double x : lefts)
        line.boxes.append(qIsNaN(x) ? QRectF() : QRectF(x, 12, 10, 18));
    for (const QRectF& b : line.boxes)
        line.box = line.box.united(b);
    line.baseline = 30;
    return line;
}

// Glyphs on a pitch of 10 from x 0; the blank at index `blank` takes `cells` cells.
QList<double> monospaced(int count, int blank, double cells) {
    QList<double> lefts;
    double x = 0;
    for (int i = 0; i < count; ++i) {
        lefts << (i == blank ? qQNaN() : x);
        x += i == blank ? 10 * cells : 10;
    }
    return lefts;
}

const QList<double> kUneven{0, 4, 15, 30, 36, 42, 60, qQNaN(), 68, 71, 85, 100, 104, 118, 125};

QImage whitePage(int width) {
    QImage page(width, 50, QImage::Format_Grayscale8);
    page.fill(255);
    return page;
}

} // namespace

class BlanksTest : public QObject {
    Q_OBJECT

  private slots:
    void spuriousBlanks_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QList<double>>("lefts");
        QTest::addColumn<double>("pagePitch"); // 0: none
        QTest::addColumn<QString>("kept");
        QTest::newRow("half a cell is dropped")
            << "hero- frame.png" << monospaced(15, 5, 0.5) << 0.0 << QString("hero-frame.png");
        QTest::newRow("a whole cell is a blank")
            << "saved to/shots" << monospaced(14, 5, 1) << 0.0 << QString("saved to/shots");
        QTest::newRow("short words cannot tell")
            << "a. png" << monospaced(6, 2, 0) << 0.0 << QString("a. png");
        QTest::newRow("a short row borrows the page's pitch")
            << "83. png" << monospaced(7, 3, 0) << 10.0 << QString("83.png");
        QTest::newRow("a short row keeps a real blank on the page's pitch")
            << "83. png" << monospaced(7, 3, 1) << 10.0 << QString("83. png");
        QTest::newRow("a short row in another size judges alone")
            << "83. png" << monospaced(7, 3, 0) << 15.0 << QString("83. png");
        QTest::newRow("proportional glyphs are left alone")
            << "mild wimp lilim" << kUneven << 0.0 << QString("mild wimp lilim");
        QTest::newRow("boxes that do not match the text")
            << "ab cd" << QList<double>{0, 10} << 10.0 << QString("ab cd");
    }
    void spuriousBlanks() {
        QFETCH(QString, text);
        QFETCH(QList<double>, lefts);
        QFETCH(double, pagePitch);
        QFETCH(QString, kept);
        RawLine line = lineAt(text, lefts);
        dropSpuriousBlanks(QImage(), line, pagePitch > 0 ? std::optional(pagePitch) : std::nullopt);
        QCOMPARE(line.text, kept);
        if (lefts.size() == text.size()) QCOMPARE(line.boxes.size(), line.text.size());
    }

    // The page's pitch comes from its monospaced rows, and from no others.
    void monospacedPitchOfAPage() {
        QCOMPARE(monospacedPitch({lineAt("vistel -e2e/shots", monospaced(17, 6, 1))}), std::optional(10.0));
        QCOMPARE(monospacedPitch({lineAt("mild wimp lilim", kUneven)}), std::nullopt);
        QCOMPARE(monospacedPitch({lineAt("ab", {0, 10})}), std::nullopt); // too few steps
    }

    // The boxes put the glyphs either side of the blank two pitches apart (a
    // blank, by them); the widest stretch without ink decides.
    void inkDecidesWhereTheBoxesSayBlank_data() {
        QTest::addColumn<double>("inkGap"); // in pitches
        QTest::addColumn<QString>("kept");
        QTest::newRow("just under the cut: a narrow glyph's margin") << 0.7 << "abcdef.png";
        QTest::newRow("just over the cut: a real blank") << 0.8 << "abcdef. png";
    }
    void inkDecidesWhereTheBoxesSayBlank() {
        QFETCH(double, inkGap);
        QFETCH(QString, kept);
        const QList<double> lefts{0, 10, 20, 30, 40, 50, 60, qQNaN(), 80, 90, 100};
        QImage page = whitePage(160);
        QPainter p(&page);
        // "abcdef." with the narrow period ending at x 65, then "png" after the gap.
        for (int i = 0; i < 6; ++i)
            p.fillRect(QRect(1 + 10 * i, 14, 8, 16), Qt::black);
        p.fillRect(QRect(62, 26, 3, 4), Qt::black);
        for (int i = 0; i < 3; ++i)
            p.fillRect(QRect(65 + int(inkGap * 10) + 10 * i, 14, 8, 16), Qt::black);
        p.end();
        RawLine line = lineAt("abcdef. png", lefts);
        dropSpuriousBlanks(page, line);
        QCOMPARE(line.text, kept);
        QCOMPARE(line.boxes.size(), line.text.size());
        // Without a page the boxes alone decide, and they say blank.
        RawLine boxesOnly = lineAt("abcdef. png", lefts);
        dropSpuriousBlanks(QImage(), boxesOnly);
        QCOMPARE(boxesOnly.text, QStringLiteral("abcdef. png"));
    }

    void underscores_data() {
        QTest::addColumn<QList<QRect>>("ink"); // drawn round the blank's cell (x 60..70, baseline 30)
        QTest::addColumn<QString>("read");
        QTest::newRow("a flat stroke") << QList<QRect>{{60, 33, 10, 2}} << QString("snake_case");
        QTest::newRow("a bowl rising at its ends")
            << QList<QRect>{{60, 34, 10, 2}, {60, 30, 2, 4}, {68, 30, 2, 4}} << QString("snake case");
        QTest::newRow("a stroke above the baseline")
            << QList<QRect>{{60, 26, 10, 2}} << QString("snake case");
        QTest::newRow("an underline through the line")
            << QList<QRect>{{10, 33, 100, 2}} << QString("snake case");
    }
    void underscores() {
        QFETCH(QList<QRect>, ink);
        QFETCH(QString, read);
        QImage page = whitePage(200);
        QPainter p(&page);
        for (int i : {1, 2, 3, 4, 5, 7, 8, 9, 10})
            p.fillRect(QRect(i * 10 + 1, 14, 7, 16), Qt::black);
        for (const QRect& r : ink)
            p.fillRect(r, Qt::black);
        p.end();
        RawLine line = lineAt("snake case", {10, 20, 30, 40, 50, qQNaN(), 70, 80, 90, 100});
        restoreUnderscores(page, line);
        QCOMPARE(line.text, read);
        QCOMPARE(line.boxes.size(), line.text.size());
    }

    void underscoreReadAsAWord() {
        // "snake _ case" with the underscore's box touching both neighbours is one word ...
        RawLine line = lineAt("snake _ case", {10, 20, 30, 40, 50, qQNaN(), 60, qQNaN(), 70, 80, 90, 100});
        restoreUnderscores(whitePage(200), line);
        QCOMPARE(line.text, QStringLiteral("snake_case"));
        // ... and with a blank's width either side, three.
        RawLine spaced =
            lineAt("snake _ case", {10, 20, 30, 40, 50, qQNaN(), 70, qQNaN(), 90, 100, 110, 120});
        restoreUnderscores(whitePage(200), spaced);
        QCOMPARE(spaced.text, QStringLiteral("snake _ case"));
    }
};

QTEST_GUILESS_MAIN(BlanksTest)
#include "test_blanks.moc"
