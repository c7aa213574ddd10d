#include "TempTree.h"
#include "platform/proc/ProcProcessSource.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QTest>
#include <QThread>
#include <algorithm>
#include <signal.h>
#include <unistd.h>

using Stat = ProcProcessSource::Stat;

namespace {

QStringList paths(const QList<QUrl>& urls) {
    QStringList out;
    for (const QUrl& url : urls)
        out.append(url.toLocalFile());
    return out;
}

// The children of pid in the real table, oldest first.
QList<qint32> childrenOf(qint32 pid, const ProcessRoots::ProcessTable& table) {
    QList<qint32> children;
    for (auto it = table.cbegin(); it != table.cend(); ++it)
        if (it->parent == pid) children.append(it.key());
    std::sort(children.begin(), children.end());
    return children;
}

// What a started child should look like once it has settled.
struct Settled {
    QString command;
    QString cwd;
    bool leader = false;
};

// Polls the real table until the children of pid are exactly these, in order of
// starting. A guard against a child that never starts, not a speed check.
bool waitForChildren(qint32 pid, const QList<Settled>& wanted) {
    const ProcProcessSource source;
    for (int attempt = 0; attempt < 1500; ++attempt) {
        const ProcessRoots::ProcessTable table = source.processTable();
        const QList<qint32> children = childrenOf(pid, table);
        bool settled = children.size() == wanted.size();
        for (qsizetype i = 0; settled && i < children.size(); ++i) {
            const ProcessRoots::ProcessEntry entry = table.value(children.at(i));
            settled = entry.command == wanted.at(i).command && entry.leadsItsGroup == wanted.at(i).leader &&
                      source.workingDirectory(children.at(i)) == wanted.at(i).cwd;
        }
        if (settled) return true;
        QThread::msleep(20);
    }
    return false;
}

// Kills a started family when the test ends, however it ends.
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
Q_DECLARE_METATYPE(std::optional<Stat>)

class TestProcProcessSource : public QObject {
    Q_OBJECT

  private slots:
    void parseStat_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<std::optional<Stat>>("expected");

        const std::optional<Stat> none;
        QTest::newRow("plain") << QByteArray("1234 (bash) S 1000 1234 1234 34816 1234 4194560 2 0\n")
                               << std::optional<Stat>(Stat{1234, 1000, 1234, "bash"});
        QTest::newRow("blank in the command") << QByteArray("77 (tmux: server) S 1 77 77 0 -1")
                                              << std::optional<Stat>(Stat{77, 1, 77, "tmux: server"});
        QTest::newRow("parentheses in the command")
            << QByteArray("88 (a) b) (c) R 5 6 7 0") << std::optional<Stat>(Stat{88, 5, 6, "a) b) (c"});
        QTest::newRow("the command is a closing parenthesis")
            << QByteArray("99 ()) S 2 3 3") << std::optional<Stat>(Stat{99, 2, 3, ")"});
        QTest::newRow("newline in the command")
            << QByteArray("12 (x\ny) S 3 12 12") << std::optional<Stat>(Stat{12, 3, 12, "x\ny"});
        QTest::newRow("UTF-8 command") << QByteArray("6 (caf\xc3\xa9) S 1 6")
                                       << std::optional<Stat>(Stat{6, 1, 6, QStringLiteral("caf\u00e9")});
        QTest::newRow("fields missing after the command") << QByteArray("5 (sh) S 1") << none;
        QTest::newRow("pid not a number") << QByteArray("abc (sh) S 1 2") << none;
        QTest::newRow("pid 0") << QByteArray("0 (idle) S 0 0") << none;
        QTest::newRow("no parentheses") << QByteArray("5 sh S 1 2") << none;
        QTest::newRow("parent not a number") << QByteArray("5 (sh) S x 2") << none;
        QTest::newRow("parent overflows") << QByteArray("5 (sh) S 99999999999 2") << none;
    }

    void parseStat() {
        QFETCH(QByteArray, text);
        QFETCH(std::optional<Stat>, expected);
        QCOMPARE(ProcProcessSource::parseStat(text), expected);
    }

    void tableOfALaidOutTree() {
        TempTree tree;
        tree.file("proc/42/stat", "42 (my (odd) sh) S 7 42 42 0");
        tree.file("proc/43/stat", "43 (bash) S 42 42 42 0");
        tree.file("proc/44/stat", "garbage");
        tree.file("proc/self/stat", "45 (bash) S 1 45 45 0");
        tree.folder("proc/46"); // ended before its stat was read
        const ProcessRoots::ProcessTable table = ProcProcessSource(tree.path("proc")).processTable();
        QCOMPARE(table.size(), 2);
        QCOMPARE(table.value(42).parent, 7);
        QCOMPARE(table.value(42).command, QStringLiteral("my (odd) sh"));
        QVERIFY(table.value(42).leadsItsGroup);
        QCOMPARE(table.value(43).parent, 42);
        QVERIFY(!table.value(43).leadsItsGroup);
    }

