// The pure parts of the X11 desktop: modifier slots and monitor geometry (the
// usable areas are checked against a real server in test_x11_desktop).
#include "core/HoverModifier.h"
#include "platform/x11/ModifierMasks.h"
#include "platform/x11/MonitorLayout.h"
#include "platform/x11/TextScale.h"

#include <QTest>
#include <X11/X.h>
#include <X11/Xlib.h>

using namespace platform::x11;
using namespace HoverModifiers;

Q_DECLARE_METATYPE(ModifierMasks)
Q_DECLARE_METATYPE(RootMonitor)

namespace {

// "mod1:Alt_L,Meta_L mod4:Super_L" -> keysyms per slot.
SlotKeysyms slotsFrom(const QString& text) {
    static const QStringList names{"shift", "lock", "control", "mod1", "mod2", "mod3", "mod4", "mod5"};
    SlotKeysyms bySlot;
    for (const QString& entry : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const QStringList parts = entry.split(QLatin1Char(':'));
        for (const QString& name : parts.at(1).split(QLatin1Char(',')))
            bySlot[size_t(names.indexOf(parts.at(0)))].append(
                quint32(XStringToKeysym(name.toLatin1().constData())));
    }
    return bySlot;
}

} // namespace

class TestX11Tables : public QObject {
    Q_OBJECT

  private slots:
    void masks_data() {
        QTest::addColumn<QString>("mapping");
        QTest::addColumn<uint>("option");
        QTest::addColumn<uint>("command");
        QTest::addColumn<uint>("control");
        const QString pc =
            "shift:Shift_L,Shift_R lock:Caps_Lock control:Control_L,Control_R "
            "mod1:Alt_L,Alt_R,Meta_L mod2:Num_Lock mod4:Super_L,Super_R,Hyper_L mod5:ISO_Level3_Shift";
        QTest::newRow("pc keyboard") << pc << uint(Mod1Mask) << uint(Mod4Mask) << uint(ControlMask);
        QTest::newRow("Alt on Mod4, Super on Mod1, Control on Mod5")
            << "mod5:Control_L mod1:Super_L mod4:Alt_L" << uint(Mod4Mask) << uint(Mod1Mask) << uint(Mod5Mask);
        QTest::newRow("the Alt keys named Meta")
            << "mod1:Meta_L,Meta_R" << uint(Mod1Mask) << uint(Mod4Mask) << uint(ControlMask);
        QTest::newRow("Alt in two slots")
            << "mod1:Alt_L mod3:Alt_R" << uint(Mod1Mask | Mod3Mask) << uint(Mod4Mask) << uint(ControlMask);
        QTest::newRow("empty mapping: the usual bits")
            << "" << uint(Mod1Mask) << uint(Mod4Mask) << uint(ControlMask);
    }

    void masks() {
        QFETCH(QString, mapping);
        QFETCH(uint, option);
        QFETCH(uint, command);
        QFETCH(uint, control);
        QCOMPARE(modifierMasks(slotsFrom(mapping)), (ModifierMasks{option, command, control}));
    }

    void flags_data() {
        QTest::addColumn<uint>("state");
        QTest::addColumn<ModifierMasks>("masks");
        QTest::addColumn<quint64>("flags");
        const ModifierMasks usual{Mod1Mask, Mod4Mask, ControlMask};
        const ModifierMasks remapped{Mod3Mask, Mod1Mask, Mod5Mask};
        QTest::newRow("Alt and Shift") << uint(Mod1Mask | ShiftMask) << usual << optionFlag;
        QTest::newRow("NumLock, CapsLock, a button")
            << uint(Mod2Mask | LockMask | Button1Mask) << usual << quint64(0);
        // Mod1 carries Super, Mod3 Alt, and ControlMask means nothing without the Control keys.
        QTest::newRow("remapped") << uint(Mod1Mask | Mod3Mask | ControlMask) << remapped
                                  << (optionFlag | commandFlag);
    }

    void flags() {
        QFETCH(uint, state);
        QFETCH(ModifierMasks, masks);
        QFETCH(quint64, flags);
        QCOMPARE(hoverFlags(state, masks), flags);
    }

