// Screen reading: recognition of one 1000-point tile at scale 1 and 2, the
// capture of one strip, and the reader's own overhead against the bare
// Tesseract call on the same picture. Prints medians of 20 runs with a warmed
// engine (the recogniser keeps OpenMP to one thread, so this is one core).
#include "../tests/screen/RenderedStrip.h"
#include "platform/tesseract/TesseractRecognizer.h"
#include "platform/x11/X11ScreenCapture.h"
#include "screen/Capture.h"
#include "screen/Lines.h"
#include "screen/Prime.h"
#include "screen/ScreenTextReader.h"
#include "screen/Tiles.h"

#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <tesseract/baseapi.h>

namespace {

constexpr int kRuns = 20;

double medianMs(const std::function<void()>& work) {
    QList<double> times;
    for (int i = 0; i < kRuns; ++i) {
        QElapsedTimer t;
        t.start();
        work();
        times.append(double(t.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times.at(kRuns / 2);
}

// Tesseract as it comes: the same settings, the picture handed over as it is.
class BareTesseract {
  public:
    BareTesseract() {
        std::vector<std::string> names{"load_system_dawg", "load_freq_dawg"}, values{"0", "0"};
        ok_ = api_.Init(nullptr, "eng", tesseract::OEM_LSTM_ONLY, nullptr, 0, &names, &values, false) == 0;
        api_.SetVariable("debug_file", "/dev/null");
        api_.SetPageSegMode(tesseract::PSM_SINGLE_BLOCK);
    }
    bool ok() const { return ok_; }
    void read(const QImage& grey) {
        api_.SetImage(grey.constBits(), grey.width(), grey.height(), 1, int(grey.bytesPerLine()));
        api_.SetSourceResolution(300);
        delete[] api_.GetUTF8Text();
        api_.Clear();
    }

  private:
    tesseract::TessBaseAPI api_;
    bool ok_ = false;
};

const QStringList kRows{
    "drwxr-xr-x  4 dev dev 4096 Mar  3 10:12 build", "Saved screenshot to shots/hero-frame@2x.png (1280x800)",
    "$ open ~/Pictures/Screenshots/diagram_v2.jpeg now",
    "  see /home/dev/project/assets/icons/app-icon_512.png", "warning: docs/images/old.gif is unused"};

// Starts Xvfb on a free display when none is set; returns the display name.
QString display(QProcess& server) {
    if (!qEnvironmentVariableIsEmpty("DISPLAY")) return qEnvironmentVariable("DISPLAY");
    for (int n = 140; n < 180; ++n) {
        if (QFile::exists(QStringLiteral("/tmp/.X%1-lock").arg(n))) continue;
        server.start("Xvfb",
                     {QStringLiteral(":%1").arg(n), "-screen", "0", "2560x1440x24", "-nolisten", "tcp"});
        if (!server.waitForStarted(3000)) return {};
        for (int i = 0; i < 100 && server.state() == QProcess::Running; ++i) {
            if (QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(n)))
                return QStringLiteral(":%1").arg(n);
            QThread::msleep(50);
        }
        server.kill();
        server.waitForFinished(2000);
    }
    return {};
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    std::printf("OMP_THREAD_LIMIT=%s, median of %d runs, milliseconds\n",
                qEnvironmentVariableIsSet("OMP_THREAD_LIMIT")
                    ? qPrintable(qEnvironmentVariable("OMP_THREAD_LIMIT"))
                    : "(unset)",
                kRuns);

    const platform::TesseractRecognizer recognizer;
    BareTesseract bare;
    if (!bare.ok() || !platform::TesseractRecognizer::available()) {
        std::printf("no English recognition model: nothing to measure\n");
        return 1;
    }
    ScreenTextReader::prime(recognizer);

    double readingAtScale1 = 0;
    for (double scale : {1.0, 2.0}) {
        StripStyle style;
        style.pixelsPerPoint = scale;
        const QRectF strip(0, 0, 2400, 76);
        const RenderedStrip r = renderStrip(strip, kRows, 306, -6, style);
        const QRectF span(300, 0, 1000, 76);
        // Warm both on this very picture.
        const auto warm = ScreenTextReader::tile(r.image, strip, span);
        const QImage bareImage = warm->image.convertToFormat(QImage::Format_Grayscale8);
        bare.read(bareImage);
        ScreenTextReader::lines(recognizer, *warm);

        int lineCount = 0;
        const double ours = medianMs([&] {
            const auto t = ScreenTextReader::tile(r.image, strip, span);
            lineCount = int(ScreenTextReader::lines(recognizer, *t).size());
        });
        const double baseline = medianMs([&] { bare.read(bareImage); });
        const double tiling = medianMs([&] { ScreenTextReader::tile(r.image, strip, span); });
        std::printf("scale %.0f: tile %dx%d px, %d lines\n", scale, warm->image.width(), warm->image.height(),
                    lineCount);
        std::printf("  bare Tesseract call          %7.1f\n", baseline);
        std::printf("  tile + recognition + lines   %7.1f   (tiling alone %.2f)\n", ours, tiling);
        std::printf("  overhead                     %+6.1f %%  (target under 10 %%)\n",
                    100.0 * (ours - baseline) / baseline);
        if (scale == 1.0) readingAtScale1 = ours;
    }

    QProcess server;
    const QString name = display(server);
    auto x11 = name.isEmpty() ? nullptr : platform::X11ScreenCapture::open(name.toUtf8().constData());
    if (!x11) {
        std::printf("capture: no X display could be opened, not measured\n");
        return 0;
    }
    const bool shm = [&] {
        x11->capture(QRectF(0, 0, 100, 76), std::chrono::steady_clock::now() + ScreenTextReader::kCaptureTimeLimit);
        return x11->usesSharedMemory();
    }();
    std::shared_ptr<platform::ScreenCapture> backend(std::move(x11));
    const QRectF strip = ScreenTextReader::strip(
        QPointF(1200, 400), backend->monitors(std::chrono::steady_clock::now() + ScreenTextReader::kCaptureTimeLimit));
    QSize size;
    const double capturing = medianMs([&] {
        const auto c = ScreenTextReader::capture(backend, strip);
        size = c ? c->image.size() : QSize();
    });
    std::printf("capture of one strip (%dx%d px, display %s, shared memory %s) %7.1f\n", size.width(),
                size.height(), qPrintable(name), shm ? "yes" : "no", capturing);
    std::printf("capture + reading of the pointer's tile at scale 1  %7.1f   (target under 300)\n",
                capturing + readingAtScale1);
    backend.reset();
    if (server.state() == QProcess::Running) {
        server.terminate();
        server.waitForFinished(3000);
    }
    return 0;
}
