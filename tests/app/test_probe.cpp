// The probe's report, which users read: the number form, the marker column,
// lines listed top first, and every way a probe ends. Also how the agent's
// screen reader counts stalls (three make the card say so).
#include "TempTree.h"
#include "app/cli/Probe.h"
#include "screen/Recognizing.h"
#include "screen/RecognizingScreenReader.h"

#include <QRegularExpression>
#include <QScopeGuard>
#include <QTest>
#include <condition_variable>
#include <limits>
#include <mutex>

using ScreenTextReader::RecognizedString;

namespace {

// One white monitor; the capture can fail, or hang until released or its
// deadline comes, when it answers none as a silent display would.
class FakeCapture final : public platform::ScreenCapture {
  public:
    bool readable = true;
    bool fails = false;
    QRectF screen{0, 0, 1920, 1080};

    bool canCapture(platform::Deadline) override { return readable; }
    QList<platform::Monitor> monitors(platform::Deadline) override { return {{screen, 1.0}}; }
    std::optional<platform::Capture> capture(QRectF strip, platform::Deadline deadline) override {
        std::unique_lock lock(mutex_);
        if (!released_.wait_until(lock, deadline, [this] { return !hanging_; })) return std::nullopt;
        if (fails) return std::nullopt;
        const QRectF region = strip.intersected(screen);
        QImage image(int(region.width()), int(region.height()), QImage::Format_RGB32);
        image.fill(Qt::white);
        return platform::Capture{image, region};
    }
    void hang(bool on) {
        {
            const std::lock_guard lock(mutex_);
            hanging_ = on;
        }
        released_.notify_all();
    }

  private:
    std::mutex mutex_;
    std::condition_variable released_;
    bool hanging_ = false;
};

class NoText final : public platform::TextRecognizer {
  public:
    QList<platform::Observation> recognize(const QImage&) const override { return {}; }
};

struct Outcome {
    int status = -1;
    QStringList lines; // the printed lines, an embedded newline splitting one
};

RecognizedString text(const QString& s, double minX, double maxX, double minY, double maxY) {
    return {s, minX, maxX, minY, maxY};
}

} // namespace

Q_DECLARE_METATYPE(RecognizedString)

class TestProbe : public QObject {
    Q_OBJECT

    Outcome probe(QPointF at, const std::shared_ptr<FakeCapture>& capture,
                  const QList<RecognizedString>& lines, const std::optional<QUrl>& found) {
        Outcome outcome;
        Probe::Parts parts;
        parts.capture = capture;
        parts.strings = [lines](const QImage&, QRectF) { return lines; };
        parts.reference = [found](const QImage&, QRectF, QPointF, const QUrl&) { return found; };
        parts.print = [&outcome](const QString& line) { outcome.lines += line.split(QLatin1Char('\n')); };
        outcome.status = Probe::run(at, parts);
        return outcome;
    }

  private slots:
    void number_data() {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("shown");
        QTest::newRow("whole") << 812.0 << "812.0";
        QTest::newRow("shortest that reads back") << 0.1 << "0.1";
        QTest::newRow("a third") << 1.0 / 3.0 << "0.3333333333333333";
        QTest::newRow("large, no exponent") << 1e7 << "10000000.0";
        QTest::newRow("small, no exponent") << 1.5e-5 << "0.000015";
    }
    void number() {
        QFETCH(double, value);
        QFETCH(QString, shown);
        QCOMPARE(Probe::number(value), shown);
        QCOMPARE(Probe::number(value).toDouble(), value);
    }

    void marker_data() {
        QTest::addColumn<QPointF>("point");
        QTest::addColumn<QString>("marker");
        // The line spans x 100..400, y 300..316.
        QTest::newRow("inside") << QPointF(250, 308) << "<-- pointer";
        QTest::newRow("on the widened bottom-right corner") << QPointF(414, 330) << "<-- pointer";
        QTest::newRow("just past the widened right edge") << QPointF(414.5, 308) << "    (row)  ";
        QTest::newRow("on the widened top edge, beside") << QPointF(20, 286) << "    (row)  ";
        QTest::newRow("just above") << QPointF(250, 285.5) << "           ";
    }
    void marker() {
        QFETCH(QPointF, point);
        QFETCH(QString, marker);
        const QString found = Probe::marker(text("a", 100, 400, 300, 316), point);
        QCOMPARE(found, marker);
        QCOMPARE(found.size(), 11);
    }

    void row_data() {
        QTest::addColumn<RecognizedString>("line");
        QTest::addColumn<QString>("shown");
        QTest::newRow("under the pointer") << text("see shots/a.png", 100, 400.4, 300, 316.6)
                                           << "  x    100..400    y   300..317   <-- pointer see shots/a.png";
        QTest::newRow("wide numbers keep their width")
            << text("ü", -12345.5, 1234567, 99999, 123456)
            << "  x -12346..1234567 y 99999..123456 " + QString(11, ' ') + " ü";
    }
    void row() {
        QFETCH(RecognizedString, line);
        QFETCH(QString, shown);
        QCOMPARE(Probe::row(line, QPointF(250, 308)), shown);
    }

    void listedTopFirst() {
        const QList<RecognizedString> read{text("c", 0, 10, 340, 350), text("a1", 0, 10, 300, 310),
                                           text("b", 0, 10, 320, 330), text("a2", 50, 60, 300, 312),
                                           text("nan", 0, 10, std::numeric_limits<double>::quiet_NaN(), 1)};
        QStringList order;
        for (const RecognizedString& s : Probe::topFirst(read))
            order.append(s.text);
        QCOMPARE(order, (QStringList{"a1", "a2", "b", "c", "nan"}));
    }

