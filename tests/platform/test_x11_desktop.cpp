// The X11 desktop against a private Xvfb, an xterm and xdotool.
#include "XvfbDisplay.h"
#include "core/HoverModifier.h"
#include "platform/x11/X11Desktop.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTest>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/shape.h>
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

    Window window(QRect r, Window parent = 0) {
        XSetWindowAttributes a{};
        const Window w = XCreateWindow(x_, parent ? parent : DefaultRootWindow(x_), r.x(), r.y(), r.width(),
                                       r.height(), 0, CopyFromParent, InputOutput, CopyFromParent, 0, &a);
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

    // What the desktop finds over the terminal's top left corner, beside any client,
    // once the windows made for the test are gone again.
    std::optional<platform::WindowInfo> foundAbove(const QList<Window>& made) {
        XSync(x_, False);
        const auto found = desktop_->windowAt(QPointF(125.7, 125.2));
        for (Window w : made)
            XDestroyWindow(x_, w);
        XSync(x_, False);
        return found;
    }

  private slots:
    void initTestCase() {
        if (QStandardPaths::findExecutable("Xvfb").isEmpty())
            QSKIP("Xvfb is not installed (scripts/install-deps installs it)");
        display_ = startXvfb(xvfb_);
        QVERIFY2(!display_.isEmpty(), "Xvfb named no display");
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

    void nothingThere() {
        for (const QPointF point : {QPointF(1200, 700), QPointF(qQNaN(), 10), QPointF(1e300, -1e300)})
            QCOMPARE(desktop_->windowAt(point), std::nullopt);
    }

    // Without a window manager's help the client is found below its frame by WM_STATE.
    void framedClient() {
        const Window frame = window(QRect(120, 120, 300, 200));
        const Window client = window(QRect(5, 20, 290, 175), frame);
        const long state[2] = {1, 0};
        set(client, "WM_STATE", "WM_STATE", 32, state, 2);
        setClass(client, "framed\0FramedClass");
        setPid(client, 4242);
        set(client, "_NET_WM_NAME", "UTF8_STRING", 8, "na\xc3\xafve \xe2\x9c\x93", 10);
        const auto found = foundAbove({frame});
        QVERIFY(found);
        QCOMPARE(found->className, QString("FramedClass"));
        QCOMPARE(found->title, QString::fromUtf8("na\u00efve \u2713"));
        QCOMPARE(found->pid, 4242);
        QCOMPARE(found->frame, QRectF(120, 120, 300, 200));
    }

    // Openbox's frame: 55 decoration windows, the client created last. The
    // listed clients give the windows of the desktop.
    void clientAmongManyDecorations() {
        const Window frame = window(QRect(120, 120, 300, 200));
        for (int i = 0; i < 55; ++i)
            window(QRect(i % 10, 0, 4, 4), frame);
        const Window client = window(QRect(5, 20, 290, 175), frame);
        const long state[2] = {1, 0};
        set(client, "WM_STATE", "WM_STATE", 32, state, 2);
        setClass(client, "framed\0DecoratedClass");
        setPid(client, 4343);
        const long listed[1] = {long(client)};
        set(DefaultRootWindow(x_), "_NET_CLIENT_LIST_STACKING", "WINDOW", 32, listed, 1);
        XSync(x_, False);
        const QList<platform::WindowInfo> windows = desktop_->applicationWindows();
        XDeleteProperty(x_, DefaultRootWindow(x_), XInternAtom(x_, "_NET_CLIENT_LIST_STACKING", False));
        QCOMPARE(windows.size(), 1);
        QCOMPARE(windows.first().pid, 4343);
        const auto found = foundAbove({frame});
        QVERIFY(found);
        QCOMPARE(found->className, QString("DecoratedClass"));
        QCOMPARE(found->pid, 4343);
    }

    // Our own window on top, then one that takes no input: both are looked through.
    void oursAboveAnInputTransparentOne() {
        const Window transparent = window(QRect(120, 120, 300, 200));
        setPid(transparent, 999);
        XShapeCombineRectangles(x_, transparent, ShapeInput, 0, 0, nullptr, 0, ShapeSet, Unsorted);
        const Window ours = window(QRect(120, 120, 300, 200));
        setPid(ours, getpid());
        const auto found = foundAbove({ours, transparent});
        QVERIFY(found);
        QCOMPARE(found->className, QString("KnownClass"));
        QCOMPARE(found->pid, qint32(xterm_.processId()));
    }

    // Windows destroyed mid-query: BadWindow must narrow the answer, never end the process.
    void vanishingWindows() {
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

    // Alt_L moved from Mod1 to Mod3, as a remapped keyboard does: the desktop must
    // follow the new map, in its own reading and in the watch.
    void altMovedToMod3() {
        XModifierKeymap* original = XGetModifierMapping(x_);
        QList<quint64> seen;
        const auto restore = qScopeGuard([&] {
            desktop_->watchModifiers({});
            xdotool({"keyup", "alt"});
            XSetModifierMapping(x_, original);
            XFreeModifiermap(original);
            XSync(x_, False);
        });
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
        QVERIFY(desktop_->watchModifiers([&seen](quint64 now) { seen.append(now); }));
        QVERIFY(xdotool({"keydown", "alt"}));
        QTRY_COMPARE(rawState() & (Mod3Mask | Mod1Mask), uint(Mod3Mask));
        QCOMPARE(desktop_->modifierFlags(), optionFlag);
        QTRY_VERIFY(!seen.isEmpty() && seen.last() == optionFlag);
        QVERIFY(xdotool({"keyup", "alt"}));
        QTRY_COMPARE(rawState() & Mod3Mask, 0u);
        QCOMPARE(desktop_->modifierFlags(), quint64(0));
        QTRY_VERIFY(seen.last() == 0);
    }
};

QTEST_GUILESS_MAIN(TestX11Desktop)
#include "test_x11_desktop.moc"
