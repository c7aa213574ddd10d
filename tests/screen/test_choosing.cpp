// Choosing the reference under the pointer and rejoining wrapped ones, on
// hand-built lines: which hits count, their precedence, the same-line
// fallback, fragments, the glued prefix, chains of rows and the join checks.
#include "CapturedOutput.h"
#include "HandLines.h"
#include "TempTree.h"
#include "screen/Choosing.h"
#include "screen/Layout.h"
#include "screen/Rejoining.h"

#include <QDir>
#include <QTest>
#include <functional>

using namespace ScreenTextReader;

namespace {

// One line of a hand-built read: 8 points per character from minX, on the
// row whose top is top, in the tile 0..1000 unless clipped says otherwise.
struct Shape {
    QString text;
    double minX = 0;
    double top = 10;
};

const double kCell = 8;
const double kHeight = 14;

Line place(const Shape& s, const Tile& tile) {
    return handLine(s.text, s.minX, s.minX + kCell * double(s.text.size()), s.top, s.top + kHeight, tile);
}

Read readOf(const QList<Shape>& shapes, const Tile& tile = handTile(0, 1000, false, false)) {
    Read r{tile, {}};
    for (const Shape& s : shapes)
        r.lines.append(place(s, tile));
    return r;
}

// The x of character i of a line that starts at minX.
double at(double minX, int i) {
    return minX + kCell * (i + 0.5);
}

QUrl file(const QString& path) {
    return QUrl::fromLocalFile(QDir::cleanPath(QStringLiteral("/fixture/") + path));
}

// A resolver that knows the given references (as files under /fixture) and notes what it was asked.
struct Recorder {
    QStringList known;
    QStringList asked{};
    Resolver resolver() {
        return [this](const QString& r) -> std::optional<QUrl> {
            asked << r;
            return known.contains(r) ? std::optional(file(r)) : std::nullopt;
        };
    }
};

} // namespace

Q_DECLARE_METATYPE(Shape)

class ChoosingTest : public QObject {
    Q_OBJECT

  private slots:
    // ---- recognizeLines ------------------------------------------------

