#include "TempTree.h"
#include "platform/proc/ProcProcessSource.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTest>
#include <QThread>
#include <algorithm>
#include <signal.h>
#include <unistd.h>

using Stat = ProcProcessSource::Stat;
Q_DECLARE_METATYPE(std::optional<Stat>)

namespace {

// The children of pid in the table, oldest first.
QList<qint32> childrenOf(qint32 pid, const ProcessRoots::ProcessTable& table) {
    QList<qint32> children;
    for (auto it = table.cbegin(); it != table.cend(); ++it)
        if (it->parent == pid) children.append(it.key());
    std::sort(children.begin(), children.end());
    return children;
}

// Kills the started family when the test ends, however it ends.
struct Family {
    QList<qint32> groups;
    QProcess* starter = nullptr;
    ~Family() {
        for (const qint32 group : std::as_const(groups))
            ::kill(-group, SIGKILL);
        if (starter) starter->waitForFinished();
    }
};

} // namespace

class TestProcProcessSource : public QObject {
    Q_OBJECT

  private slots:
    void parseStat_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<std::optional<Stat>>("expected");
        const std::optional<Stat> none;
        QTest::newRow("plain") << QByteArray("1234 (bash) S 1000 1234 1234 34816 1234 4194560 2 0\n")
                               << std::make_optional(Stat{1234, 1000, 1234, "bash"});
        // The fields are taken after the last ')'.
        QTest::newRow("blanks and parentheses in the command")
            << QByteArray("88 (tmux: a) b) (c) R 5 6 7 0")
            << std::make_optional(Stat{88, 5, 6, "tmux: a) b) (c"});
        QTest::newRow("the command is a closing parenthesis")
            << QByteArray("99 ()) S 2 3 3") << std::make_optional(Stat{99, 2, 3, ")"});
        QTest::newRow("UTF-8 command") << QByteArray("6 (caf\xc3\xa9) S 1 6")
                                       << std::make_optional(Stat{6, 1, 6, QStringLiteral("caf\u00e9")});
        QTest::newRow("fields missing after the command") << QByteArray("5 (sh) S 1") << none;
        QTest::newRow("pid not a number") << QByteArray("\x00\xff(\x01) S 1 2", 11) << none;
        QTest::newRow("pid 0") << QByteArray("0 (idle) S 0 0") << none;
        QTest::newRow("no parentheses") << QByteArray("5 sh S 1 2") << none;
        QTest::newRow("cut inside the command") << QByteArray("43 (ba") << none;
        QTest::newRow("parent overflows") << QByteArray("5 (sh) S 99999999999 2") << none;
    }

    void parseStat() {
        QFETCH(QByteArray, text);
        QFETCH(std::optional<Stat>, expected);
        QCOMPARE(ProcProcessSource::parseStat(text), expected);
    }

    // Two good entries beside a bad one: the bad one is skipped.
    void tableSkipsBadEntries_data() {
        QTest::addColumn<QString>("entry"); // under proc/; a trailing '/' makes a folder
        QTest::addColumn<QByteArray>("contents");
        QTest::newRow("no stat (the process ended)") << "44/" << QByteArray();
        QTest::newRow("stat is a folder") << "44/stat/" << QByteArray();
        QTest::newRow("garbage stat") << "44/stat" << QByteArray("garbage");
        QTest::newRow("not a process folder") << "self/stat" << QByteArray("45 (bash) S 1 45 45 0");
        QTest::newRow("unreadable stat") << "44/stat" << QByteArray("44 (bash) S 42 44 44 0");
    }

    void tableSkipsBadEntries() {
        QFETCH(QString, entry);
        QFETCH(QByteArray, contents);
        TempTree tree;
        tree.file("proc/42/stat", "42 (my (odd) sh) S 7 42 42 0");
        tree.file("proc/43/stat", "43 (bash) S 42 42 42 0");
        if (entry.endsWith('/'))
            tree.folder("proc/" + entry);
        else
            tree.file("proc/" + entry, contents);
        if (QTest::currentDataTag() == QByteArray("unreadable stat")) {
            if (::geteuid() == 0) QSKIP("permissions do not hold the superuser back");
            QVERIFY(QFile::setPermissions(tree.path("proc/" + entry), QFile::WriteOwner));
        }
        const ProcessRoots::ProcessTable table = ProcProcessSource(tree.path("proc")).processTable();
        QCOMPARE(table.size(), 2);
        QCOMPARE(table.value(42).parent, 7);
        QCOMPARE(table.value(42).command, QStringLiteral("my (odd) sh"));
        QVERIFY(table.value(42).leadsItsGroup);
        QCOMPARE(table.value(43).parent, 42);
        QVERIFY(!table.value(43).leadsItsGroup);
    }

    void workingDirectoryLinks_data() {
        QTest::addColumn<QString>("target"); // relative to the tree
        QTest::addColumn<bool>("createTarget");
        QTest::addColumn<bool>("kept");
        QTest::newRow("a folder") << "work" << true << true;
        QTest::newRow("a deleted folder") << "gone (deleted)" << false << false;
        QTest::newRow("a folder really named with the deleted suffix") << "kept (deleted)" << true << true;
        QTest::newRow("a relative link") << "relative" << false << false;
        QTest::newRow("no such process") << "" << false << false;
    }

    void workingDirectoryLinks() {
        QFETCH(QString, target);
        QFETCH(bool, createTarget);
        QFETCH(bool, kept);
        TempTree tree;
        tree.folder("proc/42");
        const QString absolute = tree.path(target);
        if (createTarget) tree.folder(target);
        const QString linkTarget = target == QLatin1String("relative") ? target : absolute;
        if (!target.isEmpty()) QVERIFY(QFile::link(linkTarget, tree.path("proc/42/cwd")));
        QCOMPARE(ProcProcessSource(tree.path("proc")).workingDirectory(42), kept ? absolute : QString());
    }

    // Children started under a parent shell, each in a folder of its own: the real
    // /proc must give the commands, group leaders, parents and folders that order
    // the roots (the rules themselves are tested on made-up tables in test_process_roots).
    void rootsOfRealShells() {
        TempTree tree;
        struct Child {
            QString kind, folder;
        };
        const QList<Child> started{{"leader", "b"}, {"sh", "c"}, {"sleep", "d"}, {"sh", "e"}};
        QString script;
        for (const Child& child : started) {
            const QString start = child.kind == "sleep"    ? QStringLiteral("sleep 60")
                                  : child.kind == "leader" ? QStringLiteral("setsid sh -c 'sleep 60; :'")
                                                           : QStringLiteral("sh -c 'sleep 60; :'");
            script += QStringLiteral("(cd '%1' && exec %2) &\n").arg(tree.folder(child.folder), start);
        }
        script += "wait\n";
        // setsid gives the family a process group of its own, so that it can be killed whole.
        QProcess parent;
        parent.setWorkingDirectory(tree.folder("a")); // the parent's own folder, never a root
        parent.start("setsid", {"sh", "-c", script});
        QVERIFY(parent.waitForStarted());
        const qint32 pid = qint32(parent.processId());
        Family family{{pid}, &parent};
        const ProcProcessSource source;
        bool settled = false; // every child started and in its folder: a guard, not a speed check
        for (int attempt = 0; attempt < 1500 && !settled; ++attempt) {
            const ProcessRoots::ProcessTable table = source.processTable();
            const QList<qint32> children = childrenOf(pid, table);
            settled = children.size() == started.size();
            for (qsizetype i = 0; settled && i < children.size(); ++i) {
                const ProcessRoots::ProcessEntry entry = table.value(children.at(i));
                const QString kind = started.at(i).kind;
                settled = entry.command == (kind == "sleep" ? "sleep" : "sh") &&
                          entry.leadsItsGroup == (kind == "leader") &&
                          source.workingDirectory(children.at(i)) == tree.path(started.at(i).folder);
            }
            if (!settled) QThread::msleep(20);
        }
        for (const qint32 child : childrenOf(pid, source.processTable()))
            family.groups.append(child); // the group leader's group is its own
        QVERIFY2(settled, "the children did not start");
        // The group leader, the shells newest first, then the rest.
        QStringList expected;
        for (const char* folder : {"b", "e", "c", "d"})
            expected.append(tree.path(folder) + '/');
        QStringList found;
        for (const QUrl& url : ProcessRoots::rootsFor(pid, source))
            found.append(url.toLocalFile());
        QCOMPARE(found, expected);
    }

    // This process in the real table, read while others start and end around it:
    // processes that vanish mid-read are skipped, never fatal.
    void thisProcessInTheRealTable() {
        QProcess churn;
        churn.start("sh", {"-c", "while :; do sh -c : & sh -c : & wait; done"});
        QVERIFY(churn.waitForStarted());
        const ProcProcessSource source;
        const qint32 self = ::getpid();
        // The kernel keeps the first 15 bytes of the executable's name.
        const QString command = QFileInfo(QCoreApplication::applicationFilePath()).fileName().left(15);
        for (int round = 0; round < 40; ++round) {
            const ProcessRoots::ProcessTable table = source.processTable();
            QCOMPARE(table.value(self).command, command);
            QCOMPARE(table.value(self).parent, qint32(::getppid()));
            QCOMPARE(table.value(self).leadsItsGroup, ::getpgrp() == self);
            ProcessRoots::compute(qint32(churn.processId()), source);
        }
        churn.kill();
        churn.waitForFinished();
    }
};

QTEST_GUILESS_MAIN(TestProcProcessSource)
#include "test_proc_process_source.moc"
