#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QPointF>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>
#include <QThread>
#include <csignal>
#include <memory>

// A private X server (Xvfb) and session bus for tests and benchmarks that talk
// to real applications. The accessibility bus comes up by D-Bus activation, as
// on a desktop; its launcher keeps the desktop settings it writes in memory.
// This process is pointed at both (DISPLAY, DBUS_SESSION_BUS_ADDRESS) before
// anything in it opens a connection.
class PrivateDesktop {
  public:
    ~PrivateDesktop() {
        for (QProcess* p : {&bus_, &server_})
            stop(*p);
    }

    // The first program this needs that is not installed, or an empty string.
    static QString missingProgram() {
        for (const char* program : {"Xvfb", "dbus-daemon"})
            if (QStandardPaths::findExecutable(program).isEmpty()) return program;
        if (!QFile::exists("/usr/libexec/at-spi-bus-launcher")) return "at-spi-bus-launcher";
        return {};
    }

    // An empty string when both run, else what went wrong.
    QString start() {
        if (!startServer()) return "no X server could be started";
        qputenv("GSETTINGS_BACKEND", "memory");
        qunsetenv("AT_SPI_BUS_ADDRESS");
        bus_.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
        if (!bus_.waitForStarted()) return "dbus-daemon did not start";
        while (!bus_.canReadLine() && bus_.waitForReadyRead(10000)) {
        }
        const QByteArray address = bus_.readLine().trimmed();
        if (address.isEmpty()) return "dbus-daemon printed no address";
        qputenv("DBUS_SESSION_BUS_ADDRESS", address);
        return {};
    }

    static void stop(QProcess& p) {
        if (p.state() == QProcess::NotRunning) return;
        ::kill(pid_t(p.processId()), SIGCONT);
        p.terminate();
        if (!p.waitForFinished(3000)) p.kill();
        p.waitForFinished(3000);
    }

  private:
    bool startServer() {
        for (int display = 140; display < 200; ++display) {
            const QString socket = QStringLiteral("/tmp/.X11-unix/X%1").arg(display);
            if (QFile::exists(socket) || QFile::exists(QStringLiteral("/tmp/.X%1-lock").arg(display)))
                continue;
            server_.start("Xvfb", {QStringLiteral(":%1").arg(display), "-screen", "0", "1280x800x24",
                                   "-nolisten", "tcp"});
            if (!server_.waitForStarted()) return false;
            for (int i = 0; i < 100 && server_.state() == QProcess::Running; ++i) {
                if (QFile::exists(socket)) {
                    qputenv("DISPLAY", QByteArray(":") + QByteArray::number(display));
                    return true;
                }
                QThread::msleep(50);
            }
            stop(server_);
        }
        return false;
    }

    QProcess server_;
    QProcess bus_;
};

// One run of tests/platform/accessible_text_window, and where its needles landed.
struct TextWindowRun {
    std::unique_ptr<QProcess> process;
    QList<QPointF> needles;
    QPointF after; // right of the first line, where there is no text
    qint32 pid() const { return process ? qint32(process->processId()) : 0; }

    // Shows what the shell command prints (the shell works in folder) and waits
    // until the needles' positions are known; needles stays empty when it failed.
    static TextWindowRun launch(const QString& program, const QString& folder, const QString& title,
                                const QString& command, const QStringList& needles) {
        TextWindowRun run;
        run.process = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "xcb");
        env.insert("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1");
        run.process->setProcessEnvironment(env);
        QStringList arguments{"--folder", folder, "--caption", title, "--command", command};
        for (const QString& needle : needles)
            arguments << "--needle" << needle;
        run.process->start(program, arguments);
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < 20000 && run.process->state() != QProcess::NotRunning) {
            if (!run.process->canReadLine() && !run.process->waitForReadyRead(200)) continue;
            while (run.process->canReadLine()) {
                const QStringList words = QString::fromUtf8(run.process->readLine()).trimmed().split(' ');
                if (words.value(0) == "needle")
                    run.needles.append(QPointF(words.value(2).toInt(), words.value(3).toInt()));
                if (words.value(0) == "after")
                    run.after = QPointF(words.value(1).toInt(), words.value(2).toInt());
                if (words.value(0) == "ready") return run;
            }
        }
        run.needles.clear();
        return run;
    }
};
