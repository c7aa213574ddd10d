// Captures through a fake of the Shell extension on a private bus: the PNG the
// Shell writes into the memory file becomes the strip's image; a late,
// refused, empty, foreign or undersized answer becomes no capture.
#include "FakeShell.h"
#include "platform/gnome/GnomeScreenCapture.h"

#include <QTest>

using platform::GnomeScreenCapture;
using Answer = FakeShell::Answer;

Q_DECLARE_METATYPE(Answer)

namespace {

constexpr auto kDeadline = std::chrono::milliseconds(300);
constexpr int kLate = 700;

platform::Deadline soon() {
    return std::chrono::steady_clock::now() + kDeadline;
}

// The primary monitor at scale 1 and, to its right, one at scale 2.
const QList<FakeMonitor> kMonitors = {{QRect(0, 0, 1600, 900), QRect(0, 32, 1600, 868), 1.0},
                                      {QRect(1600, 0, 1280, 800), QRect(1600, 0, 1280, 800), 2.0}};

} // namespace

class TestGnomeScreenCapture : public QObject {
    Q_OBJECT

    std::unique_ptr<FakeShellBus> bus_;
    std::unique_ptr<GnomeScreenCapture> capture_;

    FakeShell& shell() { return bus_->shell(); }

  private slots:
    void initTestCase() {
        bus_ = std::make_unique<FakeShellBus>();
        const QString problem = bus_->start();
        if (!problem.isEmpty()) QSKIP(qPrintable(problem));
        capture_ = std::make_unique<GnomeScreenCapture>(bus_->client(QStringLiteral("capture")));
    }
    void init() {
        QTRY_VERIFY(shell().idle());
        shell().clear();
        QVERIFY(bus_->appear());
        shell().set("Monitors", Answer{{QVariant::fromValue(kMonitors)}});
    }
    void cleanupTestCase() {
        capture_.reset();
        bus_.reset();
    }

    void monitors() {
        const QList<platform::Monitor> monitors = capture_->monitors(soon());
        QCOMPARE(monitors, (QList<platform::Monitor>{{QRectF(0, 0, 1600, 900), 1.0},
                                                     {QRectF(1600, 0, 1280, 800), 2.0}}));
        bus_->vanish();
        QVERIFY(capture_->monitors(soon()).isEmpty());
    }

    void capture_data() {
        QTest::addColumn<QRectF>("strip");
        QTest::addColumn<Answer>("answer");
        QTest::addColumn<QRect>("area");   // what the Shell is asked for; empty when not asked
        QTest::addColumn<QRectF>("shows"); // the capture's strip; empty when none
        const QRectF strip(100.4, 200.6, 500, 40);
        const QRect whole(100, 200, 501, 41); // every point the strip touches
        const QByteArray png = FakeShell::png(whole.size());
        QTest::newRow("a strip") << strip << Answer{{}, {}, 0, png} << whole << QRectF(whole);
        QTest::newRow("twice the pixels on a scaled monitor")
            << QRectF(1700, 100, 400, 30) << Answer{{}, {}, 0, FakeShell::png({800, 60})}
            << QRect(1700, 100, 400, 30) << QRectF(1700, 100, 400, 30);
        QTest::newRow("trimmed to the monitor holding its centre")
            << QRectF(1500, 100, 400, 30) << Answer{{}, {}, 0, FakeShell::png({300, 60})}
            << QRect(1600, 100, 300, 30) << QRectF(1600, 100, 300, 30);
        QTest::newRow("fewer pixels than points")
            << strip << Answer{{}, {}, 0, FakeShell::png({250, 20})} << whole << QRectF();
        QTest::newRow("not a PNG") << strip << Answer{{}, {}, 0, QByteArray(4096, 'x')} << whole << QRectF();
        QTest::newRow("nothing written") << strip << Answer{} << whole << QRectF();
        QTest::newRow("refused") << strip << Answer{{}, "org.freedesktop.DBus.Error.AccessDenied", 0, png}
                                 << whole << QRectF();
        QTest::newRow("a reply with arguments")
            << strip << Answer{{640, 480}, {}, 0, png} << whole << QRectF();
        QTest::newRow("late") << strip << Answer{{}, {}, kLate, png} << whole << QRectF();
        QTest::newRow("too narrow to read, not asked")
            << QRectF(10, 10, 30, 20) << Answer{} << QRect() << QRectF();
        QTest::newRow("off every monitor, not asked")
            << QRectF(5000, 5000, 300, 20) << Answer{} << QRect() << QRectF();
    }
    void capture() {
        QFETCH(QRectF, strip);
        QFETCH(Answer, answer);
        QFETCH(QRect, area);
        QFETCH(QRectF, shows);
        shell().set("Capture", answer);
        const auto got = capture_->capture(strip, soon());
        QCOMPARE(shell().asked("Capture"), area.isEmpty() ? 0 : 1);
        if (!area.isEmpty()) {
            const QVariantList args = shell().lastArguments("Capture");
            QCOMPARE(args.size(), 2);
            QCOMPARE(qdbus_cast<QRect>(args.at(0)), area);
        }
        QCOMPARE(bool(got), !shows.isEmpty());
        if (!got) return;
        QCOMPARE(got->strip, shows);
        QVERIFY(!got->image.isNull());
        QCOMPARE(got->image.pixelColor(0, 0), QColor(Qt::red));
    }

    // A deadline already past asks nothing.
    void pastDeadline() {
        shell().set("Capture", Answer{{}, {}, 0, FakeShell::png({600, 60})});
        QVERIFY(!capture_->capture(QRectF(100, 100, 500, 40), std::chrono::steady_clock::now()));
        QCOMPARE(shell().asked("Monitors"), 0);
        QCOMPARE(shell().asked("Capture"), 0);
    }

    void canCapture_data() {
        QTest::addColumn<Answer>("answer");
        QTest::addColumn<bool>("can");
        QTest::newRow("a pixel comes back") << Answer{{}, {}, 0, FakeShell::png({1, 1})} << true;
        QTest::newRow("refused") << Answer{{}, "org.freedesktop.DBus.Error.AccessDenied"} << false;
        QTest::newRow("nothing written") << Answer{} << false;
    }
    void canCapture() {
        QFETCH(Answer, answer);
        QFETCH(bool, can);
        shell().set("Capture", answer);
        QCOMPARE(capture_->canCapture(soon()), can);
    }
};

QTEST_GUILESS_MAIN(TestGnomeScreenCapture)
#include "test_gnome_screen_capture.moc"
