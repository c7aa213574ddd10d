// The accessibility part of one held tick against a real accessible
// application: a Qt text view holding 1000 lines of a shell's output, on a
// private X server and session bus. Each tick does what the controller asks of
// the reader: the element under the pointer, the wake-up, the window context
// and the image lookup. Target: median under 15 ms.
#include "PrivateDesktop.h"
#include "core/ImageReference.h"
#include "platform/Desktop.h"
#include "platform/atspi/AtspiAccessibilityReader.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <cstdio>

namespace {

class OneWindowDesktop final : public platform::Desktop {
  public:
    qint32 pid = 0;
    QPointF pointer() override { return {}; }
    quint64 modifierFlags() override { return 0; }
    std::optional<platform::WindowInfo> windowAt(QPointF) override {
        platform::WindowInfo info;
        info.pid = pid;
        info.title = QStringLiteral("build log");
        return info;
    }
    QList<platform::ScreenArea> screens() override { return {}; }
    bool accessibilityEnabled() override { return true; }
    bool canReadScreen() override { return true; }
    bool watchModifiers(std::function<void(quint64)>) override { return false; }
};

struct Figures {
    double median = 0;
    double worst = 0;
    int found = 0;
};

Figures measure(AtspiAccessibilityReader& reader, QPointF at, int ticks, const QList<QUrl>& shells) {
    QList<double> ms;
    int found = 0;
    for (int i = 0; i < ticks; ++i) {
        QCoreApplication::processEvents(); // what the event loop does between two ticks
        QElapsedTimer timer;
        timer.start();
        if (const auto element = reader.elementAt(at)) {
            reader.wakeAccessibility(*element);
            const auto context = reader.windowContext(*element);
            const QUrl base = context ? context->documentDirectory : QUrl();
            if (reader.imageURL(*element, at, {base, shells})) ++found;
        }
        ms.append(double(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    return {ms.at(ms.size() / 2), ms.last(), found};
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QString missing = PrivateDesktop::missingProgram();
    if (!missing.isEmpty()) {
        std::printf("skipped: %s is not installed\n", qPrintable(missing));
        return 0;
    }
    QTemporaryDir folder;
    QDir(folder.path()).mkpath(QStringLiteral("shots"));
    QFile(folder.filePath(QStringLiteral("shots/hero.png"))).open(QIODevice::WriteOnly);
    const QList<QUrl> shells{QUrl::fromLocalFile(folder.path() + QLatin1Char('/'))};

    PrivateDesktop session;
    const QString failure = session.start();
    if (!failure.isEmpty()) {
        std::printf("skipped: %s\n", qPrintable(failure));
        return 0;
    }
    // 1000 lines of scroll-back, the path among the last ones (in view).
    const QString command =
        QStringLiteral("i=0; while [ $i -lt 990 ]; do echo \"compiling unit $i of the "
                       "project: ok\"; i=$((i+1)); done; echo 'wrote shots/hero.png (12 KB)'; "
                       "echo 'plain words only here'");
    TextWindowRun window =
        TextWindowRun::launch(QStringLiteral(VISTEL_TEXT_WINDOW), folder.path(), QStringLiteral("build log"),
                              command, {QStringLiteral("shots/hero.png"), QStringLiteral("words only")});
    if (window.needles.size() != 2) {
        std::printf("skipped: the text window did not come up\n");
        return 0;
    }
    OneWindowDesktop desktop;
    desktop.pid = window.pid();
    AtspiAccessibilityReader reader(desktop);
    reader.requestAccess();
    for (int i = 0; i < 100 && !reader.elementAt(window.needles.first()); ++i) {
        QCoreApplication::processEvents();
        QThread::msleep(100);
    }

    const int ticks = 200;
    std::printf("accessibility part of a held tick, %d ticks, Qt text view with 1000 lines:\n", ticks);
    const Figures found = measure(reader, window.needles.at(0), ticks, shells);
    std::printf("  over a path:       median %6.2f ms, worst %6.2f ms (found %d of %d)\n", found.median,
                found.worst, found.found, ticks);
    const Figures nothing = measure(reader, window.needles.at(1), ticks, shells);
    std::printf("  over plain words:  median %6.2f ms, worst %6.2f ms (found %d of %d)\n", nothing.median,
                nothing.worst, nothing.found, ticks);
    if (found.found != ticks)
        std::printf("  the path was not found on every tick: these figures do not measure a lookup\n");
    else
        std::printf("  target: median under 15 ms: %s\n",
                    found.median < 15 && nothing.median < 15 ? "met" : "MISSED");

    PrivateDesktop::stop(*window.process);
    return 0;
}
