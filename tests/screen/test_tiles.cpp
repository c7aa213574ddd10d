// Tiles cut from a capture, lines made from observations, and the small
// text helpers, without a recognition engine.
#include "platform/TextRecognizer.h"
#include "screen/Lines.h"
#include "screen/Recognizing.h"
#include "screen/ScreenTextReader.h"
#include "screen/Tiles.h"

#include <QTest>
#include <stdexcept>

using namespace ScreenTextReader;

Q_DECLARE_METATYPE(QList<QRectF>)

namespace {

// A recogniser that answers what the test tells it (or throws).
struct FakeRecognizer final : platform::TextRecognizer {
    QList<platform::Observation> answer;
    bool throws = false;
    mutable QImage seen; // the last image asked about
    QList<platform::Observation> recognize(const QImage& image) const override {
        seen = image;
        if (throws) throw std::runtime_error("engine failed");
        return answer;
    }
};

// A capture of strip whose pixel column x is marked in red, the rest white.
QImage captureWithMark(int width, int height, int markX) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::white);
    if (markX >= 0 && markX < width)
        for (int y = 0; y < height; ++y)
            image.setPixel(markX, y, qRgb(255, 0, 0));
    return image;
}

// A blank tile over strip.
Tile blankTile(QRectF strip = {0, 0, 10, 10}, bool clippedLeft = false, bool clippedRight = false) {
    Tile t{captureWithMark(10, 10, -1), strip};
    t.clippedLeft = clippedLeft;
    t.clippedRight = clippedRight;
    return t;
}

platform::Observation observation(const QString& text, QRectF box) {
    platform::Observation o;
    o.text = text;
    o.box = box;
    const double cell = box.width() / double(text.size());
    for (qsizetype i = 0; i < text.size(); ++i)
        o.characters << (text.at(i).isSpace()
                             ? QRectF()
                             : QRectF(box.left() + cell * double(i), box.top(), cell, box.height()));
    return o;
}

} // namespace

class TilesTest : public QObject {
    Q_OBJECT

  private slots:
    void tiles_data() {
        QTest::addColumn<double>("density"); // pixels per point of the capture
        QTest::addColumn<QRectF>("span");
        QTest::addColumn<QSize>("size"); // empty: no tile
        QTest::addColumn<bool>("clippedLeft");
        QTest::addColumn<bool>("clippedRight");
        // The captured strip is (0, 0, 2400, 76).
        QTest::newRow("density 1, 733 points: 2199 px at 3")
            << 1.0 << QRectF(0, 0, 733, 76) << QSize(2199, 228) << false << true;
        QTest::newRow("density 1, 734 points: 2202 px at 3, so 2")
            << 1.0 << QRectF(0, 0, 734, 76) << QSize(1468, 152) << false << true;
        QTest::newRow("density 5/3: 1.5 rounds up to 2")
            << 5.0 / 3 << QRectF(0, 0, 600, 76) << QSize(2000, 254) << false << true;
        QTest::newRow("density 1.7: 1.47 rounds to 1")
            << 1.7 << QRectF(0, 0, 600, 76) << QSize(1020, 129) << false << true;
        QTest::newRow("flush with the strip's left edge")
            << 2.0 << QRectF(0.5, 0, 1000, 76) << QSize(2000, 152) << false << true;
        QTest::newRow("1.5 inside the left edge")
            << 2.0 << QRectF(1.5, 0, 1000, 76) << QSize(2000, 152) << true << true;
        QTest::newRow("running off the image's right edge")
            << 1.0 << QRectF(2000, 0, 1000, 76) << QSize(1200, 228) << true << false;
        QTest::newRow("left of the strip") << 1.0 << QRectF(-10, 0, 500, 76) << QSize() << false << false;
        QTest::newRow("negative width") << 1.0 << QRectF(100, 0, -50, 76) << QSize() << false << false;
    }
    void tiles() {
        QFETCH(double, density);
        QFETCH(QRectF, span);
        QFETCH(QSize, size);
        QFETCH(bool, clippedLeft);
        QFETCH(bool, clippedRight);
        const QRectF strip(0, 0, 2400, 76);
        const QImage image =
            captureWithMark(int(std::lround(2400 * density)), int(std::lround(76 * density)), -1);
        const std::optional<Tile> t = tile(image, strip, span);
        QCOMPARE(t.has_value(), !size.isEmpty());
        if (!t) return;
        QCOMPARE(t->image.size(), size);
        QCOMPARE(t->strip, span);
        QCOMPARE(t->clippedLeft, clippedLeft);
        QCOMPARE(t->clippedRight, clippedRight);
    }