    void workingDirectoryLinks_data() {
        QTest::addColumn<QString>("target"); // relative to the tree, or absolute
        QTest::addColumn<bool>("createTarget");
        QTest::addColumn<bool>("kept");
        QTest::newRow("a folder") << "work" << true << true;
        QTest::newRow("a deleted folder") << "gone (deleted)" << false << false;
        QTest::newRow("a folder really named with the deleted suffix") << "kept (deleted)" << true << true;
        QTest::newRow("a relative link is no directory") << "relative" << false << false;
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
        const QString cwd = ProcProcessSource(tree.path("proc")).workingDirectory(42);
        QCOMPARE(cwd, kept ? absolute : QString());
    }

    void unreadableEntries_data() {
        QTest::addColumn<QString>("entry"); // a file or folder under proc/43, or "unreadable"
        QTest::addColumn<QByteArray>("contents");
        QTest::newRow("no stat (the process ended)") << "" << QByteArray();
        QTest::newRow("stat is a folder") << "stat/" << QByteArray();
        QTest::newRow("empty stat") << "stat" << QByteArray();
        QTest::newRow("stat cut before the group") << "stat" << QByteArray("43 (bash) S 42");
        QTest::newRow("stat cut inside the command") << "stat" << QByteArray("43 (ba");
        QTest::newRow("binary stat") << "stat" << QByteArray("\x00\xff(\x01)\xfe\n", 7);
        QTest::newRow("unreadable stat") << "unreadable" << QByteArray("43 (bash) S 42 43 43 0");
    }

    // One bad entry beside a good one: the bad one is skipped, the good one kept.
    void unreadableEntries() {
        QFETCH(QString, entry);
        QFETCH(QByteArray, contents);
        TempTree tree;
        tree.file("proc/42/stat", "42 (bash) S 7 42 42 0");
        tree.folder("proc/43");
        if (entry == QLatin1String("unreadable")) {
            if (::geteuid() == 0) QSKIP("permissions do not hold the superuser back");
            tree.file("proc/43/stat", contents);
            QVERIFY(QFile::setPermissions(tree.path("proc/43/stat"), QFile::WriteOwner));
        } else if (entry.endsWith(QLatin1Char('/'))) {
            tree.folder("proc/43/" + entry);
        } else if (!entry.isEmpty()) {
            tree.file("proc/43/" + entry, contents);
        }
        const ProcProcessSource source(tree.path("proc"));
        const ProcessRoots::ProcessTable table = source.processTable();
        QCOMPARE(table.keys(), QList<qint32>{42});
        QCOMPARE(source.workingDirectory(43), QString());
    }

    // Shells started by the test under a parent shell sit in folders of their own;
    // the roots the real /proc gives for the parent follow the shells' order.
    void rootsOfRealShells_data() {
        QTest::addColumn<QStringList>("children"); // "kind folder" in order of starting
        QTest::addColumn<QStringList>("expected"); // folders, relative to the tree
        QTest::newRow("the newest shell's folder first")
            << QStringList{"sh b", "sh c"} << QStringList{"c", "b"};
        QTest::newRow("a shell leading its group before a newer shell")
            << QStringList{"leader b", "sh c"} << QStringList{"b", "c"};
        QTest::newRow("shells before a newer other process")
            << QStringList{"sh b", "sleep c"} << QStringList{"b", "c"};
        QTest::newRow("a shell in / contributes nothing") << QStringList{"sh /", "sh b"} << QStringList{"b"};
        QTest::newRow("two shells in one folder give it once")
            << QStringList{"sh b", "sh b"} << QStringList{"b"};
    }

