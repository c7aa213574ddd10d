// The self-test's checks of the hover loop's late answers, the card's geometry
// and the windows: settings window and tray indicator.
#include "app/agent/CardGeometry.h"
#include "app/agent/FileImages.h"
#include "app/agent/VistelController.h"
#include "app/cli/Probe.h"
#include "app/selftest/SelfTestChecks.h"
#include "app/ui/AppMenus.h"
#include "app/ui/MenuBarIndicator.h"
#include "app/ui/SettingsPane.h"
#include "app/ui/SettingsWindow.h"
#include "core/HoverModifier.h"
#include "core/Settings.h"
#include "screen/ScreenReader.h"

#include <QAction>
#include <QEventLoop>
#include <QMainWindow>
#include <QObject>
#include <QSystemTrayIcon>
#include <QTimer>
#include <atomic>
#include <cmath>
#include <mutex>

namespace SelfTest {

namespace {

// ---- A controller on a desktop of the self-test's own -------------------------

// What the fake desktop shows; the controller owns the desktop, the check this.
struct DesktopState {
    QPointF pointer;
    quint64 flags = 0;
};

class StillDesktop final : public platform::Desktop {
  public:
    explicit StillDesktop(std::shared_ptr<DesktopState> state) : state_(std::move(state)) {}
    QPointF pointer() override { return state_->pointer; }
    quint64 modifierFlags() override { return state_->flags; }
    std::optional<platform::WindowInfo> windowAt(QPointF) override { return std::nullopt; }
    QList<platform::ScreenArea> screens() override {
        return {{QRectF(0, 0, 1920, 1080), QRectF(0, 0, 1920, 1080), 1.0}};
    }
    bool accessibilityEnabled() override { return false; }
    bool canReadScreen() override { return true; }
    bool watchModifiers(std::function<void(quint64)>) override { return false; }

  private:
    std::shared_ptr<DesktopState> state_;
};

// The screen shows an image path on the row at y = 300: a reading on that row
// finds it, anywhere else nothing. Readings run on the controller's workers.
class OneLineScreen final : public ScreenReader {
  public:
    explicit OneLineScreen(QUrl image) : image_(std::move(image)) {}
    void prime() override {}
    bool ensurePermission() override { return true; }
    std::optional<QUrl> imageReference(QPointF at, const ResolutionContext&, bool) override {
        if (std::abs(at.y() - 300) > 8) return std::nullopt;
        return image_;
    }
    qint64 stalls() override { return 0; }
    void setOwnWindows(const QList<QRectF>&) override {}

  private:
    const QUrl image_;
};

struct Hover {
    std::shared_ptr<DesktopState> desktop = std::make_shared<DesktopState>();
    std::shared_ptr<double> clock = std::make_shared<double>(100.0);
    std::unique_ptr<VistelController> controller;

    explicit Hover(const QUrl& image) {
        VistelController::Parts parts;
        parts.desktop = std::make_unique<StillDesktop>(desktop);
        parts.screen = std::make_shared<OneLineScreen>(image);
        parts.clock = [clock = clock] { return *clock; };
        parts.write = [](const QString&) {};
        parts.verbose = false;
        parts.closeOlderCopies = [] {};
        parts.primeSessions = [] {};
        controller = std::make_unique<VistelController>(std::move(parts));
        desktop->flags = HoverModifiers::eventFlag(Settings::modifier());
    }

    // Ticks at `from`, moves the pointer to `to` while the reading is out, and
    // waits until the controller has dealt with its answer.
    bool readingAnsweredAt(QPointF from, QPointF to) {
        desktop->pointer = from;
        *clock += 1.0; // past every pacing interval
        QEventLoop loop;
        QObject::connect(controller.get(), &VistelController::recognitionHandled, &loop, &QEventLoop::quit);
        QTimer::singleShot(5000, &loop, [&loop] { loop.exit(1); });
        controller->tick();
        if (!controller->recognitionInFlight()) return false;
        desktop->pointer = to; // the answer has not been delivered: it waits for the loop
        if (loop.exec() != 0) return false;
        return imageSettled();
    }