    void layout_data() {
        QTest::addColumn<QList<RootMonitor>>("monitors");
        QTest::addColumn<QPoint>("origin");
        QTest::addColumn<QList<QRect>>("ordered");
        const QRect left(0, 0, 1920, 1080), right(1920, 0, 2560, 1440), above(0, -900, 1440, 900);
        QTest::newRow("primary on the right") << QList<RootMonitor>{{left, false}, {right, true}}
                                              << QPoint(1920, 0) << QList<QRect>{right, left};
        QTest::newRow("two marked primary: the first")
            << QList<RootMonitor>{{above, false}, {left, true}, {right, true}} << QPoint(0, 0)
            << QList<QRect>{left, above, right};
        QTest::newRow("empty monitors left out")
            << QList<RootMonitor>{{QRect(5, 5, 0, 0), true}, {right, false}} << QPoint(1920, 0)
            << QList<QRect>{right};
        QTest::newRow("no monitors: the root")
            << QList<RootMonitor>{} << QPoint(0, 0) << QList<QRect>{QRect(0, 0, 1280, 800)};
    }

    void layout() {
        QFETCH(QList<RootMonitor>, monitors);
        QFETCH(QPoint, origin);
        QFETCH(QList<QRect>, ordered);
        QCOMPARE(monitorLayout(monitors, QSize(1280, 800)), (MonitorLayout{origin, ordered}));
    }

    void workAreas_data() {
        QTest::addColumn<QList<long>>("areas");
        QTest::addColumn<int>("desktop");    // -1: no _NET_CURRENT_DESKTOP
        QTest::addColumn<QRect>("expected"); // null: none
        const QList<long> two{0, 30, 1920, 1050, 10, 0, 1910, 1080};
        QTest::newRow("second desktop") << two << 1 << QRect(10, 0, 1910, 1080);
        QTest::newRow("no current desktop: the first") << two << -1 << QRect(0, 30, 1920, 1050);
        QTest::newRow("desktop beyond the list") << two << 2 << QRect();
        QTest::newRow("absurd size") << QList<long>{0, 0, 1L << 40, 100} << 0 << QRect();
    }

    void workAreas() {
        QFETCH(QList<long>, areas);
        QFETCH(int, desktop);
        QFETCH(QRect, expected);
        const auto area = workArea(areas, desktop == -1 ? std::nullopt : std::optional<long>(desktop));
        QCOMPARE(area.value_or(QRect()), expected);
    }

    // The root's resource string as xrdb leaves it: one "name:\tvalue" per line.
    void textScales_data() {
        QTest::addColumn<QByteArray>("resources");
        QTest::addColumn<double>("scale");
        QTest::newRow("no resources") << QByteArray() << 1.0;
        QTest::newRow("192 dpi among other entries")
            << QByteArray("Xft.antialias:\t1\nXft.dpi:\t192\nXft.hinting:\t1\n") << 2.0;
        QTest::newRow("144 dpi, no trailing newline") << QByteArray("Xft.dpi: 144") << 1.5;
        QTest::newRow("the last entry wins") << QByteArray("Xft.dpi:\t192\nXft.dpi:\t96\n") << 1.0;
        QTest::newRow("below 96: read as it is") << QByteArray("Xft.dpi:\t72\n") << 1.0;
        QTest::newRow("absurdly large: at most 4") << QByteArray("Xft.dpi:\t100000\n") << 4.0;
        QTest::newRow("not a number") << QByteArray("Xft.dpi:\thigh\n") << 1.0;
        QTest::newRow("zero") << QByteArray("Xft.dpi:\t0\n") << 1.0;
        QTest::newRow("another name ending in dpi") << QByteArray("Xcursor.dpi:\t192\n") << 1.0;
        QTest::newRow("a longer name beginning with it") << QByteArray("Xft.dpix:\t192\n") << 1.0;
    }
    void textScales() {
        QFETCH(QByteArray, resources);
        QFETCH(double, scale);
        QCOMPARE(textScale(resources), scale);
    }
};

QTEST_GUILESS_MAIN(TestX11Tables)
#include "test_x11_tables.moc"
