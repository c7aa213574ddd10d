// The accessibility switch, read on a private bus where the test plays the
// AT-SPI launcher.
#include "platform/a11y/AccessibilityStatus.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QMutex>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>
#include <QThread>

namespace {

// Answers GetAll on its own thread, as the launcher process would while the caller blocks.
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

    QProcess daemon_;
    QThread thread_;
    FakeLauncher* launcher_ = nullptr;
    QString address_;

  private slots:
    void initTestCase() {
        const QString daemon = QStandardPaths::findExecutable("dbus-daemon");
        if (daemon.isEmpty()) QSKIP("dbus-daemon is not installed (scripts/install-deps installs it)");
        daemon_.start(daemon, {"--session", "--nofork", "--print-address=1"});
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
        thread_.quit(); // after the late answer is sent
        thread_.wait();
        QDBusConnection::disconnectFromBus("service");
        QDBusConnection::disconnectFromBus("client");
        delete launcher_;
        daemon_.kill();
        daemon_.waitForFinished();
    }

    void answers_data() {
        QTest::addColumn<QVariantMap>("properties");
        QTest::addColumn<bool>("error");
        QTest::addColumn<bool>("late"); // answered after the caller gave up
        QTest::addColumn<bool>("enabled");
        const auto both = [](QVariant enabled, QVariant screenReader) {
            return QVariantMap{{"IsEnabled", enabled}, {"ScreenReaderEnabled", screenReader}};
        };
        QTest::newRow("enabled") << both(true, false) << false << false << true;
        QTest::newRow("refused (as when no launcher runs)") << both(true, true) << true << false << false;
        QTest::newRow("slower than the timeout") << both(true, false) << false << true << false;
    }

    void answers() {
        QFETCH(QVariantMap, properties);
        QFETCH(bool, error);
        QFETCH(bool, late);
        QFETCH(bool, enabled);
        launcher_->set({properties, late ? 1500 : 0, error});
        QCOMPARE(platform::AccessibilityStatus::enabled(QDBusConnection::connectToBus(address_, "client"),
                                                        late ? 200 : 5000),
                 enabled);
    }
};

QTEST_GUILESS_MAIN(TestAccessibilityStatus)
#include "test_accessibility_status.moc"
