// The reference under the pointer, read by the real engine from strips drawn in
// the test and resolved against a fixture project, and how many tiles it costs.
#include "CapturedOutput.h"
#include "RenderedStrip.h"
#include "core/CodexSessions.h"
#include "platform/tesseract/TesseractRecognizer.h"
#include "screen/Capture.h"
#include "screen/Prime.h"
#include "screen/Recognizing.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QTest>
#include <atomic>

using namespace ScreenTextReader;

namespace {

// The real engine, counting its recognitions.
class CountingRecognizer final : public platform::TextRecognizer {
  public:
    QList<platform::Observation> recognize(const QImage& image) const override {
        ++calls;
        return engine_.recognize(image);
    }
    mutable std::atomic<int> calls{0};

  private:
    platform::TesseractRecognizer engine_;
};

CountingRecognizer& engine() {
    static CountingRecognizer recognizer;
    return recognizer;
}

// Where the pointer rests: on row `row`, over the first occurrence of `over`
// (at its character `offset`, or its middle when negative), moved by `shift` points.
struct Aim {
    int row = 0;
    QString over;
    int offset = -1;
    double shift = 0;
};

QPointF pointerOn(const RenderedStrip& r, const Aim& aim) {
    const RenderedStrip::Row& row = r.rows.at(aim.row);
    const qsizetype c = row.text.indexOf(aim.over) + (aim.offset >= 0 ? aim.offset : aim.over.size() / 2);
    const auto [left, right] = drawnColumns(r, aim.row, c, c + 1);
    return QPointF((left + right) / 2 + aim.shift, row.box.center().y());
}

// A backend that hands out a capture made beforehand.
struct Backend final : platform::ScreenCapture {
    std::optional<platform::Capture> shot;
    QRectF asked;
    bool canCapture(platform::Deadline) override { return true; }
    QList<platform::Monitor> monitors(platform::Deadline) override {
        return {platform::Monitor{QRectF(0, 0, 2400, 1000), 1}};
    }
    std::optional<platform::Capture> capture(QRectF strip, platform::Deadline) override {
        asked = strip;
        return shot;
    }
};

const QString kLongPath = QStringLiteral("proj/generated_images/2024-06-01/session-0193a4b2-7c1d-4e5f/"
                                         "render-passes/beauty/final-composite/frame-0042.png");

// One reading: the strip's width, its rows drawn from x `left`, where the pointer rests, and
// what comes of it: the file under the fixture folder ("" for none), a detail line printed
// on the way ("" for any) and how many tiles the engine read. The cells of the pointer row's
// last `reversed` are drawn in reverse video, as a terminal draws its cursor and selection.
struct Reading {
    double width = 2400;
    QStringList rows{};
    double left = 10;
    Aim aim{};
    QString expected{};
    QString logged{};
    int tiles = 1;
    QString reversed{};
};

// The cells of `text`'s last occurrence in the row, turned to reverse video.
void reverse(RenderedStrip& r, int row, const QString& text) {
    const qsizetype at = r.rows.at(row).text.lastIndexOf(text);
    QVERIFY(at >= 0);
    const auto [left, right] = drawnColumns(r, row, at, at + text.size());
    const double s = r.style.pixelsPerPoint;
    const double top = r.rows.at(row).box.top() - r.strip.top();
    const QRect cells(QPoint(int(left * s), int((top - 1) * s)),
                      QPoint(int(right * s) - 1, int((top + r.style.rowHeight - 1) * s) - 1));
    for (int y = cells.top(); y <= cells.bottom(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(r.image.scanLine(y));
        for (int x = cells.left(); x <= cells.right(); ++x)
            line[x] = qRgb(255 - qRed(line[x]), 255 - qGreen(line[x]), 255 - qBlue(line[x]));
    }
}

} // namespace

Q_DECLARE_METATYPE(Aim)
Q_DECLARE_METATYPE(Reading)

class ReferenceOnScreenTest : public QObject {
    Q_OBJECT

    // Drawn into the strips, so a fixed name (one run at a time): random letters would read differently.
    QDir root_;
    std::unique_ptr<QLockFile> lock_;
    QString path(const QString& relative = QString()) const {
        return relative.isEmpty() ? root_.path() : root_.filePath(relative);
    }
    QUrl fixture(const QString& relative) const { return QUrl::fromLocalFile(path(relative)); }
    void file(const QString& relative) const {
        QDir().mkpath(QFileInfo(path(relative)).path());
        QFile f(path(relative));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("x");
    }

