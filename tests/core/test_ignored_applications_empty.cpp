#include "core/Diagnostics.h"
#include "core/IgnoredApplications.h"
#include "core/Settings.h"

#include "TempTree.h"

#include <QTest>

#include <memory>

// A process started without "--ignore" and with nothing stored.
class TestIgnoredApplicationsEmpty : public QObject {
    Q_OBJECT

    std::unique_ptr<TempTree> tree_;

private slots:
    void initTestCase() {
        tree_ = std::make_unique<TempTree>();
        Settings::useStoreFile(tree_->path("vistel.conf"));
        Diagnostics::setArguments({"vistel", "--ignore"});
    }

    void cleanupTestCase() { Settings::useStoreFile(QString()); }

    void nothingIsIgnoredAndNobodyIsAsked() {
        int asked = 0;
        auto identify = [&](qint32) {
            ++asked;
            return QStringList{"vistel"};
        };
        for (qint32 pid = 1; pid <= 100; ++pid) QVERIFY(!IgnoredApplications::contains(pid, identify));
        QCOMPARE(asked, 0);
        QCOMPARE(IgnoredApplications::summary(), QStringLiteral("none"));
        QCOMPARE(IgnoredApplications::identifiers(), QStringList{});
    }
};

QTEST_GUILESS_MAIN(TestIgnoredApplicationsEmpty)
#include "test_ignored_applications_empty.moc"
