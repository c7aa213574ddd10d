#include "TempTree.h"
#include "platform/proc/ProcProcessSource.h"

#include <QFile>
#include <QTest>
#include <unistd.h>

using Stat = ProcProcessSource::Stat;
Q_DECLARE_METATYPE(std::optional<Stat>)

class TestProcProcessSource : public QObject {
    Q_OBJECT

  private slots:
    void executableName_data() {
        QTest::addColumn<QString>("exe");
        QTest::addColumn<QByteArray>("comm");
        QTest::addColumn<QString>("name");
        QTest::newRow("replaced on disk")
            << "/opt/vistel/VistelPrototype (deleted)" << QByteArray() << "VistelPrototype";
        QTest::newRow("no link: the command name")
            << QString() << QByteArray("VistelPrototype") << "VistelPrototype";
        QTest::newRow("nothing readable") << QString() << QByteArray() << QString();
    }
    void executableName() {
        QFETCH(QString, exe);
        QFETCH(QByteArray, comm);
        QFETCH(QString, name);
        TempTree proc;
        const QString dir = proc.folder(QStringLiteral("500"));
        if (!exe.isEmpty()) QVERIFY(QFile::link(exe, dir + QStringLiteral("/exe")));
        if (!comm.isEmpty()) proc.file(QStringLiteral("500/comm"), comm + '\n');
        QCOMPARE(ProcProcessSource(proc.path()).executableName(500), name);
    }

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
        QTest::newRow("fields missing after the command") << QByteArray("5 (sh) S 1") << none;
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
        QVERIFY(QFile::link(linkTarget, tree.path("proc/42/cwd")));
        QCOMPARE(ProcProcessSource(tree.path("proc")).workingDirectory(42), kept ? absolute : QString());
    }
};

QTEST_GUILESS_MAIN(TestProcProcessSource)
#include "test_proc_process_source.moc"
