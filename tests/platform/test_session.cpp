// The kind of session, read from the environment a login manager sets.
#include "platform/Session.h"

#include <QTest>

class TestSession : public QObject {
    Q_OBJECT

  private slots:
    void fromEnvironment_data() {
        QTest::addColumn<QStringList>("variables"); // NAME=value
        QTest::addColumn<bool>("wayland");
        QTest::addColumn<bool>("x11");
        QTest::addColumn<bool>("gnome");
        QTest::newRow("GNOME on Wayland")
            << QStringList{"XDG_SESSION_TYPE=wayland", "XDG_CURRENT_DESKTOP=GNOME", "DISPLAY=:0"} << true
            << true << true;
        QTest::newRow("Ubuntu's GNOME")
            << QStringList{"WAYLAND_DISPLAY=wayland-0", "XDG_CURRENT_DESKTOP=ubuntu:GNOME"} << true << false
            << true;
        QTest::newRow("GNOME Classic")
            << QStringList{"XDG_SESSION_TYPE=wayland", "XDG_CURRENT_DESKTOP=GNOME-Classic:GNOME"} << true
            << false << true;
        QTest::newRow("GNOME on Xorg")
            << QStringList{"XDG_SESSION_TYPE=x11", "XDG_CURRENT_DESKTOP=GNOME", "DISPLAY=:1"} << false << true
            << true;
        QTest::newRow("KDE Plasma on Wayland")
            << QStringList{"XDG_SESSION_TYPE=wayland", "XDG_CURRENT_DESKTOP=KDE"} << true << false << false;
        QTest::newRow("a name that only starts like it")
            << QStringList{"XDG_SESSION_TYPE=wayland", "XDG_CURRENT_DESKTOP=GNOMEish"} << true << false
            << false;
        QTest::newRow("nothing set") << QStringList{} << false << false << false;
    }
    void fromEnvironment() {
        QFETCH(QStringList, variables);
        QFETCH(bool, wayland);
        QFETCH(bool, x11);
        QFETCH(bool, gnome);
        QProcessEnvironment environment;
        for (const QString& v : variables)
            environment.insert(v.section('=', 0, 0), v.section('=', 1));
        const platform::Session session = platform::currentSession(environment);
        QCOMPARE(session.wayland, wayland);
        QCOMPARE(session.x11Display, x11);
        QCOMPARE(session.gnome, gnome);
    }
};

QTEST_GUILESS_MAIN(TestSession)
#include "test_session.moc"
