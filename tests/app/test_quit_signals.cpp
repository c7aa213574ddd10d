// SIGTERM and SIGINT end the agent with status 0 even while a worker is stuck:
// a copy of this program plays the agent, with a pool task blocked opening a
// FIFO that no one writes to (the application's teardown waits for the pool).
#include "TempTree.h"
#include "app/agent/QuitSignals.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTest>
#include <QThreadPool>
#include <QTimer>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The stand-in agent: argv = program, "--agent", fifo path, "stuck" or "idle".
int agent(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QuitSignals quitSignals;
    const QByteArray fifo = argv[2];
    if (std::strcmp(argv[3], "stuck") == 0) {
        QThreadPool::globalInstance()->start([fifo] {
            const int fd = ::open(fifo.constData(), O_RDONLY); // blocks: no writer ever comes
            if (fd >= 0) ::close(fd);
        });
    }
    std::printf("ready\n");
    std::fflush(stdout);
    return app.exec();
}

} // namespace

class TestQuitSignals : public QObject {
    Q_OBJECT
  private slots:
    void endsWithStatusZero_data() {
        QTest::addColumn<int>("signal");
        QTest::addColumn<QString>("worker");
        QTest::newRow("SIGTERM, idle") << int(SIGTERM) << "idle";
        QTest::newRow("SIGTERM, worker stuck") << int(SIGTERM) << "stuck";
        QTest::newRow("SIGINT, worker stuck") << int(SIGINT) << "stuck";
    }
    void endsWithStatusZero() {
        QFETCH(int, signal);
        QFETCH(QString, worker);
        TempTree tree;
        const QString fifo = tree.path("x.png");
        QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
        QProcess process;
        process.start(QCoreApplication::applicationFilePath(), {"--agent", fifo, worker});
        QVERIFY(process.waitForReadyRead(30000));
        QTest::qWait(100); // the worker is in open()
        ::kill(pid_t(process.processId()), signal);
        // A guard against a hang, not a speed check (that is the end-to-end script's).
        const bool ended = process.waitForFinished(15000);
        if (!ended) process.kill();
        QVERIFY2(ended, "the agent did not end");
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 0);
    }
};

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "--agent") == 0) return agent(argc, argv);
    QCoreApplication app(argc, argv);
    TestQuitSignals test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_quit_signals.moc"