    void rootsOfRealShells() {
        QFETCH(QStringList, children);
        QFETCH(QStringList, expected);
        TempTree tree;
        const QString home = tree.folder("a"); // the parent's own folder, never a root
        tree.folder("b");
        tree.folder("c");

        QString script;
        QList<Settled> wanted;
        for (const QString& child : std::as_const(children)) {
            const QString kind = child.section(QLatin1Char(' '), 0, 0);
            const QString where = child.section(QLatin1Char(' '), 1);
            const QString folder = where == QLatin1String("/") ? where : tree.path(where);
            const QString start = kind == QLatin1String("sleep") ? QStringLiteral("sleep 60")
                                  : kind == QLatin1String("leader")
                                      ? QStringLiteral("setsid sh -c 'sleep 60; :'")
                                      : QStringLiteral("sh -c 'sleep 60; :'");
            script += QStringLiteral("(cd '%1' && exec %2) &\n").arg(folder, start);
            wanted.append(
                {kind == QLatin1String("sleep") ? "sleep" : "sh", folder, kind == QLatin1String("leader")});
        }
        script += QStringLiteral("wait\n");

        // setsid gives the family a process group of its own, so that it can be killed whole;
        // the shell started as a group leader has a group of its own, found later.
        QProcess parent;
        parent.setWorkingDirectory(home);
        parent.start(QStringLiteral("setsid"), {QStringLiteral("sh"), QStringLiteral("-c"), script});
        QVERIFY(parent.waitForStarted());
        const qint32 pid = qint32(parent.processId());
        Family family{{pid}, &parent};
        const bool settled = waitForChildren(pid, wanted);
        for (const qint32 child : childrenOf(pid, ProcProcessSource().processTable()))
            family.groups.append(child);
        QVERIFY2(settled, "the shells did not start");

        QStringList expectedPaths;
        for (const QString& folder : std::as_const(expected))
            expectedPaths.append(tree.path(folder) + '/');
        QCOMPARE(paths(ProcessRoots::rootsFor(pid, ProcProcessSource())), expectedPaths);
    }

    // A process without children of its own: the roots are those of the whole family
    // under its topmost ancestor below pid 1, its own folder among them.
    void rootsOfAProcessWithoutChildren() {
        TempTree tree;
        tree.folder("a");
        tree.folder("b");
        tree.folder("c");
        const QString script = tree.file("top.sh", "echo $$ > \"$1/top.pid\"\n"
                                                   "(cd \"$1/b\" && exec sleep 60) &\n"
                                                   "(cd \"$1/c\" && exec sh -c 'sleep 60; :') &\n"
                                                   "wait\n");
        // The starter exits at once, so the family's top is adopted by pid 1.
        QProcess starter;
        starter.setWorkingDirectory(tree.path("a"));
        starter.start(QStringLiteral("sh"),
                      {QStringLiteral("-c"),
                       QStringLiteral("setsid sh \"$0\" \"$1\" </dev/null >/dev/null 2>&1 &"), script,
                       tree.path()});
        QVERIFY(starter.waitForFinished());
        qint32 top = 0;
        for (int attempt = 0; attempt < 500 && top == 0; ++attempt) {
            QFile pidFile(tree.path("top.pid"));
            if (pidFile.open(QIODevice::ReadOnly)) top = pidFile.readAll().trimmed().toInt();
            if (top == 0) QThread::msleep(20);
        }
        QVERIFY(top > 1);
        Family family{{top}};
        QVERIFY2(waitForChildren(top, {{"sleep", tree.path("b"), false}, {"sh", tree.path("c"), false}}),
                 "the family did not start");
        const ProcessRoots::ProcessTable table = ProcProcessSource().processTable();
        if (table.value(top).parent != 1) QSKIP("orphans are adopted by a subreaper here, not by pid 1");

        const qint32 leaf = childrenOf(top, table).first(); // the sleep in b
        QVERIFY(childrenOf(leaf, table).isEmpty());
        QCOMPARE(paths(ProcessRoots::rootsFor(leaf, ProcProcessSource())),
                 (QStringList{tree.path("c") + '/', tree.path("b") + '/'}));
    }

    // Processes that start and end while the table is read are skipped, not fatal.
    void aTableReadWhileProcessesComeAndGo() {
        QProcess churn;
        churn.start(QStringLiteral("sh"),
                    {QStringLiteral("-c"), QStringLiteral("while :; do sh -c : & sh -c : & wait; done")});
        QVERIFY(churn.waitForStarted());
        const ProcProcessSource source;
        const qint32 self = ::getpid();
        for (int round = 0; round < 40; ++round) {
            const ProcessRoots::ProcessTable table = source.processTable();
            QCOMPARE(table.value(self).parent, qint32(::getppid()));
            ProcessRoots::compute(qint32(churn.processId()), source);
        }
        churn.kill();
        churn.waitForFinished();
    }

    // The real /proc, read about this test process itself.
    void thisProcessInTheRealTable() {
        const ProcessRoots::ProcessTable table = ProcProcessSource().processTable();
        const qint32 self = ::getpid();
        QVERIFY(table.contains(self));
        QCOMPARE(table.value(self).parent, qint32(::getppid()));
        QCOMPARE(table.value(self).leadsItsGroup, ::getpgrp() == ::getpid());
        // The kernel keeps the first 15 bytes of the executable's name.
        const QString executable = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
        QCOMPARE(table.value(self).command, executable.left(15));
    }

};

QTEST_GUILESS_MAIN(TestProcProcessSource)
#include "test_proc_process_source.moc"
