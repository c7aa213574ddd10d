// The channel between a running agent and later starts: both ends in this
// process, the asking end on a worker thread (it blocks) while the serving end
// answers from the event loop.

#include "app/agent/AgentChannel.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFuture>
#include <QLocalServer>
#include <QLocalSocket>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QtConcurrent/QtConcurrentRun>
#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

using AgentChannel::Reply;

namespace {

// Waits for a blocking ask made on a worker while this thread serves.
Reply askServed(const QString& path, const QString& request, int timeoutMs = 1000) {
    QFuture<Reply> future = QtConcurrent::run([=] { return AgentChannel::ask(path, request, timeoutMs); });
    QElapsedTimer guard;
    guard.start();
    while (!future.isFinished() && guard.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return future.result();
}

} // namespace

class TestAgentChannel : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    QString path(const QString& name) const { return dir.filePath(name); }

  private slots:
    // ":1", ":1.0" and "unix:1" are one display; another number or host is another socket.
    void placePerDisplay_data() {
        QTest::addColumn<QString>("display");
        QTest::addColumn<QString>("name");
        QTest::newRow("plain") << ":1"
                               << "vistel-1.socket";
        QTest::newRow("screen number") << ":1.0"
                                       << "vistel-1.socket";
        QTest::newRow("unix host") << "unix:1"
                                   << "vistel-1.socket";
        QTest::newRow("remote host") << "host.example:10.0"
                                     << "vistel-host.example-10.socket";
        QTest::newRow("slashes cannot leave the folder") << "../x/y:3"
                                                         << "vistel-.._x_y-3.socket";
    }
    void placePerDisplay() {
        QFETCH(QString, display);
        QFETCH(QString, name);
        const AgentChannel::Place place = AgentChannel::place(display, dir.path(), dir.path(), ::geteuid());
        QCOMPARE(place.problem, QString());
        QCOMPARE(place.path, dir.path() + "/" + name);
    }

    // Without a usable runtime folder the socket goes to a private folder named with the uid.
    void placeFallsBackToPrivateFolder_data() {
        QTest::addColumn<QString>("runtime");
        QTest::newRow("unset") << "";
        QTest::newRow("relative") << "run";
        QTest::newRow("missing") << "/nonexistent/run";
    }
    void placeFallsBackToPrivateFolder() {
        QFETCH(QString, runtime);
        QTemporaryDir tmp;
        const uid_t uid = ::geteuid();
        const AgentChannel::Place place = AgentChannel::place(":2", runtime, tmp.path(), uid);
        const QString folder = tmp.filePath(QStringLiteral("vistel-%1").arg(uid));
        QCOMPARE(place.path, folder + "/vistel-2.socket");
        struct stat info {};
        QCOMPARE(::lstat(QFile::encodeName(folder).constData(), &info), 0);
        QCOMPARE(info.st_mode & 0777, mode_t(0700));
    }

    // A fallback folder that others can enter, or that is a link, is not used.
    void placeRefusesAnOpenFolder_data() {
        QTest::addColumn<bool>("link");
        QTest::newRow("group and others may enter") << false;
        QTest::newRow("a link to another folder") << true;
    }
    void placeRefusesAnOpenFolder() {
        QFETCH(bool, link);
        QTemporaryDir tmp;
        const QString folder = tmp.filePath(QStringLiteral("vistel-%1").arg(::geteuid()));
        if (link) {
            QVERIFY(QFile::link(tmp.path(), folder));
        } else {
            QVERIFY(QDir().mkdir(folder));
            QVERIFY(::chmod(QFile::encodeName(folder).constData(), 0755) == 0);
        }
        const AgentChannel::Place place = AgentChannel::place(":3", {}, tmp.path(), ::geteuid());
        QVERIFY(place.path.isEmpty());
        QVERIFY2(place.problem.contains("is not a private folder"), qPrintable(place.problem));
    }

    void placeWithoutDisplay() {
        const AgentChannel::Place place = AgentChannel::place({}, dir.path(), dir.path(), ::geteuid());
        QVERIFY(place.path.isEmpty());
        QCOMPARE(place.problem, QStringLiteral("DISPLAY is not set"));
    }

    // Requests and their answers, through a real socket.
    void requests_data() {
        QTest::addColumn<QString>("request");
        QTest::addColumn<int>("outcome");
        QTest::addColumn<QString>("opened");
        QTest::newRow("open a known item") << "open settings" << int(Reply::Done) << "settings";
        QTest::newRow("open an unknown item") << "open bogus" << int(Reply::Failed) << "bogus";
        QTest::newRow("unknown request") << "frobnicate" << int(Reply::Failed) << "";
    }
    void requests() {
        QFETCH(QString, request);
        QFETCH(int, outcome);
        QFETCH(QString, opened);
        QStringList asked;
        AgentServer server([&](const QString& item) {
            asked.append(item);
            return item == QLatin1String("settings");
        });
        const QString socket = path("requests.socket");
        QCOMPARE(server.listen(socket), QString());
        const Reply reply = askServed(socket, request);
        QCOMPARE(int(reply.outcome), outcome);
        QCOMPARE(asked, opened.isEmpty() ? QStringList() : QStringList{opened});
        if (outcome == Reply::Done)
            QCOMPARE(reply.pid, QCoreApplication::applicationPid());
        else
            QVERIFY2(!reply.detail.isEmpty(), "a refused request says why");
        QVERIFY(server.isListening()); // only "quit" stops it
    }

