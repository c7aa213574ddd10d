// Row geometry on hand-built lines: runs, row ends and starts, carrying on,
// the anchor rule, character extents and the spans still to be read.
#include "HandLines.h"
#include "screen/Layout.h"

#include <QTest>

using namespace ScreenTextReader;

namespace {

const QRectF kStrip(0, 0, 2400, 76);

// A line on the row from y 10 to 24 (or elsewhere) in an unclipped tile.
Line at(const QString& text, double minX, double maxX, double minY = 10, double maxY = 24,
        const Tile& tile = handTile(0, 2400, false, false)) {
    return handLine(text, minX, maxX, minY, maxY, tile);
}

// The line reflected about x = 1000, its tile's clipped sides swapped: where
// it ends its row the reflection starts one.
Line mirrored(const Line& l) {
    const QRectF& s = l.tile.strip;
    return at(
        l.text, 2000 - l.maxX, 2000 - l.minX, l.minY, l.maxY,
        handTile(2000 - s.right(), s.width(), l.tile.clippedRight, l.tile.clippedLeft, s.top(), s.height()));
}

// One line under the pointer (y 37) in a 1000-point tile of a 76-point strip.
struct Anchoring {
    double tileLeft;
    bool clippedLeft, clippedRight;
    double lineMinX, lineMaxX, pointerX;
    double left; // of the span read along the line; NaN: none
    double stripWidth = 2400;
};

} // namespace

Q_DECLARE_METATYPE(Anchoring)

class LayoutTest : public QObject {
    Q_OBJECT

  private slots:
    void runs_data() {
        QTest::addColumn<double>("minX");
        QTest::addColumn<double>("maxX");
        QTest::addColumn<double>("shiftY");
        QTest::addColumn<int>("size");
        // The first line spans 100..300.
        QTest::newRow("12 points apart: two runs") << 312.0 << 400.0 << 0.0 << 1;
        QTest::newRow("exactly 10 apart") << 310.0 << 400.0 << 0.0 << 2;
        QTest::newRow("middles 4 apart") << 308.0 << 400.0 << 4.0 << 2;
        QTest::newRow("middles 5 apart: another row") << 308.0 << 400.0 << 5.0 << 1;
        QTest::newRow("reaching exactly 1 beyond: adds nothing") << 200.0 << 301.0 << 0.0 << 1;
        QTest::newRow("reaching 1.5 beyond") << 200.0 << 301.5 << 0.0 << 2;
    }
    void runs() {
        QFETCH(double, minX);
        QFETCH(double, maxX);
        QFETCH(double, shiftY);
        QFETCH(int, size);
        const Line first = at("first", 100, 300);
        const Layout layout({first, at("second", minX, maxX, 10 + shiftY, 24 + shiftY)});
        const QList<Line> run = layout.run(first);
        QCOMPARE(run.size(), size);
        QCOMPARE(run.first().text, QStringLiteral("first"));
    }

    void runGrowsAcrossPasses() {
        // The far line comes first in layout order: it joins only once the middle one widened the run.
        const Line first = at("a", 100, 300);
        const Layout layout({at("c", 505, 700), at("b", 305, 500), first, at("d", 760, 800)});
        QStringList texts;
        for (const Line& l : layout.run(first))
            texts << l.text;
        QCOMPARE(texts, (QStringList{"a", "b", "c"}));
    }

    // Each row also checks startsRow on the mirror image.
    void endsRow_data() {
        QTest::addColumn<bool>("clipped");
        QTest::addColumn<double>("maxX");
        QTest::addColumn<QString>("other"); // "agrees" (its tile ends far off), "goes on"
        QTest::addColumn<double>("otherMaxX");
        QTest::addColumn<bool>("ends");
        // The line starts at 500 in the tile 0..1000.
        QTest::newRow("clipped, the next tile ends within 5") << true << 997.0 << "agrees" << 999.0 << true;
        QTest::newRow("clipped, the next tile ends 8 away") << true << 997.0 << "agrees" << 1005.0 << false;
        QTest::newRow("13 short of a clipped edge") << true << 987.0 << "" << 0.0 << true;
        QTest::newRow("12 short of a clipped edge, alone") << true << 988.0 << "" << 0.0 << false;
        QTest::newRow("the row goes on past it") << false << 600.0 << "goes on" << 800.0 << false;
    }
    void endsRow() {
        QFETCH(bool, clipped);
        QFETCH(double, maxX);
        QFETCH(QString, other);
        QFETCH(double, otherMaxX);
        QFETCH(bool, ends);
        const Line line = at("line", 500, maxX, 10, 24, handTile(0, 1000, false, clipped));
        QList<Line> lines{line};
        if (other == "agrees") lines << at("same", 520, otherMaxX, 10, 24, handTile(500, 1000, true, true));
        if (other == "goes on") lines << at("next", maxX + 5, otherMaxX);
        QCOMPARE(Layout(lines).endsRow(line), ends);
        QList<Line> reflected;
        for (const Line& l : lines)
            reflected << mirrored(l);
        QCOMPARE(Layout(reflected).startsRow(reflected.first()), ends);
    }

