// Capture on a real X server: a virtual display of our own with a terminal
// showing a known path, read back at the pointer; a window standing in for
// the preview card is never read.
#include "platform/tesseract/TesseractRecognizer.h"
#include "platform/x11/X11ScreenCapture.h"
#include "screen/Capture.h"
#include "screen/ScreenTextReader.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>
#include <QThread>
#include <memory>

using namespace ScreenTextReader;

namespace {

const QString kPath = QStringLiteral("/tmp/vistel-e2e/shots/hero-frame@2x.png");
const QString kCaption = QStringLiteral("sunset-card.png");

QList<Line> readAt(const std::shared_ptr<platform::ScreenCapture>& backend, QPointF pointer) {
    const QRectF s = strip(pointer, backend->monitors());
    const auto captured = capture(backend, s);
    if (!captured) return {};
    if (qEnvironmentVariableIsSet("VISTEL_DUMP")) captured->image.save(qEnvironmentVariable("VISTEL_DUMP"));
    const auto t = tile(captured->image, captured->strip,
                        QRectF(captured->strip.left(), captured->strip.top(), 1000, captured->strip.height())
                            .intersected(captured->strip));
    static const platform::TesseractRecognizer recognizer;
    return t ? lines(recognizer, *t) : QList<Line>{};
}

bool anyContains(const QList<Line>& lines, const QString& text) {
    return std::any_of(lines.begin(), lines.end(), [&](const Line& l) { return l.text.contains(text); });
}

QString texts(const QList<Line>& lines) {
    QStringList all;
    for (const Line& l : lines)
        all << l.text;
    return all.join(" | ");
}

} // namespace

class X11CaptureTest : public QObject {
    Q_OBJECT

    QProcess server_;
    QProcess terminal_;
    QProcess card_;
    QString display_;
    std::shared_ptr<platform::X11ScreenCapture> backend_;

    QProcessEnvironment env_ = QProcessEnvironment::systemEnvironment();

    // Starts Xvfb on a display number it picks itself; false when it would not start.
    bool startServer(const QString& xvfb) {
        server_.start(xvfb, {"-displayfd", "1", "-screen", "0", "1280x800x24", "-nolisten", "tcp"});
        while (!server_.canReadLine() && server_.waitForReadyRead(10000)) {
        }
        display_ = ":" + QString::fromUtf8(server_.readLine()).trimmed();
        env_.insert("DISPLAY", display_);
        return display_.size() > 1;
    }

    void startTerminal(QProcess& p, const QString& geometry, const QString& title, const QString& text) {
        p.setProcessEnvironment(env_);
        p.start("xterm", {"-geometry", geometry, "-T", title, "-fa", "DejaVu Sans Mono", "-fs", "13", "-bg",
                          "white", "-fg", "black", "+sb", "-e", "sh", "-c",
                          QStringLiteral("printf '%s' '%1'; sleep 120").arg(text)});
    }

    // The window's frame by its title, in global points (the primary monitor is the whole screen here).
    QRectF frameOf(const QString& title) {
        QProcess xdotool;
        xdotool.setProcessEnvironment(env_);
        xdotool.start("xdotool", {"search", "--sync", "--name", title, "getwindowgeometry"});
        if (!xdotool.waitForFinished(10000)) return {};
        const QString out = QString::fromUtf8(xdotool.readAllStandardOutput());
        const auto position = QRegularExpression("Position: (-?\\d+),(-?\\d+)").match(out);
        const auto size = QRegularExpression("Geometry: (\\d+)x(\\d+)").match(out);
        if (!position.hasMatch() || !size.hasMatch()) return {};
        return QRectF(position.captured(1).toDouble(), position.captured(2).toDouble(),
                      size.captured(1).toDouble(), size.captured(2).toDouble());
    }

