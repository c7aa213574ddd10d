#include "TempTree.h"
#include "core/Settings.h"

#include <QSettings>
#include <QTest>
#include <QThread>
#include <memory>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

// Every value as one line: width, modifier, caption, remote images, indicator,
// image details, ignored list.
QString summary() {
    return QStringLiteral("%1 %2 %3 %4 %5 %6 [%7]")
        .arg(Settings::previewWidth())
        .arg(HoverModifiers::rawValue(Settings::modifier()))
        .arg(Settings::showCaption())
        .arg(Settings::loadRemoteImages())
        .arg(Settings::showMenuBarIndicator())
        .arg(Settings::showImageDetails())
        .arg(Settings::storedIgnoredApplications().join(','));
}

QByteArray contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

const QString defaults = QStringLiteral("220 option 1 1 1 0 []");

} // namespace

class TestSettings : public QObject {
    Q_OBJECT

    std::unique_ptr<TempTree> tree_;
    QList<std::pair<int, Settings::Change>> heard_; // (receiver, change)
    QList<QThread*> heardOn_;                       // the thread of each

    QString storePath() const { return tree_->path("vistel.conf"); }

    // Another program writing the file directly.
    void storeRaw(const QString& key, const QVariant& value) {
        QSettings raw(storePath(), QSettings::IniFormat);
        raw.setValue(key, value);
    }
    QVariant raw(const QString& key) const { return QSettings(storePath(), QSettings::IniFormat).value(key); }

  private slots:
    // Two receivers living on this thread, connected in this order.
    void initTestCase() {
        for (int receiver : {1, 2}) {
            connect(Settings::notifier(), &Settings::Notifier::changed, this,
                    [this, receiver](Settings::Change c) {
                        heard_.append({receiver, c});
                        heardOn_.append(QThread::currentThread());
                    });
        }
    }

    void init() {
        tree_ = std::make_unique<TempTree>();
        Settings::useStoreFile(storePath());
        heard_.clear();
        heardOn_.clear();
    }

    void cleanup() { Settings::useStoreFile(QString()); }

    void defaultsOnAFreshStore() {
        QCOMPARE(summary(), defaults);
        // Defaults are never written: reading leaves no file behind.
        QVERIFY(!QFileInfo::exists(storePath()));
    }