    void tileCropsTheSpansPixels() {
        // Column 1010 of a one-pixel-per-point capture is the tenth of the span from 1000.
        const QImage image = captureWithMark(2400, 76, 1010);
        const std::optional<Tile> t = tile(image, QRectF(0, 0, 2400, 76), QRectF(1000, 0, 600, 76));
        QVERIFY(t);
        QCOMPARE(qRed(t->image.pixel(31, 40)), 255);
        QCOMPARE(qGreen(t->image.pixel(31, 40)), 0); // 10 x 3 + 1: inside the enlarged column
        QCOMPARE(qGreen(t->image.pixel(20, 40)), 255);
    }

    void emptyCapturesAndSmallFactors() {
        QVERIFY(!tile(QImage(), QRectF(0, 0, 100, 76), QRectF(0, 0, 100, 76)));
        QVERIFY(!tile(captureWithMark(100, 76, -1), QRectF(0, 0, 0, 76), QRectF(0, 0, 100, 76)));
        QCOMPARE(magnified(captureWithMark(10, 4, 3), 1).size(), QSize(10, 4));
        QVERIFY(magnified(QImage(), 3).isNull());
    }

    void spansCoveringStrip_data() {
        QTest::addColumn<QRectF>("strip");
        QTest::addColumn<QList<QRectF>>("spans");
        QTest::newRow("1000 points: one span") << QRectF(0, 0, 1000, 76) << QList<QRectF>{{0, 0, 1000, 76}};
        QTest::newRow("1001 points") << QRectF(0, 0, 1001, 76)
                                     << QList<QRectF>{{0, 0, 1000, 76}, {500, 0, 501, 76}, {1000, 0, 1, 76}};
        QTest::newRow("infinite") << QRectF(0, 0, qInf(), 76) << QList<QRectF>{};
    }
    void spansCoveringStrip() {
        QFETCH(QRectF, strip);
        QFETCH(QList<QRectF>, spans);
        QCOMPARE(ScreenTextReader::spansCoveringStrip(strip), spans);
    }

    void linesPlaceObservationsOnTheScreen() {
        FakeRecognizer engine;
        engine.answer = {observation(QString("shots/a\u2022png"), QRectF(0.1, 0.25, 0.5, 0.5))};
        const QList<Line> lines = ScreenTextReader::lines(engine, blankTile(QRectF(1000, 300, 1000, 76)));
        QCOMPARE(engine.seen.size(), QSize(10, 10));
        QCOMPARE(lines.size(), 1);
        const Line& l = lines.first();
        QCOMPARE(l.text, QString("shots/a\u2022png")); // searched with the period the bullet stands for
        QCOMPARE(l.searchable, QStringLiteral("shots/a.png"));
        QCOMPARE(l.minX, 1100.0);
        QCOMPARE(l.maxX, 1600.0);
        QCOMPARE(l.minY, 319.0);           // 376 - 0.75 x 76
        QCOMPARE(l.maxY, 357.0);           // 376 - 0.25 x 76
        const auto extent = l.span(0, 11); // the whole line, through the glyph boxes
        QVERIFY(extent && qAbs(extent->first - 1100) < 1e-6 && qAbs(extent->second - 1600) < 1e-6);
    }

