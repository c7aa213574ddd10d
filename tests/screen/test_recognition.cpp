// Recognition with the real engine on strips drawn in the test: lines, their
// places on the screen, paths read exactly, and what must give no line.
#include "RenderedStrip.h"
#include "platform/tesseract/TesseractRecognizer.h"
#include "screen/Capture.h"
#include "screen/Lines.h"
#include "screen/Prime.h"
#include "screen/ScreenTextReader.h"
#include "screen/Tiles.h"

#include <QPainter>
#include <QTest>
#include <algorithm>
#include <thread>

using namespace ScreenTextReader;

namespace {

// Three whole rows between two cut ones, as a 76-point strip shows a terminal.
const QStringList kRows{
    "drwxr-xr-x  4 dev dev 4096 Mar  3 10:12 build", "Saved screenshot to shots/hero-frame@2x.png (1280x800)",
    "$ open ~/Pictures/Screenshots/diagram_v2.jpeg now",
    "  see /home/dev/project/assets/icons/app-icon_512.png", "warning: docs/images/old.gif is unused"};
const QStringList kPaths{"", "shots/hero-frame@2x.png", "~/Pictures/Screenshots/diagram_v2.jpeg",
                         "/home/dev/project/assets/icons/app-icon_512.png", ""};
constexpr double kLeft = 6, kFirstTop = -6;
// Points that a recognised edge may differ from where the text was drawn.
constexpr double kSlack = 4;

const platform::TesseractRecognizer& engine() {
    static const platform::TesseractRecognizer recognizer;
    return recognizer;
}

QList<Line> readWhole(const RenderedStrip& r) {
    const std::optional<Tile> t = tile(r.image, r.strip, r.strip);
    return t ? lines(engine(), *t) : QList<Line>{};
}

const Line* lineContaining(const QList<Line>& lines, const QString& text) {
    const auto it =
        std::find_if(lines.begin(), lines.end(), [&](const Line& l) { return l.text.contains(text); });
    return it == lines.end() ? nullptr : &*it;
}

QString texts(const QList<Line>& lines) {
    QStringList all;
    for (const Line& l : lines)
        all << l.text;
    return all.join(" | ");
}

// Whether a recognised edge lies within kSlack of where it was drawn; says where both were when not.
bool near(double read, double drawn, const char* what) {
    if (qAbs(read - drawn) <= kSlack) return true;
    qWarning("%s read at %g, drawn at %g", what, read, drawn);
    return false;
}

} // namespace

class RecognitionTest : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase() {
        if (!platform::TesseractRecognizer::available())
            QSKIP("the English recognition model is not installed");
        prime(engine());
    }

    void readsRenderedStrips_data() {
        QTest::addColumn<double>("scale");
        QTest::addColumn<bool>("dark");
        QTest::newRow("scale 2, light on dark") << 2.0 << true;
        QTest::newRow("scale 1, dark on light") << 1.0 << false;
    }
    void readsRenderedStrips() {
        QFETCH(double, scale);
        QFETCH(bool, dark);
        const RenderedStrip r =
            renderStrip(QRectF(300, 500, 1000, 76), kRows, kLeft, kFirstTop, StripStyle{scale, 13, dark});
        const QList<Line> lines = readWhole(r);
        for (int row = 1; row <= 3; ++row) {
            const QString& path = kPaths.at(row);
            const Line* line = lineContaining(lines, path);
            QVERIFY2(line, qPrintable(path + " not read; read: " + texts(lines)));
            const QString& text = kRows.at(row);
            const qsizetype indent = text.indexOf(text.trimmed());
            const auto [inkLeft, inkRight] = drawnColumns(r, row, indent, indent + text.trimmed().size());
            const QRectF& drawn = r.rows.at(row).box;
            QVERIFY(near(line->minX, inkLeft, "minX") && near(line->maxX, inkRight, "maxX"));
            QVERIFY(near(line->minY, drawn.top(), "minY") && near(line->maxY, drawn.bottom(), "maxY"));
            // The path's own extent, through the glyph boxes.
            const qsizetype at = line->searchable.indexOf(path);
            const auto extent = line->span(at, at + path.size());
            const auto [pathLeft, pathRight] =
                drawnColumns(r, row, text.indexOf(path), text.indexOf(path) + path.size());
            QVERIFY(extent && near(extent->first, pathLeft, "path from") &&
                    near(extent->second, pathRight, "path to"));
        }
        // Rows come back top to bottom.
        QVERIFY(lineContaining(lines, kPaths.at(1))->maxY <= lineContaining(lines, kPaths.at(3))->minY);
    }

    void underscores_data() {
        QTest::addColumn<double>("scale");
        QTest::addColumn<QString>("text"); // read back exactly, as one line
        QTest::addColumn<bool>("underline");
        QTest::addColumn<bool>("hinted");
        const QString path("out/render_0042.webp and snake_case_dir/x_y.gif");
        // Unhinted, a blank is read after the underscore of "x_y"; the ink under the baseline says none.
        QTest::newRow("between letters, unhinted") << 1.0 << path << false << false;
        QTest::newRow("between letters, scale 2")
            << 2.0 << "my_file_name.png next to a_b.png" << false << true;
        QTest::newRow("blanks stay blanks") << 1.0 << "two words and more.png" << false << true;
        QTest::newRow("underlined words are not joined") << 2.0 << "see the notes here" << true << true;
    }
    void underscores() {
        QFETCH(double, scale);
        QFETCH(QString, text);
        QFETCH(bool, underline);
        QFETCH(bool, hinted);
        RenderedStrip r = renderStrip(QRectF(0, 0, 600, 76), {}, 0, 0, StripStyle{scale});
        QPainter p(&r.image);
        QFont font(QStringLiteral("DejaVu Sans Mono"));
        font.setPixelSize(int(13 * scale));
        font.setHintingPreference(hinted ? QFont::PreferFullHinting : QFont::PreferNoHinting);
        font.setUnderline(underline);
        p.setFont(font);
        p.setPen(QColor(20, 20, 20));
        p.drawText(QPointF(10 * scale, 40 * scale), text);
        p.end();
        const QList<Line> lines = readWhole(r);
        QCOMPARE(lines.size(), 1);
        QCOMPARE(lines.first().text, text);
    }

    void nothingToRead_data() {
        QTest::addColumn<QString>("kind");
        QTest::newRow("blank") << "blank";
        QTest::newRow("no image") << "null";
        QTest::newRow("larger than any strip") << "huge";
    }
    void nothingToRead() {
        QFETCH(QString, kind);
        QImage image;
        if (kind == "huge")
            image = QImage(8000, 2100, QImage::Format_Grayscale8);
        else if (kind != "null")
            image = QImage(2000, 152, QImage::Format_RGB32);
        if (!image.isNull()) image.fill(Qt::white);
        QVERIFY(observations(engine(), image).isEmpty());
    }

    void oneEnginePerThread() {
        const RenderedStrip r = renderStrip(QRectF(0, 0, 600, 76), kRows.mid(1, 2), kLeft, 10, StripStyle{2});
        const auto t = tile(r.image, r.strip, r.strip);
        QVERIFY(t);
        QStringList results(2);
        std::thread a([&] { results[0] = texts(lines(engine(), *t)); });
        std::thread b([&] { results[1] = texts(lines(engine(), *t)); });
        a.join();
        b.join();
        QVERIFY(results[0].contains(kPaths.at(1)));
        QCOMPARE(results[1], results[0]);
    }
};

QTEST_MAIN(RecognitionTest)
#include "test_recognition.moc"
