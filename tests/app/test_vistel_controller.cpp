// The hover loop's state machine, driven tick by tick with fake desktop, clock
// and readers, and the card window it drives.
#include "HttpTestServer.h"
#include "ImageFixtures.h"
#include "LinuxWording.h"
#include "TempTree.h"
#include "app/agent/CardGeometry.h"
#include "app/agent/ImageDetails.h"
#include "app/agent/PreviewPanel.h"
#include "app/agent/VistelController.h"
#include "core/Diagnostics.h"
#include "core/HoverModifier.h"
#include "core/ProcessRoots.h"
#include "core/Settings.h"
#include "platform/AccessibilityReader.h"
#include "platform/Desktop.h"
#include "screen/ScreenReader.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QHash>
#include <QRegularExpression>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace {

// Stand-ins for what the controller works with, each steered through a state
// the test keeps while the controller owns the object.

struct DesktopState {
    QPointF pointer;
    quint64 flags = 0;
    std::optional<platform::WindowInfo> window;
    QList<platform::ScreenArea> screens;
    QPointF origin; // of global points in window system coordinates
    bool canRead = true;
    std::function<void()> onWindowAt; // once per held tick: lets a test make the tick take time
};

class FakeDesktop final : public platform::Desktop {
  public:
    explicit FakeDesktop(std::shared_ptr<DesktopState> state) : state_(std::move(state)) {}
    QPointF pointer() override { return state_->pointer; }
    quint64 modifierFlags() override { return state_->flags; }
    std::optional<platform::WindowInfo> windowAt(QPointF) override {
        if (state_->onWindowAt) state_->onWindowAt();
        return state_->window;
    }
    QList<platform::ScreenArea> screens() override { return state_->screens; }
    QPointF windowSystemOrigin() override { return state_->origin; }
    bool accessibilityEnabled() override { return true; }
    bool canReadScreen() override { return state_->canRead; }
    bool watchModifiers(std::function<void(quint64)>) override { return true; }

  private:
    std::shared_ptr<DesktopState> state_;
};

class FakeElement final : public AccessibilityElement {
  public:
    explicit FakeElement(qint32 pid) : pid_(pid) {}
    std::optional<qint32> processId() const override { return pid_; }
    std::optional<QString> role() const override { return QStringLiteral("text"); }

  private:
    qint32 pid_;
};

struct AccessibilityState {
    std::shared_ptr<FakeElement> element;
    std::optional<QUrl> url;
    AccessibilityLookup::Findings findings; // said instead of url when set
    int lookups = 0;
    int wakes = 0;
};

class FakeAccessibility final : public AccessibilityReader {
  public:
    explicit FakeAccessibility(std::shared_ptr<AccessibilityState> state) : state_(std::move(state)) {}
    void requestAccess() override {}
    std::shared_ptr<AccessibilityElement> elementAt(QPointF) override { return state_->element; }
    void wakeAccessibility(const AccessibilityElement&) override { ++state_->wakes; }
    std::optional<WindowContext> windowContext(const AccessibilityElement&) override { return {}; }
    AccessibilityLookup::Findings findingsAt(const AccessibilityElement&, QPointF) override {
        ++state_->lookups;
        if (!state_->findings.isEmpty()) return state_->findings;
        if (!state_->url) return {};
        return {AccessibilityLookup::Finding{AccessibilityLookup::Finding::Kind::Given, *state_->url}};
    }

  private:
    std::shared_ptr<AccessibilityState> state_;
};

// A screen reader whose readings wait until the test answers for their point
// (readings run on worker threads; everything here is lock-guarded).
class FakeScreen final : public ScreenReader {
  public:
    ~FakeScreen() override { close(); }

    void prime() override {}
    bool ensurePermission() override { return false; }
    qint64 stalls() override { return stalls_; }
    void setOwnWindows(const QList<QRectF>& frames) override {
        const std::lock_guard lock(mutex_);
        ownWindows_.append(frames);
    }

    std::optional<QUrl> imageReference(QPointF at, const ResolutionContext& context, bool verbose) override {
        std::unique_lock lock(mutex_);
        readings_.append(at);
        traced_.append(verbose);
        contexts_.append(context);
        changed_.notify_all();
        const QString key = keyOf(at);
        changed_.wait(lock, [&] { return closed_ || answers_.contains(key); });
        if (!answers_.contains(key)) return std::nullopt;
        return answers_.take(key);
    }

    void answer(QPointF at, std::optional<QUrl> url) {
        const std::lock_guard lock(mutex_);
        answers_.insert(keyOf(at), url);
        changed_.notify_all();
    }
    // Lets every waiting and later reading return nothing.
    void close() {
        const std::lock_guard lock(mutex_);
        closed_ = true;
        changed_.notify_all();
    }