    // The strip: rows drawn from x `left`, the pointer's row centred vertically.
    RenderedStrip scene(double width, const QStringList& rows, int pointerRow, double left,
                        double scale) const {
        QStringList texts;
        for (QString t : rows)
            texts << t.replace(QStringLiteral("<tree>"), path());
        StripStyle style;
        style.pixelsPerPoint = scale;
        style.dark = scale > 1; // light on dark at scale 2
        const double firstTop = 38 - 7.5 - style.rowHeight * pointerRow;
        return renderStrip(QRectF(0, 300, width, 76), texts, left, firstTop, style);
    }

  private slots:
    void initTestCase() {
        if (!platform::TesseractRecognizer::available())
            QSKIP("the English recognition model is not installed");
        prime(engine());
        root_ = QDir(QDir::temp().filePath(QStringLiteral("vistel-screen-test")));
        lock_ = std::make_unique<QLockFile>(root_.path() + QStringLiteral(".lock"));
        QVERIFY2(lock_->tryLock(120'000), "another run holds the fixture folder");
        root_.removeRecursively();
        QVERIFY(QDir().mkpath(path("proj/.git")));
        root_.setPath(QFileInfo(root_.path()).canonicalFilePath());
        for (const char* f :
             {"proj/shots/hero-frame@2x.png", "proj/shots/diagram.png", "proj/alpha/alpha-one.png",
              "proj/beta/beta-two.png", "proj/wrap/hero-frame-01.png", "proj/episodes/one/frame.png",
              "proj/episodes/two/frame.png", "proj/renders/2024-06-01/frame-final.png", "session/frame.png"})
            file(f);
        file(kLongPath);
        for (int i = 1; i <= 7; ++i)
            file(QStringLiteral("proj/copy%1/seven.png").arg(i));
        // A coding-agent session showed other pictures of the same names.
        CodexSessions::setOverride(QList<QUrl>{fixture("session/frame.png")});
        ImageReference::MissLifetime::set(0);
    }
    void cleanupTestCase() {
        CodexSessions::setOverride(std::nullopt);
        root_.removeRecursively();
    }

    void chooses_data() {
        QTest::addColumn<double>("scale");
        QTest::addColumn<Reading>("reading");
        const QStringList terminal{"drwxr-xr-x  4 dev dev 4096 Mar  3 10:12 build",
                                   "Saved screenshot to <tree>/proj/shots/hero-frame@2x.png (1280x800)",
                                   "warning: the old frames are unused"};
        const QStringList wrapped{"$ ls -d <tree>/proj/wrap/*", "<tree>/proj/wrap/hero-fr", "ame-01.png",
                                  "$ echo done"};
        const QStringList table{"1  proj/episodes/one/fr", "ame.png    ok", "2  proj/episodes/two/fr",
                                "ame.png    ok"};
        const QStringList wide{"",
                               "The final render of the scene was written to the project folder as "
                               "<tree>/proj/renders/2024-06-01/fr",
                               "ame-final.png",
                               "It took 42 seconds and used 3 GB of memory on the render machine.",
                               "Next compare it with the reference frames and decide what to keep."};
        const auto middle = [](const QString& text) { return QStringList{"", text, ""}; };
        const QString hero("proj/shots/hero-frame@2x.png"), wrap("proj/wrap/hero-frame-01.png");
        const QString render("proj/renders/2024-06-01/frame-final.png"), rejoin(" rejoined 2 rows -> ");
        // A line of bare names on a strip no wider than a tile.
        const auto bare = [&](const char* text, Aim aim, const QString& expected = {},
                              const QString& logged = {}) {
            return Reading{1000, middle(text), 20, aim, expected, logged};
        };
        const auto row = [](const char* name, double scale = 1) -> QTestData& {
            return QTest::newRow(name) << scale;
        };
        row("path under the pointer, wide strip: its tile alone")
            << Reading{2400, terminal, 700, {1, "hero-frame"}, hero};
        row("the same at scale 2, light on dark", 2) << Reading{2400, terminal, 700, {1, "hero-frame"}, hero};
        row("pointer 60 points past the path")
            << Reading{2400, terminal, 700, {1, "@2x.png", 6, 60}, {}, {}, 2};
        row(".pnq repaired") << Reading{
            2400, middle("open shots/diagram.pnq now"), 1000, {1, "diagram"}, "proj/shots/diagram.png"};
        row("two bare names off the pointer")
            << bare("alpha-one.png and beta-two.png are both here", {1, "both"}, {},
                    "        2 candidates on this line, too ambiguous to pick");
        row("one bare name off the pointer") << bare("alpha-one.png is the one we wanted", {1, "wanted"},
                                                     "proj/alpha/alpha-one.png", "same-line fallback -> ");
        row("a name seven files have") << bare("open seven.png now", {1, "seven"});
        // The pointer's tile shows the path's end; a second tile is read along the path.
        row("path longer than a tile") << Reading{
            2400, {"", "see <tree>/" + kLongPath, ""}, 60, {1, "frame-0042.png", -1}, kLongPath, {}, 2};
        row("file name split across rows, pointer on the head")
            << Reading{900, wrapped, 10, {1, "hero-fr"}, wrap, rejoin};
        row("file name split across rows, pointer on the tail")
            << Reading{900, wrapped, 10, {2, "ame-01"}, wrap, rejoin};
        row("wrapped head alone") << Reading{
            900, {"$ ls", "<tree>/proj/wrap/hero-fr", "", ""}, 10, {1, "hero-fr"}};
        row("two rows of prose") << Reading{
            900,
            {"", "The quick brown fox jumps over the lazy dog and then", "runs back home again"},
            10,
            {2, "back"}};
        row("a path cut by a narrow strip's edge: no more tiles")
            << Reading{900, terminal.mid(1, 1), 500, {0, "Saved"}};
        row("table row 1, pointer on the wrapped tail")
            << Reading{600, table, 10, {1, "ame.png"}, "proj/episodes/one/frame.png"};
        row("table row 2, pointer on the wrapped tail")
            << Reading{600, table, 10, {3, "ame.png"}, "proj/episodes/two/frame.png"};
        row("wide terminal, pointer on the wrapped head")
            << Reading{2400, wide, 10, {1, "06-01"}, render, {}, 2};
        row("wide terminal, pointer on the prose under it") << Reading{2400, wide, 10, {3, "seconds"}};
        // A terminal's cursor block after the path, on a character of it, or the path selected.
        const QStringList typed{"", "$ open <tree>/proj/shots/diagram.png ", ""};
        const QString diagram("proj/shots/diagram.png");
        row("cursor block after the path") << Reading{1000, typed, 10, {1, "diagram"}, diagram, {}, 1, " "};
        row("cursor block after the path, light on dark", 2)
            << Reading{1000, typed, 10, {1, "diagram"}, diagram, {}, 1, " "};
        row("cursor block on the path's last letter")
            << Reading{1000, typed, 10, {1, "diagram"}, diagram, {}, 1, "g"};
        row("the path selected") << Reading{1000,    typed, 10, {1, "diagram"},
                                            diagram, {},    1,  "shots/diagram.png"};
    }
    void chooses() {
        QFETCH(double, scale);
        QFETCH(Reading, reading);
        const Reading& c = reading;
        RenderedStrip r = scene(c.width, c.rows, c.aim.row, c.left, scale);
        if (!c.reversed.isEmpty()) reverse(r, c.aim.row, c.reversed);
        const QPointF pointer = pointerOn(r, c.aim);
        std::optional<QUrl> url;
        const int before = engine().calls;
        const QString out =
            stdoutOf([&] { url = recognize(engine(), r.image, r.strip, pointer, {fixture("proj")}, true); });
        const int read = engine().calls - before;
        const QString found = url ? url->toLocalFile() : QString();
        const QString wanted = c.expected.isEmpty() ? QString() : path(c.expected);
        // The engine may read a line cut by the pointer tile's edge right but below the
        // confidence cut-off, leaving nothing to read; which rows depends on the fixture's path.
        if (out.contains(QStringLiteral("0 line(s)  under the pointer")) && !c.expected.isEmpty())
            QEXPECT_FAIL("", "the recogniser dropped the pointer tile's only line (confidence cut-off)",
                         Continue);
        QVERIFY2(found == wanted, qPrintable(QString("found \"%1\"; the reading:\n%2").arg(found, out)));
        if (!c.logged.isEmpty())
            QVERIFY2(out.contains(QString(c.logged).replace("<tree>", path())), qPrintable(out));
        QCOMPARE(read, c.tiles);
    }

    void readsThroughTheCapture() {
        const RenderedStrip r = scene(2400, {"", "see <tree>/proj/shots/hero-frame@2x.png", ""}, 1, 900, 1);
        auto backend = std::make_shared<Backend>();
        backend->shot = platform::Capture{r.image, r.strip};
        const QPointF pointer = pointerOn(r, Aim{1, "hero"});
        std::optional<QUrl> url = imageReference(backend, engine(), pointer, {fixture("proj")}, false);
        QCOMPARE(url.value_or(QUrl()), fixture("proj/shots/hero-frame@2x.png"));
        // The strip asked for lies on the monitor, centred on the pointer as far as it can.
        QCOMPARE(backend->asked, QRectF(0, pointer.y() - 38, 2400, 76));

        backend->shot.reset();
        const QString out =
            stdoutOf([&] { url = imageReference(backend, engine(), QPointF(1300.5, 338), {}, true); });
        QVERIFY(!url);
        QCOMPARE(out, QStringLiteral("  [ocr] capture failed for (100.5, 300.0, 2400.0, 76.0)\n"));
    }
};

QTEST_MAIN(ReferenceOnScreenTest)
#include "test_reference_on_screen.moc"
