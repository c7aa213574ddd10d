// The hover loop's state machine, driven tick by tick with fake desktop, clock and readers.
#include "ControllerFakes.h"
#include "HttpTestServer.h"
#include "ImageFixtures.h"
#include "TempTree.h"
#include "app/PreviewPanel.h"
#include "app/VistelController.h"
#include "core/Diagnostics.h"
#include "core/HoverModifier.h"
#include "core/Settings.h"

#include <QGuiApplication>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>

Q_DECLARE_METATYPE(HoverModifier)
Q_DECLARE_METATYPE(Settings::Change)

namespace {

// One controller with its fakes; the readings still waiting are let go at the end.
struct Rig {
    std::shared_ptr<DesktopState> desktop = std::make_shared<DesktopState>();
    std::shared_ptr<AccessibilityState> ax = std::make_shared<AccessibilityState>();
    std::shared_ptr<FakeScreen> screen = std::make_shared<FakeScreen>();
    std::shared_ptr<ProcessesState> processes = std::make_shared<ProcessesState>();
    std::shared_ptr<double> clock = std::make_shared<double>(1000.0);
    std::shared_ptr<QString> output = std::make_shared<QString>();
    std::shared_ptr<QStringList> launchSteps = std::make_shared<QStringList>();
    std::unique_ptr<VistelController> controller;

    explicit Rig(bool verbose = true) {
        desktop->screens = {{QRectF(0, 0, 1920, 1080), QRectF(0, 0, 1920, 1050), 1.0},
                            {QRectF(1920, 0, 1280, 1024), QRectF(1920, 0, 1280, 1024), 1.0}};
        VistelController::Parts parts;
        parts.desktop = std::make_unique<FakeDesktop>(desktop);
        parts.accessibility = std::make_unique<FakeAccessibility>(ax);
        parts.screen = screen;
        parts.processes = std::make_unique<FakeProcesses>(processes);
        parts.clock = [clock = clock] { return *clock; };
        parts.write = [output = output](const QString& text) { output->append(text); };
        parts.verbose = verbose;
        parts.closeOlderCopies = [steps = launchSteps] {
            steps->append(QStringLiteral("close older copies"));
        };
        parts.primeSessions = [steps = launchSteps] { steps->append(QStringLiteral("prime sessions")); };
        controller = std::make_unique<VistelController>(std::move(parts));
    }
    ~Rig() {
        screen->close();
        controller.reset();
    }

    VistelController& c() { return *controller; }
    void hold(QPointF p, quint64 flags = HoverModifiers::optionFlag) {
        desktop->pointer = p;
        desktop->flags = flags;
    }
    void release() { desktop->flags = 0; }
    void releaseAndTick() {
        release();
        controller->tick();
    }
    // Accessibility names url, in the application with that pid.
    void point(const QUrl& url, qint32 pid) {
        ax->element = std::make_shared<FakeElement>(pid, QStringLiteral("text"));
        ax->url = url;
    }
    void advance(double seconds) { *clock += seconds; }
    QStringList lines() const { return output->split(QLatin1Char('\n'), Qt::SkipEmptyParts); }
    int readings() { return int(screen->readings().size()); }
    bool cardDown() const { return !controller->displayedURL() && !controller->panel().isVisible(); }

    // Answers the reading at p (an empty url: nothing found) and waits until
    // the controller has dealt with it.
    bool answer(QPointF p, const QUrl& url) {
        QSignalSpy handled(controller.get(), &VistelController::recognitionHandled);
        screen->answer(p, url.isEmpty() ? std::nullopt : std::optional<QUrl>(url));
        return handled.wait(5000);
    }
    // Ticks at p and waits for the reading that tick starts.
    bool tickStartingReading(QPointF p) {
        const int before = readings();
        desktop->pointer = p;
        controller->tick();
        return QTest::qWaitFor([&] { return readings() == before + 1; }, 5000);
    }
    // Accessibility finds url at p, in the application with that pid.
    void showThroughAccessibility(QPointF p, const QUrl& url, qint32 pid = 7000) {
        point(url, pid);
        hold(p);
        controller->tick();
    }
    // Shows url on the card through a screen reading at p.
    bool showThroughScreen(QPointF p, const QUrl& url) {
        hold(p);
        return tickStartingReading(p) && answer(p, url) && controller->displayedURL() == url;
    }
};

} // namespace