    QList<QPointF> readings() {
        const std::lock_guard lock(mutex_);
        return readings_;
    }
    QList<ResolutionContext> contexts() {
        const std::lock_guard lock(mutex_);
        return contexts_;
    }
    // Whether each reading was asked to trace its steps in the log.
    QList<bool> traced() {
        const std::lock_guard lock(mutex_);
        return traced_;
    }
    QList<QList<QRectF>> ownWindows() {
        const std::lock_guard lock(mutex_);
        return ownWindows_;
    }

    std::atomic<qint64> stalls_ = 0;

  private:
    static QString keyOf(QPointF p) { return QStringLiteral("%1,%2").arg(p.x()).arg(p.y()); }

    std::mutex mutex_;
    std::condition_variable changed_;
    bool closed_ = false;
    QHash<QString, std::optional<QUrl>> answers_;
    QList<QPointF> readings_;
    QList<bool> traced_;
    QList<ResolutionContext> contexts_;
    QList<QList<QRectF>> ownWindows_;
};

// Applications with one shell each (the shell's pid is the application's plus
// one); counts reads of the process table, which an ignored application must
// not cause.
struct ProcessState {
    std::atomic<int> reads = 0;
    std::atomic<bool> readOnGuiThread = false; // walking /proc would freeze the card
    QHash<qint32, QString> shellFolders;       // by application pid
};

class FakeProcesses final : public ProcessRoots::Source {
  public:
    explicit FakeProcesses(std::shared_ptr<ProcessState> state) : state_(std::move(state)) {}
    ProcessRoots::ProcessTable processTable() const override {
        ++state_->reads;
        if (QThread::currentThread() == QCoreApplication::instance()->thread())
            state_->readOnGuiThread = true;
        ProcessRoots::ProcessTable table;
        for (auto it = state_->shellFolders.cbegin(); it != state_->shellFolders.cend(); ++it) {
            table.insert(it.key(), {1, QStringLiteral("term"), true});
            table.insert(it.key() + 1, {it.key(), QStringLiteral("bash"), true});
        }
        return table;
    }
    QString workingDirectory(qint32 pid) const override { return state_->shellFolders.value(pid - 1); }
    QString executableName(qint32) const override { return {}; }

  private:
    std::shared_ptr<ProcessState> state_;
};

// One controller with its fakes; the readings still waiting are let go at the end.
struct Rig {
    std::shared_ptr<DesktopState> desktop = std::make_shared<DesktopState>();
    std::shared_ptr<AccessibilityState> ax = std::make_shared<AccessibilityState>();
    std::shared_ptr<FakeScreen> screen = std::make_shared<FakeScreen>();
    std::shared_ptr<ProcessState> processes = std::make_shared<ProcessState>();
    std::shared_ptr<double> clock = std::make_shared<double>(1000.0);
    std::shared_ptr<QString> output = std::make_shared<QString>();
    std::unique_ptr<VistelController> controller;

    // adjust: changes to the parts before the controller is made.
    explicit Rig(const std::function<void(VistelController::Parts&)>& adjust = {}) {
        desktop->screens = {{QRectF(0, 0, 1920, 1080), QRectF(0, 0, 1920, 1050), 1.0},
                            {QRectF(1920, 0, 1280, 1024), QRectF(1920, 0, 1280, 1024), 1.0}};
        VistelController::Parts parts;
        parts.desktop = std::make_unique<FakeDesktop>(desktop);
        parts.accessibility = std::make_unique<FakeAccessibility>(ax);
        parts.screen = screen;
        parts.processes = std::make_unique<FakeProcesses>(processes);
        parts.clock = [clock = clock] { return *clock; };
        parts.write = [output = output](const QString& text) { output->append(text); };
        parts.verbose = true;
        parts.closeOlderCopies = [] {};
        parts.primeSessions = [] {};
        parts.trayAvailable = [] { return true; };
        parts.session = platform::Session{false, true};
        if (adjust) adjust(parts);
        controller = std::make_unique<VistelController>(std::move(parts));
    }
    ~Rig() {
        screen->close();
        controller.reset();
    }

    VistelController& c() { return *controller; }
    void hold(QPointF p) {
        desktop->pointer = p;
        desktop->flags = HoverModifiers::optionFlag;
    }
    void release() { desktop->flags = 0; }
    void releaseAndTick() {
        release();
        controller->tick();
    }
    // Accessibility names url, in the application with that pid (whose shells'
    // folders, none, are already known: the tick need not wait for them).
    void point(const QUrl& url, qint32 pid) {
        ProcessRoots::store({}, pid);
        ax->element = std::make_shared<FakeElement>(pid);
        ax->url = url;
    }
    void advance(double seconds) { *clock += seconds; }
    int readings() { return int(screen->readings().size()); }
    bool cardDown() const { return !controller->displayedURL() && !controller->panel().isVisible(); }

