// The GNOME desktop against a fake of the Shell extension on a private bus:
// sound answers read through, and a Shell that vanishes, answers late, refuses
// or answers in another shape reads as nothing rather than as something wrong.
#include "FakeShell.h"
#include "core/HoverModifier.h"
#include "platform/gnome/GnomeDesktop.h"
#include "platform/gnome/ShellExtension.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using platform::GnomeDesktop;
using platform::ShellExtension::Status;
using Answer = FakeShell::Answer;

Q_DECLARE_METATYPE(Answer)
Q_DECLARE_METATYPE(Status)

namespace {

// The calls give up after this; a late answer comes well after it.
constexpr int kTimeoutMs = 150;
constexpr int kLate = 500;

const QString kAccessDenied = QStringLiteral("org.freedesktop.DBus.Error.AccessDenied");

constexpr quint32 kAlt = 1u << 3, kControl = 1u << 2, kSuper = 1u << 26, kMod4 = 1u << 6, kShift = 1u,
                  kLock = 2u;

} // namespace

class TestGnomeDesktop : public QObject {
    Q_OBJECT

    std::unique_ptr<FakeShellBus> bus_;
    int clients_ = 0;

    FakeShell& shell() { return bus_->shell(); }
    // A desktop on a connection of its own, so no row inherits another's state.
    std::unique_ptr<GnomeDesktop> desktop() {
        return std::make_unique<GnomeDesktop>(bus_->client(QStringLiteral("client%1").arg(++clients_)),
                                              platform::ShellExtension::kService, kTimeoutMs);
    }

  private slots:
    void initTestCase() {
        bus_ = std::make_unique<FakeShellBus>();
        const QString problem = bus_->start();
        if (!problem.isEmpty()) QSKIP(qPrintable(problem));
    }
    void init() {
        QTRY_VERIFY(shell().idle());
        shell().clear();
        QVERIFY(bus_->appear());
    }
    void cleanupTestCase() { bus_.reset(); }

    void modifierMasks_data() {
        QTest::addColumn<quint32>("mask");
        QTest::addColumn<quint64>("flags");
        QTest::newRow("none") << 0u << quint64(0);
        QTest::newRow("Alt") << kAlt << HoverModifiers::optionFlag;
        QTest::newRow("Super as Mod4") << kMod4 << HoverModifiers::commandFlag;
        QTest::newRow("Super as its own bit") << kSuper << HoverModifiers::commandFlag;
        QTest::newRow("Control") << kControl << HoverModifiers::controlFlag;
        QTest::newRow("Shift and Caps Lock are no hold keys") << (kShift | kLock) << quint64(0);
        QTest::newRow("Alt with Shift") << (kAlt | kShift) << HoverModifiers::optionFlag;
        QTest::newRow("Control with Super")
            << (kControl | kSuper) << (HoverModifiers::controlFlag | HoverModifiers::commandFlag);
    }
    void modifierMasks() {
        QFETCH(quint32, mask);
        QFETCH(quint64, flags);
        QCOMPARE(platform::ShellExtension::hoverFlags(mask), flags);
    }

    // The pointer a fresh desktop reports after the answer, and the keys held.
    void pointer_data() {
        QTest::addColumn<Answer>("answer");
        QTest::addColumn<QPointF>("pointer");
        QTest::addColumn<quint64>("flags");
        const QVariantList altAt = {120, -40, kAlt};
        QTest::newRow("answered (left of the primary monitor)")
            << Answer{altAt} << QPointF(120, -40) << HoverModifiers::optionFlag;
        QTest::newRow("late") << Answer{altAt, {}, kLate} << QPointF() << quint64(0);
        QTest::newRow("refused") << Answer{{}, kAccessDenied} << QPointF() << quint64(0);
        QTest::newRow("mask missing") << Answer{{120, -40}} << QPointF() << quint64(0);
        QTest::newRow("doubles for integers") << Answer{{120.0, -40.0, kAlt}} << QPointF() << quint64(0);
        QTest::newRow("mask signed") << Answer{{120, -40, int(kAlt)}} << QPointF() << quint64(0);
    }
    void pointer() {
        QFETCH(Answer, answer);
        QFETCH(QPointF, pointer);
        QFETCH(quint64, flags);
        shell().set("Pointer", answer);
        auto d = desktop();
        QCOMPARE(d->pointer(), pointer);
        QCOMPARE(d->modifierFlags(), flags);
        // A tick's two questions cost the Shell one call, even a late one.
        QTRY_VERIFY(shell().idle());
        QCOMPARE(shell().asked("Pointer"), 1);
    }