class TestVistelController : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase() {
        Diagnostics::setArguments({QStringLiteral("test_vistel_controller"), QStringLiteral("--ignore"),
                                   QStringLiteral("org.example.Ignored")});
        Settings::useStoreFile(files_.path(QStringLiteral("settings.conf")));
        for (const auto& [name, w, h, colour] : {std::tuple{"red.png", 400, 300, Qt::red},
                                                 {"blue.png", 300, 400, Qt::blue},
                                                 {"web.png", 40, 30, Qt::green}})
            QVERIFY(
                ImageFixtures::save(ImageFixtures::filled(w, h, colour), files_.path(QLatin1String(name))));
        red_ = files_.url(QStringLiteral("red.png"));
        blue_ = files_.url(QStringLiteral("blue.png"));
        QFile web(files_.path(QStringLiteral("web.png")));
        QVERIFY(web.open(QIODevice::ReadOnly));
        webPNG_ = web.readAll();
    }
    void init() {
        Settings::setModifier(HoverModifier::Option);
        Settings::setPreviewWidth(220);
        Settings::setShowCaption(true);
        Settings::setLoadRemoteImages(true);
    }

    // The hold key as the settings name it; other modifiers do not count.
    void heldTest_data() {
        QTest::addColumn<HoverModifier>("modifier");
        QTest::addColumn<quint64>("flags");
        QTest::addColumn<bool>("held");
        QTest::newRow("option") << HoverModifier::Option << HoverModifiers::optionFlag << true;
        QTest::newRow("command instead of option")
            << HoverModifier::Option << HoverModifiers::commandFlag << false;
        QTest::newRow("control with option")
            << HoverModifier::Control << (HoverModifiers::controlFlag | HoverModifiers::optionFlag) << true;
    }
    void heldTest() {
        QFETCH(HoverModifier, modifier);
        QFETCH(quint64, flags);
        QFETCH(bool, held);
        Settings::setModifier(modifier);
        Rig rig;
        rig.hold({500, 300}, flags);
        rig.c().tick();
        QCOMPARE(rig.c().holding(), held);
        QCOMPARE(rig.readings() > 0 || rig.c().recognitionInFlight(), held);
    }

    // Found again nearby: neither decoded again nor moved; gone within one tick of the release.
    void sameURLStaysUntilRelease() {
        Rig rig;
        rig.showThroughAccessibility({500, 300}, red_, 7001);
        QVERIFY(rig.c().previewing());
        const QRect frame = rig.c().panel().geometry();
        const qint64 generation = rig.c().displayGeneration();
        rig.hold({530, 305});
        rig.c().tick();
        QCOMPARE(rig.c().displayedURL(), red_);
        QCOMPARE(rig.c().displayGeneration(), generation);
        QCOMPARE(rig.c().panel().geometry(), frame);
        QCOMPARE(rig.c().previewPoint(), QPointF(530, 305));

        rig.releaseAndTick();
        QVERIFY(rig.cardDown());
        QVERIFY(!rig.c().previewing());
        QCOMPARE(rig.c().displayGeneration(), generation + 1);
        rig.c().tick();
        QCOMPARE(rig.c().displayGeneration(), generation + 1);
    }

    // A screen card stays while its own line is read further on, and goes
    // before the next reading once the pointer leaves the line.
    void movingOnFromAScreenCard_data() {
        QTest::addColumn<QPointF>("movedBy");
        QTest::addColumn<QUrl>("found"); // empty: nothing
        QTest::addColumn<bool>("staysWhileRead");
        const QUrl nothing;
        QTest::newRow("along the line, another image") << QPointF(300, 0) << blue_ << true;
        QTest::newRow("along the line, nothing") << QPointF(300, 0) << nothing << true;
        QTest::newRow("20 points up") << QPointF(0, -20) << blue_ << true;
        QTest::newRow("20 points down") << QPointF(0, 20) << nothing << true;
        QTest::newRow("21 points down") << QPointF(0, 21) << blue_ << false;
    }
    void movingOnFromAScreenCard() {
        QFETCH(QPointF, movedBy);
        QFETCH(QUrl, found);
        QFETCH(bool, staysWhileRead);
        Rig rig;
        QVERIFY(rig.showThroughScreen({500, 300}, red_));
        bool readingWhenHidden = false;
        connect(&rig.c(), &VistelController::previewingChanged, this, [&](bool on) {
            if (!on) readingWhenHidden = rig.c().recognitionInFlight();
        });

        rig.advance(0.3);
        const QPointF next = QPointF(500, 300) + movedBy;
        QVERIFY(rig.tickStartingReading(next));
        QCOMPARE(rig.c().displayedURL().has_value(), staysWhileRead);
        QCOMPARE(rig.c().panel().isVisible(), staysWhileRead);
        QVERIFY(!readingWhenHidden); // hidden, if at all, before the reading started

        QVERIFY(rig.answer(next, found));
        if (found.isEmpty()) {
            QVERIFY(rig.cardDown());
        } else {
            QCOMPARE(rig.c().displayedURL(), found);
            QVERIFY(rig.c().panel().isVisible());
        }
    }

    void lateAnswers_data() {
        QTest::addColumn<QPointF>("movedBy");
        QTest::addColumn<bool>("released");
        QTest::addColumn<bool>("shown");
        QTest::newRow("401 points right") << QPointF(401, 0) << false << false;
        QTest::newRow("400 points left") << QPointF(-400, 0) << false << true;
        QTest::newRow("21 points down") << QPointF(0, 21) << false << false;
        QTest::newRow("20 points up") << QPointF(0, -20) << false << true;
        QTest::newRow("key released") << QPointF(0, 0) << true << false;
    }
    void lateAnswers() {
        QFETCH(QPointF, movedBy);
        QFETCH(bool, released);
        QFETCH(bool, shown);
        Rig rig;
        const QPointF p(1000, 300);
        rig.hold(p);
        QVERIFY(rig.tickStartingReading(p));
        rig.desktop->pointer = p + movedBy;
        if (released) rig.release();
        QVERIFY(rig.answer(p, red_));
        QCOMPARE(rig.c().displayedURL().has_value(), shown);
        QCOMPARE(rig.c().panel().isVisible(), shown);
        QVERIFY(!rig.c().recognitionInFlight());
        const bool moved = !shown && !released;
        QCOMPARE(rig.lines().contains(QStringLiteral("  [ocr] discarded: pointer moved on")), moved);
    }

    void nothingFoundAfterAnotherCardAppeared() {
        Rig rig;
        const QPointF p(500, 300);
        rig.hold(p);
        QVERIFY(rig.tickStartingReading(p));

        rig.point(blue_, 7003); // meanwhile accessibility finds an image
        rig.c().tick();
        QCOMPARE(rig.c().displayedURL(), blue_);

        QVERIFY(rig.answer(p, QUrl()));
        QCOMPARE(rig.c().displayedURL(), blue_);
        QVERIFY(rig.c().panel().isVisible());
        QVERIFY(rig.lines().contains(
            QStringLiteral("  [ocr] found nothing, but the panel has changed since; leaving it alone")));
    }

    void pacing_data() {
        QTest::addColumn<QUrl>("found");     // by the first reading; empty: nothing
        QTest::addColumn<QPointF>("next");   // where the pointer goes then
        QTest::addColumn<double>("tooSoon"); // seconds after the first start: no reading yet
        QTest::addColumn<double>("soonest"); // seconds after the first start: a reading; < 0: none
        const QUrl nothing;
        QTest::newRow("unmoved: 0.4 s apart") << nothing << QPointF(500, 300) << 0.39 << 0.401;
        QTest::newRow("within 6 points: 0.4 s apart") << nothing << QPointF(505, 295) << 0.39 << 0.401;
        QTest::newRow("moved 6 points: 0.25 s apart") << nothing << QPointF(506, 300) << 0.24 << 0.251;
        QTest::newRow("within 6 points of a card: never") << red_ << QPointF(503, 302) << 3.0 << -1.0;
    }
    void pacing() {
        QFETCH(QUrl, found);
        QFETCH(QPointF, next);
        QFETCH(double, tooSoon);
        QFETCH(double, soonest);
        Rig rig;
        rig.hold({500, 300});
        QVERIFY(rig.tickStartingReading({500, 300}));
        QVERIFY(rig.answer({500, 300}, found));

        rig.advance(tooSoon);
        rig.desktop->pointer = next;
        rig.c().tick();
        QVERIFY(!rig.c().recognitionInFlight());
        if (soonest < 0) {
            QCOMPARE(rig.c().displayedURL(), found);
            return;
        }
        rig.advance(soonest - tooSoon);
        QVERIFY(rig.tickStartingReading(next));
        QCOMPARE(rig.screen->readings().last(), next);
    }

    void oneReadingAtATimeUntilItStalls() {
        Rig rig;
        const QPointF first(500, 300);
        rig.hold(first);
        QVERIFY(rig.tickStartingReading(first));
        for (int i = 1; i <= 10; ++i) { // 5.0 s in all: not yet given up
            rig.advance(0.5);
            rig.desktop->pointer = QPointF(500 + 50 * i, 300);
            rig.c().tick();
        }
        QTest::qWait(30);
        QCOMPARE(rig.readings(), 1);

        const QPointF second(520, 300);
        rig.advance(0.01);
        QVERIFY(rig.tickStartingReading(second));
        QVERIFY(rig.lines().contains(QStringLiteral("  [ocr] abandoning a recognition that never returned")));
        // The abandoned reading answers at last: nobody listens.
        QVERIFY(rig.answer(first, red_));
        QVERIFY(!rig.c().displayedURL());
        QVERIFY(rig.c().recognitionInFlight());
        QVERIFY(rig.answer(second, blue_));
        QCOMPARE(rig.c().displayedURL(), blue_);
    }

    void stalledReaderNotice_data() {
        QTest::addColumn<qint64>("stalls");
        QTest::addColumn<bool>("notice");
        QTest::newRow("two stalls") << qint64(2) << false;
        QTest::newRow("three stalls") << qint64(3) << true;
    }
    void stalledReaderNotice() {
        QFETCH(qint64, stalls);
        QFETCH(bool, notice);
        Rig rig;
        QVERIFY(rig.showThroughScreen({500, 300}, red_));
        rig.screen->stalls_ = stalls;
        rig.advance(0.3);
        QVERIFY(rig.tickStartingReading({700, 300}));
        QVERIFY(rig.answer({700, 300}, QUrl()));
        QVERIFY(!rig.c().displayedURL());
        QCOMPARE(rig.c().panel().isVisible(), notice);
        QCOMPARE(rig.c().panel().showsMessage(), notice);
        if (notice) {
            QVERIFY(!rig.c().previewPoint());
            QVERIFY(!rig.c().previewing());
            QVERIFY(rig.c().panel().labelText().simplified().startsWith(
                QStringLiteral("Screen reading has stopped responding. Quit and reopen")));
            // Taken down with the key.
            rig.releaseAndTick();
            QVERIFY(!rig.c().panel().isVisible());
        }
    }

    void unreadableScreen() {
        Rig rig;
        rig.desktop->canRead = false;
        rig.hold({500, 300});
        rig.c().tick();
        QVERIFY(rig.c().panel().isVisible());
        QVERIFY(rig.c().panel().showsMessage());
        QCOMPARE(rig.c().panel().labelText().section(QLatin1Char('\n'), 0, 0),
                 QStringLiteral("Screen Recording is off."));
        const QRect first = rig.c().panel().geometry();
        rig.desktop->pointer = QPointF(900, 500);
        rig.c().tick();
        QVERIFY(rig.c().panel().geometry() != first); // it follows the pointer
        QCOMPARE(rig.output->count(VistelController::captureOffWarning()), 1);
        QCOMPARE(rig.readings(), 0);

        // Readable again: the message goes and readings start.
        rig.desktop->canRead = true;
        QVERIFY(rig.tickStartingReading({900, 500}));
        QVERIFY(!rig.c().panel().isVisible());

        // Unreadable once more: warned once more.
        QVERIFY(rig.answer({900, 500}, QUrl()));
        rig.desktop->canRead = false;
        rig.c().tick();
        QCOMPARE(rig.output->count(VistelController::captureOffWarning()), 2);
        rig.releaseAndTick();
        QVERIFY(!rig.c().panel().isVisible());
    }

    void fileThatCannotBeShownGoesToTheScreen() {
        Rig rig;
        rig.point(files_.url(QStringLiteral("missing.png")), 7004);
        rig.hold({500, 300});
        QVERIFY(rig.tickStartingReading({500, 300}));
        QVERIFY(!rig.c().displayedURL());
        QVERIFY(rig.lines().contains(QStringLiteral("  [ax] matched ") +
                                     files_.path(QStringLiteral("missing.png"))));
        QVERIFY(
            rig.lines().contains(QStringLiteral("  [ax] could not be shown; reading the screen instead")));
    }

    void remoteImagesOff() {
        Settings::setLoadRemoteImages(false);
        Rig rig;
        rig.showThroughAccessibility({500, 300}, red_, 7005);
        QVERIFY(!rig.c().present(QUrl(QStringLiteral("http://127.0.0.1:9/picture.png"))));
        QVERIFY(rig.cardDown());
        QVERIFY(rig.c().remoteImages().requestedURL().isEmpty());
    }

    // A download shows when it arrives; after the release it is only stored,
    // and found again it shows at once without a second request.
    void downloads_data() {
        QTest::addColumn<bool>("releasedFirst");
        QTest::newRow("arrives while held") << false;
        QTest::newRow("arrives after the release") << true;
    }
    void downloads() {
        QFETCH(bool, releasedFirst);
        HttpTestServer server;
        server.route("/web.png", {.body = webPNG_, .hold = true});
        const QUrl url = server.url(QStringLiteral("/web.png"));
        Rig rig;
        QSignalSpy arrived(&rig.c().remoteImages(), &RemoteImages::arrived);
        rig.showThroughAccessibility({500, 300}, red_, 7005);
        rig.point(url, 7006);
        rig.c().tick();
        rig.c().tick(); // found twice while it downloads
        QTRY_COMPARE(server.requests("/web.png"), 1);
        QCOMPARE(rig.c().displayedURL(), red_); // the old card stays until it arrives

        if (releasedFirst) rig.releaseAndTick();
        server.release("/web.png");
        QVERIFY(arrived.wait(5000));
        QCOMPARE(rig.c().panel().isVisible(), !releasedFirst);
        if (releasedFirst) {
            rig.hold({500, 300});
            rig.c().tick();
        }
        QCOMPARE(rig.c().displayedURL(), url);
        QVERIFY(rig.c().panel().isVisible());
        QCOMPARE(rig.c().panel().labelText(), QStringLiteral("web.png"));
        QCOMPARE(server.requests("/web.png"), 1);
    }

    void placement_data() {
        QTest::addColumn<QPointF>("pointer");
        QTest::addColumn<bool>("desktopScreens");
        QTest::addColumn<QPointF>("origin");
        QTest::addColumn<QRectF>("frame"); // global points
        QTest::newRow("beside the pointer")
            << QPointF(500, 300) << true << QPointF() << QRectF(522, 318, 220, 160);
        QTest::newRow("a monitor left of the primary one")
            << QPointF(500, 300) << true << QPointF(1280, 0) << QRectF(522, 318, 220, 160);
        // The offscreen platform's one screen, whatever its size.
        const QRectF qtArea = QGuiApplication::primaryScreen()->availableGeometry();
        const QPointF nearCorner = qtArea.bottomRight() - QPointF(100, 50);
        QTest::newRow("Qt's screens when the desktop names none")
            << nearCorner << false << QPointF() << QRectF(nearCorner - QPointF(242, 182), QSizeF(220, 160));
    }
    void placement() {
        QFETCH(QPointF, pointer);
        QFETCH(bool, desktopScreens);
        QFETCH(QPointF, origin);
        QFETCH(QRectF, frame);
        Rig rig;
        if (!desktopScreens) rig.desktop->screens.clear();
        rig.desktop->origin = origin;
        rig.showThroughAccessibility(pointer, red_, 7008);
        QCOMPARE(rig.c().panel().frame(), frame);
        QCOMPARE(QRectF(rig.c().panel().geometry()), frame.translated(origin));
        // The screen reader is told where the card is (in global points), and that it went.
        QCOMPARE(rig.screen->ownWindows().last(), QList<QRectF>{frame});
        rig.releaseAndTick();
        QVERIFY(rig.screen->ownWindows().last().isEmpty());
    }

    void settingsChanges_data() {
        QTest::addColumn<Settings::Change>("change");
        QTest::addColumn<bool>("keepsCard");
        QTest::addColumn<bool>("emptiesCaches");
        QTest::newRow("caption") << Settings::Change::ShowCaption << true << false;
        QTest::newRow("preview size") << Settings::Change::PreviewSize << false << true;
        QTest::newRow("remote images") << Settings::Change::LoadRemoteImages << false << false;
        QTest::newRow("hold key") << Settings::Change::Modifier << false << false;
        QTest::newRow("menu bar indicator") << Settings::Change::ShowMenuBarIndicator << true << false;
    }
    void settingsChanges() {
        QFETCH(Settings::Change, change);
        QFETCH(bool, keepsCard);
        QFETCH(bool, emptiesCaches);
        Rig rig;
        rig.showThroughAccessibility({500, 300}, red_, 7009);
        QCOMPARE(rig.c().fileImages().size(), 1);
        QSignalSpy indicator(&rig.c(), &VistelController::menuBarIndicatorRequested);

        rig.c().settingsChanged(change);
        QCOMPARE(rig.c().displayedURL().has_value(), keepsCard);
        QCOMPARE(rig.c().panel().isVisible(), keepsCard);
        QCOMPARE(rig.c().fileImages().size(), emptiesCaches ? 0 : 1);
        QCOMPARE(indicator.size(), change == Settings::Change::ShowMenuBarIndicator ? 1 : 0);
    }

    void widthChangeDecodesAtTheNewCeiling() {
        Rig rig;
        rig.showThroughAccessibility({500, 300}, red_, 7011);
        QCOMPARE(rig.c().panel().imageSize(), QSize(400, 300)); // under the 440 ceiling
        Settings::setPreviewWidth(160);
        rig.c().settingsChanged(Settings::Change::PreviewSize);
        rig.c().tick();
        QCOMPARE(rig.c().panel().size(), QSize(160, 116));
        QCOMPARE(rig.c().panel().imageSize(), QSize(320, 240));
    }

    void ignoredApplication_data() {
        QTest::addColumn<bool>("withElement");
        QTest::addColumn<qint32>("pid");
        QTest::newRow("known by its window class alone") << false << qint32(7101);
        QTest::newRow("the element's process") << true << qint32(7102);
    }
    void ignoredApplication() {
        QFETCH(bool, withElement);
        QFETCH(qint32, pid);
        Rig rig;
        QVERIFY(rig.showThroughScreen({500, 300}, red_));
        const int readings = rig.readings();
        rig.processes->tableReads = 0;

        if (withElement) rig.point(blue_, pid);
        rig.desktop->window =
            platform::WindowInfo{pid, QStringLiteral("Secret"), QStringLiteral("org.example.Ignored"),
                                 QStringLiteral("ignored"), QRectF(0, 0, 800, 600)};
        rig.advance(1.0);
        rig.hold({900, 300});
        rig.c().tick();
        QVERIFY(rig.cardDown());
        QCOMPARE(rig.ax->lookups, 0);
        QCOMPARE(rig.ax->wakes, 0);
        QCOMPARE(rig.processes->tableReads.load(), 0);
        QTest::qWait(30);
        QCOMPARE(rig.readings(), readings);
        QVERIFY(!rig.c().recognitionInFlight());
    }

    void hoverAndRootsLines() {
        TempTree project;
        Rig rig;
        rig.processes->table = {{7201, {1, QStringLiteral("xterm"), true}},
                                {7202, {7201, QStringLiteral("bash"), true}}};
        rig.processes->directories = {{7202, project.path()}};
        rig.desktop->window =
            platform::WindowInfo{7201, QStringLiteral("bash — xterm"), QStringLiteral("XTerm"),
                                 QStringLiteral("xterm"), QRectF(0, 0, 800, 600)};
        rig.hold({500.7, 300.2});
        rig.c().tick();
        rig.c().tick(); // same point: no second line
        QCOMPARE(rig.lines().count(QStringLiteral("[hover] 500,300 ax=none base=- window=\"bash — xterm\"")),
                 1);
        QCOMPARE(rig.lines().count(QStringLiteral("  [roots] ") + project.path()), 1);

        // An element's window names the document's folder and the title.
        rig.ax->element = std::make_shared<FakeElement>(7203, QStringLiteral("terminal"));
        rig.ax->context =
            WindowContext{QUrl::fromLocalFile(QStringLiteral("/work/docs/")), QStringLiteral("notes")};
        rig.hold({12, 34});
        rig.c().tick();
        QVERIFY(rig.lines().contains(
            QStringLiteral("[hover] 12,34 ax=terminal base=/work/docs window=\"notes\"")));
        QCOMPARE(rig.ax->wakes, 1);
    }

    void slowTickLine_data() {
        QTest::addColumn<bool>("verbose");
        QTest::addColumn<double>("lookupSeconds");
        QTest::addColumn<QString>("line");
        QTest::newRow("fast") << true << 0.004 << QString();
        QTest::newRow("five milliseconds") << true << 0.0051 << QStringLiteral("  [tick] 5 ms");
        QTest::newRow("slow without debug: silent") << false << 0.05 << QString();
    }
    void slowTickLine() {
        QFETCH(bool, verbose);
        QFETCH(double, lookupSeconds);
        QFETCH(QString, line);
        Rig rig(verbose);
        rig.point(red_, 7204);
        rig.ax->duringLookup = [&rig, lookupSeconds] { rig.advance(lookupSeconds); };
        rig.hold({500, 300});
        rig.c().tick();
        QCOMPARE(rig.c().displayedURL(), red_);
        QCOMPARE(rig.lines().filter(QStringLiteral("[tick]")),
                 line.isEmpty() ? QStringList() : QStringList{line});
        if (!verbose) QVERIFY(rig.output->isEmpty());
    }

    void launch_data() {
        QTest::addColumn<bool>("verbose");
        QTest::addColumn<bool>("readable");
        QTest::newRow("readable screen, debug") << true << true;
        QTest::newRow("unreadable screen, quiet") << false << false;
    }
    void launch() {
        QFETCH(bool, verbose);
        QFETCH(bool, readable);
        Rig rig(verbose);
        rig.desktop->canRead = readable;
        QSignalSpy indicator(&rig.c(), &VistelController::menuBarIndicatorRequested);
        QSignalSpy permission(&rig.c(), &VistelController::permissionCheckFinished);
        rig.c().launch();

        QCOMPARE(*rig.launchSteps,
                 (QStringList{QStringLiteral("close older copies"), QStringLiteral("prime sessions")}));
        QVERIFY(rig.ax->accessRequested);
        QTRY_VERIFY(rig.screen->primed_);
        QCOMPARE(indicator.size(), 1);
        QVERIFY(rig.desktop->watcher);

        QStringList banner = {
            QStringLiteral("Vistel is running. Hold ") + HoverModifiers::label(HoverModifier::Option) +
                QStringLiteral(" over an image or path."),
            QStringLiteral("Quit from the tray menu, or press Control-C here."),
            QStringLiteral("Ignoring: org.example.Ignored"),
        };
        if (verbose) banner.append(QStringLiteral("debug logging on"));
        QStringList printed = rig.lines();
        printed.removeIf([](const QString& line) { return line.startsWith(QStringLiteral("[tray] ")); });
        QCOMPARE(printed.mid(0, banner.size()), banner);

        if (readable) {
            QTest::qWait(100);
            QCOMPARE(permission.size(), 0);
            QVERIFY(!rig.output->contains(QStringLiteral("Screen Recording is OFF")));
        } else {
            QTRY_COMPARE_WITH_TIMEOUT(permission.size(), 1, 5000);
            QCOMPARE(rig.output->count(VistelController::captureOffBox()), 1);
        }

        // The timer ticks by itself, and settings changes reach the controller.
        rig.hold({500, 300});
        QTRY_VERIFY_WITH_TIMEOUT(rig.c().holding(), 2000);
        rig.release();
        QTRY_VERIFY_WITH_TIMEOUT(!rig.c().holding(), 2000);
        Settings::setPreviewWidth(300);
        QCOMPARE(rig.c().panel().size(), QSize(300, 218));
        Settings::setShowMenuBarIndicator(false);
        QCOMPARE(indicator.size(), 2);
        QCOMPARE(indicator.last().at(0).toBool(), false);
        Settings::setShowMenuBarIndicator(true);
    }

  private:
    TempTree files_;
    QUrl red_;
    QUrl blue_;
    QByteArray webPNG_;
};

QTEST_MAIN(TestVistelController)
#include "test_vistel_controller.moc"