    void continues_data() {
        QTest::addColumn<double>("top");    // of the lower line, 14 high
        QTest::addColumn<double>("minX");   // of the lower line
        QTest::addColumn<QString>("extra"); // "between": a line between; "head": the upper row begins at 0
        QTest::addColumn<bool>("carries");
        // The upper line spans 100..600, y 10..24.
        QTest::newRow("10 below, indented 20") << 34.0 << 120.0 << "" << true;
        QTest::newRow("10 below, indented 30") << 34.0 << 130.0 << "" << false;
        QTest::newRow("a line lies between") << 40.0 << 100.0 << "between" << false;
        // 20 right of the upper line, but 120 right of where its row begins: an indented paragraph.
        QTest::newRow("indent measured from the row's start") << 34.0 << 120.0 << "head" << false;
    }
    void continues() {
        QFETCH(double, top);
        QFETCH(double, minX);
        QFETCH(QString, extra);
        QFETCH(bool, carries);
        const Line a = at("upper", 100, 600);
        const Line b = at("lower", minX, 500, top, top + 14);
        QList<Line> lines{a, b};
        if (extra == "between") lines << at("middle", 300, 400, 25, 33);
        if (extra == "head") lines << at("head", 0, 95);
        QCOMPARE(Layout(lines).continues(a, b), carries);
    }

    void mayContinue_data() {
        QTest::addColumn<QString>("upper");    // from x 20, y 10..24, in the tile 0..1000
        QTest::addColumn<double>("upperMaxX"); // from 840 on it may run past the clipped right edge
        QTest::addColumn<QString>("change");   // "goes on": the upper row; "cut": the lower line at its left
        QTest::addColumn<bool>("may");
        QTest::newRow("row above ends 160 short of a clipped edge")
            << "see the picture here" << 840.0 << "" << true;
        QTest::newRow("row above ends 161 short of a clipped edge")
            << "see the picture here" << 839.0 << "" << false;
        QTest::newRow("row above ends in a word with a slash")
            << "written to ~/shots/" << 500.0 << "" << true;
        QTest::newRow("row above ends in a plain word") << "nothing to see" << 500.0 << "" << false;
        QTest::newRow("the line itself does not start its row")
            << "see the picture at shots/he" << 900.0 << "cut" << false;
    }
    void mayContinue() {
        QFETCH(QString, upper);
        QFETCH(double, upperMaxX);
        QFETCH(QString, change);
        QFETCH(bool, may);
        const Line a = at(upper, 20, upperMaxX, 10, 24, handTile(0, 1000, false, true));
        const Line l = at("ro.png done", 15, 200, 30, 44,
                          handTile(change == "cut" ? 10 : 0, 1000, change == "cut", true));
        QList<Line> lines{a, l};
        if (change == "goes on") lines << at("more words", upperMaxX + 5, 800);
        QCOMPARE(Layout(lines).mayContinue(l), may);
    }

    void adjacent_data() {
        QTest::addColumn<double>("otherTop");
        QTest::addColumn<double>("otherMinX");
        QTest::addColumn<bool>("above");
        QTest::addColumn<bool>("found");
        // The row spans 100..600, y 30..44; a row out of reach lies above at y -20..-6, first in layout
        // order.
        QTest::newRow("row above, 24 apart") << -8.0 << 100.0 << true << false;
        QTest::newRow("row above, 23 apart: the nearest") << -7.0 << 100.0 << true << true;
        QTest::newRow("row below, 6 apart") << 50.0 << 100.0 << false << true;
        QTest::newRow("no horizontal overlap") << 10.0 << 600.0 << true << false;
    }
    void adjacent() {
        QFETCH(double, otherTop);
        QFETCH(double, otherMinX);
        QFETCH(bool, above);
        QFETCH(bool, found);
        const Line row = at("row", 100, 600, 30, 44);
        const Layout layout({at("far", 100, 600, -20, -6), row,
                             at("other", otherMinX, otherMinX + 300, otherTop, otherTop + 14)});
        const auto result = layout.adjacent({row}, above);
        QCOMPARE(result.has_value(), found);
        if (result) QCOMPARE(result->first().text, QStringLiteral("other"));
    }

