#include "TempTree.h"
#include "core/Settings.h"

#include <QCoreApplication>
#include <QProcess>
#include <QSet>
#include <QSettings>
#include <QTest>
#include <functional>
#include <memory>
#include <unistd.h>

namespace {

// Every value as one line: width, modifier, caption, remote images, indicator, ignored list.
QString summary() {
    return QStringLiteral("%1 %2 %3 %4 %5 [%6]")
        .arg(Settings::previewWidth())
        .arg(HoverModifiers::rawValue(Settings::modifier()))
        .arg(Settings::showCaption())
        .arg(Settings::loadRemoteImages())
        .arg(Settings::showMenuBarIndicator())
        .arg(Settings::storedIgnoredApplications().join(','));
}

// This test program run again as a second process: `--settings-child <store file or "-"> [change]`
// prints summary() after, with "change", setting a width of 333, the command key and no indicator.
int settingsChild(const QString& store, bool change) {
    if (store != QLatin1String("-")) Settings::useStoreFile(store);
    if (change) {
        Settings::setPreviewWidth(333);
        Settings::setModifier(HoverModifier::Command);
        Settings::setShowMenuBarIndicator(false);
    }
    const QByteArray line = summary().toUtf8() + '\n';
    return fwrite(line.constData(), 1, line.size(), stdout) == size_t(line.size()) ? 0 : 1;
}

// Runs settingsChild in a new process and returns what it printed.
QString runChild(const QString& store, bool change, const QProcessEnvironment& environment = {}) {
    QProcess child;
    QStringList arguments{QStringLiteral("--settings-child"), store};
    if (change) arguments.append(QStringLiteral("change"));
    if (!environment.isEmpty()) child.setProcessEnvironment(environment);
    child.start(QCoreApplication::applicationFilePath(), arguments);
    if (!child.waitForFinished(60000) || child.exitCode() != 0) return QStringLiteral("child failed");
    return QString::fromUtf8(child.readAllStandardOutput()).trimmed();
}

QByteArray contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

const QString defaults = QStringLiteral("220 option 1 1 1 []");

} // namespace

using Action = std::function<void()>;
Q_DECLARE_METATYPE(Action)

class TestSettings : public QObject {
    Q_OBJECT

    std::unique_ptr<TempTree> tree_;
    QList<std::pair<int, Settings::Change>> heard_; // (observer, change)

    QString storePath() const { return tree_->path("vistel.conf"); }

    // Another program writing the file directly.
    void storeRaw(const QString& key, const QVariant& value) {
        QSettings raw(storePath(), QSettings::IniFormat);
        raw.setValue(key, value);
    }
    QVariant raw(const QString& key) const { return QSettings(storePath(), QSettings::IniFormat).value(key); }

  private slots:
    void initTestCase() {
        Settings::observe([this](Settings::Change c) { heard_.append({1, c}); });
        Settings::observe([this](Settings::Change c) { heard_.append({2, c}); });
        Settings::observe({}); // an empty callback is refused, not called
    }

    void init() {
        tree_ = std::make_unique<TempTree>();
        Settings::useStoreFile(storePath());
        heard_.clear();
    }

    void cleanup() { Settings::useStoreFile(QString()); }

    void defaultsOnAFreshStore() {
        QCOMPARE(summary(), defaults);
        // Defaults are never written: reading leaves no file behind.
        QVERIFY(!QFileInfo::exists(storePath()));
    }