    // Answers the reading at p (an empty url: nothing found) and waits until
    // the controller has dealt with it.
    bool answer(QPointF p, const QUrl& url) {
        QSignalSpy handled(controller.get(), &VistelController::recognitionHandled);
        screen->answer(p, url.isEmpty() ? std::nullopt : std::optional<QUrl>(url));
        return handled.wait(5000) && imageSettled();
    }
    // A local image decodes on a worker: waits until its card is up or refused.
    bool imageSettled() {
        return QTest::qWaitFor([&] { return controller->fileImages().pendingURL().isEmpty(); }, 5000);
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
        QVERIFY(imageSettled());
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
        Settings::setShowMenuBarIndicator(true);
        Settings::setShowImageDetails(false);
        Settings::setIgnoredApplications({});
    }

    // Without a compositor the corners are cut out of the window, following a
    // width change; with one the window stays whole.
    void shapedCornersFollowTheCard() {
        PreviewPanel panel;
        QVERIFY(panel.mask().isEmpty());
        panel.setShapedCorners(true);
        QVERIFY(!panel.mask().contains(QPoint(1, 1)));
        QVERIFY(panel.mask().contains(QPoint(110, 80)));
        QVERIFY(panel.mask().contains(QPoint(14, 1)));
        Settings::setPreviewWidth(420);
        panel.applySettings();
        QVERIFY(!panel.mask().contains(QPoint(418, 303)));
        QVERIFY(panel.mask().contains(QPoint(400, 280)));
        panel.setShapedCorners(false);
        QVERIFY(panel.mask().isEmpty());
    }

    // Found again nearby: neither decoded again nor moved; gone within one tick of the release.
    void sameURLStaysUntilRelease() {
        Rig rig;
        rig.showThroughAccessibility({500, 300}, red_, 7001);
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
    }

    // A screen card stays while its own line is read further on, and goes
    // before the next reading once the pointer leaves the line.
    void movingOnFromAScreenCard_data() {
        QTest::addColumn<QPointF>("movedBy");
        QTest::addColumn<QUrl>("found"); // empty: nothing
        QTest::addColumn<bool>("staysWhileRead");
        const QUrl nothing;
        QTest::newRow("along the line, nothing") << QPointF(300, 0) << nothing << true;
        QTest::newRow("20 points down") << QPointF(0, 20) << blue_ << true;
        QTest::newRow("21 points down") << QPointF(0, 21) << blue_ << false;
    }
    // What accessibility found is said when it changes, not on every held tick.
    void accessibilityMatchSaidOncePerChange_data() {
        // Each step is one tick: "X,Y FILE" (accessibility names FILE, or "none"), or "release".
        QTest::addColumn<QStringList>("ticks");
        QTest::addColumn<QStringList>("said"); // the files of the "[ax] matched" lines, in order

        QTest::newRow("held still over one file")
            << QStringList{"500,300 red.png", "500,300 red.png", "500,300 red.png"} << QStringList{"red.png"};
        QTest::newRow("another file under the same point")
            << QStringList{"500,300 red.png", "500,300 blue.png", "500,300 blue.png"}
            << QStringList{"red.png", "blue.png"};
        QTest::newRow("nothing for a tick, then the file again")
            << QStringList{"500,300 red.png", "500,300 none", "500,300 red.png"}
            << QStringList{"red.png", "red.png"};
        QTest::newRow("a new place on the same file")
            << QStringList{"500,300 red.png", "530,300 red.png", "530,300 red.png"}
            << QStringList{"red.png", "red.png"};
        QTest::newRow("released and held again in place")
            << QStringList{"500,300 red.png", "release", "500,300 red.png", "500,300 red.png"}
            << QStringList{"red.png", "red.png"};
    }
    void accessibilityMatchSaidOncePerChange() {
        QFETCH(QStringList, ticks);
        QFETCH(QStringList, said);
        Rig rig;
        for (const QString& step : ticks) {
            if (step == QLatin1String("release")) {
                rig.releaseAndTick();
                continue;
            }
            const QStringList place = step.section(QLatin1Char(' '), 0, 0).split(QLatin1Char(','));
            const QString file = step.section(QLatin1Char(' '), 1);
            rig.point(file == QLatin1String("none") ? QUrl() : files_.url(file), 7000);
            if (file == QLatin1String("none")) rig.ax->url.reset();
            rig.hold({place.at(0).toDouble(), place.at(1).toDouble()});
            rig.c().tick();
            QVERIFY(rig.imageSettled());
        }
        QStringList matched;
        for (const QString& line : rig.output->split(QLatin1Char('\n')))
            if (line.startsWith(QLatin1String("  [ax] matched ")))
                matched.append(line.section(QLatin1Char('/'), -1));
        QCOMPARE(matched, said);
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
    }