    void choosesOnOneRead_data() {
        QTest::addColumn<QList<Shape>>("lines"); // rows of 14 points from their top
        QTest::addColumn<QPointF>("pointer");
        QTest::addColumn<QString>("expected"); // the answered reference, or "" for nothing
        // The pointer on the first row's middle (y 17), between the names, or on one that does not resolve.
        const QString two("missing.png      alpha.png");
        const double far = at(0, 20);
        const auto row = [](const QString& text, double top = 10) { return QList<Shape>{{text, 0, top}}; };
        QTest::newRow("lone other bare name: same-line fallback")
            << row("alpha.png        somewhere        else") << QPointF(far, 17) << "alpha.png";
        QTest::newRow("two other bare names: refused")
            << row("alpha.png        somewhere        beta.png") << QPointF(far, 17) << "";
        QTest::newRow("the same name twice is one candidate")
            << row("alpha.png        somewhere        alpha.png") << QPointF(far, 17) << "alpha.png";
        QTest::newRow("another path on the line is no fallback")
            << row("shots/a.png      somewhere        else") << QPointF(far, 17) << "";
        QTest::newRow("an unresolved hit on the pointer: no fallback")
            << row(two) << QPointF(at(0, 3), 17) << "";
        QTest::newRow("a resolved hit on the pointer") << row(two) << QPointF(at(0, 20), 17) << "alpha.png";

        // The fallback's line is the one whose own box (10..24) holds the pointer's y.
        const QString lone("alpha.png        somewhere        else");
        QTest::newRow("pointer on the box's bottom edge") << row(lone) << QPointF(far, 24) << "alpha.png";
        QTest::newRow("pointer just below the box: its row was not read")
            << row(lone) << QPointF(far, 24.5) << "";
        QTest::newRow("pointer on the box's top edge") << row(lone, 20) << QPointF(far, 20) << "alpha.png";
        QTest::newRow("pointer just above the box") << row(lone, 20) << QPointF(far, 19.5) << "";
        QTest::newRow("the row above had the name, the pointer's row was read")
            << QList<Shape>{{lone, 0, 10}, {"nothing to see here", 0, 28}} << QPointF(far, 35) << "";
        QTest::newRow("the pointer's own row has the name, the row above too")
            << QList<Shape>{{"beta.png         somewhere        else", 0, 10}, {lone, 0, 28}}
            << QPointF(far, 35) << "alpha.png";

        // The word under the pointer looks like a name the patterns could not read.
        const auto under = [&](const char* word) {
            return row(QStringLiteral("%1  step-0815-texture.png").arg(QLatin1String(word)));
        };
        QTest::newRow("a misread extension under the pointer")
            << under("take-8@528.pnq") << QPointF(at(0, 3), 17) << "";
        QTest::newRow("a path's first half under the pointer, its second beside")
            << row("/fixture/shots/step-08  15-texture.png") << QPointF(at(0, 3), 17) << "15-texture.png";
        QTest::newRow("the tail of a misread name under the pointer, read as a name")
            << row("shots/step-08£5-texture.png") << QPointF(at(0, 3), 17) << "5-texture.png";
        QTest::newRow("another kind of file under the pointer")
            << under("notes.txt,") << QPointF(at(0, 3), 17) << "";
        QTest::newRow("a plain word under the pointer")
            << under("wrote") << QPointF(at(0, 2), 17) << "step-0815-texture.png";
        QTest::newRow("an abbreviation under the pointer")
            << under("e.g.") << QPointF(at(0, 1), 17) << "step-0815-texture.png";
        QTest::newRow("a version under the pointer")
            << under("v1.20") << QPointF(at(0, 2), 17) << "step-0815-texture.png";

        // A URL scheme on the line, even as recognition mangles it.
        QTest::newRow("a misread URL: the name is the URL's")
            << row("http \u2018stall.png    and more") << QPointF(far, 17) << "";
        QTest::newRow("a word that only starts like a scheme")
            << row("httpd wrote stall.png and more") << QPointF(far, 17) << "stall.png";
        QTest::newRow("an unresolved URL on the pointer is not a local file")
            << row("http://host/ok.png") << QPointF(at(0, 5), 17) << "";
        QTest::newRow("an unresolved URL elsewhere on the line")
            << row("http://host/ok.png    somewhere    else") << QPointF(at(0, 30), 17) << "";
    }
    void choosesOnOneRead() {
        QFETCH(QList<Shape>, lines);
        QFETCH(QPointF, pointer);
        QFETCH(QString, expected);
        Read r = readOf(lines);
        for (Line& l : r.lines)
            l.searchable = ImageReference::normalisingRecognition(l.text);
        Recorder resolver{{"shots/a.png", "alpha.png", "beta.png", "stall.png", "ok.png",
                           "step-0815-texture.png", "15-texture.png", "5-texture.png"}};
        const std::optional<QUrl> url =
            recognizeLines(r, pointer, false, resolver.resolver(), nullptr, false);
        QCOMPARE(url.value_or(QUrl()), expected.isEmpty() ? QUrl() : file(expected));
    }

