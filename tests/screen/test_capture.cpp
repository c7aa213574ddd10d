// The strip around the pointer, the capture's time limit and stall count, and
// painting this program's own windows out of what is read.
#include "screen/Capture.h"
#include "screen/OwnWindows.h"

#include <QDir>
#include <QElapsedTimer>
#include <QPainter>
#include <QTest>
#include <QThread>
#include <stdexcept>
#include <thread>

using namespace ScreenTextReader;
using platform::Monitor;

Q_DECLARE_METATYPE(QList<Monitor>)

namespace {

// A capture backend that answers at once, with nothing, by throwing, or, like
// a display that has stopped answering, with nothing when its deadline comes.
class FakeCapture final : public platform::ScreenCapture {
  public:
    bool silent = false;
    bool answers = true;
    bool throws = false;
    QImage image = [] {
        QImage i(400, 76, QImage::Format_RGB32);
        i.fill(Qt::white);
        return i;
    }();

    bool canCapture(platform::Deadline deadline) override {
        if (silent) std::this_thread::sleep_until(deadline);
        return answers && !silent;
    }
    QList<Monitor> monitors(platform::Deadline) override { return {Monitor{QRectF(0, 0, 1920, 1080), 1.0}}; }
    std::optional<platform::Capture> capture(QRectF strip, platform::Deadline deadline) override {
        if (silent) {
            std::this_thread::sleep_until(deadline);
            return std::nullopt;
        }
        if (throws) throw std::runtime_error("display gone");
        if (!answers) return std::nullopt;
        return platform::Capture{image, QRectF(strip.left(), strip.top(), image.width(), image.height())};
    }
};

// Threads of this process now.
qsizetype threadCount() {
    return QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size();
}

const QList<Monitor> kSideBySide{{QRectF(0, 0, 1920, 1080), 1.0}, {QRectF(-1280, 0, 1280, 1024), 1.0}};
const QList<Monitor> kSameHeight{{QRectF(0, 0, 1920, 1080), 1.0}, {QRectF(-1920, 0, 1920, 1080), 1.0}};

int countColour(const QImage& image, const QRect& area, QRgb colour) {
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            n += (image.pixel(x, y) & 0xffffff) == (colour & 0xffffff);
    return n;
}

} // namespace

class CaptureTest : public QObject {
    Q_OBJECT

  private slots:
    void cleanup() { setOwnWindows({}); }

    void stripAroundThePointer_data() {
        QTest::addColumn<QPointF>("pointer");
        QTest::addColumn<QList<Monitor>>("monitors");
        QTest::addColumn<QRectF>("strip");
        QTest::newRow("in the middle of a 3000-point display")
            << QPointF(1500, 500) << QList<Monitor>{{QRectF(0, 0, 3000, 1000), 1.0}}
            << QRectF(300, 462, 2400, 76);
        QTest::newRow("on a narrower display left of the primary: pinned to its left")
            << QPointF(-100, 500) << kSideBySide << QRectF(-1280, 462, 2400, 76);
        QTest::newRow("near the top: the height is not clamped")
            << QPointF(700, 10) << kSideBySide << QRectF(-500, -28, 2400, 76);
        QTest::newRow("no display holds it")
            << QPointF(100, 100) << QList<Monitor>{} << QRectF(-1100, 62, 2400, 76);
        // Text drawn larger: the strip holds as much of it as of ordinary text.
        QTest::newRow("text scale 2 on a 3200-pixel display: wider than it, pinned left")
            << QPointF(1600, 900) << QList<Monitor>{{QRectF(0, 0, 3200, 1800), 1.0, 2.0}}
            << QRectF(0, 824, 4800, 152);
        QTest::newRow("text scale 1.5 on a 5120-pixel display: centred")
            << QPointF(2560, 700) << QList<Monitor>{{QRectF(0, 0, 5120, 1440), 1.0, 1.5}}
            << QRectF(760, 643, 3600, 114);
        // A line runs on across monitors side by side: the strip is centred across them.
        QTest::newRow("near the edge of two monitors of the same height: centred across it")
            << QPointF(100, 500) << kSameHeight << QRectF(-1100, 462, 2400, 76);
        QTest::newRow("near the edge of a shorter monitor, on rows it covers")
            << QPointF(100, 500) << kSideBySide << QRectF(-1100, 462, 2400, 76);
        QTest::newRow("below the shorter monitor's bottom: pinned to the pointer's")
            << QPointF(100, 1060) << kSideBySide << QRectF(0, 1022, 2400, 76);
        QTest::newRow("a gap between monitors: not joined")
            << QPointF(100, 500)
            << QList<Monitor>{{QRectF(0, 0, 1920, 1080), 1.0}, {QRectF(-1300, 0, 1280, 1080), 1.0}}
            << QRectF(0, 462, 2400, 76);
        QTest::newRow("the scale of the monitor under the pointer, not the first")
            << QPointF(-100, 500)
            << QList<Monitor>{{QRectF(0, 0, 1920, 1080), 1.0, 1.0}, {QRectF(-3840, 0, 3840, 2160), 1.0, 2.0}}
            << QRectF(-3840, 424, 4800, 152);
    }
    void stripAroundThePointer() {
        QFETCH(QPointF, pointer);
        QFETCH(QList<Monitor>, monitors);
        QFETCH(QRectF, strip);
        QCOMPARE(ScreenTextReader::strip(pointer, monitors), strip);
    }