    // Widths rounded and clamped, unknown modifiers read as option.
    void storedValueReads_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<QString>("reads"); // summary()
        const auto row = [](const char* name, const char* key, const QVariant& stored, const char* reads) {
            QTest::newRow(name) << QString(key) << stored << QString(reads);
        };
        row("width below the range", "previewWidth", 100.0, "160 option 1 1 1 0 []");
        row("width above the range", "previewWidth", 1000.0, "420 option 1 1 1 0 []");
        row("half rounds away from zero", "previewWidth", 300.5, "301 option 1 1 1 0 []");
        row("width not a number", "previewWidth", "wide", "160 option 1 1 1 0 []");
        row("width NaN", "previewWidth", "nan", "160 option 1 1 1 0 []");
        row("unknown key", "modifier", "shift", "220 option 1 1 1 0 []");
        row("indicator off", "showMenuBarIndicator", "false", "220 option 1 1 0 0 []");
        row("image details on", "showImageDetails", "true", "220 option 1 1 1 1 []");
        row("ignored applications", "ignoredApplications", QStringList{"a.b", "c.d"},
            "220 option 1 1 1 0 [a.b,c.d]");
    }
    void storedValueReads() {
        QFETCH(QString, key);
        QFETCH(QVariant, stored);
        QFETCH(QString, reads);
        storeRaw(key, stored);
        QCOMPARE(summary(), reads);
    }

    // A change is stored and announced to every receiver, in order, before the
    // setter returns; setting what already reads (after rounding, or as a
    // default) is neither.
    void setting_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QVariant>("stored"); // invalid: nothing stored
        QTest::addColumn<QVariant>("value");  // given to the key's setter
        QTest::addColumn<int>("change");      // a Settings::Change; -1: nothing announced
        QTest::addColumn<QString>("storedAfter");
        const auto row = [](const char* name, const char* key, const QVariant& stored, const QVariant& value,
                            int change, const char* storedAfter) {
            QTest::newRow(name) << QString(key) << stored << value << change << QString(storedAfter);
        };
        const int width = int(Settings::Change::PreviewSize), modifier = int(Settings::Change::Modifier);
        row("width 500 when it reads 420", "previewWidth", 1000.0, 500.0, -1, "1000");
        row("width stored rounded", "previewWidth", {}, 300.5, width, "301");
        row("NaN sets the smallest width", "previewWidth", {}, qQNaN(), width, "160");
        row("option over an unknown modifier is no change", "modifier", "shift", "option", -1, "shift");
        row("command", "modifier", {}, "command", modifier, "command");
        row("caption on, as by default", "showCaption", {}, true, -1, "");
        row("caption off", "showCaption", {}, false, int(Settings::Change::ShowCaption), "false");
        // Off unless chosen, unlike every other switch.
        const int details = int(Settings::Change::ShowImageDetails);
        row("details off, as by default", "showImageDetails", {}, false, -1, "");
        row("details on", "showImageDetails", {}, true, details, "true");
        row("details on again", "showImageDetails", true, true, -1, "true");
        row("details off", "showImageDetails", true, false, details, "false");
        const int ignored = int(Settings::Change::IgnoredApplications);
        row("first ignored application", "ignoredApplications", {}, QStringList{"a.b"}, ignored, "a.b");
        row("the same list", "ignoredApplications", QStringList{"a.b", "c.d"}, QStringList{"a.b", "c.d"}, -1,
            "a.b,c.d");
        row("one more", "ignoredApplications", QStringList{"a.b"}, QStringList{"a.b", "c.d"}, ignored,
            "a.b,c.d");
        row("an emptied list is removed", "ignoredApplications", QStringList{"a.b"}, QStringList{}, ignored,
            "");
        row("nothing over nothing", "ignoredApplications", {}, QStringList{}, -1, "");
    }
    void setting() {
        QFETCH(QString, key);
        QFETCH(QVariant, stored);
        QFETCH(QVariant, value);
        QFETCH(int, change);
        QFETCH(QString, storedAfter);
        if (stored.isValid()) storeRaw(key, stored);
        if (key == "previewWidth")
            Settings::setPreviewWidth(value.toDouble());
        else if (key == "modifier")
            Settings::setModifier(HoverModifiers::fromRawValue(value.toString()));
        else if (key == "ignoredApplications")
            Settings::setIgnoredApplications(value.toStringList());
        else if (key == "showImageDetails")
            Settings::setShowImageDetails(value.toBool());
        else
            Settings::setShowCaption(value.toBool());
        using Heard = QList<std::pair<int, Settings::Change>>;
        const auto c = Settings::Change(change);
        QCOMPARE(heard_, (change < 0 ? Heard{} : Heard{{1, c}, {2, c}}));
        const QVariant after = raw(key);
        QCOMPARE(after.typeId() == QMetaType::QStringList ? after.toStringList().join(',') : after.toString(),
                 storedAfter);
        if (storedAfter.isEmpty()) QVERIFY(!QSettings(storePath(), QSettings::IniFormat).contains(key));
    }

    // A change made on another thread reaches these receivers on their own
    // thread, through the event loop, once each and in order.
    void announcedWhereTheReceiverLives() {
        std::thread([] { Settings::setLoadRemoteImages(false); }).join();
        QVERIFY(heard_.isEmpty()); // queued, not called on the setter's thread
        QTRY_COMPARE(heard_.size(), 2);
        const auto c = Settings::Change::LoadRemoteImages;
        QCOMPARE(heard_, (QList<std::pair<int, Settings::Change>>{{1, c}, {2, c}}));
        QCOMPARE(heardOn_, (QList<QThread*>{thread(), thread()}));
        QCOMPARE(Settings::loadRemoteImages(), false);
    }

    void unusableStoreFile_data() {
        QTest::addColumn<QByteArray>("bytes"); // "folder" and "unreadable" lay out those cases
        QTest::addColumn<bool>("writable");
        QByteArray binary;
        for (int i = 0; i < 600; ++i)
            binary += char((i * 37) & 0xff);
        QTest::newRow("binary garbage") << binary << true;
        QTest::newRow("a mangled file with a readable value")
            << QByteArray("[General\npreviewWidth=\x01\xff\nshowCaption=false\nmodifier=command\n[[\n")
            << true;
        QTest::newRow("a folder in the file's place") << QByteArray("folder") << false;
        QTest::newRow("unreadable") << QByteArray("unreadable") << true;
        // Opening a FIFO for reading would wait for a writer for good.
        QTest::newRow("a FIFO in the file's place") << QByteArray("fifo") << false;
    }

    // Defaults, every time; the file kept as it is until the user changes something.
    void unusableStoreFile() {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, writable);
        if (bytes == "folder") {
            tree_->folder("vistel.conf");
        } else if (bytes == "unreadable") {
            if (::geteuid() == 0) QSKIP("permissions do not hold the superuser back");
            tree_->file("vistel.conf", "showCaption=false\n");
            QVERIFY(QFile::setPermissions(storePath(), QFile::WriteOwner));
        } else if (bytes == "fifo") {
            QVERIFY(::mkfifo(QFile::encodeName(storePath()).constData(), 0600) == 0);
        } else {
            tree_->file("vistel.conf", bytes);
        }
        const bool fifo = bytes == "fifo";
        const QByteArray before = fifo ? QByteArray() : contents(storePath());

        for (int round = 0; round < 3; ++round)
            QCOMPARE(summary(), defaults);
        Settings::setPreviewWidth(220.4); // reads 220 already
        Settings::setModifier(HoverModifier::Option);
        Settings::setShowCaption(true);
        QVERIFY(heard_.isEmpty());
        if (!fifo) QCOMPARE(contents(storePath()), before);

        Settings::setShowCaption(false);
        QCOMPARE(heard_.size(), 2);
        QFile::setPermissions(storePath(), QFile::ReadOwner | QFile::WriteOwner);
        QCOMPARE(summary(), writable ? QStringLiteral("220 option 0 1 1 0 []") : defaults);
        if (writable) QCOMPARE(QSettings(storePath(), QSettings::IniFormat).status(), QSettings::NoError);
        if (fifo) {
            struct stat info {};
            QVERIFY(::stat(QFile::encodeName(storePath()).constData(), &info) == 0 && S_ISFIFO(info.st_mode));
        }
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "test_settings.moc"