    // Decoding runs on a worker: an image that arrives after the key went up,
    // or after the pointer left its line, shows no card.
    void lateDecodes_data() {
        QTest::addColumn<bool>("release");
        QTest::addColumn<QPointF>("movedBy");
        QTest::addColumn<bool>("shown");
        QTest::newRow("still held, same spot") << false << QPointF(0, 0) << true;
        QTest::newRow("key released") << true << QPointF(0, 0) << false;
        QTest::newRow("21 points down") << false << QPointF(0, 21) << false;
    }
    void lateDecodes() {
        QFETCH(bool, release);
        QFETCH(QPointF, movedBy);
        QFETCH(bool, shown);
        Rig rig;
        const QPointF p(500, 300);
        rig.c().fileImages().clear();
        rig.point(blue_, 7004);
        rig.hold(p);
        rig.c().tick(); // the decode is out; its answer waits for the event loop
        QVERIFY(!rig.c().displayedURL());
        rig.ax->element.reset();
        rig.desktop->pointer = p + movedBy;
        if (release) rig.releaseAndTick();
        QVERIFY(QTest::qWaitFor([&] { return rig.c().fileImages().size() == 1; }, 5000));
        QTest::qWait(20);
        QCOMPARE(rig.c().displayedURL() == blue_, shown);
        QCOMPARE(rig.c().panel().isVisible(), shown);
    }

    void nothingFoundAfterAnotherCardAppeared() {
        Rig rig;
        const QPointF p(500, 300);
        rig.hold(p);
        QVERIFY(rig.tickStartingReading(p));

        rig.point(blue_, 7003); // meanwhile accessibility finds an image
        rig.c().tick();
        QVERIFY(rig.imageSettled());
        QCOMPARE(rig.c().displayedURL(), blue_);

        QVERIFY(rig.answer(p, QUrl()));
        QCOMPARE(rig.c().displayedURL(), blue_);
        QVERIFY(rig.c().panel().isVisible());
    }