    // Names with spaces on one row: read only when no pattern's hit resolved,
    // with the hits' reach, fragment and row-above rules.
    void namesWithSpaces_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("under"); // the pointer on its second character
        QTest::addColumn<QStringList>("known");
        QTest::addColumn<bool>("clippedRight"); // the tile's right edge cut the line
        QTest::addColumn<bool>("continues");    // the line may carry on a row above
        QTest::addColumn<QString>("expected");
        const auto row = [](const char* name, const QString& text, const char* under,
                            const QStringList& known, const char* expected, bool clippedRight = false,
                            bool continues = false) {
            QTest::newRow(name) << text << QString(under) << known << clippedRight << continues
                                << QString(expected);
        };
        const QString gnome("Screenshot from 2026-12-07 10-00-00.png");
        row("ls quotes it, a neighbour resolves too", "'" + gnome + "'  alpha.png", "from",
            {gnome, "alpha.png"}, gnome.toUtf8().constData());
        row("in prose", "Saved " + gnome + " in Pictures", "Screenshot", {gnome}, gnome.toUtf8().constData());
        row("escaped", "cp Screen\\ Shot\\ 1.png /tmp", "Shot", {"Screen Shot 1.png"}, "Screen Shot 1.png");
        row("a pattern's hit comes first", "shot 1.png", "1.png", {"1.png", "shot 1.png"}, "1.png");
        row("two names of one length refuse", "abcde c.png d.png", "c.png", {"abcde c.png", "c.png d.png"},
            "");
        row("a quoted name that names nothing: no neighbour", "'nothing here.png'  alpha.png", "here",
            {"alpha.png"}, "");
        row("parenthesised prose that names nothing: the neighbour as before",
            "(see the diagram x.png)   alpha.png", "see", {"alpha.png"}, "alpha.png");
        row("prose before a name that names nothing: the neighbour as before",
            "render of the scene x.png   alpha.png", "render", {"alpha.png"}, "alpha.png");
        row("the pointer beyond the reach", "'shot 1.png'             and more", "more", {"shot 1.png"}, "");
        row("cut by the tile's edge", "                                      'shot 1.png'", "shot",
            {"shot 1.png"}, "", true);
        row("may carry on the row above", "Shot 1.png' is here", "Shot", {"Shot 1.png"}, "", false, true);
        row("later on a line that may carry on", "wrote 'shot 1.png'", "shot", {"shot 1.png"}, "shot 1.png",
            false, true);
    }
    void namesWithSpaces() {
        QFETCH(QString, text);
        QFETCH(QString, under);
        QFETCH(QStringList, known);
        QFETCH(bool, clippedRight);
        QFETCH(bool, continues);
        QFETCH(QString, expected);
        // The tile ends where the line does, so a clipped edge touches its last characters.
        const Read r = readOf({{text, 0}}, handTile(0, kCell * double(text.size()), false, clippedRight));
        Recorder resolver{known};
        const Continuing carries = [](const Line&) { return true; };
        const QPointF pointer(at(0, int(text.indexOf(under)) + 1), 17);
        const std::optional<QUrl> url =
            recognizeLines(r, pointer, false, resolver.resolver(), continues ? carries : nullptr, false);
        QCOMPARE(url.value_or(QUrl()), expected.isEmpty() ? QUrl() : file(expected));
    }

    void precedenceOfHitsOnThePointer() {
        // Without character boxes every match spans the whole line, so all are on the pointer.
        Read r = readOf({{"b.png  shots/a.pnq  shots/longer-name.png shots/x.png", 0}});
        r.lines[0].characterBoxes.clear();
        Recorder resolver;
        recognizeLines(r, QPointF(20, 17), false, resolver.resolver(), nullptr, false);
        // Then, none of them resolving, the names with spaces they end.
        QCOMPARE(resolver.asked.first(4),
                 (QStringList{"shots/longer-name.png", "shots/x.png", "shots/a.pnq", "b.png"}));
        QVERIFY(resolver.asked.contains("b.png  shots/a.pnq  shots/longer-name.png"));
    }

    void fragmentsAtClippedEdges_data() {
        QTest::addColumn<bool>("clippedLeft");
        QTest::addColumn<bool>("clippedRight");
        QTest::addColumn<double>("minX");
        QTest::addColumn<bool>("fragments");
        QTest::addColumn<bool>("found");
        // "see shots/a.png" is 15 characters, 120 points; the tile is 500..1500.
        QTest::newRow("ends 5 short of a clipped right edge") << false << true << 1375.0 << false << false;
        QTest::newRow("... when fragments are allowed") << false << true << 1375.0 << true << true;
        QTest::newRow("path at a clipped left edge") << true << false << 470.0 << false << false;
        QTest::newRow("line at the clipped left edge, path further in")
            << true << false << 505.0 << false << true;
    }
    void fragmentsAtClippedEdges() {
        QFETCH(bool, clippedLeft);
        QFETCH(bool, clippedRight);
        QFETCH(double, minX);
        QFETCH(bool, fragments);
        QFETCH(bool, found);
        const Read r = readOf({{"see shots/a.png", minX}}, handTile(500, 1000, clippedLeft, clippedRight));
        Recorder resolver{{"shots/a.png"}};
        const QPointF pointer(at(minX, 10), 17);
        QCOMPARE(recognizeLines(r, pointer, fragments, resolver.resolver(), nullptr, false).has_value(),
                 found);
    }

    void aLineThatMayCarryOnKeepsItsHead() {
        const Read r = readOf({{"ame.png and shots/a.png", 0}});
        Recorder resolver{{"ame.png", "shots/a.png"}};
        const Continuing always = [](const Line&) { return true; };
        std::optional<QUrl> url;
        // The pointer on the head: the head is dropped; the later path is off the pointer, and
        // not a bare name, so nothing is taken.
        const QString out = stdoutOf(
            [&] { url = recognizeLines(r, QPointF(at(0, 2), 17), true, resolver.resolver(), always, true); });
        QVERIFY(!url);
        QVERIFY2(out.contains("        ame.png may carry on the row above; not guessing\n"), qPrintable(out));
        QVERIFY(!resolver.asked.contains("ame.png"));
        // The same pointer on the later path: taken.
        url = recognizeLines(r, QPointF(at(0, 15), 17), true, resolver.resolver(), always, false);
        QCOMPARE(url.value_or(QUrl()), file("shots/a.png"));
    }

    void gluedPrefix_data() {
        QTest::addColumn<QString>("reference"); // "<tree>" stands for the fixture folder
        QTest::addColumn<QString>("expected");  // "" when unchanged
        QTest::newRow("word glued to an absolute path")
            << QString("wrote<tree>/shots/a.png") << QString("<tree>/shots/a.png");
        QTest::newRow("first folders do not exist") << QString("x/no-such-root/folder/a.png") << QString();
        QTest::newRow("already absolute") << QString("<tree>/shots/a.png") << QString();
        QTest::newRow("no slash after the first character") << QString("a.png") << QString();
    }
    void gluedPrefix() {
        QFETCH(QString, reference);
        QFETCH(QString, expected);
        TempTree tree;
        tree.file("shots/a.png");
        reference.replace("<tree>", tree.path());
        expected.replace("<tree>", tree.path());
        const ImageReference::Match m{5, reference.size(), reference};
        const ImageReference::Match after = withoutGluedPrefix(m);
        if (expected.isEmpty()) {
            QCOMPARE(after, m);
        } else {
            QCOMPARE(after.reference, expected);
            QCOMPARE(after.location + after.length, m.location + m.length);
            QCOMPARE(after.location, m.location + (reference.size() - expected.size()));
        }
    }

    // ---- rejoined ------------------------------------------------------

    void rejoinsWrappedRows_data() {
        QTest::addColumn<QList<Shape>>("rows");
        QTest::addColumn<QPointF>("pointer");
        QTest::addColumn<QString>("expected");
        // Rows 17 points apart, each 14 high; a continuation starts at x 0.
        const Shape head{"wrote /work/shots/he", 0, 10}, tail{"ro.png done", 0, 27};
        const QPointF onTail(at(0, 3), 34);
        const QString joined("/work/shots/hero.png");
        QTest::newRow("pointer on the tail") << QList<Shape>{head, tail} << onTail << joined;
        QTest::newRow("pointer on the word after it")
            << QList<Shape>{head, tail} << QPointF(at(0, 9) + 20, 34) << "";
        QTest::newRow("indented 30 points: a paragraph, not a wrap")
            << QList<Shape>{head, {"ro.png done", 30, 27}} << QPointF(at(30, 3), 34) << "";
        QTest::newRow("the upper row goes on to the right")
            << QList<Shape>{head, {"more", 168, 10}, tail} << onTail << "";
        QTest::newRow("three rows") << QList<Shape>{{"/work/", 0, 10}, {"shots/", 0, 27}, {"hero.png", 0, 44}}
                                    << QPointF(at(0, 2), 34) << joined;
        QTest::newRow("prose row under a wrapped path, pointer on the prose")
            << QList<Shape>{head, {"ro.png", 0, 27}, {"and then some words", 0, 44}} << QPointF(at(0, 2), 51)
            << "";
        QTest::newRow("rows with references of their own")
            << QList<Shape>{{"ep1/frame.png", 0, 10}, {"ep2/frame.png", 0, 27}} << onTail << "";
        QTest::newRow("a loose wrap: extension misread")
            << QList<Shape>{head, {"ro.pnq", 0, 27}} << onTail << "/work/shots/hero.pnq";
    }
    void rejoinsWrappedRows() {
        QFETCH(QList<Shape>, rows);
        QFETCH(QPointF, pointer);
        QFETCH(QString, expected);
        // Besides the joins wanted, each row's own piece and joins that run on too far.
        Recorder resolver{{"/work/shots/hero.png", "/work/shots/hero.pnq", "ep1/frame.png", "ep2/frame.png",
                           "ep1/frame.pngep2/frame.png", "/work/shots/hero.pngSo", "ro.png", "shots/x.png"}};
        const std::optional<QUrl> url = rejoined({readOf(rows)}, pointer, resolver.resolver(), false);
        QCOMPARE(url.value_or(QUrl()), expected.isEmpty() ? QUrl() : file(expected));
    }

    void longerChainsFirst() {
        // The three-row chain before the two-row chain from the middle row on.
        const QList<Shape> rows{{"/work/", 0, 10}, {"shots/", 0, 27}, {"hero.png", 0, 44}};
        Recorder resolver;
        rejoined({readOf(rows)}, QPointF(at(0, 2), 51), resolver.resolver(), false);
        QCOMPARE(resolver.asked, (QStringList{"/work/shots/hero.png", "shots/hero.png"}));
    }
};

QTEST_GUILESS_MAIN(ChoosingTest)
#include "test_choosing.moc"