    void anchorRule_data() {
        QTest::addColumn<QPointF>("pointer");
        QTest::addColumn<double>("occluder"); // left end of a 200-point line 14 high; NaN: none
        QTest::addColumn<double>("occluderTop");
        QTest::addColumn<bool>("vertically");
        QTest::addColumn<bool>("under");
        // The line spans 100..500, y 30..44.
        const double none = qQNaN();
        QTest::newRow("14 above") << QPointF(300, 16) << none << 0.0 << true << true;
        QTest::newRow("15 above") << QPointF(300, 15) << none << 0.0 << false << false;
        QTest::newRow("14 right of its end") << QPointF(514, 37) << none << 0.0 << true << true;
        QTest::newRow("15 right of its end") << QPointF(515, 37) << none << 0.0 << true << false;
        QTest::newRow("a line holding the pointer hides it")
            << QPointF(300, 52) << 200.0 << 50.0 << false << false;
        // Between the line and the row below it (a gap of 6): which row's cell the pointer is in
        // cannot be told from the ink unless one is more than 3 nearer.
        QTest::newRow("between rows, the other only 1 nearer")
            << QPointF(300, 47.5) << 200.0 << 50.0 << false << false;
        QTest::newRow("between rows, 3 nearer is not enough")
            << QPointF(300, 45.5) << 200.0 << 50.0 << false << false;
        QTest::newRow("between rows, 3.5 nearer wins")
            << QPointF(300, 45.25) << 200.0 << 50.0 << true << true;
        QTest::newRow("between rows, the other 3.5 nearer")
            << QPointF(300, 48.75) << 200.0 << 50.0 << false << false;
        QTest::newRow("a row below that lies beside it does not count")
            << QPointF(300, 47.5) << 600.0 << 50.0 << true << true;
        // Boxes round bitmap glyphs overlap the next row's: the row below spans 42..56.
        QTest::newRow("a row whose box holds the pointer hides it, 1 away")
            << QPointF(300, 45) << 200.0 << 42.0 << false << false;
        QTest::newRow("both boxes hold the pointer") << QPointF(300, 43) << 200.0 << 42.0 << true << true;
        QTest::newRow("a box on the same row does not hide it")
            << QPointF(300, 45) << 200.0 << 32.0 << true << true;
    }
    void anchorRule() {
        QFETCH(QPointF, pointer);
        QFETCH(double, occluder);
        QFETCH(double, occluderTop);
        QFETCH(bool, vertically);
        QFETCH(bool, under);
        const Line line = at("line", 100, 500, 30, 44);
        QList<Line> lines{line};
        if (!qIsNaN(occluder)) lines << at("other", occluder, occluder + 200, occluderTop, occluderTop + 14);
        const Layout layout(lines);
        QCOMPARE(layout.underPointerVertically(line, pointer), vertically);
        QCOMPARE(layout.underPointer(line, pointer), under);
    }

