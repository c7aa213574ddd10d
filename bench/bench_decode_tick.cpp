// The hover loop while a huge image decodes: an 8000 x 8000 PNG is found under
// the pointer and the tick keeps running every 0.1 s until its card is up.
// Prints the median and worst tick while the decode runs (target: worst under
// 20 ms) and, for a second decode, the time from the key's release to the card
// being gone (target: under 150 ms).
#include "app/agent/FileImages.h"
#include "app/agent/PreviewPanel.h"
#include "app/agent/VistelController.h"
#include "core/HoverModifier.h"
#include "core/Settings.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>

namespace {

struct State {
    quint64 flags = HoverModifiers::optionFlag;
    QUrl image;
};

class HeldDesktop final : public platform::Desktop {
  public:
    explicit HeldDesktop(const State* state) : state_(state) {}
    QPointF pointer() override { return {640, 400}; }
    quint64 modifierFlags() override { return state_->flags; }
    std::optional<platform::WindowInfo> windowAt(QPointF) override { return std::nullopt; }
    QList<platform::ScreenArea> screens() override {
        return {{QRectF(0, 0, 1920, 1080), QRectF(0, 0, 1920, 1050), 1.0}};
    }
    bool accessibilityEnabled() override { return true; }
    bool canReadScreen() override { return true; }
    bool watchModifiers(std::function<void(quint64)>) override { return false; }

  private:
    const State* state_;
};

class Element final : public AccessibilityElement {
  public:
    std::optional<qint32> processId() const override { return std::nullopt; }
    std::optional<QString> role() const override { return QStringLiteral("text"); }
};

// Accessibility names the huge image under the pointer.
class NamingReader final : public AccessibilityReader {
  public:
    explicit NamingReader(const State* state) : state_(state) {}
    void requestAccess() override {}
    std::shared_ptr<AccessibilityElement> elementAt(QPointF) override { return std::make_shared<Element>(); }
    void wakeAccessibility(const AccessibilityElement&) override {}
    std::optional<WindowContext> windowContext(const AccessibilityElement&) override { return std::nullopt; }
    AccessibilityLookup::Findings findingsAt(const AccessibilityElement&, QPointF) override {
        return {AccessibilityLookup::Finding{AccessibilityLookup::Finding::Kind::Given, state_->image}};
    }

  private:
    const State* state_;
};

double median(QList<double> values) {
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0 : values.at(values.size() / 2);
}

// Runs the 0.1-second tick until done() holds or 30 s pass; the tick durations.
QList<double> tickUntil(VistelController& controller, const std::function<bool()>& done) {
    QList<double> ticks;
    QTimer timer;
    timer.setInterval(100);
    QEventLoop loop;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        QElapsedTimer t;
        t.start();
        controller.tick();
        ticks.append(double(t.nsecsElapsed()) / 1e6);
        if (done()) loop.quit();
    });
    QTimer::singleShot(30000, &loop, &QEventLoop::quit);
    timer.start();
    loop.exec();
    return ticks;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir folder;
    Settings::useStoreFile(folder.filePath(QStringLiteral("settings.conf")));

    const QString path = folder.filePath(QStringLiteral("huge.png"));
    {
        QImage huge(8000, 8000, QImage::Format_RGB32);
        QPainter painter(&huge);
        painter.fillRect(huge.rect(), QLinearGradient(0, 0, 8000, 8000));
        for (int i = 0; i < 8000; i += 97)
            painter.drawLine(i, 0, 8000 - i, 8000);
        painter.end();
        if (!huge.save(path, "PNG", 100)) {
            std::printf("could not write %s\n", qPrintable(path));
            return 1;
        }
    }

    State state;
    state.image = QUrl::fromLocalFile(path);
    VistelController::Parts parts;
    parts.desktop = std::make_unique<HeldDesktop>(&state);
    parts.accessibility = std::make_unique<NamingReader>(&state);
    parts.write = [](const QString&) {};
    parts.verbose = false;
    VistelController controller(std::move(parts));

    QElapsedTimer decode;
    decode.start();
    const QList<double> ticks = tickUntil(controller, [&] { return controller.displayedURL().has_value(); });
    const double shownAfter = double(decode.elapsed());
    if (!controller.displayedURL()) {
        std::printf("the card never appeared\n");
        return 1;
    }
    std::printf("held ticks while an 8000x8000 PNG decodes (card after %.0f ms, %d ticks):\n", shownAfter,
                int(ticks.size()));
    std::printf("  median %.2f ms, worst %.2f ms (target: worst < 20 ms)\n", median(ticks),
                *std::max_element(ticks.begin(), ticks.end()));

    // Again from nothing, and the key goes up 0.3 s into the decode.
    state.flags = 0;
    controller.tick();
    controller.fileImages().clear();
    state.flags = HoverModifiers::optionFlag;
    QElapsedTimer sinceHold;
    sinceHold.start();
    QElapsedTimer sinceRelease;
    bool released = false;
    tickUntil(controller, [&] {
        if (!released && sinceHold.elapsed() >= 300) {
            state.flags = 0;
            released = true;
            sinceRelease.start();
        }
        return released && !controller.displayedURL() && !controller.panel().isVisible() &&
               controller.fileImages().pendingURL().isEmpty();
    });
    std::printf("key released during a decode: everything hidden %.0f ms later (target < 150 ms)\n",
                double(sinceRelease.nsecsElapsed()) / 1e6);
    return 0;
}