    // A label may name its file only after a search of the disk: that runs on a
    // worker, the tick neither waits nor starts a screen reading meanwhile, and
    // the answer is used only for the findings it was asked about.
    static AccessibilityLookup::Findings labelNaming(const QUrl& url) {
        return {
            AccessibilityLookup::Finding{AccessibilityLookup::Finding::Kind::Label, {}, url.toLocalFile()}};
    }
    void accessibilityAnswersFromAWorker() {
        Rig rig;
        rig.point(QUrl(), 7004);
        rig.ax->findings = labelNaming(blue_);
        rig.hold({500, 300});
        QSignalSpy resolved(&rig.c(), &VistelController::accessibilityResolved);
        rig.c().tick();
        QVERIFY(!rig.c().displayedURL()); // nothing shows before the worker answers
        rig.c().tick();                   // the same question is not asked twice
        QVERIFY(resolved.wait(5000));
        QVERIFY(rig.imageSettled());
        QCOMPARE(rig.c().displayedURL(), blue_);
        QCOMPARE(resolved.size(), 1);
        QCOMPARE(rig.readings(), 0);
    }
    void anAnswerForOtherFindingsIsNotUsed() {
        Rig rig;
        rig.point(QUrl(), 7004);
        rig.ax->findings = labelNaming(blue_);
        rig.hold({500, 300});
        QSignalSpy resolved(&rig.c(), &VistelController::accessibilityResolved);
        rig.c().tick();
        rig.ax->findings = labelNaming(red_); // the pointer moved on before the answer
        QVERIFY(QTest::qWaitFor([&] { return resolved.size() == 2; }, 5000));
        QVERIFY(rig.imageSettled());
        QCOMPARE(rig.c().displayedURL(), red_);
    }
    void aLabelThatNamesNothingLeavesItToTheScreen() {
        Rig rig;
        rig.point(QUrl(), 7004);
        rig.ax->findings = labelNaming(QUrl::fromLocalFile(QStringLiteral("/no/such/folder/gone.png")));
        rig.hold({500, 300});
        QSignalSpy resolved(&rig.c(), &VistelController::accessibilityResolved);
        rig.c().tick();
        QCOMPARE(rig.readings(), 0);
        QVERIFY(resolved.wait(5000));
        // The worker's answer ticks again: nothing named, so the screen is read.
        QVERIFY(QTest::qWaitFor([&] { return rig.readings() == 1; }, 5000));
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

    // A slow tick is logged when it is the slowest of the hold, not on every
    // tick that costs as much as the last.
    void slowTicksLogged_data() {
        // Each step is one held tick taking that many milliseconds, or "release" (and hold again).
        QTest::addColumn<QStringList>("ticks");
        QTest::addColumn<QStringList>("logged"); // the "[tick]" lines' figures
        QTest::newRow("the same cost every tick") << QStringList{"12", "12", "12"} << QStringList{"12"};
        QTest::newRow("slower, then faster, then slower still")
            << QStringList{"8", "20", "9", "20", "31"} << QStringList{"8", "20", "31"};
        QTest::newRow("under 5 ms is never logged") << QStringList{"4", "4.9", "2"} << QStringList{};
        QTest::newRow("a new hold starts over")
            << QStringList{"20", "release", "12", "12"} << QStringList{"20", "12"};
    }
    void slowTicksLogged() {
        QFETCH(QStringList, ticks);
        QFETCH(QStringList, logged);
        Rig rig;
        double cost = 0;
        rig.desktop->onWindowAt = [&] { rig.advance(cost / 1000.0); };
        rig.point(red_, 7000);
        for (const QString& step : ticks) {
            if (step == QLatin1String("release")) {
                rig.releaseAndTick();
                continue;
            }
            cost = step.toDouble();
            rig.hold({500, 300});
            rig.c().tick();
            QVERIFY(rig.imageSettled());
        }
        QStringList figures;
        for (const QString& line : rig.output->split(QLatin1Char('\n')))
            if (line.startsWith(QLatin1String("  [tick] ")))
                figures.append(line.section(QLatin1Char(' '), 3, 3));
        QCOMPARE(figures, logged);
    }

    // The log says how long after the key the hold's first card came up.
    void keyToCardLogged_data() {
        // Each step: "read S" (a reading answered S seconds after it began: a card),
        // "miss S" (answered after S seconds: nothing), "moved" (100 points down),
        // "release" (and hold again).
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QStringList>("logged"); // the figures of the "[card] up" lines
        QTest::newRow("the first reading finds it") << QStringList{"read 0.08"} << QStringList{"80"};
        QTest::newRow("after a reading that found nothing")
            << QStringList{"miss 0.1", "read 0.05"} << QStringList{"460"}; // 0.1 + 0.31 to the retry + 0.05
        QTest::newRow("a second card in the same hold is not timed")
            << QStringList{"read 0.08", "moved", "read 0.3"} << QStringList{"80"};
        QTest::newRow("timed again from the next press")
            << QStringList{"read 0.08", "release", "read 0.12"} << QStringList{"80", "120"};
    }
    void keyToCardLogged() {
        QFETCH(QStringList, steps);
        QFETCH(QStringList, logged);
        Rig rig;
        QPointF p(500, 300);
        const QList<QUrl> cards{red_, blue_};
        int shown = 0;
        bool retry = false;
        for (const QString& step : steps) {
            const QString what = step.section(QLatin1Char(' '), 0, 0);
            const double seconds = step.section(QLatin1Char(' '), 1).toDouble();
            if (what == QLatin1String("release")) {
                rig.releaseAndTick();
                rig.advance(1.0);
                continue;
            }
            if (what == QLatin1String("moved")) {
                p += QPointF(0, 100);
                rig.advance(0.3);
                continue;
            }
            rig.hold(p);
            if (retry) rig.advance(0.31); // a retry at the spot waits 0.4 s from the last start
            QVERIFY(rig.tickStartingReading(p));
            rig.advance(seconds);
            retry = what == QLatin1String("miss");
            QVERIFY(rig.answer(p, retry ? QUrl() : cards.at(shown++ % 2)));
        }
        QStringList figures;
        for (const QString& line : rig.output->split(QLatin1Char('\n')))
            if (line.startsWith(QLatin1String("  [card] up ")))
                figures.append(line.section(QLatin1Char(' '), 4, 4));
        QCOMPARE(figures, logged);
    }

    // A reading retried at the same spot leaves its trace out of the log: held
    // over text it cannot read, it would repeat the same lines every 0.4 s.
    void retriesTracedOnce_data() {
        // Each step is one reading that finds nothing: "X,Y" after 0.5 s, or "release" (and hold again).
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QList<bool>>("traced"); // per reading
        QTest::newRow("held still") << QStringList{"500,300", "500,300", "500,300"}
                                    << QList<bool>{true, false, false};
        QTest::newRow("within 6 points") << QStringList{"500,300", "505,295"} << QList<bool>{true, false};
        QTest::newRow("moved 6 points")
            << QStringList{"500,300", "506,300", "506,300"} << QList<bool>{true, true, false};
        QTest::newRow("back to an earlier spot")
            << QStringList{"500,300", "600,300", "500,300"} << QList<bool>{true, true, true};
        QTest::newRow("released and held again")
            << QStringList{"500,300", "release", "500,300"} << QList<bool>{true, true};
    }
    void retriesTracedOnce() {
        QFETCH(QStringList, steps);
        QFETCH(QList<bool>, traced);
        Rig rig;
        for (const QString& step : steps) {
            rig.advance(0.5);
            if (step == QLatin1String("release")) {
                rig.releaseAndTick();
                continue;
            }
            const QStringList xy = step.split(QLatin1Char(','));
            const QPointF p(xy.at(0).toDouble(), xy.at(1).toDouble());
            rig.hold(p);
            QVERIFY(rig.tickStartingReading(p));
            QVERIFY(rig.answer(p, {}));
        }
        QCOMPARE(rig.screen->traced(), traced);
        // Each untraced retry still says, in one line, that it found nothing.
        QCOMPARE(rig.output->count(QRegularExpression(QStringLiteral(
                     "  \\[ocr\\] pointer \\d+,\\d+ read again: no candidate under the pointer\n"))),
                 traced.count(false));
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
            QCOMPARE(rig.c().panel().labelText().simplified(),
                     VistelController::stalledMessage().simplified());
            // An image found later replaces it; the key's release takes the card down.
            rig.screen->stalls_ = 0;
            rig.advance(0.3);
            QVERIFY(rig.showThroughScreen({900, 300}, blue_));
            QVERIFY(!rig.c().panel().showsMessage());
        }
        rig.releaseAndTick();
        QVERIFY(!rig.c().panel().isVisible());
    }

