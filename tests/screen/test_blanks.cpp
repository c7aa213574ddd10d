// Repairs of the recogniser's blanks on hand-made lines and pages: invented
// blanks in monospaced words, underscores read as blanks.
#include "platform/tesseract/Blanks.h"

#include <QPainter>
#include <QTest>

using platform::tesseract_lines::RawLine;

namespace {

// A line whose glyphs are 10 pixels wide starting at the given x positions
// (NaN for a blank), baseline at y 30, glyphs from y 12 to 30.
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

// Glyph positions on a pitch of 10 from x 0, with a blank at each index in blanks
// (taking the given number of cells).
QList<double> monospaced(int count, const QList<int>& blanks, double blankCells) {
    QList<double> lefts;
    double x = 0;
    for (int i = 0; i < count; ++i) {
        if (blanks.contains(i)) {
            lefts << qQNaN();
            x += 10 * blankCells;
        } else {
            lefts << x;
            x += 10;
        }
    }
    return lefts;
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
        QTest::newRow("a blank taking no cell is dropped")
            << "vistel -e2e/shots" << monospaced(17, {6}, 0) << 0.0 << "vistel-e2e/shots";
        QTest::newRow("half a cell is dropped")
            << "hero- frame.png" << monospaced(15, {5}, 0.5) << 0.0 << "hero-frame.png";
        QTest::newRow("a whole cell is a blank")
            << "saved to/shots" << monospaced(14, {5}, 1) << 0.0 << "saved to/shots";
        QTest::newRow("short words cannot tell") << "a. png" << monospaced(6, {2}, 0) << 0.0 << "a. png";
        QTest::newRow("a short row borrows the page's pitch")
            << "83. png" << monospaced(7, {3}, 0) << 10.0 << "83.png";
        QTest::newRow("a short row keeps a real blank on the page's pitch")
            << "83. png" << monospaced(7, {3}, 1) << 10.0 << "83. png";
        QTest::newRow("a short row in another size judges alone")
            << "83. png" << monospaced(7, {3}, 0) << 15.0 << "83. png";
        QTest::newRow("a row of one-letter words judges alone")
            << "a b" << monospaced(3, {1}, 0) << 10.0 << "a b";
        QList<double> uneven{0, 4, 15, 30, 36, 42, 60, qQNaN(), 68, 71, 85, 100, 104, 118, 125};
        QTest::newRow("proportional glyphs are left alone")
            << "mild wimp lilim" << uneven.mid(0, 15) << 0.0 << "mild wimp lilim";
        QTest::newRow("boxes that do not match the text")
            << "ab cd" << QList<double>{0, 10} << 10.0 << "ab cd";
    }
    void spuriousBlanks() {
        QFETCH(QString, text);
        QFETCH(QList<double>, lefts);
        QFETCH(double, pagePitch);
        QFETCH(QString, kept);
        RawLine line = lineAt(text, lefts);
        if (lefts.size() != text.size()) line.boxes = {QRectF(0, 0, 1, 1)};
        platform::tesseract_lines::dropSpuriousBlanks(
            QImage(), line, pagePitch > 0 ? std::optional(pagePitch) : std::nullopt);
        QCOMPARE(line.text, kept);
        if (lefts.size() == text.size()) QCOMPARE(line.boxes.size(), line.text.size());
    }

    // The page's pitch comes from its monospaced rows, and from no others.
    void monospacedPitchOfAPage() {
        using platform::tesseract_lines::monospacedPitch;
        const RawLine even = lineAt("vistel -e2e/shots", monospaced(17, {6}, 1));
        const RawLine uneven =
            lineAt("mild wimp lilim", {0, 4, 15, 30, 36, 42, 60, qQNaN(), 68, 71, 85, 100, 104, 118, 125});
        QCOMPARE(monospacedPitch({even}), std::optional(10.0));
        QCOMPARE(monospacedPitch({uneven}), std::nullopt);
        QCOMPARE(monospacedPitch({lineAt("ab", {0, 10})}), std::nullopt); // too few steps
        QCOMPARE(monospacedPitch({}), std::nullopt);
    }

