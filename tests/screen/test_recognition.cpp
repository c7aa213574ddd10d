// Recognition with the real engine on strips drawn in the test: lines, their
// places on the screen, paths read exactly, and what must give no line.
#include "RenderedStrip.h"
#include "platform/tesseract/TesseractRecognizer.h"
#include "screen/Capture.h"
#include "screen/ScreenTextReader.h"

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

// Where text starts and ends on the screen when drawn after prefix on a row.
std::pair<double, double> drawnExtent(const RenderedStrip::Row& row, const QString& prefix,
                                      const QString& text, double pixelsPerPoint) {
    QFont font(QStringLiteral("DejaVu Sans Mono"));
    font.setPixelSize(int(std::lround(13 * pixelsPerPoint)));
    font.setHintingPreference(QFont::PreferNoHinting);
    const QFontMetricsF m(font);
    const double from = row.box.left() + m.horizontalAdvance(prefix) / pixelsPerPoint;
    return {from, from + m.horizontalAdvance(text) / pixelsPerPoint};
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
    void cleanup() { setOwnWindows({}); }

    void readsRenderedStrips_data() {
        QTest::addColumn<double>("scale");
        QTest::addColumn<bool>("dark");
        QTest::newRow("scale 2, dark on light") << 2.0 << false;
        QTest::newRow("scale 2, light on dark") << 2.0 << true;
        QTest::newRow("scale 1, dark on light") << 1.0 << false;
        QTest::newRow("scale 1, light on dark") << 1.0 << true;
    }
    void readsRenderedStrips() {
        QFETCH(double, scale);
        QFETCH(bool, dark);
        StripStyle style;
        style.pixelsPerPoint = scale;
        style.dark = dark;
        const RenderedStrip r = renderStrip(QRectF(300, 500, 1000, 76), kRows, kLeft, kFirstTop, style);
        const QList<Line> lines = readWhole(r);
        for (int row = 1; row <= 3; ++row) {
            const QString& path = kPaths.at(row);
            const Line* line = lineContaining(lines, path);
            QVERIFY2(line, qPrintable(path + " not read; read: " + texts(lines)));
            const RenderedStrip::Row& drawn = r.rows.at(row);
            const QString text = kRows.at(row);
            const qsizetype indent = text.indexOf(text.trimmed());
            const auto [inkLeft, inkRight] = drawnExtent(drawn, text.left(indent), text.trimmed(), scale);
            QVERIFY2(qAbs(line->minX - inkLeft) <= kSlack,
                     qPrintable(QString("minX %1, drawn at %2").arg(line->minX).arg(inkLeft)));
            QVERIFY2(qAbs(line->maxX - inkRight) <= kSlack,
                     qPrintable(QString("maxX %1, drawn to %2").arg(line->maxX).arg(inkRight)));
            QVERIFY2(qAbs(line->minY - drawn.box.top()) <= kSlack,
                     qPrintable(QString("minY %1, drawn at %2").arg(line->minY).arg(drawn.box.top())));
            QVERIFY2(qAbs(line->maxY - drawn.box.bottom()) <= kSlack,
                     qPrintable(QString("maxY %1, drawn to %2").arg(line->maxY).arg(drawn.box.bottom())));

            // The path's own extent, through the glyph boxes.
            const qsizetype at = line->searchable.indexOf(path);
            const auto extent = line->span(at, at + path.size());
            QVERIFY(extent);
            const auto [pathLeft, pathRight] = drawnExtent(drawn, text.left(text.indexOf(path)), path, scale);
            QVERIFY2(qAbs(extent->first - pathLeft) <= kSlack,
                     qPrintable(QString("path from %1, drawn at %2").arg(extent->first).arg(pathLeft)));
            QVERIFY2(qAbs(extent->second - pathRight) <= kSlack,
                     qPrintable(QString("path to %1, drawn to %2").arg(extent->second).arg(pathRight)));
        }
        // Rows come back top to bottom.
        const Line* first = lineContaining(lines, kPaths.at(1));
        const Line* last = lineContaining(lines, kPaths.at(3));
        QVERIFY(first->maxY <= last->minY);
    }

    void underscores_data() {
        QTest::addColumn<double>("scale");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("underline");
        QTest::addColumn<QString>("read"); // exactly, as one line
        QTest::newRow("between letters, scale 1")
            << 1.0 << "out/render_0042.webp and snake_case_dir/x_y.gif" << false
            << "out/render_0042.webp and snake_case_dir/x_y.gif";
        QTest::newRow("between letters, scale 2")
            << 2.0 << "my_file_name.png next to a_b.png" << false << "my_file_name.png next to a_b.png";
        QTest::newRow("blanks stay blanks")
            << 1.0 << "two words and more.png" << false << "two words and more.png";
        QTest::newRow("underlined words are not joined")
            << 2.0 << "see the notes here" << true << "see the notes here";
    }
    void underscores() {
        QFETCH(double, scale);
        QFETCH(QString, text);
        QFETCH(bool, underline);
        QFETCH(QString, read);
        StripStyle style;
        style.pixelsPerPoint = scale;
        RenderedStrip r = renderStrip(QRectF(0, 0, 600, 76), {}, 0, 0, style);
        {
            QPainter p(&r.image);
            QFont font(QStringLiteral("DejaVu Sans Mono"));
            font.setPixelSize(int(13 * scale));
            font.setUnderline(underline);
            p.setFont(font);
            p.setPen(QColor(20, 20, 20));
            p.drawText(QPointF(10 * scale, 40 * scale), text);
        }
        const QList<Line> lines = readWhole(r);
        QCOMPARE(lines.size(), 1);
        QCOMPARE(lines.first().text, read);
    }

    void ownWindowsAreNeverRead() {
        // The card, as the capture sees it: a panel with a file name for a caption.
        RenderedStrip r = renderStrip(QRectF(1000, 400, 1000, 76), kRows.mid(1, 3), kLeft, 10);
        const QRectF card(1600, 420, 260, 56); // global points
        {
            QPainter p(&r.image);
            p.setRenderHint(QPainter::Antialiasing);
            p.setBrush(QColor(236, 236, 236));
            p.setPen(QColor(180, 180, 180));
            p.drawRoundedRect(card.translated(-r.strip.topLeft()), 8, 8);
            QFont font(QStringLiteral("DejaVu Sans"));
            font.setPixelSize(13);
            p.setFont(font);
            p.setPen(Qt::black);
            p.drawText(card.translated(-r.strip.topLeft()).adjusted(12, 30, 0, 0).topLeft(),
                       "sunset-card.png");
        }
        struct Backend final : platform::ScreenCapture {
            platform::Capture shot;
            bool canCapture() override { return true; }
            QList<platform::Monitor> monitors() override { return {}; }
            std::optional<platform::Capture> capture(QRectF) override { return shot; }
        };
        auto backend = std::make_shared<Backend>();
        backend->shot = platform::Capture{r.image, r.strip};

        const auto readCapture = [&] {
            const auto captured = ScreenTextReader::capture(backend, r.strip);
            if (!captured) return QList<Line>{};
            const auto t = tile(captured->image, captured->strip, captured->strip);
            return t ? lines(engine(), *t) : QList<Line>{};
        };
        // Without telling the reader, the caption is read like any text ...
        QVERIFY2(lineContaining(readCapture(), "sunset-card"), "the card's caption was not even readable");
        // ... and with the card's frame known, nothing at all is read from there.
        setOwnWindows({card});
        const QList<Line> lines = readCapture();
        QVERIFY2(!lineContaining(lines, "sunset"), qPrintable(texts(lines)));
        for (const Line& l : lines)
            QVERIFY2(l.maxX < card.left(), qPrintable(l.text));
        QVERIFY(lineContaining(lines, kPaths.at(1)));
    }

    void nothingToRead_data() {
        QTest::addColumn<QString>("kind");
        QTest::newRow("blank") << "blank";
        QTest::newRow("one colour") << "red";
        QTest::newRow("one dark colour") << "dark";
        QTest::newRow("noise") << "noise";
        QTest::newRow("one pixel high") << "thin";
        QTest::newRow("three pixels square") << "tiny";
        QTest::newRow("no image") << "null";
        QTest::newRow("larger than any strip") << "huge";
    }
    void nothingToRead() {
        QFETCH(QString, kind);
        QImage image;
        if (kind == "thin")
            image = QImage(2400, 1, QImage::Format_RGB32);
        else if (kind == "tiny")
            image = QImage(3, 3, QImage::Format_RGB32);
        else if (kind == "huge")
            image = QImage(8000, 2100, QImage::Format_Grayscale8);
        else if (kind != "null")
            image = QImage(2000, 152, QImage::Format_RGB32);
        if (!image.isNull())
            image.fill(kind == "red" ? Qt::red : kind == "dark" ? QColor(40, 40, 40) : Qt::white);
        if (kind == "thin") image.fill(Qt::black);
        if (kind == "noise") {
            quint32 state = 12345;
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x) {
                    state = state * 1664525u + 1013904223u;
                    const int v = int(state >> 24);
                    image.setPixel(x, y, qRgb(v, v, v));
                }
        }
        QVERIFY(observations(engine(), image).isEmpty());
    }

    void primingImageShowsItsText() {
        const QImage image = primingImage();
        QCOMPARE(image.size(), QSize(96, 20));
        int dark = 0;
        for (int y = 0; y < 20; ++y)
            for (int x = 0; x < 96; ++x)
                dark += qGray(image.pixel(x, y)) < 128;
        QVERIFY(dark > 20);
    }

    void recognizeStringsAcrossTiles() {
        // A 1600-point strip is read as three overlapping tiles; the path lies in the second and third.
        RenderedStrip r = renderStrip(QRectF(0, 0, 1600, 76), {}, 0, 0);
        {
            QPainter p(&r.image);
            QFont font(QStringLiteral("DejaVu Sans Mono"));
            font.setPixelSize(13);
            p.setFont(font);
            p.setPen(QColor(20, 20, 20));
            p.drawText(QPointF(1150, 40), "figures/plot-03.png");
        }
        const QList<RecognizedString> strings = recognizeStrings(engine(), r.image, r.strip);
        const auto found = std::count_if(strings.begin(), strings.end(), [](const RecognizedString& s) {
            return s.text == "figures/plot-03.png" && qAbs(s.minX - 1150) <= kSlack;
        });
        QCOMPARE(found, 2);
    }

    void oneEnginePerThread() {
        StripStyle style;
        style.pixelsPerPoint = 2;
        const RenderedStrip r = renderStrip(QRectF(0, 0, 600, 76), kRows.mid(1, 2), kLeft, 10, style);
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