    void unreadableScreen() {
        Rig rig;
        rig.desktop->canRead = false;
        rig.hold({500, 300});
        rig.c().tick();
        QVERIFY(rig.c().panel().isVisible() && rig.c().panel().showsMessage());
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

        // Unreadable once more: the message is back, and goes with the key.
        rig.desktop->canRead = false;
        rig.c().tick();
        QVERIFY(rig.c().panel().showsMessage() && rig.c().panel().isVisible());
        rig.releaseAndTick();
        QVERIFY(!rig.c().panel().isVisible());
    }

    void banner_data() {
        QTest::addColumn<bool>("trayHost");
        QTest::addColumn<bool>("iconOn");
        QTest::addColumn<bool>("wayland");
        QTest::addColumn<bool>("screenReadable");
        QTest::addColumn<QString>("howToQuit"); // the banner's second line starts so
        QTest::newRow("tray") << true << true << false << true << "Quit from the tray icon's menu";
        QTest::newRow("no tray host")
            << false << true << false << true << "This desktop shows no tray icons.";
        QTest::newRow("icon switched off")
            << true << false << false << true << "The tray icon is switched off.";
        QTest::newRow("Xwayland, screen unreadable")
            << false << true << true << false << "This desktop shows";
    }
    // The start-up lines say how to reach the settings and quit when no tray
    // icon shows, warn once under Xwayland, and, like the notices about an
    // unreadable screen (printed and on the card), use Linux words only.
    void banner() {
        QFETCH(bool, trayHost);
        QFETCH(bool, iconOn);
        QFETCH(bool, wayland);
        QFETCH(bool, screenReadable);
        QFETCH(QString, howToQuit);
        Settings::setShowMenuBarIndicator(iconOn);
        Rig rig([&](VistelController::Parts& parts) {
            parts.trayAvailable = [trayHost] { return trayHost; };
            parts.session = platform::Session{wayland, true};
        });
        rig.desktop->canRead = screenReadable;
        QSignalSpy checked(rig.controller.get(), &VistelController::permissionCheckFinished);
        rig.c().launch();
        if (!screenReadable) QVERIFY(checked.wait(5000));
        QStringList lines; // what every user reads: the tagged diagnostic lines left out
        for (const QString& line : rig.output->split(QLatin1Char('\n')))
            if (!line.trimmed().startsWith(QLatin1Char('['))) lines.append(line);
        QCOMPARE(lines.value(0), QStringLiteral("Vistel is running. Hold Alt over an image or path."));
        QVERIFY2(lines.value(1).startsWith(howToQuit), qPrintable(lines.value(1)));
        QVERIFY(lines.value(1).contains(QStringLiteral("Ctrl+C")));
        QCOMPARE(lines.value(1).contains(QStringLiteral("`VistelPrototype --open settings`")),
                 !(trayHost && iconOn));
        QCOMPARE(rig.output->count(VistelController::xwaylandWarning()), wayland ? 1 : 0);
        QCOMPARE(rig.output->count(VistelController::captureOffBox()), screenReadable ? 0 : 1);

        QStringList shown{*rig.output};
        if (!screenReadable) {
            rig.hold({500, 300});
            rig.c().tick();
            QVERIFY(rig.c().panel().showsMessage());
            shown << *rig.output << rig.c().panel().labelText();
        }
        shown << VistelController::stalledMessage();
        QVERIFY2(withMacWording(shown).isEmpty(), qPrintable(withMacWording(shown).join('\n')));
        Settings::setShowMenuBarIndicator(true);
    }