    // What another program stored, as read back: widths rounded and clamped,
    // unknown modifiers read as option.
    void storedValueReads_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<QString>("reads"); // summary()
        const auto row = [](const char* name, const char* key, const QVariant& stored, const char* reads) {
            QTest::newRow(name) << QString(key) << stored << QString(reads);
        };
        row("width below the range", "previewWidth", 100.0, "160 option 1 1 1 []");
        row("width above the range", "previewWidth", 1000.0, "420 option 1 1 1 []");
        row("width rounds down", "previewWidth", 300.4, "300 option 1 1 1 []");
        row("half rounds away from zero", "previewWidth", 300.5, "301 option 1 1 1 []");
        row("width not a number", "previewWidth", "wide", "160 option 1 1 1 []");
        row("width NaN", "previewWidth", "nan", "160 option 1 1 1 []");
        row("command", "modifier", "command", "220 command 1 1 1 []");
        row("capital O", "modifier", "Option", "220 option 1 1 1 []");
        row("unknown key", "modifier", "shift", "220 option 1 1 1 []");
        row("caption off", "showCaption", false, "220 option 0 1 1 []");
        row("remote images off", "loadRemoteImages", false, "220 option 1 0 1 []");
        row("indicator off", "showMenuBarIndicator", "false", "220 option 1 1 0 []");
        row("ignored applications", "ignoredApplications", QStringList{"a.b", "c.d"},
            "220 option 1 1 1 [a.b,c.d]");
    }
    void storedValueReads() {
        QFETCH(QString, key);
        QFETCH(QVariant, stored);
        QFETCH(QString, reads);
        storeRaw(key, stored);
        QCOMPARE(summary(), reads);
    }

    // A change is stored and announced to every observer, in order; setting what
    // already reads (after rounding, or as a default) is neither.
    void setting_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QVariant>("stored"); // invalid: nothing stored
        QTest::addColumn<Action>("set");
        QTest::addColumn<int>("change"); // a Settings::Change; -1: nothing announced
        QTest::addColumn<QString>("storedAfter");
        const auto row = [](const char* name, const char* key, const QVariant& stored, const Action& set,
                            int change, const char* storedAfter) {
            QTest::newRow(name) << QString(key) << stored << set << change << QString(storedAfter);
        };
        using C = Settings::Change;
        row(
            "width 500 when it reads 420", "previewWidth", 1000.0, [] { Settings::setPreviewWidth(500); }, -1,
            "1000");
        row(
            "width 219.6 when it reads the default 220", "previewWidth", {},
            [] { Settings::setPreviewWidth(219.6); }, -1, "");
        row(
            "width stored rounded", "previewWidth", {}, [] { Settings::setPreviewWidth(300.5); },
            int(C::PreviewSize), "301");
        row(
            "NaN sets the smallest width", "previewWidth", {}, [] { Settings::setPreviewWidth(qQNaN()); },
            int(C::PreviewSize), "160");
        row(
            "option over an unknown modifier is no change", "modifier", "shift",
            [] { Settings::setModifier(HoverModifier::Option); }, -1, "shift");
        row(
            "command", "modifier", {}, [] { Settings::setModifier(HoverModifier::Command); },
            int(C::Modifier), "command");
        row(
            "caption on, as by default", "showCaption", {}, [] { Settings::setShowCaption(true); }, -1, "");
        row(
            "caption off", "showCaption", {}, [] { Settings::setShowCaption(false); }, int(C::ShowCaption),
            "false");
        row(
            "caption off when off", "showCaption", false, [] { Settings::setShowCaption(false); }, -1,
            "false");
        row(
            "remote images off", "loadRemoteImages", {}, [] { Settings::setLoadRemoteImages(false); },
            int(C::LoadRemoteImages), "false");
        row(
            "indicator off", "showMenuBarIndicator", {}, [] { Settings::setShowMenuBarIndicator(false); },
            int(C::ShowMenuBarIndicator), "false");
    }
    void setting() {
        QFETCH(QString, key);
        QFETCH(QVariant, stored);
        QFETCH(Action, set);
        QFETCH(int, change);
        QFETCH(QString, storedAfter);
        if (stored.isValid()) storeRaw(key, stored);
        set();
        using Heard = QList<std::pair<int, Settings::Change>>;
        const auto c = Settings::Change(change);
        QCOMPARE(heard_, (change < 0 ? Heard{} : Heard{{1, c}, {2, c}}));
        QCOMPARE(raw(key).toString(), storedAfter);
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
        QTest::newRow("a readable value beside garbage")
            << QByteArray("previewWidth=300\n\xff\xfe\x00zz\n[[x\n") << true;
        QTest::newRow("a folder in the file's place") << QByteArray("folder") << false;
        QTest::newRow("unreadable") << QByteArray("unreadable") << true;
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
        } else {
            tree_->file("vistel.conf", bytes);
        }
        const QByteArray before = contents(storePath());

        for (int round = 0; round < 3; ++round)
            QCOMPARE(summary(), defaults);
        Settings::setPreviewWidth(220.4); // reads 220 already
        Settings::setModifier(HoverModifier::Option);
        Settings::setShowCaption(true);
        QVERIFY(heard_.isEmpty());
        QCOMPARE(contents(storePath()), before);

        Settings::setShowCaption(false);
        QCOMPARE(heard_.size(), 2);
        QFile::setPermissions(storePath(), QFile::ReadOwner | QFile::WriteOwner);
        QCOMPARE(summary(), writable ? QStringLiteral("220 option 0 1 1 []") : defaults);
        if (writable) QCOMPARE(QSettings(storePath(), QSettings::IniFormat).status(), QSettings::NoError);
    }

    void persistsAcrossProcesses() {
        Settings::setPreviewWidth(300);
        Settings::setShowCaption(false);
        QCOMPARE(runChild(storePath(), false), QStringLiteral("300 option 0 1 1 []"));

        QCOMPARE(runChild(storePath(), true), QStringLiteral("333 command 0 1 0 []"));
        QCOMPARE(summary(), QStringLiteral("333 command 0 1 0 []"));
    }

    // Without a file chosen, the store is the user's own, under XDG_CONFIG_HOME.
    void theUsersStoreFollowsXdg() {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), tree_->path("config"));
        QCOMPARE(runChild(QStringLiteral("-"), false, environment), defaults);
        QVERIFY(!QFileInfo::exists(tree_->path("config/vistel/com.vistel.Vistel.conf")));
        QCOMPARE(runChild(QStringLiteral("-"), true, environment), QStringLiteral("333 command 1 1 0 []"));
        QVERIFY(QFileInfo::exists(tree_->path("config/vistel/com.vistel.Vistel.conf")));
        QCOMPARE(runChild(QStringLiteral("-"), false, environment), QStringLiteral("333 command 1 1 0 []"));
    }

    // Raw values round-trip; each modifier is held whatever else is held, and not
    // without its own bit.
    void modifiers() {
        QSet<quint64> flags;
        for (const HoverModifier m : HoverModifiers::allCases()) {
            QCOMPARE(HoverModifiers::fromRawValue(HoverModifiers::rawValue(m)), m);
            const quint64 flag = HoverModifiers::eventFlag(m);
            flags.insert(flag);
            QVERIFY(HoverModifiers::isHeld(m, flag | 0x20000 | 0x1));
            QVERIFY(!HoverModifiers::isHeld(m, ~flag & 0x1F0000));
        }
        QCOMPARE(flags.size(), 3);
    }
};

int main(int argc, char** argv) {
    if (argc >= 3 && qstrcmp(argv[1], "--settings-child") == 0)
        return settingsChild(QString::fromLocal8Bit(argv[2]), argc >= 4);
    QCoreApplication app(argc, argv);
    TestSettings test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "test_settings.moc"
