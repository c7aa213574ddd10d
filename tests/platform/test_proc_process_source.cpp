#include "platform/proc/ProcProcessSource.h"

#include "TempTree.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QTest>

#include <unistd.h>

using Stat = ProcProcessSource::Stat;
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
        QTest::newRow("parentheses in the command") << QByteArray("88 (a) b) (c) R 5 6 7 0")
                                                    << std::optional<Stat>(Stat{88, 5, 6, "a) b) (c"});
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

    void thisProcessWorkingDirectory() {
        TempTree tree;
        const QString before = QDir::currentPath();
        QVERIFY(QDir::setCurrent(tree.path()));
        const QString cwd = ProcProcessSource().workingDirectory(::getpid());
        QVERIFY(QDir::setCurrent(before));
        QCOMPARE(cwd, tree.path());
    }

    void childWorkingDirectoryIsARoot() {
        TempTree tree;
        tree.folder("child");
        QProcess child;
        child.setWorkingDirectory(tree.path("child"));
        child.start(QStringLiteral("sleep"), {QStringLiteral("30")});
        QVERIFY(child.waitForStarted());
        const QList<QUrl> roots = ProcessRoots::compute(::getpid(), ProcProcessSource());
        child.kill();
        child.waitForFinished();
        QVERIFY2(roots.contains(QUrl::fromLocalFile(tree.path("child") + QLatin1Char('/'))),
                 qPrintable(QUrl::toStringList(roots).join(' ')));
    }
};

QTEST_GUILESS_MAIN(TestProcProcessSource)
#include "test_proc_process_source.moc"