    void fileThatCannotBeShownGoesToTheScreen() {
        Rig rig;
        rig.point(files_.url(QStringLiteral("missing.png")), 7004);
        rig.hold({500, 300});
        QVERIFY(rig.tickStartingReading({500, 300}));
        QVERIFY(!rig.c().displayedURL());
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
        rig.c().launch(); // hears the settings
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
        // A web image has no file size of ours to give.
        Settings::setShowImageDetails(true);
        QCOMPARE(rig.c().panel().labelText(), QStringLiteral("web.png · 40 × 30"));
    }

    // The caption band holds the name, the details, both or nothing; the image
    // gives up the band only when something is in it. Switched on a shown card,
    // the caption changes in place.
    void captionWithDetails_data() {
        QTest::addColumn<bool>("name");
        QTest::addColumn<bool>("details");
        QTest::addColumn<QString>("caption"); // {size}: the file's size as shown
        QTest::newRow("name, as by default") << true << false << "red.png";
        QTest::newRow("name and details") << true << true << "red.png · 400 × 300 · {size}";
        QTest::newRow("details alone") << false << true << "400 × 300 · {size}";
        QTest::newRow("neither") << false << false << "";
    }
    void captionWithDetails() {
        QFETCH(bool, name);
        QFETCH(bool, details);
        QFETCH(QString, caption);
        caption.replace("{size}", ImageDetails::fileSize(QFileInfo(red_.toLocalFile()).size()));
        Rig rig;
        rig.c().launch();
        rig.showThroughAccessibility({500, 300}, red_, 7402);
        Settings::setShowCaption(name);
        Settings::setShowImageDetails(details);
        const PreviewPanel& panel = rig.c().panel();
        QVERIFY(panel.isVisible());
        QCOMPARE(panel.labelVisible(), !caption.isEmpty());
        if (!caption.isEmpty()) QCOMPARE(panel.labelText(), caption);
        QCOMPARE(panel.imageFrame(), CardGeometry::imageBox(panel.cardSize(), !caption.isEmpty()));
        // The next card says the same of its own image.
        rig.showThroughAccessibility({500, 300}, blue_, 7403);
        if (details) QVERIFY(panel.labelText().contains(QStringLiteral("300 × 400 · ")));
    }

