#include "TempTree.h"
#include "core/Diagnostics.h"
#include "core/IgnoredApplications.h"
#include "core/Settings.h"

#include <QSettings>
#include <QSignalSpy>
#include <QTest>
#include <memory>

class TestIgnoredApplications : public QObject {
    Q_OBJECT

    std::unique_ptr<TempTree> tree_;

  private slots:
    // Ignored: c.d, a.b from the arguments (then a bare last --ignore), e.f, a.b stored.
    void initTestCase() {
        tree_ = std::make_unique<TempTree>();
        QSettings(tree_->path("vistel.conf"), QSettings::IniFormat)
            .setValue("ignoredApplications", QStringList{"e.f", "a.b"});
        Settings::useStoreFile(tree_->path("vistel.conf"));
        Diagnostics::setArguments(
            {"vistel", "--ignore", "c.d", "--debug-not", "--ignore", "a.b", "--ignore"});
    }

    void cleanupTestCase() { Settings::useStoreFile(QString()); }

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

    // Asking again from inside identify would deadlock if the cache were locked meanwhile.
    void identifyRunsOutsideTheLock() {
        auto inner = [](qint32) { return QStringList{"a.b"}; };
        auto outer = [&](qint32) {
            return IgnoredApplications::contains(301, inner) ? QStringList{"x"} : QStringList{"a.b"};
        };
        QCOMPARE(IgnoredApplications::contains(300, outer), false);
        QCOMPARE(IgnoredApplications::contains(301, {}), true); // cached by the nested call
    }

    // A change of the stored list is announced and holds at once: the set is
    // read again and earlier answers are judged again; the arguments still count.
    void storedListChanges() {
        QSignalSpy announced(Settings::notifier(), &Settings::Notifier::changed);
        int asked = 0;
        auto identify = [&](qint32) {
            ++asked;
            return QStringList{"g.h"};
        };
        QCOMPARE(IgnoredApplications::contains(400, identify), false);

        Settings::setIgnoredApplications({"e.f", "a.b", "g.h"});
        QCOMPARE(announced.size(), 1);
        QCOMPARE(announced.at(0).at(0).value<Settings::Change>(), Settings::Change::IgnoredApplications);
        QCOMPARE(IgnoredApplications::identifiers(), (QStringList{"a.b", "c.d", "e.f", "g.h"}));
        QCOMPARE(IgnoredApplications::contains(400, identify), true);
        QCOMPARE(IgnoredApplications::contains(400, identify), true);
        QCOMPARE(asked, 2); // once per set

        Settings::setIgnoredApplications({});
        QCOMPARE(announced.size(), 2);
        QCOMPARE(IgnoredApplications::summary(), QStringLiteral("a.b, c.d"));
        QCOMPARE(IgnoredApplications::contains(400, identify), false);
        QCOMPARE(asked, 3);
    }
};

QTEST_GUILESS_MAIN(TestIgnoredApplications)
#include "test_ignored_applications.moc"
