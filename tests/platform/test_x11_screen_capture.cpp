// The X11 capture against a private Xvfb that is stopped (SIGSTOP) mid-use: a
// server that no longer answers must cost each request no more than its
// deadline, and the connection must serve again once the server resumes.
#include "XvfbDisplay.h"
#include "platform/x11/X11ScreenCapture.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTest>
#include <csignal>

using namespace std::chrono;
using platform::Deadline;

class TestX11ScreenCapture : public QObject {
    Q_OBJECT

    QProcess xvfb_;
    QByteArray display_;

    static Deadline in(milliseconds time) { return steady_clock::now() + time; }

  private slots:
    void initTestCase() {
        if (QStandardPaths::findExecutable("Xvfb").isEmpty())
            QSKIP("Xvfb is not installed (scripts/install-deps installs it)");
        display_ = startXvfb(xvfb_);
        QVERIFY2(!display_.isEmpty(), "Xvfb named no display");
    }

    void cleanupTestCase() {
        if (xvfb_.state() == QProcess::NotRunning) return;
        ::kill(pid_t(xvfb_.processId()), SIGCONT);
        xvfb_.terminate();
        xvfb_.waitForFinished();
    }

    void stoppedServerCostsOneDeadline_data() {
        QTest::addColumn<QString>("call");
        QTest::addColumn<bool>("used"); // a capture went through first (its shared segment is attached)
        for (const char* call : {"capture", "monitors", "canCapture"}) {
            QTest::newRow(qPrintable(QStringLiteral("%1 on a fresh connection").arg(call))) << call << false;
            QTest::newRow(qPrintable(QStringLiteral("%1 after a capture").arg(call))) << call << true;
        }
    }
    void stoppedServerCostsOneDeadline() {
        QFETCH(QString, call);
        QFETCH(bool, used);
        const auto x11 = platform::X11ScreenCapture::open(display_.constData());
        QVERIFY(x11);
        const QRectF strip(100, 300, 400, 76);
        bool sharedMemory = false;
        if (used) {
            QVERIFY(x11->capture(strip, in(seconds(5))));
            sharedMemory = x11->usesSharedMemory();
        }

        const pid_t server = pid_t(xvfb_.processId());
        QCOMPARE(::kill(server, SIGSTOP), 0);
        auto resume = qScopeGuard([server] { ::kill(server, SIGCONT); });
        const milliseconds limit(300);
        QElapsedTimer timer;
        timer.start();
        const Deadline deadline = in(limit);
        bool answered = true;
        if (call == "capture") answered = x11->capture(strip, deadline).has_value();
        if (call == "monitors") answered = !x11->monitors(deadline).isEmpty();
        if (call == "canCapture") answered = x11->canCapture(deadline);
        const qint64 waited = timer.elapsed();
        resume.dismiss();
        ::kill(server, SIGCONT);

        QVERIFY(!answered);
        QVERIFY2(waited >= limit.count() - 1, qPrintable(QString::number(waited)));
        QVERIFY2(waited < 5 * limit.count(), qPrintable(QStringLiteral("waited %1 ms").arg(waited)));

        // The late replies are dropped as they come: the next request gets its own.
        const auto again = x11->capture(strip, in(seconds(5)));
        QVERIFY(again);
        QCOMPARE(again->image.size(), QSize(400, 76));
        QCOMPARE(again->strip, strip);
        QCOMPARE(x11->monitors(in(seconds(5))).size(), 1);
        QVERIFY(x11->canCapture(in(seconds(5))));
        // A time-out is not a refusal: shared memory stays in use where it was.
        if (used) QCOMPARE(x11->usesSharedMemory(), sharedMemory);
    }
};

QTEST_GUILESS_MAIN(TestX11ScreenCapture)
#include "test_x11_screen_capture.moc"
