// Telling a zero with a stroke inside from an eight by its sides: glyphs of
// real terminal fonts drawn as bitmaps, enlarged as tiles are, in light and
// dark schemes, and the repair of a recognised line with its character boxes.
#include "screen/SlashedZeros.h"

#include <QPainter>
#include <QTest>

using ScreenTextReader::hasZeroSides;
using ScreenTextReader::readingSlashedZeros;
using ScreenTextReader::restoringZeros;

namespace {

using Bitmap = QList<const char*>;

// Terminus 14: a zero slashed from top right to bottom left, and its eight;
// Terminus 20's eight, whose waist leaves only the outer columns blank.
const Bitmap kSlashedZero{".####.", "#....#", "#....#", "#...##", "#..#.#",
                          "#.#..#", "##...#", "#....#", "#....#", ".####."};
const Bitmap kSquareEight{".####.", "#....#", "#....#", "#....#", ".####.",
                          "#....#", "#....#", "#....#", "#....#", ".####."};
const Bitmap kTallEight{".#####.", "#.....#", "#.....#", "#.....#", "#.....#", ".#####.", "#.....#",
                        "#.....#", "#.....#", "#.....#", "#.....#", "#.....#", ".#####."};
// Terminus's eight at some sizes: straight sides and a bar right across its middle.
const Bitmap kBarredEight{".####.", "#....#", "#....#", "#....#", "######",
                          "#....#", "#....#", "#....#", "#....#", ".####."};
// An at sign: round, its inner bowl across the middle rows, open on the right below it.
const Bitmap kAtSign{"..###.", ".#...#", "#..###", "#.#..#", "#.#..#",
                     "#.#..#", "#..###", "#.....", ".#....", "..####"};
// A dotted zero and a plain one.
const Bitmap kDottedZero{".####.", "#....#", "#....#", "#....#", "#.##.#",
                         "#.##.#", "#....#", "#....#", "#....#", ".####."};
const Bitmap kPlainZero{".####.", "#....#", "#....#", "#....#", "#....#",
                        "#....#", "#....#", "#....#", "#....#", ".####."};
// A round eight whose waist pinches well inside its loops (DejaVu-like).
const Bitmap kRoundEight{"..####..", ".##..##.", ".##..##.", "..####..", "..####..",
                         ".##..##.", "##....##", "##....##", ".##..##.", "..####.."};
// An eight whose waist is one column narrower on the left only.
const Bitmap kLeaningEight{".#####", "#....#", "#....#", "#....#", ".#####",
                           "#....#", "#....#", "#....#", "#....#", ".####."};
// Fours: open (Terminus) and closed (DejaVu-like), both blank on the left below the bar.
const Bitmap kOpenFour{"...##.", "..#.#.", ".#..#.", "#...#.", "#...#.",
                       "######", "....#.", "....#.", "....#.", "....#."};
const Bitmap kClosedFour{"....##..", "...###..", "..#.##..", ".#..##..", "#...##..",
                         "########", "....##..", "....##..", "....##..", "....##.."};

// A one and a full stop, for the numbers round a lost zero.
const Bitmap kOne{"..#...", ".##...", "..#...", "..#...", "..#...",
                  "..#...", "..#...", "..#...", "..#...", ".###.."};
const Bitmap kDot{"......", "......", "......", "......", "......",
                  "......", "......", "......", "..##..", "..##.."};

constexpr int kMargin = 4;

// The glyph drawn at 1 pixel per bitmap cell with a margin, then enlarged
// smoothly by scale as tiles are; box: where its ink lies.
QImage drawn(const Bitmap& glyph, QColor ink, QColor paper, int scale, QRect* box) {
    const int w = int(qstrlen(glyph.first()));
    const int h = int(glyph.size());
    QImage image(w + 2 * kMargin, h + 2 * kMargin, QImage::Format_RGB32);
    image.fill(paper);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (glyph.at(y)[x] == '#') image.setPixelColor(kMargin + x, kMargin + y, ink);
    *box = QRect(kMargin * scale, kMargin * scale, w * scale, h * scale);
    return scale == 1 ? image
                      : image.scaled(image.size() * scale, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

// A normalised box, origin bottom left, for a pixel rectangle in size.
QRectF normalised(const QRect& r, const QSize& size) {
    return QRectF(double(r.left()) / size.width(), 1.0 - double(r.top() + r.height()) / size.height(),
                  double(r.width()) / size.width(), double(r.height()) / size.height());
}

} // namespace

class TestSlashedZeros : public QObject {
    Q_OBJECT

  private slots:
    void zeroSides_data() {
        QTest::addColumn<Bitmap>("glyph");
        QTest::addColumn<QColor>("ink");
        QTest::addColumn<QColor>("paper");
        QTest::addColumn<bool>("zero");
        const QList<std::tuple<const char*, QColor, QColor>> schemes{
            {"green on black", QColor(0, 255, 0), Qt::black},
            {"black on white", Qt::black, Qt::white},
            {"solarized dark", QColor(0x83, 0x94, 0x96), QColor(0x00, 0x2b, 0x36)},
            {"solarized light", QColor(0x65, 0x7b, 0x83), QColor(0xfd, 0xf6, 0xe3)},
        };
        const QList<std::tuple<const char*, Bitmap, bool>> glyphs{
            {"slashed zero", kSlashedZero, true}, {"dotted zero", kDottedZero, true},
            {"plain zero", kPlainZero, true},     {"square eight", kSquareEight, false},
            {"round eight", kRoundEight, false},  {"leaning eight", kLeaningEight, false},
            {"open four", kOpenFour, false},      {"tall eight", kTallEight, false},
            {"closed four", kClosedFour, false},  {"barred eight", kBarredEight, false},
            {"at sign", kAtSign, false},
        };
        for (const auto& [scheme, ink, paper] : schemes)
            for (const auto& [name, glyph, zero] : glyphs)
                QTest::addRow("%s, %s", name, scheme) << glyph << ink << paper << zero;
    }
    void zeroSides() {
        QFETCH(Bitmap, glyph);
        QFETCH(QColor, ink);
        QFETCH(QColor, paper);
        QFETCH(bool, zero);
        // As drawn, and enlarged smoothly as tiles are; in a tight box and in
        // one drawn two pixels wide on either side, as recognition may.
        QRect box;
        for (int scale : {1, 2, 3}) {
            const QImage image = drawn(glyph, ink, paper, scale, &box);
            for (const QRect& b : {box, box.adjusted(-2, 0, 2, 0)})
                QVERIFY2(hasZeroSides(image, b) == zero,
                         qPrintable(QStringLiteral("scale %1, box %2 wide").arg(scale).arg(b.width())));
        }
    }

    void cannotJudge_data() {
        QTest::addColumn<QImage>("image");
        QTest::addColumn<QRect>("box");
        QRect box;
        const QImage zero = drawn(kSlashedZero, Qt::black, Qt::white, 2, &box);
        QTest::newRow("box outside the image") << zero << box.translated(zero.width(), 0);
        QTest::newRow("box reaching past the edge") << zero << box.adjusted(0, 0, 0, zero.height());
        QTest::newRow("empty box") << zero << QRect();
        QTest::newRow("too low to tell a waist") << zero << QRect(box.left(), box.top(), box.width(), 6);
        QTest::newRow("null image") << QImage() << box;
        QImage faint = drawn(kSlashedZero, QColor(120, 120, 120), QColor(140, 140, 140), 2, &box);
        QTest::newRow("no contrast") << faint << box;
        QImage blank(zero.size(), QImage::Format_RGB32);
        blank.fill(Qt::white);
        QTest::newRow("blank") << blank << box;
    }
    void cannotJudge() {
        QFETCH(QImage, image);
        QFETCH(QRect, box);
        QVERIFY(!hasZeroSides(image, box));
    }

    // A row "808" where the first and last eights are slashed zeros: only those turn.
    void readingALine_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QList<int>>(
            "glyphs"); // per unit: 0 slashed zero, 8 eight, 4 four, 2 at sign, -1 no box
        QTest::addColumn<QString>("expected");
        QTest::newRow("zeros read as eights") << QStringLiteral("8-88") << QList<int>{0, -1, 0, 8} << "0-08";
        QTest::newRow("real eights kept") << QStringLiteral("888") << QList<int>{8, 8, 8} << "888";
        QTest::newRow("a zero read as four") << QStringLiteral("0534") << QList<int>{0, 8, 8, 0} << "0530";
        QTest::newRow("real fours kept") << QStringLiteral("4-4") << QList<int>{4, -1, 4} << "4-4";
        // An "@" is judged with the pitch round it (restoringLostZeros), not here.
        QTest::newRow("an at sign is left alone") << QStringLiteral("8@8") << QList<int>{8, 0, 8} << "8@8";
        QTest::newRow("letters are not judged") << QStringLiteral("O0o") << QList<int>{0, 0, 0} << "O0o";
        QTest::newRow("a unit without a box kept") << QStringLiteral("88") << QList<int>{-1, 0} << "80";
        QTest::newRow("boxes not matching the text") << QStringLiteral("888") << QList<int>{0, 0} << "888";
        QTest::newRow("no eight") << QStringLiteral("v1.0") << QList<int>{0, 0, 0, 0} << "v1.0";
    }
    void readingALine() {
        QFETCH(QString, text);
        QFETCH(QList<int>, glyphs);
        QFETCH(QString, expected);
        constexpr int kScale = 3;
        constexpr int kCell = (6 + 2 * kMargin) * kScale; // each glyph with its margins
        QImage row(kMargin * 2 + kCell * int(glyphs.size()), 10 * kScale + 2 * kMargin * kScale,
                   QImage::Format_RGB32);
        row.fill(QColor(0x00, 0x2b, 0x36));
        QList<QRectF> boxes;
        for (int i = 0; i < glyphs.size(); ++i) {
            if (glyphs.at(i) < 0) {
                boxes.append(QRectF());
                continue;
            }
            QRect box;
            const Bitmap& glyph = glyphs.at(i) == 0   ? kSlashedZero
                                  : glyphs.at(i) == 4 ? kOpenFour
                                  : glyphs.at(i) == 2 ? kAtSign
                                                      : kSquareEight;
            const QImage g = drawn(glyph, QColor(0x83, 0x94, 0x96), QColor(0x00, 0x2b, 0x36), kScale, &box);
            const QPoint at(kMargin + i * kCell, 0);
            QPainter(&row).drawImage(at, g);
            boxes.append(normalised(box.translated(at), row.size()));
        }
        QCOMPARE(readingSlashedZeros(row, text, boxes), expected);
    }

    // Zeros recognition lost, on a row of cells drawn on an even pitch: the
    // reading's units each cover cells (or half a cell, "<" and ">").
    void restoringLostZeros_data() {
        QTest::addColumn<QString>("shown"); // one glyph a cell: 0 slashed zero, 8, 4, 1, "@", "."
        QTest::addColumn<QString>("read");
        QTest::addColumn<QStringList>("covers"); // per unit read: "3", "4-5", "2<" or "2>"
        QTest::addColumn<QString>("expected");
        const QStringList dropped{"0", "1", "2", "3", "5", "6"};
        const QStringList merged{"0", "1", "2", "3", "4-5", "6"};
        const QStringList split{"0", "1", "2<", "2>", "3", "4"};
        QTest::newRow("a zero dropped between dots") << "1.1.0.1"
                                                     << "1.1..1" << dropped << "1.1.0.1";
        QTest::newRow("a dropped eight stays lost") << "1.1.8.1"
                                                    << "1.1..1" << dropped << "1.1..1";
        QTest::newRow("a dropped four stays lost") << "1.1.4.1"
                                                   << "1.1..1" << dropped << "1.1..1";
        QTest::newRow("a zero and a dot in one box") << "1.1.0.1"
                                                     << "1.1..1" << merged << "1.1.0.1";
        QTest::newRow("an eight and a dot in one box") << "1.1.8.1"
                                                       << "1.1..1" << merged << "1.1..1";
        QTest::newRow("a zero read as two digits") << "11011"
                                                   << "114811" << split << "11011";
        QTest::newRow("an eight read as two digits") << "11811"
                                                     << "114811" << split << "114811";
        const QStringList each{"0", "1", "2", "3", "4", "5", "6"};
        QTest::newRow("a zero read as @ in its own cell") << "1.1.0.1"
                                                          << "1.1.@.1" << each << "1.1.0.1";
        QTest::newRow("a real @ stays") << "1.1.@.1"
                                        << "1.1.@.1" << each << "1.1.@.1";
        QTest::newRow("a ghost @ beside a zero in its cell")
            << "1.10.1"
            << "1.10@.1" << QStringList{"0", "1", "2", "3<", "3>", "4", "5"} << "1.10.1";
        QTest::newRow("letters round a gap are no number") << "1.1.0.1"
                                                           << "1a1aa1" << dropped << "1a1aa1";
        QTest::newRow("too few glyphs to find a pitch") << "1.01"
                                                        << "1.1" << QStringList{"0", "1", "3"} << "1.1";
        QTest::newRow("boxes not matching the text") << "1.1.0.1"
                                                     << "1.1..1" << dropped.mid(1) << "1.1..1";
    }
    void restoringLostZeros() {
        QFETCH(QString, shown);
        QFETCH(QString, read);
        QFETCH(QStringList, covers);
        QFETCH(QString, expected);
        constexpr int kScale = 3;
        constexpr int kCell = (6 + 2 * kMargin) * kScale;
        const QColor ink(0x65, 0x7b, 0x83), paper(0xfd, 0xf6, 0xe3); // Solarized light
        QImage row(kCell * int(shown.size()), (10 + 2 * kMargin) * kScale, QImage::Format_RGB32);
        row.fill(paper);
        QList<QRect> cells;
        for (int i = 0; i < shown.size(); ++i) {
            const QChar c = shown.at(i);
            const Bitmap& glyph = c == '0'   ? kSlashedZero
                                  : c == '8' ? kSquareEight
                                  : c == '4' ? kOpenFour
                                  : c == '1' ? kOne
                                  : c == '@' ? kAtSign
                                             : kDot;
            QRect box;
            const QImage g = drawn(glyph, ink, paper, kScale, &box);
            const QPoint at(i * kCell, 0);
            QPainter(&row).drawImage(at, g);
            cells.append(box.translated(at));
        }
        QList<QRectF> boxes;
        for (const QString& cover : covers) {
            QRect box;
            if (cover.contains('-')) {
                box = cells.at(cover.section('-', 0, 0).toInt()) | cells.at(cover.section('-', 1, 1).toInt());
            } else {
                box = cells.at(QString(cover).remove('<').remove('>').toInt());
                if (cover.endsWith('<')) box.setRight(box.center().x());
                if (cover.endsWith('>')) box.setLeft(box.center().x() + 1);
            }
            boxes.append(normalised(box, row.size()));
        }
        const ScreenTextReader::Glyphs restored = restoringZeros(row, {read, boxes});
        QCOMPARE(restored.text, expected);
        // A box for every unit, the restored zeros' included.
        if (boxes.size() == read.size()) QCOMPARE(restored.boxes.size(), restored.text.size());
    }
};

QTEST_MAIN(TestSlashedZeros)
#include "test_slashed_zeros.moc"
