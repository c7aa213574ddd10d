// The X11 desktop against a private Xvfb, an xterm and xdotool.
#include "core/HoverModifier.h"
#include "platform/x11/X11Desktop.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTest>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>
#include <X11/extensions/shape.h>
#include <algorithm>
#include <unistd.h>

using namespace HoverModifiers;

class TestX11Desktop : public QObject {
    Q_OBJECT

    QProcess xvfb_, xterm_;
    QByteArray display_;
    Display* x_ = nullptr; // the test's own connection, for building windows
    std::unique_ptr<platform::X11Desktop> desktop_;

    QProcessEnvironment environment() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DISPLAY", QString::fromLatin1(display_));
        return env;
    }

    bool xdotool(const QStringList& arguments) {
        QProcess p;
        p.setProcessEnvironment(environment());
        p.start("xdotool", arguments);
        return p.waitForFinished(5000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    }

    unsigned int rawState() {
        Window root, child;
        int rx, ry, wx, wy;
        unsigned int state = 0;
        XQueryPointer(x_, DefaultRootWindow(x_), &root, &child, &rx, &ry, &wx, &wy, &state);
        return state;
    }

    QString classAt(QPointF point) {
        const auto window = desktop_->windowAt(point);
        return window ? window->className : QString();
    }

    Window window(QRect r, Window parent = 0, int kind = InputOutput) {
        XSetWindowAttributes a{};
        const Window w =
            XCreateWindow(x_, parent ? parent : DefaultRootWindow(x_), r.x(), r.y(), r.width(), r.height(), 0,
                          kind == InputOnly ? 0 : CopyFromParent, kind, CopyFromParent, 0, &a);
        XMapWindow(x_, w);
        return w;
    }
    void set(Window w, const char* name, const char* type, int format, const void* data, int count) {
        XChangeProperty(x_, w, XInternAtom(x_, name, False), XInternAtom(x_, type, False), format,
                        PropModeReplace, static_cast<const unsigned char*>(data), count);
    }
    void setPid(Window w, long pid) { set(w, "_NET_WM_PID", "CARDINAL", 32, &pid, 1); }
    // "instance\0Class"
    template <size_t N> void setClass(Window w, const char (&both)[N]) {
        set(w, "WM_CLASS", "STRING", 8, both, N);
    }

    // Windows over the terminal's top left corner, as each row of
    // windowsAboveTheTerminal describes them.
    QList<Window> build(const QString& kind) {
        const QRect area(120, 120, 300, 200);
        const long ourPid = getpid();
        QList<Window> made;
        if (kind == "framed client" || kind == "our client in a frame") {
            const Window frame = window(area);
            const Window client = window(QRect(5, 20, 290, 175), frame);
            const long state[2] = {1, 0};
            set(client, "WM_STATE", "WM_STATE", 32, state, 2);
            setClass(client, "framed\0FramedClass");
            setPid(client, kind == "framed client" ? 4242 : ourPid);
            set(client, "_NET_WM_NAME", "UTF8_STRING", 8, "na\xc3\xafve \xe2\x9c\x93", 10);
            made << frame;
        } else if (kind == "WM_NAME only, in Latin-1") {
            const Window w = window(area);
            set(w, "WM_NAME", "STRING", 8, "caf\xe9", 4);
            setClass(w, "plain\0Plain");
            made << w;
        } else if (kind == "our window on top") {
            made << window(area);
            setPid(made.last(), ourPid);
        } else if (kind == "input-only window on top") {
            made << window(area, 0, InputOnly);
        } else if (kind == "input-transparent window on top" ||
                   kind == "ours above an input-transparent one") {
            made << window(area);
            setPid(made.last(), 999);
            XShapeCombineRectangles(x_, made.last(), ShapeInput, 0, 0, nullptr, 0, ShapeSet, Unsorted);
            if (kind == "ours above an input-transparent one") {
                made << window(area);
                setPid(made.last(), ourPid);
            }
        } else if (kind == "unmapped window") {
            made << window(area);
            XUnmapWindow(x_, made.last());
        }
        XSync(x_, False);
        return made;
    }

  private slots:
    void initTestCase() {
        const QString xvfb = QStandardPaths::findExecutable("Xvfb");
        if (xvfb.isEmpty()) QSKIP("Xvfb is not installed (scripts/install-deps installs it)");
        // The server picks a free display and names it on standard output.
        xvfb_.start(xvfb, {"-displayfd", "1", "-screen", "0", "1280x800x24", "-nolisten", "tcp", "-noreset"});
        QVERIFY(xvfb_.waitForStarted());
        while (!xvfb_.canReadLine() && xvfb_.waitForReadyRead(10000)) {
        }
        display_ = ":" + xvfb_.readLine().trimmed();
        QVERIFY2(display_.size() > 1, "Xvfb named no display");
        QElapsedTimer waited;
        waited.start();
        while (!(x_ = XOpenDisplay(display_.constData())) && waited.elapsed() < 10000)
            QTest::qWait(50);
        QVERIFY2(x_, "cannot connect to Xvfb");
        desktop_ = platform::X11Desktop::open(display_.constData());
        QVERIFY(desktop_);

        xterm_.setProcessEnvironment(environment());
        xterm_.start("xterm", {"-geometry", "80x24+100+100", "-T", "known title", "-class", "KnownClass",
                               "-e", "sleep", "60"});
        QVERIFY2(xterm_.waitForStarted(), "xterm is not installed (scripts/install-deps installs it)");
        QTRY_COMPARE_WITH_TIMEOUT(classAt(QPointF(150, 150)), QString("KnownClass"), 10000);
    }

    void cleanupTestCase() {
        desktop_.reset();
        if (x_) XCloseDisplay(x_);
        xterm_.kill();
        xterm_.waitForFinished();
        xvfb_.terminate();
        xvfb_.waitForFinished();
    }

    void cleanup() {
        if (x_) xdotool({"keyup", "alt", "super", "ctrl", "shift"});
    }

    void nothingThere_data() {
        QTest::addColumn<QPointF>("point");
        QTest::newRow("bare root") << QPointF(1200, 700);
        QTest::newRow("not a number") << QPointF(qQNaN(), 10);
        QTest::newRow("far away") << QPointF(1e300, -1e300);
    }

    void nothingThere() {
        QFETCH(QPointF, point);
        QCOMPARE(desktop_->windowAt(point), std::nullopt);
    }

    void windowsAboveTheTerminal_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("className");
        QTest::addColumn<QString>("title");
        QTest::addColumn<int>("pid"); // -1: the terminal's
        QTest::newRow("framed client") << "framed client"
                                       << "FramedClass" << QString::fromUtf8("na\u00efve \u2713") << 4242;
        QTest::newRow("WM_NAME only, in Latin-1") << "WM_NAME only, in Latin-1"
                                                  << "Plain" << QString::fromUtf8("caf\u00e9") << 0;
        for (const char* kind :
             {"the terminal alone", "our window on top", "our client in a frame", "input-only window on top",
              "input-transparent window on top", "ours above an input-transparent one", "unmapped window"})
            QTest::newRow(kind) << kind << "KnownClass"
                                << "known title" << -1;
    }

    void windowsAboveTheTerminal() {
        QFETCH(QString, kind);
        QFETCH(QString, className);
        QFETCH(QString, title);
        QFETCH(int, pid);
        const QList<Window> made = build(kind);
        const auto window = desktop_->windowAt(QPointF(125.7, 125.2)); // on the frame, beside any client
        for (Window w : made)
            XDestroyWindow(x_, w);
        XSync(x_, False);
        QVERIFY(window);
        QCOMPARE(window->className, className);
        QCOMPARE(window->title, title);
        QCOMPARE(window->pid, pid == -1 ? qint32(xterm_.processId()) : pid);
        if (kind == "framed client") QCOMPARE(window->frame, QRectF(120, 120, 300, 200));
        if (kind == "the terminal alone") { // xterm sets WM_NAME only
            QCOMPARE(window->instanceName, QString("xterm"));
            QCOMPARE(window->frame.topLeft(), QPointF(100, 100));
        }
    }

    void vanishingWindows() {
        // Windows destroyed while the desktop asks about them: its requests
        // fail with BadWindow, which must narrow the answer and nothing more.
        for (int i = 0; i < 50; ++i) {
            const Window w = window(QRect(120, 120, 300, 200));
            setClass(w, "brief\0Brief");
            XFlush(x_);
            XDestroyWindow(x_, w);
            XFlush(x_);
            const QString found = classAt(QPointF(125, 125));
            QVERIFY2(found == "Brief" || found == "KnownClass", qPrintable(found));
        }
        XMapWindow(x_, 0x7ffffff0); // no such window: an error on the test's own connection
        XSync(x_, False);
        QVERIFY(desktop_->canReadScreen());
    }

    // Keys held on the server, read through the pointer's state and through the watch.
    // "Alt on Mod3" first moves Alt_L to another slot, as a remapped keyboard does.
    void modifierFlags_data() {
        QTest::addColumn<QString>("keys");
        QTest::addColumn<uint>("raw"); // the X mask bits the keys set
        QTest::addColumn<quint64>("flags");
        QTest::newRow("Alt and Shift") << "alt+shift" << uint(Mod1Mask | ShiftMask) << optionFlag;
        QTest::newRow("Control and Super")
            << "ctrl+super" << uint(ControlMask | Mod4Mask) << (controlFlag | commandFlag);
        QTest::newRow("Alt on Mod3") << "alt" << uint(Mod3Mask) << optionFlag;
    }

    void modifierFlags() {
        QFETCH(QString, keys);
        QFETCH(uint, raw);
        QFETCH(quint64, flags);
        XModifierKeymap* original = XGetModifierMapping(x_);
        QList<quint64> seen;
        const auto restore = qScopeGuard([&] {
            desktop_->watchModifiers({});
            xdotool({"keyup", keys});
            XSetModifierMapping(x_, original);
            XFreeModifiermap(original);
            XSync(x_, False);
        });
        if (raw == Mod3Mask) {
            XModifierKeymap* moved = XGetModifierMapping(x_);
            const int per = moved->max_keypermod;
            const KeyCode altL = XKeysymToKeycode(x_, XStringToKeysym("Alt_L"));
            for (int k = 0; k < per; ++k)
                if (moved->modifiermap[Mod1MapIndex * per + k] == altL)
                    moved->modifiermap[Mod1MapIndex * per + k] = 0;
            moved->modifiermap[Mod3MapIndex * per] = altL;
            QCOMPARE(XSetModifierMapping(x_, moved), MappingSuccess);
            XFreeModifiermap(moved);
            XSync(x_, False);
        }
        QVERIFY(desktop_->watchModifiers([&seen](quint64 now) { seen.append(now); }));
        QVERIFY(xdotool({"keydown", keys}));
        QTRY_COMPARE(rawState() & (raw | Mod1Mask), raw);
        QCOMPARE(desktop_->modifierFlags(), flags);
        QTRY_VERIFY(!seen.isEmpty() && seen.last() == flags);
        QVERIFY(xdotool({"keyup", keys}));
        QTRY_COMPARE(rawState() & raw, 0u);
        QCOMPARE(desktop_->modifierFlags(), quint64(0));
        QTRY_VERIFY(seen.last() == 0);
    }

    void screens_data() {
        QTest::addColumn<QList<long>>("workAreas"); // empty: no _NET_WORKAREA
        QTest::addColumn<long>("desktop");
        QTest::addColumn<QRectF>("usable");
        QTest::newRow("no work area") << QList<long>{} << 0L << QRectF(0, 0, 1280, 800);
        QTest::newRow("second desktop")
            << QList<long>{0, 0, 1280, 800, 0, 0, 640, 800} << 1L << QRectF(0, 0, 640, 800);
        QTest::newRow("work area off the screen")
            << QList<long>{2000, 0, 100, 100} << 0L << QRectF(0, 0, 1280, 800);
    }

    void screens() {
        QFETCH(QList<long>, workAreas);
        QFETCH(long, desktop);
        QFETCH(QRectF, usable);
        const Window root = DefaultRootWindow(x_);
        if (!workAreas.isEmpty())
            set(root, "_NET_WORKAREA", "CARDINAL", 32, workAreas.constData(), workAreas.size());
        set(root, "_NET_CURRENT_DESKTOP", "CARDINAL", 32, &desktop, 1);
        XSync(x_, False);
        const QList<platform::ScreenArea> screens = desktop_->screens();
        XDeleteProperty(x_, root, XInternAtom(x_, "_NET_WORKAREA", False));
        XDeleteProperty(x_, root, XInternAtom(x_, "_NET_CURRENT_DESKTOP", False));
        XSync(x_, False);
        QCOMPARE(screens.size(), 1);
        QCOMPARE(screens.first().frame, QRectF(0, 0, 1280, 800));
        QCOMPARE(screens.first().usable, usable);
        QCOMPARE(screens.first().pixelsPerPoint, 1.0);
    }

    void primaryMonitorOnTheRight() {
        // Two monitors side by side, the right one primary: global points
        // start at its top left, so everything left of it is negative.
        const Window root = DefaultRootWindow(x_);
        XRRMonitorInfo* left = XRRAllocateMonitor(x_, 0);
        XRRMonitorInfo* right = XRRAllocateMonitor(x_, 0);
        *left = XRRMonitorInfo{
            XInternAtom(x_, "LEFT", False), False, False, 0, 0, 0, 640, 800, 160, 200, nullptr};
        *right = XRRMonitorInfo{
            XInternAtom(x_, "RIGHT", False), True, False, 0, 640, 0, 640, 800, 160, 200, nullptr};
        XRRSetMonitor(x_, root, left);
        XRRSetMonitor(x_, root, right);
        XSync(x_, False);
        QVERIFY(xdotool({"mousemove", "700", "10"}));
        const QList<platform::ScreenArea> screens = desktop_->screens();
        const QPointF pointer = desktop_->pointer();
        const QPointF origin = desktop_->windowSystemOrigin();
        const auto terminal = desktop_->windowAt(QPointF(150 - 640, 150));
        XRRDeleteMonitor(x_, root, left->name);
        XRRDeleteMonitor(x_, root, right->name);
        XSync(x_, False);
        XFree(left);
        XFree(right);
        QVERIFY2(screens.size() >= 2, "the server keeps no monitors of ours");
        QCOMPARE(screens.first().frame, QRectF(0, 0, 640, 800));
        QVERIFY(std::any_of(screens.begin(), screens.end(), [](const platform::ScreenArea& s) {
            return s.frame == QRectF(-640, 0, 640, 800);
        }));
        QCOMPARE(pointer, QPointF(60, 10));
        QCOMPARE(origin, QPointF(640, 0));
        QVERIFY(terminal);
        QCOMPARE(terminal->className, QString("KnownClass"));
        QCOMPARE(terminal->frame.topLeft(), QPointF(100 - 640, 100));
    }

    void openDesktop_data() {
        QTest::addColumn<QByteArray>("display"); // empty: unset
        QTest::addColumn<bool>("readable");
        QTest::newRow("the Xvfb") << display_ << true;
        QTest::newRow("no DISPLAY") << QByteArray() << false;
    }

    void openDesktop() {
        QFETCH(QByteArray, display);
        QFETCH(bool, readable);
        const QByteArray saved = qgetenv("DISPLAY");
        if (display.isEmpty())
            qunsetenv("DISPLAY");
        else
            qputenv("DISPLAY", display);
        const auto desktop = platform::openDesktop();
        if (saved.isEmpty())
            qunsetenv("DISPLAY");
        else
            qputenv("DISPLAY", saved);
        QCOMPARE(desktop->canReadScreen(), readable);
        QCOMPARE(desktop->screens().isEmpty(), !readable);
    }
};

QTEST_GUILESS_MAIN(TestX11Desktop)
#include "test_x11_desktop.moc"