    void span_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("to");
        QTest::addColumn<double>("minX"); // NaN: none
        QTest::addColumn<double>("maxX");
        const double none = qQNaN();
        // Ten points per character from x = 100.
        QTest::newRow("last five of a twelve-character word") << "abcdefghijkl" << 7 << 12 << 170.0 << 220.0;
        QTest::newRow("a range over two words uses both") << "abcd efgh" << 2 << 7 << 120.0 << 170.0;
        QTest::newRow("empty range") << "abcd" << 2 << 2 << none << none;
        QTest::newRow("only blanks") << "ab   cd" << 3 << 4 << none << none;
    }
    void span() {
        QFETCH(QString, text);
        QFETCH(int, from);
        QFETCH(int, to);
        QFETCH(double, minX);
        QFETCH(double, maxX);
        const Line line = at(text, 100, 100 + 10 * text.size(), 10, 24, handTile(0, 1000, false, true));
        const auto extent = line.span(from, to);
        QCOMPARE(extent.has_value(), !qIsNaN(minX));
        if (!extent) return;
        QVERIFY2(qAbs(extent->first - minX) < 1e-9, qPrintable(QString::number(extent->first)));
        QVERIFY2(qAbs(extent->second - maxX) < 1e-9, qPrintable(QString::number(extent->second)));
    }

    void anchoredSpan_data() {
        QTest::addColumn<Anchoring>("c");
        const double none = qQNaN();
        QTest::newRow("900-point line cut at the left") << Anchoring{1000, true, true, 1005, 1905, 1890, 953};
        QTest::newRow("line cut at the right") << Anchoring{0, false, true, 300, 995, 500, 252};
        QTest::newRow("strip one tile wide") << Anchoring{0, false, false, 300, 995, 500, none, 1000};
        QTest::newRow("pointer off the line") << Anchoring{0, false, true, 300, 995, 1200, none};
        QTest::newRow("span raised to the strip's left edge") << Anchoring{400, true, true, 405, 700, 600, 0};
    }
    void anchoredSpan() {
        QFETCH(Anchoring, c);
        const Tile tile = handTile(c.tileLeft, 1000, c.clippedLeft, c.clippedRight);
        const Read read{tile, {at("a long line of text", c.lineMinX, c.lineMaxX, 30, 44, tile)}};
        const auto span =
            ScreenTextReader::anchoredSpan(read, QRectF(0, 0, c.stripWidth, 76), QPointF(c.pointerX, 37));
        QCOMPARE(span.has_value(), !qIsNaN(c.left));
        if (span) QCOMPARE(*span, QRectF(c.left, 0, 1000, 76));
    }

    void anchoredSpanTakesTheWidestLine() {
        const Tile tile = handTile(1000, 1000, true, true);
        const Read read{
            tile, {at("short", 1005, 1100, 30, 44, tile), at("the widest line", 1003, 1960, 32, 46, tile)}};
        const auto span = ScreenTextReader::anchoredSpan(read, kStrip, QPointF(1050, 38));
        QVERIFY(span);
        QCOMPARE(span->left(), 1960 + kSpanMargin - kTileSpanWidth);
    }

    void continuationSpans_data() {
        QTest::addColumn<QString>("scene");
        QTest::addColumn<QList<double>>("lefts");
        QTest::newRow("upward: the row above runs past its tile") << "upward" << QList<double>{942};
        QTest::newRow("upward: neither a path nor a slash") << "upward plain" << QList<double>{};
        QTest::newRow("downward: the row below was cut at its left") << "downward" << QList<double>{453};
        QTest::newRow("downward: the last word is a whole reference") << "downward whole" << QList<double>{};
        QTest::newRow("duplicate of a tile already read") << "downward read" << QList<double>{};
        QTest::newRow("not quite a duplicate") << "downward nearly read" << QList<double>{453};
        QTest::newRow("span moved left to end at the strip's edge")
            << "upward at the end" << QList<double>{1400};
    }
    void continuationSpans() {
        QFETCH(QString, scene);
        QFETCH(QList<double>, lefts);
        QPointF pointer;
        QList<Read> reads;
        if (scene.startsWith("upward")) {
            // The path starts at the end of the row above, which runs on past the tile.
            const bool atEnd = scene == "upward at the end";
            const Tile tile = atEnd ? handTile(1000, 1000, true, true) : handTile(0, 1000, false, true);
            const double base = tile.strip.left();
            const QString above =
                scene == "upward plain" ? "see the note at the top of this" : "saved to shots/he";
            const QString head = scene == "upward plain" ? "continued below" : "ro.png in 2 s";
            reads << Read{tile,
                          {at(above, base + 20, base + 990, 10, 24, tile),
                           at(head, base + 20, base + 300, 27, 41, tile)}};
            pointer = QPointF(base + 40, 34);
        } else {
            // The pointer on the end of a row whose path goes on below, in a tile cut on its left.
            const Tile tile = handTile(1400, 1000, true, false);
            const QString tail = scene == "downward whole" ? "output saved to shots/hero.png"
                                                           : "output saved to /home/dev/shots/";
            reads << Read{
                tile,
                {at(tail, 1800, 2300, 10, 24, tile), at("ro.png and more text", 1405, 1900, 27, 41, tile)}};
            if (scene == "downward read") reads << Read{handTile(452, 1000, true, true), {}};
            if (scene == "downward nearly read") reads << Read{handTile(440, 1000, true, true), {}};
            pointer = QPointF(2250, 17);
        }
        QList<QRectF> want;
        for (const double left : lefts)
            want << QRectF(left, 0, 1000, 76);
        QCOMPARE(ScreenTextReader::continuationSpans(reads, kStrip, pointer), want);
    }
};

QTEST_GUILESS_MAIN(LayoutTest)
#include "test_layout.moc"
