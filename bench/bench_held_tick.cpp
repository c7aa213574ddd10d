// The cost of one held tick on the main thread when nothing is under the
// pointer, and of one idle tick (key up). Target: well under 1 ms.
#include "app/agent/VistelController.h"
#include "core/HoverModifier.h"
#include "core/Settings.h"
#include "platform/proc/ProcProcessSource.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <cstdio>
#include <unistd.h>

namespace {

// The pointer over a window of the given process, the key held or not.
class StillDesktop final : public platform::Desktop {
  public:
    StillDesktop(qint32 pid, const quint64* flags) : pid_(pid), flags_(flags) {}
    QPointF pointer() override { return {640, 400}; }
    quint64 modifierFlags() override { return *flags_; }
    std::optional<platform::WindowInfo> windowAt(QPointF) override {
        if (pid_ <= 0) return std::nullopt;
        return platform::WindowInfo{pid_, QStringLiteral("bash — ~/project"), QStringLiteral("XTerm"),
                                    QStringLiteral("xterm"), QRectF(0, 0, 1280, 800)};
    }
    QList<platform::ScreenArea> screens() override {
        return {{QRectF(0, 0, 1920, 1080), QRectF(0, 0, 1920, 1050), 1.0}};
    }
    bool accessibilityEnabled() override { return false; }
    bool canReadScreen() override { return true; }
    bool watchModifiers(std::function<void(quint64)>) override { return false; }

  private:
    qint32 pid_;
    const quint64* flags_;
};

double microsecondsPerTick(VistelController& controller, int ticks) {
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < ticks; ++i) {
        controller.tick();
        if (i % 64 == 0) QCoreApplication::processEvents(); // let finished readings report back
    }
    return double(timer.nsecsElapsed()) / 1000.0 / ticks;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir store;
    Settings::useStoreFile(store.filePath(QStringLiteral("settings.conf")));

    const int ticks = 20000;
    quint64 flags = HoverModifiers::optionFlag;
    std::printf("held tick, nothing found (%d ticks each):\n", ticks);
    for (const qint32 pid : {qint32(0), qint32(::getppid())}) {
        VistelController::Parts parts;
        parts.desktop = std::make_unique<StillDesktop>(pid, &flags);
        parts.processes = std::make_unique<ProcProcessSource>();
        parts.verbose = false;
        VistelController controller(std::move(parts));
        controller.tick(); // the first one starts a reading and fills the caches
        const double us = microsecondsPerTick(controller, ticks);
        std::printf("  %-46s %8.2f us\n",
                    pid > 0 ? "over a terminal window (roots from /proc):" : "over no window:", us);
    }

    flags = 0;
    VistelController::Parts parts;
    parts.desktop = std::make_unique<StillDesktop>(0, &flags);
    parts.verbose = false;
    VistelController idle(std::move(parts));
    std::printf("  %-46s %8.2f us\n", "idle tick (key up):", microsecondsPerTick(idle, ticks));
    return 0;
}