  private slots:
    void initTestCase() {
        const QString xvfb = QStandardPaths::findExecutable("Xvfb");
        if (xvfb.isEmpty()) QSKIP("Xvfb is not installed: no display to capture from");
        QVERIFY2(!QStandardPaths::findExecutable("xterm").isEmpty(),
                 "xterm is missing (scripts/install-deps)");
        QVERIFY2(!QStandardPaths::findExecutable("xdotool").isEmpty(),
                 "xdotool is missing (scripts/install-deps)");
        QVERIFY2(startServer(xvfb), "no Xvfb display could be started");
        // The card goes on top of the terminal, as the preview does: started once the terminal shows.
        startTerminal(terminal_, "100x3+0+0", "vistel-terminal", "Saved " + kPath);
        QVERIFY(terminal_.waitForStarted(5000));
        QVERIFY2(frameOf("vistel-terminal").isValid(), "the terminal has no window");
        startTerminal(card_, "24x2+700+4", "vistel-card", kCaption);
        QVERIFY(card_.waitForStarted(5000));
        backend_ = platform::X11ScreenCapture::open(display_.toUtf8().constData());
        QVERIFY(backend_);
    }

    void cleanupTestCase() {
        setOwnWindows({});
        backend_.reset();
        for (QProcess* p : {&card_, &terminal_, &server_}) {
            if (p->state() == QProcess::NotRunning) continue;
            p->terminate();
            if (!p->waitForFinished(3000)) {
                p->kill();
                p->waitForFinished(3000);
            }
        }
    }

    void capturesTheDisplay() {
        QVERIFY(backend_->canCapture());
        QCOMPARE(backend_->monitors(), (QList<platform::Monitor>{{QRectF(0, 0, 1280, 800), 1.0}}));
        // 10 from the top: the strip reaches above the display and is trimmed to it.
        const auto captured = capture(backend_, strip(QPointF(200, 10), backend_->monitors()));
        QVERIFY(captured);
        QCOMPARE(captured->strip, QRectF(0, 0, 1280, 48));
        QCOMPARE(captured->image.size(), QSize(1280, 48));
        QVERIFY(!capture(backend_, QRectF(5000, 5000, 2400, 76))); // off every display
        qInfo("shared memory: %s", backend_->usesSharedMemory() ? "yes" : "no");
    }

    void terminalTextIsReadAtThePointer() {
        // The terminal needs a moment to map and draw; its first row holds the path.
        QList<Line> lines;
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < 15000) {
            lines = readAt(backend_, QPointF(200, 8));
            if (anyContains(lines, kPath) && anyContains(lines, kCaption)) break;
            QThread::msleep(300);
        }
        QVERIFY2(anyContains(lines, kPath), qPrintable("read: " + texts(lines)));
        // The stand-in card is readable like any window until the reader knows it is ours.
        QVERIFY2(anyContains(lines, kCaption), qPrintable("read: " + texts(lines)));
        // The path sits on the first row, after "Saved ", one cell per character.
        const auto line =
            std::find_if(lines.begin(), lines.end(), [](const Line& l) { return l.text.contains(kPath); });
        const qsizetype at = line->searchable.indexOf(kPath);
        const auto extent = line->span(at, at + kPath.size());
        QVERIFY(extent);
        const double cell = (extent->second - extent->first) / double(kPath.size());
        QVERIFY2(cell > 6 && cell < 16, qPrintable(QString::number(cell)));
        QVERIFY2(qAbs(extent->first - line->minX - 6 * cell) <= 4,
                 qPrintable(QString::number(extent->first)));
        QVERIFY2(line->minX >= 0 && line->minX < 10, qPrintable(QString::number(line->minX)));
        QVERIFY2(line->minY >= 0 && line->minY < 10, qPrintable(QString::number(line->minY)));
    }

    void theCardIsNeverRead() {
        // xterm draws a one-pixel X border outside the geometry reported for it;
        // the real card is frameless and reports its whole frame.
        const QRectF card = frameOf("vistel-card").adjusted(-2, -2, 2, 2);
        QVERIFY2(card.isValid(), "the stand-in card has no window");
        setOwnWindows({card});
        const QList<Line> lines = readAt(backend_, QPointF(200, 8));
        QVERIFY2(anyContains(lines, kPath), qPrintable("read: " + texts(lines)));
        QVERIFY2(!anyContains(lines, "sunset"), qPrintable("read: " + texts(lines)));
        for (const Line& l : lines)
            QVERIFY2(l.maxX <= card.left() || l.minX >= card.right(), qPrintable(l.text));
    }
};

QTEST_MAIN(X11CaptureTest)
#include "test_x11_capture.moc"