    // Where the boxes put the glyphs either side of a blank two pitches apart,
    // the ink decides: the engine's boxes drift round a blank it invented.
    void inkDecidesWhereTheBoxesSayBlank_data() {
        QTest::addColumn<double>("inkGap"); // columns without ink where the blank is read, in pitches
        QTest::addColumn<QString>("kept");
        QTest::newRow("a narrow glyph's margin") << 0.5 << "abcdef.png";
        QTest::newRow("a whole cell") << 1.1 << "abcdef. png";
        QTest::newRow("just under the cut") << 0.7 << "abcdef.png";
        QTest::newRow("just over the cut") << 0.8 << "abcdef. png";
    }
    void inkDecidesWhereTheBoxesSayBlank() {
        QFETCH(double, inkGap);
        QFETCH(QString, kept);
        // "abcdef. png" on a pitch of 10, the boxes of "png" pushed a cell right.
        const QList<double> lefts{0, 10, 20, 30, 40, 50, 60, qQNaN(), 80, 90, 100};
        QImage page(160, 50, QImage::Format_Grayscale8);
        page.fill(255);
        QPainter p(&page);
        // Ink of "abcdef." (the period narrow, ending at x 65), then "png" after the gap.
        for (int i = 0; i < 6; ++i)
            p.fillRect(QRect(1 + 10 * i, 14, 8, 16), Qt::black);
        p.fillRect(QRect(62, 26, 3, 4), Qt::black);
        const int start = 65 + int(inkGap * 10);
        for (int i = 0; i < 3; ++i)
            p.fillRect(QRect(start + 10 * i, 14, 8, 16), Qt::black);
        p.end();
        RawLine line = lineAt("abcdef. png", lefts);
        platform::tesseract_lines::dropSpuriousBlanks(page, line);
        QCOMPARE(line.text, kept);
        QCOMPARE(line.boxes.size(), line.text.size());
        // Without a page the boxes alone decide, and they say blank.
        RawLine boxesOnly = lineAt("abcdef. png", lefts);
        platform::tesseract_lines::dropSpuriousBlanks(QImage(), boxesOnly);
        QCOMPARE(boxesOnly.text, QStringLiteral("abcdef. png"));
    }

    void underscores_data() {
        QTest::addColumn<QString>("stroke"); // what is drawn in the blank's cell below the baseline
        QTest::addColumn<QString>("read");
        QTest::newRow("a flat stroke") << "underscore"
                                       << "snake_case";
        QTest::newRow("nothing") << ""
                                 << "snake case";
        QTest::newRow("a bowl rising at its ends") << "bowl"
                                                   << "snake case";
        QTest::newRow("an underline through the whole line") << "underline"
                                                             << "snake case";
        QTest::newRow("a stroke above the baseline") << "high"
                                                     << "snake case";
        QTest::newRow("a short mark") << "dot"
                                      << "snake case";
    }
    void underscores() {
        QFETCH(QString, stroke);
        QFETCH(QString, read);
        // "snake case" on a pitch of 10: the blank is the cell from x 60 to 70.
        QImage page(200, 50, QImage::Format_Grayscale8);
        page.fill(255);
        QPainter p(&page);
        for (int i : {1, 2, 3, 4, 5, 7, 8, 9, 10})
            p.fillRect(QRect(i * 10 + 1, 14, 7, 16), Qt::black);
        if (stroke == "underscore") p.fillRect(QRect(60, 33, 10, 2), Qt::black);
        if (stroke == "underline") p.fillRect(QRect(10, 33, 100, 2), Qt::black);
        if (stroke == "high") p.fillRect(QRect(60, 26, 10, 2), Qt::black);
        if (stroke == "dot") p.fillRect(QRect(63, 33, 3, 2), Qt::black);
        if (stroke == "bowl") {
            p.fillRect(QRect(60, 34, 10, 2), Qt::black);
            p.fillRect(QRect(60, 30, 2, 4), Qt::black);
            p.fillRect(QRect(68, 30, 2, 4), Qt::black);
        }
        p.end();
        RawLine line = lineAt("snake case", {10, 20, 30, 40, 50, qQNaN(), 70, 80, 90, 100});
        platform::tesseract_lines::restoreUnderscores(page, line);
        QCOMPARE(line.text, read);
        QCOMPARE(line.boxes.size(), line.text.size());
    }

    void underscoreReadAsAWord() {
        // "snake _ case": the underscore's box touches both neighbours.
        QImage page(200, 50, QImage::Format_Grayscale8);
        page.fill(255);
        RawLine line = lineAt("snake _ case", {10, 20, 30, 40, 50, qQNaN(), 60, qQNaN(), 70, 80, 90, 100});
        platform::tesseract_lines::restoreUnderscores(page, line);
        QCOMPARE(line.text, QStringLiteral("snake_case"));
        // With a blank's width either side it stays three words.
        RawLine spaced =
            lineAt("snake _ case", {10, 20, 30, 40, 50, qQNaN(), 70, qQNaN(), 90, 100, 110, 120});
        platform::tesseract_lines::restoreUnderscores(page, spaced);
        QCOMPARE(spaced.text, QStringLiteral("snake _ case"));
    }
};

QTEST_GUILESS_MAIN(BlanksTest)
#include "test_blanks.moc"