    // Once the Shell has gone, the pointer stays where it was last seen and no key reads as held.
    void vanishedShellKeepsLastPointer() {
        shell().set("Pointer", Answer{{300, 200, kAlt}});
        auto d = desktop();
        QCOMPARE(d->pointer(), QPointF(300, 200));
        bus_->vanish();
        QTest::qWait(10); // past the reuse of the last answer
        QCOMPARE(d->pointer(), QPointF(300, 200));
        QCOMPARE(d->modifierFlags(), quint64(0));
        QVERIFY(!d->windowAt({300, 200}));
        QVERIFY(d->screens().isEmpty());
        QVERIFY(!d->canReadScreen());
    }

    void windowAt_data() {
        QTest::addColumn<Answer>("answer");
        QTest::addColumn<bool>("found");
        const QVariantList terminal = {true, 4242, "~/shots", "foot", "footclient", QRect(10, 20, 800, 600)};
        QTest::newRow("a terminal") << Answer{terminal} << true;
        QTest::newRow("none there") << Answer{{false, 0, "", "", "", QRect()}} << false;
        QVariantList flat = terminal;
        flat[5] = QRect(10, 20, 800, 0);
        QTest::newRow("a frame without area") << Answer{flat} << false;
        QTest::newRow("frame missing") << Answer{terminal.mid(0, 5)} << false;
        QVariantList named = terminal;
        named[1] = QStringLiteral("4242");
        QTest::newRow("pid as text") << Answer{named} << false;
        QTest::newRow("late") << Answer{terminal, {}, kLate} << false;
        QTest::newRow("refused") << Answer{{}, kAccessDenied} << false;
    }
    void windowAt() {
        QFETCH(Answer, answer);
        QFETCH(bool, found);
        shell().set("WindowAt", answer);
        const auto window = desktop()->windowAt({15.7, 25.2});
        QCOMPARE(bool(window), found);
        // Whole points go out: the extension takes integers.
        QCOMPARE(shell().lastArguments("WindowAt"), (QVariantList{15, 25}));
        if (!found) return;
        QCOMPARE(window->pid, 4242);
        QCOMPARE(window->title, QStringLiteral("~/shots"));
        QCOMPARE(window->className, QStringLiteral("foot"));
        QCOMPARE(window->instanceName, QStringLiteral("footclient"));
        QCOMPARE(window->frame, QRectF(10, 20, 800, 600));
    }

    // A point no screen can hold is not sent at all.
    void windowAtFarPoint_data() {
        QTest::addColumn<QPointF>("point");
        QTest::newRow("not a number") << QPointF(qQNaN(), 10);
        QTest::newRow("infinite") << QPointF(10, qInf());
        QTest::newRow("past any screen") << QPointF(1e12, 0);
    }
    void windowAtFarPoint() {
        QFETCH(QPointF, point);
        shell().set("WindowAt", Answer{{true, 1, "", "", "", QRect(0, 0, 10, 10)}});
        QVERIFY(!desktop()->windowAt(point));
        QVERIFY(!desktop()->placeWindow(QStringLiteral("Vistel preview"), point));
        QCOMPARE(shell().asked("WindowAt"), 0);
    }

    void screens_data() {
        QTest::addColumn<Answer>("answer");
        QTest::addColumn<QList<platform::ScreenArea>>("screens");
        const FakeMonitor primary{QRect(0, 0, 1600, 900), QRect(0, 32, 1600, 868), 1.0};
        const FakeMonitor left{QRect(-1280, 0, 1280, 1024), QRect(-1280, 0, 1280, 1024), 2.0};
        const auto answer = [](QList<FakeMonitor> monitors) {
            return Answer{{QVariant::fromValue(monitors)}};
        };
        QTest::newRow("one, the top bar left out")
            << answer({primary})
            << QList<platform::ScreenArea>{{QRectF(0, 0, 1600, 900), QRectF(0, 32, 1600, 868), 1.0}};
        QTest::newRow("two, scaled one on the left")
            << answer({primary, left})
            << QList<platform::ScreenArea>{{QRectF(0, 0, 1600, 900), QRectF(0, 32, 1600, 868), 1.0},
                                           {QRectF(-1280, 0, 1280, 1024), QRectF(-1280, 0, 1280, 1024), 2.0}};
        QTest::newRow("none") << answer({}) << QList<platform::ScreenArea>{};
        QTest::newRow("usable area outside the monitor")
            << answer({primary, {QRect(1600, 0, 800, 600), QRect(0, 0, 800, 600), 1.0}})
            << QList<platform::ScreenArea>{};
        QTest::newRow("scale zero") << answer({{primary.frame, primary.usable, 0.0}})
                                    << QList<platform::ScreenArea>{};
        QTest::newRow("scale not a number")
            << answer({{primary.frame, primary.usable, qQNaN()}}) << QList<platform::ScreenArea>{};
        QTest::newRow("scale absurd")
            << answer({{primary.frame, primary.usable, 1e6}}) << QList<platform::ScreenArea>{};
        QTest::newRow("frames only") << Answer{{QVariant::fromValue(QList<QRect>{primary.frame})}}
                                     << QList<platform::ScreenArea>{};
        QTest::newRow("late") << Answer{answer({primary}).arguments, {}, kLate}
                              << QList<platform::ScreenArea>{};
    }
    void screens() {
        QFETCH(Answer, answer);
        QFETCH(QList<platform::ScreenArea>, screens);
        shell().set("Monitors", answer);
        const QList<platform::ScreenArea> got = desktop()->screens();
        QCOMPARE(got.size(), screens.size());
        for (qsizetype i = 0; i < got.size(); ++i) {
            QCOMPARE(got[i].frame, screens[i].frame);
            QCOMPARE(got[i].usable, screens[i].usable);
            QCOMPARE(got[i].pixelsPerPoint, screens[i].pixelsPerPoint);
        }
    }