    void endings_data() {
        QTest::addColumn<QString>("screen"); // "unreadable", "failing" or "working"
        QTest::addColumn<QList<RecognizedString>>("read");
        QTest::addColumn<QString>("found"); // "" nothing, "exists", "deleted", else a web URL
        QTest::addColumn<int>("status");
        QTest::addColumn<QStringList>("tail"); // the last lines, "N" standing for any whole number
        const QList<RecognizedString> some{text("see shots/a.png", 700, 1100, 336, 352),
                                           text("header", 40, 200, 320, 332)};
        QTest::newRow("unreadable screen")
            << "unreadable" << some << "" << 1
            << QStringList{"screen can be read: false",
                           "-> blocked: the screen cannot be read here; run inside an X11 session"};
        QTest::newRow("capture failed")
            << "failing" << some << "" << 1
            << QStringList{"requested strip: (0.0, 306.0, 2400.0, 76.0)", "-> capture failed"};
        const QStringList noText{"captured strip:  (0.0, 306.0, 1920.0, 76.0)",
                                 "captured image:  1920x76 px in N ms",
                                 "recognised no text in the whole strip", ""};
        QTest::newRow("no text") << "working" << QList<RecognizedString>{} << "" << 0
                                 << noText + QStringList{"no image reference under the pointer (N ms)"};
        // The agent reads the window under the pointer alone, which can find what the whole strip hid.
        QTest::newRow("no text in the whole strip, a file under the pointer")
            << "working" << QList<RecognizedString>{} << "exists" << 0
            << noText + QStringList{"MATCH in N ms: <file>  exists=yes"};
        const QStringList listed{"recognised 2 line(s) in N ms (whole strip):",
                                 "  x     40..200    y   320..332       (row)   header",
                                 "  x    700..1100   y   336..352   <-- pointer see shots/a.png", ""};
        QTest::newRow("nothing resolved")
            << "working" << some << "" << 0
            << listed + QStringList{"no image reference under the pointer (N ms)"};
        QTest::newRow("a file that exists") << "working" << some << "exists" << 0
                                            << listed + QStringList{"MATCH in N ms: <file>  exists=yes"};
        QTest::newRow("a deleted file") << "working" << some << "deleted" << 0
                                        << listed + QStringList{"MATCH in N ms: <file>  exists=no"};
        QTest::newRow("a web image") << "working" << some << "https://example.com/a.png" << 0
                                     << listed + QStringList{
                                                     "MATCH in N ms: https://example.com/a.png  exists=no"};
    }
    void endings() {
        QFETCH(QString, screen);
        QFETCH(QList<RecognizedString>, read);
        QFETCH(QString, found);
        QFETCH(int, status);
        QFETCH(QStringList, tail);
        TempTree tree;
        const QString file = tree.file(QStringLiteral("shots/a.png"));
        if (found == "deleted") QVERIFY(QFile::remove(file));
        std::optional<QUrl> url;
        if (found == "exists" || found == "deleted")
            url = QUrl::fromLocalFile(file);
        else if (!found.isEmpty())
            url = QUrl(found);

        auto capture = std::make_shared<FakeCapture>();
        capture->readable = screen != "unreadable";
        capture->fails = screen == "failing";
        const Outcome o = probe(QPointF(812, 344), capture, read, url);
        QCOMPARE(o.status, status);
        QVERIFY2(o.lines.size() >= std::max<qsizetype>(3, tail.size()), qPrintable(o.lines.join('\n')));
        QCOMPARE(o.lines.at(0), QStringLiteral("probe point (global, top-left origin): (812.0, 344.0)"));
        if (capture->readable) {
            QCOMPARE(o.lines.at(1), QStringLiteral("screen can be read: true"));
            QCOMPARE(o.lines.at(2), QStringLiteral("requested strip: (0.0, 306.0, 2400.0, 76.0)"));
        }
        const QStringList last = o.lines.mid(o.lines.size() - tail.size());
        for (qsizetype i = 0; i < tail.size(); ++i) {
            QString pattern = QRegularExpression::escape(QString(tail.at(i)).replace("<file>", file));
            pattern.replace(QStringLiteral("N\\ ms"), QStringLiteral("\\d+\\ ms"));
            QVERIFY2(QRegularExpression("^" + pattern + "$").match(last.at(i)).hasMatch(),
                     qPrintable(last.at(i) + " does not read " + tail.at(i)));
        }
    }

    void readerCountsStallsUntilAnAnswer() {
        auto capture = std::make_shared<FakeCapture>();
        const auto reader = std::make_unique<RecognizingScreenReader>(capture, std::make_shared<NoText>());
        const auto release = qScopeGuard([capture] { capture->hang(false); });
        QCOMPARE(reader->stalls(), 0);
        capture->hang(true);
        QVERIFY(!reader->imageReference(QPointF(1200, 400), {}, false)); // the time limit answers
        QVERIFY(!reader->imageReference(QPointF(1200, 400), {}, false));
        QCOMPARE(reader->stalls(), 2);
        capture->hang(false);
        reader->imageReference(QPointF(1200, 400), {}, false);
        QCOMPARE(reader->stalls(), 0);
    }
};

QTEST_GUILESS_MAIN(TestProbe)
#include "test_probe.moc"