    // A local image decodes on a worker: waits until its card is up or refused.
    bool imageSettled() {
        FileImages& files = controller->fileImages();
        if (files.pendingURL().isEmpty()) return true;
        QEventLoop loop;
        QObject::connect(&files, &FileImages::arrived, &loop, [&loop] { loop.quit(); });
        QObject::connect(&files, &FileImages::failedToDecode, &loop, [&loop] { loop.quit(); });
        QTimer::singleShot(5000, &loop, [&loop] { loop.exit(1); });
        return loop.exec() == 0;
    }
};

QString yesNo(bool value) {
    return value ? QStringLiteral("true") : QStringLiteral("false");
}

} // namespace

qint64 staleAnswer(const Context& context) {
    Report report(context.print);
    Fixture fixture(QStringLiteral("vistel-stale-answer"));
    if (!fixture.image(QStringLiteral("card.png"))) {
        report.fail(QStringLiteral("could not build the stale-answer fixture"));
        return report.failures();
    }
    ResolverScope resolver;
    const QUrl image = fixture.file(QStringLiteral("card.png"));
    const QPointF found(400, 300);
    const struct {
        const char* name;
        QPointF later;
        bool applies;
    } cases[] = {
        {"pointer has not moved", {400, 300}, true},      {"drifted along the same line", {560, 304}, true},
        {"moved to the next row", {400, 326}, false},     {"moved to the row above", {400, 274}, false},
        {"jumped across the screen", {1400, 300}, false},
    };
    for (const auto& c : cases) {
        Hover hover(image);
        const QString name = QString::fromUtf8(c.name);
        if (!hover.readingAnsweredAt(found, c.later)) {
            report.fail(name + QStringLiteral(": the reading never answered"));
            continue;
        }
        const bool applied = hover.controller->displayedURL() == image;
        if (applied == c.applies)
            report.pass((c.applies ? QStringLiteral("answer still applies: ")
                                   : QStringLiteral("answer is discarded: ")) +
                        name);
        else
            report.fail(name + QStringLiteral(": expected ") + yesNo(c.applies) + QStringLiteral(", got ") +
                        yesNo(applied));
    }

    // A card up for the row at y = 300, then the pointer moves on.
    const auto travel = [&](QPointF to) -> std::optional<bool> {
        Hover hover(image);
        if (!hover.readingAnsweredAt(found, found) || hover.controller->displayedURL() != image)
            return std::nullopt;
        if (!hover.readingAnsweredAt(to, to)) return std::nullopt;
        return hover.controller->displayedURL() == image;
    };
    const std::optional<bool> along = travel({560, 304});
    report.expect(along == true, QStringLiteral("preview survives travel along its own line"),
                  QStringLiteral("preview along its own line: ") +
                      (along ? yesNo(*along) : QStringLiteral("no card")));
    const std::optional<bool> away = travel({400, 326});
    report.expect(away == false, QStringLiteral("preview dropped on reaching another line"),
                  QStringLiteral("preview on another line: ") +
                      (away ? yesNo(*away) : QStringLiteral("no card")));
    return report.failures();
}

qint64 previewLayout(const Context& context) {
    Report report(context.print);
    const QSizeF card = CardGeometry::cardSize(220);
    // Inside the card, y downwards from its top edge.
    const struct {
        const char* name;
        QRectF found;
        QRectF expected;
    } boxes[] = {
        {"image box", CardGeometry::imageBox(card, true), QRectF(10, 10, 200, 116)},
        {"caption", CardGeometry::captionFrame(card), QRectF(10, 134, 200, 16)},
        {"message", CardGeometry::messageFrame(card), QRectF(14, 14, 192, 132)},
    };
    for (const auto& b : boxes) {
        const QString name = QString::fromUtf8(b.name);
        report.expect(b.found == b.expected,
                      name + QStringLiteral(" at 220x160 is ") + Probe::rectangle(b.found),
                      name + QStringLiteral(" at 220x160 is ") + Probe::rectangle(b.expected) +
                          QStringLiteral(", got ") + Probe::rectangle(b.found));
    }

    for (const double width : {160.0, 220.0, 301.0, 420.0}) {
        const QSizeF size = CardGeometry::cardSize(width);
        const QRectF image = CardGeometry::imageBox(size, true);
        const bool ok = size.width() == width && size.height() == std::round(width * 8 / 11) &&
                        !image.isEmpty() && std::abs(size.height() / size.width() - 8.0 / 11.0) <= 0.01;
        report.expect(
            ok,
            QStringLiteral("%1x%2 leaves a %3x%4 image")
                .arg(size.width())
                .arg(size.height())
                .arg(image.width())
                .arg(image.height()),
            QStringLiteral("%1pt gives size %2x%3").arg(width).arg(size.width()).arg(size.height()));
    }

    const int ceiling = CardGeometry::decodeCeiling(220);
    report.expect(ceiling == 440, QStringLiteral("decode ceiling at 220pt is 440px"),
                  QStringLiteral("decode ceiling at 220pt is %1px").arg(ceiling));

    const QRectF captioned = CardGeometry::imageBox(card, true);
    const QRectF bare = CardGeometry::imageBox(card, false);
    report.expect(bare.height() == captioned.height() + CardGeometry::kCaptionBand &&
                      bare.top() == captioned.top() && bare.width() == captioned.width(),
                  QStringLiteral("a hidden caption returns its 24pt to the image"),
                  QStringLiteral("captionless image box: got ") + Probe::rectangle(bare) +
                      QStringLiteral(", caption version ") + Probe::rectangle(captioned));

    const bool clamped = CardGeometry::cardSize(100).width() == 160 &&
                         CardGeometry::cardSize(1000).width() == 420 &&
                         CardGeometry::cardSize(-5).width() == 160;
    report.expect(clamped, QStringLiteral("widths outside the slider's range are clamped"),
                  QStringLiteral("widths outside the slider's range: 100 gives %1, 1000 gives %2")
                      .arg(CardGeometry::cardSize(100).width())
                      .arg(CardGeometry::cardSize(1000).width()));
    return report.failures();
}

qint64 settingsPane(const Context& context) {
    Report report(context.print);
    // A window of the self-test's own, never shown: the user's desktop stays as it was.
    SettingsWindowController settings;
    SettingsPane* pane = settings.pane();
    const QSize paneSize = pane ? pane->sizeHint() : QSize();
    report.expect(
        pane && !paneSize.isEmpty(),
        QStringLiteral("the settings pane builds at %1x%2").arg(paneSize.width()).arg(paneSize.height()),
        QStringLiteral("the settings pane builds at %1x%2").arg(paneSize.width()).arg(paneSize.height()));
    QMainWindow* window = settings.window();
    report.expect(window && pane && window->centralWidget() == pane,
                  QStringLiteral("the window holds the settings pane directly"),
                  QStringLiteral("the window does not hold the settings pane directly"));
    const QRectF frame = window ? QRectF(window->geometry()) : QRectF();
    report.expect(window && !frame.isEmpty() && frame.width() >= paneSize.width(),
                  QStringLiteral("the window has a frame: ") + Probe::rectangle(frame),
                  QStringLiteral("the window has no frame: ") + Probe::rectangle(frame));
    return report.failures();
}

qint64 menuBarIndicator(const Context& context) {
    Report report(context.print);
    // The self-test's settings store is fresh: this is the default.
    report.expect(Settings::showMenuBarIndicator(), QStringLiteral("the tray icon is on by default"),
                  QStringLiteral("the tray icon is off by default"));

    QObject owner;
    const auto hasQuit = [](const QList<QAction*>& items) {
        return std::any_of(items.cbegin(), items.cend(),
                           [](const QAction* a) { return a->text().startsWith(QStringLiteral("Quit")); });
    };
    const bool statusQuits = hasQuit(AppMenus::menuItems(true, &owner));
    const bool dockQuits = hasQuit(AppMenus::menuItems(false, &owner));
    report.expect(statusQuits && !dockQuits,
                  QStringLiteral("the tray menu carries a Quit and the desktop entry's actions do not"),
                  QStringLiteral("Quit in the tray menu: ") + yesNo(statusQuits) +
                      QStringLiteral(", in the desktop entry's actions: ") + yesNo(dockQuits));

    MenuBarIndicator indicator(false, [](const QString&) {});
    bool repeated = true;
    for (int round = 0; round < 3; ++round) {
        indicator.apply(true);
        indicator.apply(true);
        repeated = repeated && indicator.item() && indicator.item()->isVisible();
        indicator.apply(false);
        repeated = repeated && !indicator.item();
    }
    report.expect(repeated, QStringLiteral("the indicator can be added and removed repeatedly"),
                  QStringLiteral("the indicator could not be added and removed repeatedly"));
    return report.failures();
}

} // namespace SelfTest
