// The accessibility switch, read on a private bus where the test plays the
// AT-SPI launcher.
#include "platform/x11/AccessibilityStatus.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QMutex>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

namespace {

// Answers org.freedesktop.DBus.Properties.GetAll on its own thread, as the
// launcher (another process) would while the caller blocks.
class FakeLauncher : public QDBusVirtualObject {
  public:
    struct Answer {
        QVariantMap properties;
        int delayMs = 0;
        bool error = false;
    };
    void set(const Answer& answer) {
        QMutexLocker lock(&mutex_);
        answer_ = answer;
    }
    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        if (message.member() != QLatin1String("GetAll")) return false;
        Answer a;
        {
            QMutexLocker lock(&mutex_);
            a = answer_;
        }
        QThread::msleep(a.delayMs);
        connection.send(a.error ? message.createErrorReply(QDBusError::AccessDenied, "refused")
                                : message.createReply(QVariant(a.properties)));
        return true;
    }

  private:
    QMutex mutex_;
    Answer answer_;
};

} // namespace

class TestAccessibilityStatus : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QProcess daemon_;
    QThread thread_;
    FakeLauncher* launcher_ = nullptr;
    QString address_;

  private slots:
    void initTestCase() {
        const QString daemon = QStandardPaths::findExecutable("dbus-daemon");
        if (daemon.isEmpty()) QSKIP("dbus-daemon is not installed (scripts/install-deps installs it)");
        QFile config(dir_.filePath("bus.conf"));
        QVERIFY(config.open(QIODevice::WriteOnly));
        config.write(
            QStringLiteral("<busconfig><type>session</type><listen>unix:dir=%1</listen>"
                           "<auth>EXTERNAL</auth><policy context=\"default\">"
                           "<allow send_destination=\"*\" eavesdrop=\"true\"/><allow eavesdrop=\"true\"/>"
                           "<allow own=\"*\"/></policy></busconfig>")
                .arg(dir_.path())
                .toUtf8());
        config.close();
        daemon_.start(daemon, {"--config-file=" + config.fileName(), "--nofork", "--print-address=1"});
        QVERIFY(daemon_.waitForStarted());
        while (!daemon_.canReadLine() && daemon_.waitForReadyRead(10000)) {
        }
        address_ = QString::fromUtf8(daemon_.readLine().trimmed());
        QVERIFY(!address_.isEmpty());

        QDBusConnection service = QDBusConnection::connectToBus(address_, "service");
        QVERIFY(service.isConnected());
        launcher_ = new FakeLauncher;
        launcher_->moveToThread(&thread_);
        thread_.start();
        QVERIFY(service.registerVirtualObject("/org/a11y/bus", launcher_));
        QVERIFY(service.registerService("org.a11y.Bus"));
    }

    void cleanupTestCase() {
        QDBusConnection::disconnectFromBus("service");
        QDBusConnection::disconnectFromBus("client");
        thread_.quit();
        thread_.wait();
        delete launcher_;
        daemon_.kill();
        daemon_.waitForFinished();
    }

    void answers_data() {
        QTest::addColumn<QVariantMap>("properties");
        QTest::addColumn<bool>("error");
        QTest::addColumn<int>("delayMs");
        QTest::addColumn<int>("timeoutMs");
        QTest::addColumn<bool>("enabled");
        const auto both = [](QVariant enabled, QVariant screenReader) {
            return QVariantMap{{"IsEnabled", enabled}, {"ScreenReaderEnabled", screenReader}};
        };
        QTest::newRow("enabled") << both(true, false) << false << 0 << 5000 << true;
        QTest::newRow("both off") << both(false, false) << false << 0 << 5000 << false;
        QTest::newRow("screen reader only") << both(false, true) << false << 0 << 5000 << true;
        QTest::newRow("enabled as text") << both("true", "true") << false << 0 << 5000 << false;
        QTest::newRow("no properties") << QVariantMap() << false << 0 << 5000 << false;
        QTest::newRow("refused") << both(true, true) << true << 0 << 5000 << false;
        QTest::newRow("slow but in time") << both(true, false) << false << 300 << 5000 << true;
        QTest::newRow("slower than the timeout") << both(true, false) << false << 1500 << 200 << false;
    }

    void answers() {
        QFETCH(QVariantMap, properties);
        QFETCH(bool, error);
        QFETCH(int, delayMs);
        QFETCH(int, timeoutMs);
        QFETCH(bool, enabled);
        launcher_->set({properties, delayMs, error});
        QCOMPARE(platform::AccessibilityStatus::enabled(QDBusConnection::connectToBus(address_, "client"),
                                                        timeoutMs),
                 enabled);
    }

    void noLauncher() {
        QThread::msleep(1500); // let the slow answer above go by
        QDBusConnection service(QDBusConnection::connectToBus(address_, "service"));
        QVERIFY(service.unregisterService("org.a11y.Bus"));
        launcher_->set({{{"IsEnabled", true}}, 0, false});
        QVERIFY(
            !platform::AccessibilityStatus::enabled(QDBusConnection::connectToBus(address_, "client"), 5000));
        QVERIFY(service.registerService("org.a11y.Bus"));
        QVERIFY(
            platform::AccessibilityStatus::enabled(QDBusConnection::connectToBus(address_, "client"), 5000));
    }

    void noBus() {
        const QDBusConnection none =
            QDBusConnection::connectToBus("unix:path=" + dir_.filePath("nobody-listens"), "none");
        QVERIFY(!platform::AccessibilityStatus::enabled(none, 5000));
    }
};

QTEST_GUILESS_MAIN(TestAccessibilityStatus)
#include "test_accessibility_status.moc"