    void placement_data() {
        QTest::addColumn<QPointF>("pointer");
        QTest::addColumn<bool>("desktopScreens");
        QTest::addColumn<QPointF>("origin");
        QTest::addColumn<QRectF>("frame"); // global points
        QTest::newRow("a monitor left of the primary one")
            << QPointF(500, 300) << true << QPointF(1280, 0) << QRectF(522, 318, 220, 160);
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

    // An editor that publishes no document names its file in the title: that
    // file's folder is the base; a title naming no existing file gives none.
    void documentFolderFromTheTitle_data() {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("base");
        const QString plan = files_.file(QStringLiteral("docs/plan.txt"));
        QTest::newRow("absolute path of an existing file")
            << plan + QStringLiteral(" - Mousepad") << files_.path(QStringLiteral("docs"));
        QTest::newRow("missing file")
            << files_.path(QStringLiteral("docs/gone.txt")) + QStringLiteral(" - Mousepad")
            << QStringLiteral("-");
    }
    void documentFolderFromTheTitle() {
        QFETCH(QString, title);
        QFETCH(QString, base);
        Rig rig;
        ProcessRoots::store({}, 7300); // no shells, and known: the tick goes on at once
        rig.desktop->window = platform::WindowInfo{7300, title, QStringLiteral("Mousepad"),
                                                   QStringLiteral("mousepad"), QRectF(0, 0, 800, 600)};
        rig.hold({310, 220});
        rig.c().tick();
        QVERIFY2(rig.output->contains(
                     QStringLiteral("[hover] 310,220 ax=none base=%1 window=\"%2\"").arg(base, title)),
                 qPrintable(*rig.output));
    }

    // An ignored application is neither looked into nor read, and any card goes.
    void ignoredApplication() {
        const qint32 pid = 7102;
        Rig rig;
        QVERIFY(rig.showThroughScreen({500, 300}, red_));
        const int readings = rig.readings();
        rig.processes->reads = 0;

        rig.point(blue_, pid);
        rig.desktop->window =
            platform::WindowInfo{pid, QStringLiteral("Secret"), QStringLiteral("org.example.Ignored"),
                                 QStringLiteral("ignored"), QRectF(0, 0, 800, 600)};
        rig.advance(1.0);
        rig.hold({900, 300});
        rig.c().tick();
        QVERIFY(rig.cardDown());
        QCOMPARE(rig.ax->lookups, 0);
        QCOMPARE(rig.ax->wakes, 0);
        QCOMPARE(rig.processes->reads.load(), 0);
        QTest::qWait(30);
        QCOMPARE(rig.readings(), readings);
        QVERIFY(!rig.c().recognitionInFlight());
    }

    // A reading carries the folders of the window it started over: when the
    // pointer has moved on to another window before it answers, it still
    // searches the first window's shell, and the next reading the second's.
    void readingKeepsItsWindowsFolders() {
        Rig rig;
        rig.processes->shellFolders = {{7201, QStringLiteral("/work/alpha")},
                                       {7301, QStringLiteral("/work/beta")}};
        const auto over = [&](qint32 pid) {
            rig.desktop->window =
                platform::WindowInfo{pid, QStringLiteral("Terminal"), QStringLiteral("XTerm"),
                                     QStringLiteral("xterm"), QRectF(0, 0, 1200, 600)};
        };
        const QPointF a(100, 300);
        const QPointF b(900, 300);
        over(7201);
        rig.hold(a);
        QVERIFY(rig.tickStartingReading(a));
        over(7301);
        rig.advance(1.0);
        rig.hold(b);
        rig.c().tick(); // one reading at a time: the second waits
        QCOMPARE(rig.readings(), 1);
        QVERIFY(rig.answer(a, QUrl()));
        rig.advance(1.0);
        // The second starts from this tick, or from the one that follows the
        // worker reading the second window's folders.
        rig.c().tick();
        QVERIFY(QTest::qWaitFor([&] { return rig.readings() == 2; }, 5000));

        const QList<ResolutionContext> contexts = rig.screen->contexts();
        QCOMPARE(contexts.size(), 2);
        QCOMPARE(contexts.at(0).roots, QList<QUrl>{QUrl::fromLocalFile(QStringLiteral("/work/alpha/"))});
        QCOMPARE(contexts.at(1).roots, QList<QUrl>{QUrl::fromLocalFile(QStringLiteral("/work/beta/"))});
        // The agent's own current folder is never one of them.
        QVERIFY(!contexts.at(0).currentDirectoryAsBase && !contexts.at(1).currentDirectoryAsBase);
        QVERIFY(rig.processes->reads > 0);
        QVERIFY(!rig.processes->readOnGuiThread);
    }

    // Once launched, the controller hears each settings change as it is made
    // on its thread: a card goes when the change makes it stale.
    void settingsChanges_data() {
        QTest::addColumn<std::function<void()>>("change");
        QTest::addColumn<bool>("cardStays");
        QTest::addColumn<QVariantList>("indicator"); // requests after the change
        QTest::newRow("preview size")
            << std::function([] { Settings::setPreviewWidth(300); }) << false << QVariantList{};
        QTest::newRow("caption") << std::function([] { Settings::setShowCaption(false); }) << true
                                 << QVariantList{};
        QTest::newRow("image details")
            << std::function([] { Settings::setShowImageDetails(true); }) << true << QVariantList{};
        QTest::newRow("remote images")
            << std::function([] { Settings::setLoadRemoteImages(false); }) << false << QVariantList{};
        QTest::newRow("hold key") << std::function([] { Settings::setModifier(HoverModifier::Command); })
                                  << false << QVariantList{};
        QTest::newRow("ignored applications")
            << std::function([] { Settings::setIgnoredApplications({QStringLiteral("org.example.Other")}); })
            << false << QVariantList{};
        QTest::newRow("indicator") << std::function([] { Settings::setShowMenuBarIndicator(false); }) << true
                                   << QVariantList{false};
    }
    void settingsChanges() {
        QFETCH(std::function<void()>, change);
        QFETCH(bool, cardStays);
        QFETCH(QVariantList, indicator);
        Rig rig;
        rig.c().launch();
        QSignalSpy requested(&rig.c(), &VistelController::menuBarIndicatorRequested);
        rig.showThroughAccessibility({500, 300}, red_, 7401);
        QCOMPARE(rig.c().displayedURL(), std::optional<QUrl>(red_));
        change();
        QCOMPARE(!rig.cardDown(), cardStays);
        QVariantList seen;
        for (const QList<QVariant>& arguments : std::as_const(requested))
            seen.append(arguments.at(0));
        QCOMPARE(seen, indicator);
    }

    // A change made on another thread reaches the controller on its own thread.
    void settingsChangedOnAnotherThread() {
        Rig rig;
        rig.c().launch();
        QList<QThread*> heardOn;
        connect(&rig.c(), &VistelController::menuBarIndicatorRequested, this,
                [&heardOn] { heardOn.append(QThread::currentThread()); });
        std::thread([] { Settings::setShowMenuBarIndicator(false); }).join();
        QVERIFY(heardOn.isEmpty());
        QTRY_COMPARE(heardOn.size(), 1);
        QCOMPARE(heardOn.first(), thread());
    }

  private:
    TempTree files_;
    QUrl red_;
    QUrl blue_;
    QByteArray webPNG_;
};

QTEST_MAIN(TestVistelController)
#include "test_vistel_controller.moc"
