#pragma once

#include "platform/gnome/ShellExtension.h"

#include <QBuffer>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusUnixFileDescriptor>
#include <QDBusVirtualObject>
#include <QImage>
#include <QMutex>
#include <QProcess>
#include <QRect>
#include <QStandardPaths>
#include <QThread>
#include <unistd.h>

// A private session bus (dbus-daemon) and a fake of Vistel's GNOME Shell
// extension on it, answering on a thread of its own as the Shell's process
// would while the caller blocks. Each method answers with what the test last
// set for it: a reply, an error, a reply of another shape, or a reply sent
// after the caller has given up.
class FakeShell : public QDBusVirtualObject {
  public:
    struct Answer {
        Answer(QVariantList arguments = {}, QString error = {}, int delayMs = 0, QByteArray file = {})
            : arguments(std::move(arguments)), error(std::move(error)), delayMs(delayMs),
              file(std::move(file)) {}
        QVariantList arguments; // the reply's arguments (their types make its signature)
        QString error;          // a D-Bus error name instead of a reply
        int delayMs = 0;        // answered this late
        QByteArray file;        // Capture: written into the caller's file
    };

    void set(const QString& method, const Answer& answer) {
        QMutexLocker lock(&mutex_);
        answers_[method] = answer;
    }
    void clear() {
        QMutexLocker lock(&mutex_);
        answers_.clear();
        asked_.clear();
        lastArguments_.clear();
    }
    int asked(const QString& method) const {
        QMutexLocker lock(&mutex_);
        return asked_.value(method);
    }
    QList<QVariant> lastArguments(const QString& method) const {
        QMutexLocker lock(&mutex_);
        return lastArguments_.value(method);
    }

    // No answer is being prepared: a late one of the last test has gone out.
    bool idle() const { return busy_.loadAcquire() == 0; }

    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        if (message.interface() != platform::ShellExtension::kInterface) return false;
        Answer a;
        const Busy busy(busy_);
        {
            QMutexLocker lock(&mutex_);
            ++asked_[message.member()];
            lastArguments_[message.member()] = message.arguments();
            if (!answers_.contains(message.member())) return false; // an unknown method
            a = answers_.value(message.member());
        }
        if (!a.file.isEmpty() && message.arguments().size() == 2) {
            const auto fd = qvariant_cast<QDBusUnixFileDescriptor>(message.arguments().at(1));
            if (fd.isValid() && ::write(fd.fileDescriptor(), a.file.constData(), size_t(a.file.size())) < 0)
                a.error = QStringLiteral("org.freedesktop.DBus.Error.Failed");
        }
        QThread::msleep(a.delayMs);
        QDBusMessage reply = a.error.isEmpty() ? message.createReply(a.arguments)
                                               : message.createErrorReply(a.error, QStringLiteral("refused"));
        connection.send(reply);
        return true;
    }

    static QByteArray png(QSize size) {
        QImage image(size, QImage::Format_RGB32);
        image.fill(Qt::red);
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "PNG");
        return bytes;
    }

  private:
    struct Busy {
        QAtomicInt& count;
        explicit Busy(QAtomicInt& c) : count(c) { count.ref(); }
        ~Busy() { count.deref(); }
    };
    QAtomicInt busy_;
    mutable QMutex mutex_;
    QHash<QString, Answer> answers_;
    QHash<QString, int> asked_;
    QHash<QString, QVariantList> lastArguments_;
};

// A monitor as the extension sends it: ((iiii)(iiii)d). QRect travels as (iiii).
struct FakeMonitor {
    QRect frame, usable;
    double scale = 1.0;
};
Q_DECLARE_METATYPE(FakeMonitor)

inline QDBusArgument& operator<<(QDBusArgument& argument, const FakeMonitor& m) {
    argument.beginStructure();
    argument << m.frame << m.usable << m.scale;
    argument.endStructure();
    return argument;
}
inline const QDBusArgument& operator>>(const QDBusArgument& argument, FakeMonitor& m) {
    argument.beginStructure();
    argument >> m.frame >> m.usable >> m.scale;
    argument.endStructure();
    return argument;
}

// The bus and the fake registered on it as the Shell, for one test class.
class FakeShellBus {
  public:
    ~FakeShellBus() {
        thread_.quit();
        thread_.wait();
        QDBusConnection::disconnectFromBus(QStringLiteral("shell"));
        delete shell_;
        daemon_.kill();
        daemon_.waitForFinished();
    }

    // An empty string when the bus and the fake run, else what went wrong.
    QString start() {
        const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
        if (daemon.isEmpty())
            return QStringLiteral("dbus-daemon is not installed (scripts/install-deps installs it)");
        daemon_.start(daemon, {"--session", "--nofork", "--print-address=1"});
        if (!daemon_.waitForStarted()) return QStringLiteral("dbus-daemon did not start");
        while (!daemon_.canReadLine() && daemon_.waitForReadyRead(10000)) {
        }
        address_ = QString::fromUtf8(daemon_.readLine().trimmed());
        if (address_.isEmpty()) return QStringLiteral("dbus-daemon printed no address");
        qDBusRegisterMetaType<FakeMonitor>();
        qDBusRegisterMetaType<QList<FakeMonitor>>();
        qDBusRegisterMetaType<QList<QRect>>();
        shell_ = new FakeShell;
        shell_->moveToThread(&thread_);
        thread_.start();
        if (!appear()) return QStringLiteral("the fake could not take the Shell's name");
        return {};
    }

    // The Shell takes its name and object, or lets them go as when it stops.
    bool appear() {
        QDBusConnection bus = connection();
        bus.unregisterObject(platform::ShellExtension::kPath); // registered anew, as a restarted Shell does
        return bus.registerVirtualObject(platform::ShellExtension::kPath, shell_) &&
               bus.registerService(platform::ShellExtension::kService);
    }
    void vanish() {
        QDBusConnection bus = connection();
        bus.unregisterService(platform::ShellExtension::kService);
        bus.unregisterObject(platform::ShellExtension::kPath);
    }
    // The Shell answers, but the extension's object is not there (switched off).
    void withoutObject() { connection().unregisterObject(platform::ShellExtension::kPath); }

    QDBusConnection connection() const {
        return QDBusConnection::connectToBus(address_, QStringLiteral("shell"));
    }
    // A caller's connection of its own name.
    QDBusConnection client(const QString& name) const {
        return QDBusConnection::connectToBus(address_, name);
    }
    QString address() const { return address_; }
    FakeShell& shell() { return *shell_; }

  private:
    QProcess daemon_;
    QThread thread_;
    FakeShell* shell_ = nullptr;
    QString address_;
};
