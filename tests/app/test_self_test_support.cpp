// The self-test's fixture folders: fresh, gone again afterwards, and never
// following a planted link out of the temporary directory.
#include "app/selftest/SelfTestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <sys/stat.h>
#include <unistd.h>

using namespace SelfTest;

class TestSelfTestSupport : public QObject {
    Q_OBJECT

    QTemporaryDir temp_;   // stands for the system's temporary directory
    QTemporaryDir victim_; // a folder a planted link points at
    QByteArray savedTmp_;

    QString parent() const { return temp_.path() + QStringLiteral("/vistel-%1").arg(getuid()); }

  private slots:
    void initTestCase() {
        QVERIFY(temp_.isValid() && victim_.isValid());
        savedTmp_ = qgetenv("TMPDIR");
        qputenv("TMPDIR", QFile::encodeName(temp_.path()));
        QCOMPARE(QDir::tempPath(), QFileInfo(temp_.path()).canonicalFilePath());
    }
    void cleanupTestCase() { qputenv("TMPDIR", savedTmp_); }
    void init() {
        QDir(parent()).removeRecursively();
        QFile::remove(parent());
        QFile victimFile(victim_.filePath(QStringLiteral("precious.txt")));
        QVERIFY(victimFile.open(QIODevice::WriteOnly));
        victimFile.write("keep me");
    }

    void fixtures_data() {
        QTest::addColumn<QString>("before"); // what lies where the fixture goes
        QTest::addColumn<bool>("ready");
        QTest::newRow("nothing there") << "" << true;
        QTest::newRow("an old fixture with files") << "folder" << true;
        QTest::newRow("a file") << "file" << true;
        QTest::newRow("a link to another folder") << "link" << true;
        QTest::newRow("the parent a link to another folder") << "parent link" << false;
        QTest::newRow("the parent open to everyone") << "open parent" << true;
    }
    void fixtures() {
        QFETCH(QString, before);
        QFETCH(bool, ready);
        const QString place = parent() + QStringLiteral("/vistel-check");
        if (before == "parent link") {
            QVERIFY(QFile::link(victim_.path(), parent()));
        } else {
            QVERIFY(QDir().mkpath(parent()));
            if (before == "open parent") QCOMPARE(chmod(QFile::encodeName(parent()).constData(), 0777), 0);
        }
        if (before == "folder") {
            QVERIFY(QDir().mkpath(place + QStringLiteral("/old")));
            QFile stale(place + QStringLiteral("/old/stale.png"));
            QVERIFY(stale.open(QIODevice::WriteOnly));
        } else if (before == "file") {
            QFile plain(place);
            QVERIFY(plain.open(QIODevice::WriteOnly));
        } else if (before == "link") {
            QVERIFY(QFile::link(victim_.path(), place));
        }

        {
            Fixture fixture(QStringLiteral("vistel-check"));
            QCOMPARE(fixture.ready(), ready);
            if (ready) {
                const QFileInfo made(fixture.path());
                QVERIFY(made.isDir() && !made.isSymLink());
                QCOMPARE(
                    QDir(fixture.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                    QStringList());
                QVERIFY(fixture.image(QStringLiteral("a/b/c.png")));
                QVERIFY(QFileInfo::exists(fixture.path(QStringLiteral("a/b/c.png"))));
                QCOMPARE(fixture.folder(QStringLiteral("a")).toLocalFile(),
                         fixture.path(QStringLiteral("a/")));
                struct stat status {};
                QCOMPARE(lstat(QFile::encodeName(parent()).constData(), &status), 0);
                QCOMPARE(status.st_mode & 0777, mode_t(0700));
            } else {
                QVERIFY(!fixture.image(QStringLiteral("c.png")));
            }
        }
        QVERIFY(!QFileInfo::exists(place) || before == "parent link");
        QVERIFY2(QFileInfo::exists(victim_.filePath(QStringLiteral("precious.txt"))), "a link was followed");
        QCOMPARE(QDir(victim_.path()).entryList(QDir::Files), QStringList{QStringLiteral("precious.txt")});
    }

    void unsafeNames_data() {
        QTest::addColumn<QString>("name");
        QTest::newRow("empty") << "";
        QTest::newRow("a path") << "../elsewhere";
        QTest::newRow("the parent itself") << ".";
        QTest::newRow("the temporary directory") << "..";
    }
    void unsafeNames() {
        QFETCH(QString, name);
        // Files beside the fixture and above it, which a bad name must not reach.
        QVERIFY(QDir().mkpath(parent()));
        for (const QString& keep : {parent() + "/keep.txt", temp_.filePath("keep.txt")}) {
            QFile f(keep);
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        {
            const Fixture fixture(name);
            QVERIFY(!fixture.ready());
            QVERIFY(!fixture.write(QStringLiteral("x.png"), "x"));
        }
        QVERIFY(QFileInfo::exists(parent() + "/keep.txt"));
        QVERIFY(QFileInfo::exists(temp_.filePath("keep.txt")));
    }
};

QTEST_MAIN(TestSelfTestSupport)
#include "test_self_test_support.moc"