    void captureRegion_data() {
        QTest::addColumn<QRectF>("strip");
        QTest::addColumn<QRectF>("region"); // empty: no capture
        QTest::newRow("8 high on the display") << QRectF(0, 1072, 2400, 76) << QRectF(0, 1072, 1920, 8);
        QTest::newRow("7 high on the display") << QRectF(0, 1073, 2400, 76) << QRectF();
        QTest::newRow("centre off every display: 40 wide on the first")
            << QRectF(1880, 462, 2400, 76) << QRectF(1880, 462, 40, 76);
        QTest::newRow("centre off every display: 39 wide on the first")
            << QRectF(1881, 462, 2400, 76) << QRectF();
        QTest::newRow("across the edge to the monitor beside it")
            << QRectF(-1100, 462, 2400, 76) << QRectF(-1100, 462, 2400, 76);
        QTest::newRow("rows below the shorter monitor: the pointer's alone")
            << QRectF(-1100, 1000, 2400, 76) << QRectF(0, 1000, 1300, 76);
    }
    void captureRegion() {
        QFETCH(QRectF, strip);
        QFETCH(QRectF, region);
        const auto got = platform::captureRegion(strip, kSideBySide);
        QCOMPARE(got.has_value(), !region.isEmpty());
        if (got) QCOMPARE(got->first, region);
    }

    void stalls_data() {
        QTest::addColumn<QString>(
            "captures"); // s: silent till the deadline, o: in time, n: nothing in time, t: throws
        QTest::addColumn<QList<qint64>>("counts");
        QTest::newRow("three slow in a row") << "sss" << QList<qint64>{1, 2, 3};
        QTest::newRow("an answer in time resets") << "ssos" << QList<qint64>{1, 2, 0, 1};
        QTest::newRow("an empty answer in time resets") << "sns" << QList<qint64>{1, 0, 1};
        QTest::newRow("a failure is not a stall") << "stt" << QList<qint64>{1, 0, 0};
    }
    void stalls() {
        QFETCH(QString, captures);
        QFETCH(QList<qint64>, counts);
        auto fast = std::make_shared<FakeCapture>();
        QVERIFY(ScreenTextReader::capture(fast, QRectF(0, 0, 400, 76)));
        QCOMPARE(ScreenTextReader::stalls(), 0);
        for (qsizetype i = 0; i < captures.size(); ++i) {
            auto backend = std::make_shared<FakeCapture>();
            const QChar kind = captures.at(i);
            backend->silent = kind == 's';
            backend->answers = kind != 'n';
            backend->throws = kind == 't';
            const auto result =
                ScreenTextReader::capture(backend, QRectF(0, 0, 400, 76), std::chrono::milliseconds(50));
            QCOMPARE(result.has_value(), kind == 'o');
            QCOMPARE(ScreenTextReader::stalls(), counts.at(i));
        }
    }