    void placeWindow() {
        shell().set("PlaceWindow", Answer{{true}});
        QVERIFY(desktop()->placeWindow(QStringLiteral("Vistel preview"), {640.6, -12.2}));
        QTRY_COMPARE(shell().asked("PlaceWindow"), 1);
        QCOMPARE(shell().lastArguments("PlaceWindow"), (QVariantList{"Vistel preview", 640, -13}));
    }

    // The held keys arrive as the Shell's signal; a Shell that comes back is asked again.
    void watchModifiers() {
        shell().set("Watch", Answer{});
        auto d = desktop();
        QList<quint64> seen;
        QVERIFY(d->watchModifiers([&seen](quint64 flags) { seen.append(flags); }));
        QTRY_COMPARE(shell().asked("Watch"), 1);

        const auto send = [this](const QVariant& mask) {
            QDBusMessage signal = QDBusMessage::createSignal(platform::ShellExtension::kPath,
                                                             platform::ShellExtension::kInterface,
                                                             QStringLiteral("ModifiersChanged"));
            bus_->connection().send(signal << mask);
        };
        send(kAlt);
        QTRY_COMPARE(seen, (QList<quint64>{HoverModifiers::optionFlag}));
        // Another shape of signal is not taken for a key.
        send(QStringLiteral("Alt"));
        send(0u);
        QTRY_COMPARE(seen.size(), 2);
        QCOMPARE(seen, (QList<quint64>{HoverModifiers::optionFlag, 0}));

        bus_->vanish();
        QVERIFY(bus_->appear());
        QTRY_COMPARE(shell().asked("Watch"), 2);
    }

    void probe_data() {
        QTest::addColumn<QString>("shellState"); // "answers", "refuses", "no object", "gone"
        QTest::addColumn<bool>("installed");
        QTest::addColumn<Status>("status");
        QTest::newRow("answering") << "answers" << true << Status::Answering;
        QTest::newRow("another program") << "refuses" << true << Status::Refused;
        QTest::newRow("switched off") << "no object" << true << Status::NotEnabled;
        QTest::newRow("never installed") << "no object" << false << Status::NotInstalled;
        QTest::newRow("no Shell") << "gone" << true << Status::NoShell;
        QTest::newRow("Shell too slow") << "late" << true << Status::NoShell;
    }
    void probe() {
        QFETCH(QString, shellState);
        QFETCH(bool, installed);
        QFETCH(Status, status);
        QTemporaryDir data;
        const QString folder =
            data.filePath("gnome-shell/extensions/" + QString(platform::ShellExtension::kUuid));
        if (installed) {
            QVERIFY(QDir().mkpath(folder));
            QFile metadata(folder + "/metadata.json");
            QVERIFY(metadata.open(QIODevice::WriteOnly));
        }
        const QVariantList still = {0, 0, 0u};
        shell().set("Pointer", shellState == "refuses" ? Answer{{}, kAccessDenied}
                               : shellState == "late"  ? Answer{still, {}, kLate}
                                                       : Answer{still});
        if (shellState == "no object") bus_->withoutObject();
        if (shellState == "gone") bus_->vanish();
        const QDBusConnection client = bus_->client(QStringLiteral("probe%1").arg(++clients_));
        QCOMPARE(platform::ShellExtension::probe(client, {QDir::temp().filePath("nothing-here"), data.path()},
                                                 kTimeoutMs),
                 status);
        // Every status but Answering tells the user what to do.
        QCOMPARE(platform::ShellExtension::explanation(status).isEmpty(), status == Status::Answering);
    }
};

QTEST_GUILESS_MAIN(TestGnomeDesktop)
#include "test_gnome_desktop.moc"
