#include "core/Diagnostics.h"
#include "core/IgnoredApplications.h"
#include "core/Settings.h"

#include "TempTree.h"

#include <QSettings>
#include <QTest>

#include <atomic>
#include <memory>

class TestIgnoredApplications : public QObject {
    Q_OBJECT

    std::unique_ptr<TempTree> tree_;

private slots:
    // This process is ignoring a.b and c.d from its arguments and e.f from its settings.
    void initTestCase() {
        tree_ = std::make_unique<TempTree>();
        QSettings(tree_->path("vistel.conf"), QSettings::IniFormat)
            .setValue("ignoredApplications", QStringList{"e.f", "a.b"});
        Settings::useStoreFile(tree_->path("vistel.conf"));
        Diagnostics::setArguments(
            {"vistel", "--ignore", "c.d", "--debug-not", "--ignore", "a.b", "--ignore"});
    }

    void cleanupTestCase() { Settings::useStoreFile(QString()); }

    void read_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QStringList>("stored");
        QTest::addColumn<QString>("summary");
        QTest::newRow("two pairs") << QStringList{"vistel", "--ignore", "a.b", "--ignore", "c.d"}
                                   << QStringList{} << "a.b, c.d";
        QTest::newRow("a last --ignore adds nothing") << QStringList{"vistel", "--ignore", "a.b", "--ignore"}
                                                      << QStringList{} << "a.b";
        QTest::newRow("nothing") << QStringList{"vistel"} << QStringList{} << "none";
        QTest::newRow("stored ones join, duplicates once")
            << QStringList{"vistel", "--ignore", "a.b"} << QStringList{"c.d", "a.b"} << "a.b, c.d";
        QTest::newRow("case is kept apart")
            << QStringList{"--ignore", "A.b", "--ignore", "a.b"} << QStringList{} << "A.b, a.b";
    }

    void read() {
        QFETCH(QStringList, arguments);
        QFETCH(QStringList, stored);
        QFETCH(QString, summary);
        QCOMPARE(IgnoredApplications::summary(IgnoredApplications::read(arguments, stored)), summary);
    }

    void thisProcessSet() {
        QCOMPARE(IgnoredApplications::identifiers(), (QStringList{"a.b", "c.d", "e.f"}));
        QCOMPARE(IgnoredApplications::summary(), QStringLiteral("a.b, c.d, e.f"));
    }

    void contains_data() {
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<bool>("ignored");
        QTest::newRow("class name listed") << QStringList{"c.d", "term"} << true;
        QTest::newRow("case differs") << QStringList{"A.B"} << false;
        QTest::newRow("nothing known about the process") << QStringList{} << false;
    }

    void contains() {
        QFETCH(QStringList, names);
        QFETCH(bool, ignored);
        static qint32 pid = 100; // a pid of its own per row: answers are cached
        ++pid;
        int asked = 0;
        auto identify = [&](qint32) {
            ++asked;
            return names;
        };
        QCOMPARE(IgnoredApplications::contains(pid, identify), ignored);
        QCOMPARE(IgnoredApplications::contains(pid, identify), ignored);
        QCOMPARE(asked, 1);
    }

    void identifyRunsOutsideTheLock() {
        // Asking again from inside identify would deadlock if the cache were locked meanwhile.
        auto inner = [](qint32) { return QStringList{"a.b"}; };
        auto outer = [&](qint32) {
            const bool nested = IgnoredApplications::contains(301, inner);
            return nested ? QStringList{"x"} : QStringList{"a.b"};
        };
        QCOMPARE(IgnoredApplications::contains(300, outer), false);
        QCOMPARE(IgnoredApplications::contains(301, {}), true); // cached by the nested call
    }

    void cacheHolds65Pids() {
        std::atomic<int> asked = 0;
        auto identify = [&](qint32 pid) {
            ++asked;
            return pid % 2 ? QStringList{"a.b"} : QStringList{};
        };
        // Fill until an early pid is forgotten: that store emptied the cache, which
        // now holds one entry.
        QVERIFY(IgnoredApplications::contains(1001, identify));
        qint32 pid = 1002;
        for (;;) {
            IgnoredApplications::contains(pid++, identify);
            const int before = asked;
            IgnoredApplications::contains(1001, identify);
            if (asked != before) break; // 1001 was asked again: the cache had been emptied
            QVERIFY(pid < 1200);
        }
        // The cache now holds 1001 and the pid before it; add 63 more to reach 65.
        const qint32 first = pid - 1;
        for (int i = 0; i < 63; ++i) IgnoredApplications::contains(pid++, identify);
        int before = asked;
        QCOMPARE(IgnoredApplications::contains(first, identify), first % 2 == 1);
        QCOMPARE(asked.load(), before); // still cached at 65 entries
        // The 66th pid empties the cache before it is stored.
        QCOMPARE(IgnoredApplications::contains(pid, identify), pid % 2 == 1);
        QCOMPARE(asked.load(), before + 1);
        IgnoredApplications::contains(pid, identify);
        QCOMPARE(asked.load(), before + 1);
        IgnoredApplications::contains(first, identify);
        QCOMPARE(asked.load(), before + 2);
    }
};

QTEST_GUILESS_MAIN(TestIgnoredApplications)
#include "test_ignored_applications.moc"