    // A display that never answers holds the reading for one deadline, on the
    // reading's own thread: nothing is left running once it has given up.
    void aSilentDisplayCostsOneDeadlineAndNoThread() {
        auto backend = std::make_shared<FakeCapture>();
        backend->silent = true;
        const std::chrono::milliseconds limit(100);
        const qsizetype before = threadCount();
        QVERIFY(before > 0);
        for (int i = 1; i <= 3; ++i) {
            QElapsedTimer timer;
            timer.start();
            QVERIFY(!ScreenTextReader::capture(backend, QRectF(0, 0, 400, 76), limit));
            QVERIFY(timer.elapsed() >= limit.count());
            QVERIFY2(timer.elapsed() < 10 * limit.count(), "the capture waited far past its deadline");
            QCOMPARE(ScreenTextReader::stalls(), i);
            QCOMPARE(threadCount(), before);
        }
        QVERIFY(ScreenTextReader::capture(std::make_shared<FakeCapture>(), QRectF(0, 0, 400, 76)));
        QCOMPARE(ScreenTextReader::stalls(), 0);
    }

    void permission() {
        auto backend = std::make_shared<FakeCapture>();
        QVERIFY(ensurePermission(backend));
        backend->answers = false;
        QVERIFY(!ensurePermission(backend));
        QVERIFY(!ensurePermission(nullptr));
        QVERIFY(!ScreenTextReader::capture(nullptr, QRectF(0, 0, 400, 76)));
    }

    void paintOver_data() {
        QTest::addColumn<double>("density");
        QTest::addColumn<bool>("dark");
        QTest::addColumn<QRectF>("card");   // global points; the strip is (100, 200, 400, 76)
        QTest::addColumn<QRect>("covered"); // image pixels that must be background afterwards
        QTest::newRow("inside, light") << 1.0 << false << QRectF(150, 220, 100, 30) << QRect(50, 20, 100, 30);
        QTest::newRow("inside, dark") << 1.0 << true << QRectF(150, 220, 100, 30) << QRect(50, 20, 100, 30);
        QTest::newRow("twice the pixels")
            << 2.0 << false << QRectF(150, 220, 100, 30) << QRect(100, 40, 200, 60);
        QTest::newRow("off the strip: untouched") << 1.0 << false << QRectF(600, 200, 100, 50) << QRect();
    }
    void paintOver() {
        QFETCH(double, density);
        QFETCH(bool, dark);
        QFETCH(QRectF, card);
        QFETCH(QRect, covered);
        const QRectF strip(100, 200, 400, 76);
        const QRgb background = dark ? qRgb(30, 30, 30) : qRgb(255, 255, 255);
        QImage image(int(400 * density), int(76 * density), QImage::Format_RGB32);
        image.fill(background);
        {
            // Ink everywhere along the middle, the card's area included.
            QPainter p(&image);
            p.fillRect(QRect(int(10 * density), int(30 * density), int(380 * density), int(20 * density)),
                       dark ? Qt::white : Qt::black);
        }
        const QImage before = image;
        ScreenTextReader::paintOver(image, strip, {card, QRectF()});
        if (covered.isEmpty()) QCOMPARE(image, before);
        QCOMPARE(countColour(image, covered, background), covered.width() * covered.height());
        // Ink elsewhere stays.
        QCOMPARE(countColour(image, QRect(int(360 * density), int(35 * density), 5, 5), background), 0);
    }

    void capturesPaintOwnWindowsOutWhileTheyLinger() {
        auto backend = std::make_shared<FakeCapture>();
        QPainter(&backend->image).fillRect(QRect(100, 40, 120, 30), Qt::black); // the card, as captured
        const auto blackPixels = [&] {
            const auto c = ScreenTextReader::capture(backend, QRectF(1000, 500, 400, 76));
            return c ? countColour(c->image, c->image.rect(), qRgb(0, 0, 0)) : -1;
        };
        QCOMPARE(blackPixels(), 120 * 30);
        const QRectF card(1100, 540, 120, 30);
        setOwnWindows({card});
        QCOMPARE(blackPixels(), 0);
        setOwnWindows({});
        QCOMPARE(ownWindows(), QList<QRectF>{card}); // the X server may not have repainted yet
        QCOMPARE(blackPixels(), 0);
        QThread::msleep(ulong(kOwnWindowAfterglow * 1000) + 100);
        QVERIFY(ownWindows().isEmpty());
        QCOMPARE(blackPixels(), 120 * 30);
    }
};

QTEST_GUILESS_MAIN(CaptureTest)
#include "test_capture.moc"