    // "quit": the server lets go of its path before it answers, so the agent that
    // replaces it can take the path as soon as it reads the answer.
    void quitFreesThePathBeforeAnswering() {
        AgentServer server([](const QString&) { return true; });
        QSignalSpy quit(&server, &AgentServer::quitRequested);
        const QString socket = path("quit.socket");
        QCOMPARE(server.listen(socket), QString());
        const Reply reply = askServed(socket, "quit");
        QCOMPARE(int(reply.outcome), int(Reply::Done));
        QCOMPARE(quit.count(), 1);
        QVERIFY(!server.isListening());
        QVERIFY(!QFileInfo::exists(socket));
        QCOMPARE(int(AgentChannel::ask(socket, "quit").outcome), int(Reply::NoAgent));
    }

    // A server that stops late (an agent that was replaced after it stopped
    // answering) leaves the socket of its successor alone.
    void stoppingLateKeepsTheSuccessorsSocket() {
        const QString socket = path("successor.socket");
        AgentServer older([](const QString&) { return true; });
        QCOMPARE(older.listen(socket), QString());
        AgentServer newer([](const QString&) { return true; });
        QCOMPARE(newer.listen(socket), QString()); // renamed over the older one
        older.stop();
        QVERIFY(QFileInfo::exists(socket));
        QCOMPARE(int(askServed(socket, "open settings").outcome), int(Reply::Done));
        newer.stop();
        QVERIFY(!QFileInfo::exists(socket));
    }

    // A socket nobody listens on (an agent that crashed) is removed by the next asker.
    void staleSocketIsRemoved() {
        const QString socket = path("stale.socket");
        {
            // Bound and closed without removing: what a killed agent leaves behind.
            QLocalServer crashed;
            QVERIFY(crashed.listen(socket));
            QCOMPARE(::rename(QFile::encodeName(socket).constData(),
                              QFile::encodeName(socket + ".keep").constData()),
                     0);
        }
        QCOMPARE(
            ::rename(QFile::encodeName(socket + ".keep").constData(), QFile::encodeName(socket).constData()),
            0);
        QVERIFY(QFileInfo(socket).exists());
        const Reply reply = AgentChannel::ask(socket, "quit");
        QCOMPARE(int(reply.outcome), int(Reply::NoAgent));
        QVERIFY(!QFileInfo::exists(socket));
    }

    // Connected, but nobody answers: the asker gives up after its timeout.
    void silentAgentIsNoAnswer() {
        QLocalServer silent; // accepts, never reads
        const QString socket = path("silent.socket");
        QVERIFY(silent.listen(socket));
        const Reply reply = askServed(socket, "quit", 300);
        QCOMPARE(int(reply.outcome), int(Reply::NoAnswer));
    }

    // A path that is not a socket is neither asked nor replaced.
    void notASocketIsRefused() {
        const QString file = path("plain.socket");
        QFile plain(file);
        QVERIFY(plain.open(QIODevice::WriteOnly));
        plain.write("data");
        plain.close();
        const Reply reply = AgentChannel::ask(file, "quit");
        QCOMPARE(int(reply.outcome), int(Reply::Refused));
        QVERIFY2(reply.detail.endsWith("is not a socket"), qPrintable(reply.detail));
        AgentServer server([](const QString&) { return true; });
        QVERIFY2(server.listen(file).endsWith("is not a socket"), "listen refuses it too");
        QVERIFY(!server.isListening());
        QVERIFY(plain.open(QIODevice::ReadOnly));
        QCOMPARE(plain.readAll(), QByteArray("data"));
    }

    // Another user's socket: refused on its owner alone (the path is this user's own here).
    void anotherUsersSocketIsRefused() {
        const QString socket = path("owner.socket");
        QLocalServer server;
        QVERIFY(server.listen(socket));
        QCOMPARE(AgentChannel::refusal(socket, ::geteuid()), QString());
        QVERIFY(AgentChannel::refusal(socket, ::geteuid() + 1).endsWith("belongs to another user"));
        QCOMPARE(AgentChannel::refusal(path("absent.socket"), ::geteuid()), QString());
    }
};

QTEST_MAIN(TestAgentChannel)
#include "test_agent_channel.moc"