    // Unsure lines are dropped unless a clipped tile edge cuts them or they name an image.
    void unsureLines_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QRectF>("box"); // normalised to the tile, 1000 points wide
        QTest::addColumn<double>("confidence");
        QTest::addColumn<bool>("clippedLeft");
        QTest::addColumn<bool>("clippedRight");
        QTest::addColumn<bool>("kept");
        const QRectF atLeft(0.005, 0.25, 0.4, 0.5), inside(0.3, 0.25, 0.4, 0.5);
        const QString head("renders/a"), name("see renders/a.png now");
        QTest::newRow("unsure, inside") << head << inside << 15.0 << true << true << false;
        QTest::newRow("unsure, at a cut left edge") << head << atLeft << 15.0 << true << false << true;
        QTest::newRow("unsure, at an uncut left edge") << head << atLeft << 15.0 << false << true << false;
        QTest::newRow("unsure, 13 points from a cut edge")
            << head << QRectF(0.013, 0.25, 0.4, 0.5) << 15.0 << true << false << false;
        QTest::newRow("just sure enough")
            << head << inside << ScreenTextReader::kLeastConfidence << false << false << true;
        QTest::newRow("unsure, inside, naming an image") << name << inside << 0.0 << false << false << true;
        QTest::newRow("unsure, a bullet for its period")
            << QString("renders/a\u2022png") << inside << 5.0 << false << false << true;
        QTest::newRow("unsure, an extension alone")
            << QString("a png") << inside << 5.0 << false << false << false;
    }
    void unsureLines() {
        QFETCH(QString, text);
        QFETCH(QRectF, box);
        QFETCH(double, confidence);
        QFETCH(bool, clippedLeft);
        QFETCH(bool, clippedRight);
        QFETCH(bool, kept);
        FakeRecognizer engine;
        platform::Observation o = observation(text, box);
        o.confidence = confidence;
        engine.answer = {o};
        const Tile t = blankTile(QRectF(1000, 300, 1000, 76), clippedLeft, clippedRight);
        QCOMPARE(ScreenTextReader::lines(engine, t).size(), kept ? 1 : 0);
        QCOMPARE(ScreenTextReader::observations(engine, t.image).size(),
                 confidence >= ScreenTextReader::kLeastConfidence ? 1 : 0);
    }

    // A box that holds the middle of a shorter line above or below its own
    // middle, beside it, spans two rows and is dropped; the rest stay.
    void linesOverTwoRows_data() {
        QTest::addColumn<QStringList>("lines"); // "text x0 x1 top bottom", in points of a 1000x100 strip
        QTest::addColumn<QStringList>("kept");
        QTest::newRow("one box over two rows")
            << QStringList{"toasterror.png 411 731 19 71", "/tmp/a/ 3 720 54 73", "b.png 4 509 78 93"}
            << QStringList{"/tmp/a/", "b.png"};
        QTest::newRow("rows apart") << QStringList{"toast.png 411 588 31 50", "/tmp/a/ 3 720 54 73"}
                                    << QStringList{"toast.png", "/tmp/a/"};
        QTest::newRow("bitmap boxes reaching into the next row")
            << QStringList{"a.png 0 500 31 55", "b.png 0 500 51 75"} << QStringList{"a.png", "b.png"};
        QTest::newRow("a row read as two lines of unequal height")
            << QStringList{"Tall.png 0 500 30 50", "low 100 300 34 50"} << QStringList{"Tall.png", "low"};
        QTest::newRow("a heading over body text") << QStringList{"Heading 0 600 0 40", "body.png 0 600 44 58"}
                                                  << QStringList{"Heading", "body.png"};
        QTest::newRow("a tall box beside the other row, not over it")
            << QStringList{"toast.png 800 990 19 71", "/tmp/a/ 3 720 54 73"}
            << QStringList{"toast.png", "/tmp/a/"};
    }
    void linesOverTwoRows() {
        QFETCH(QStringList, lines);
        QFETCH(QStringList, kept);
        FakeRecognizer engine;
        for (const QString& described : lines) {
            const QStringList f = described.split(QLatin1Char(' '));
            const double x0 = f[1].toDouble(), x1 = f[2].toDouble(), top = f[3].toDouble(),
                         bottom = f[4].toDouble();
            engine.answer << observation(
                f[0], QRectF(x0 / 1000, (100 - bottom) / 100, (x1 - x0) / 1000, (bottom - top) / 100));
        }
        QStringList texts;
        for (const Line& l : ScreenTextReader::lines(engine, blankTile(QRectF(0, 0, 1000, 100))))
            texts << l.text;
        QCOMPARE(texts.join(u'|'), kept.join(u'|'));
    }

    void recognizeStringsKeepsTheRawText() {
        FakeRecognizer engine;
        engine.answer = {observation(QString("a\u2022png"), QRectF(0, 0, 1, 1))};
        const QList<RecognizedString> got =
            recognizeStringsInTile(engine, captureWithMark(50, 10, -1), QRectF(10, 20, 500, 76));
        QCOMPARE(got.size(), 1);
        QCOMPARE(got.first().text, QString("a\u2022png"));
        QCOMPARE(got.first().minX, 10.0);
        QCOMPARE(got.first().maxY, 96.0);
        // A 2400-point strip is read as five tiles; the fourth starts at 1500.
        const QList<RecognizedString> whole =
            recognizeStrings(engine, captureWithMark(2400, 76, -1), QRectF(0, 0, 2400, 76));
        QCOMPARE(whole.size(), 5);
        QCOMPARE(whole.at(3).minX, 1500.0);
    }

    void nonsense_data() {
        QTest::addColumn<QRectF>("box");
        QTest::addColumn<bool>("kept");
        QTest::newRow("inside") << QRectF(0.1, 0.1, 0.5, 0.5) << true;
        QTest::newRow("past its right edge") << QRectF(0.8, 0.1, 0.4, 0.5) << false;
        QTest::newRow("no width") << QRectF(0.1, 0.1, 0, 0.5) << false;
        QTest::newRow("not a number") << QRectF(qQNaN(), 0.1, 0.4, 0.5) << false;
    }
    void nonsense() {
        QFETCH(QRectF, box);
        QFETCH(bool, kept);
        FakeRecognizer engine;
        engine.answer = {observation("a.png", QRectF(0.1, 0.1, 0.3, 0.3)),
                         observation("b.png", QRectF(0.1, 0.1, 0.3, 0.3))};
        engine.answer[1].box = box;
        const QList<Line> lines = ScreenTextReader::lines(engine, blankTile());
        QCOMPARE(lines.size(), kept ? 2 : 1);
        QCOMPARE(lines.first().text, QStringLiteral("a.png"));
    }

    void nonsenseCharacterBoxesAreDropped() {
        FakeRecognizer engine;
        engine.answer = {observation("ab cd", QRectF(0.1, 0.1, 0.5, 0.3))};
        engine.answer[0].characters[0] = QRectF(2, 0, -1, 0.2); // reversed and outside
        const Tile t = blankTile({0, 0, 1000, 76});
        QList<Line> lines = ScreenTextReader::lines(engine, t);
        QCOMPARE(lines.size(), 1);
        QCOMPARE(lines.first().characterBoxes.at(0), QRectF());
        QVERIFY(lines.first().span(0, 2)); // the word keeps its other glyph

        engine.answer[0].characters.removeLast(); // boxes no longer match the text
        lines = ScreenTextReader::lines(engine, t);
        QCOMPARE(lines.size(), 1);
        QVERIFY(lines.first().characterBoxes.isEmpty());
        QVERIFY(!lines.first().span(0, 2));
    }

    void aThrowingEngineGivesNoLines() {
        FakeRecognizer engine;
        engine.answer = {observation("a.png", QRectF(0.1, 0.1, 0.3, 0.3))};
        engine.throws = true;
        QVERIFY(ScreenTextReader::lines(engine, blankTile()).isEmpty());
        QVERIFY(recognizeStrings(engine, captureWithMark(10, 10, -1), QRectF(0, 0, 10, 10)).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TilesTest)
#include "test_tiles.moc"
