// "Open at Login" as an XDG autostart entry: offered only to an installed
// program, written and removed under XDG_CONFIG_HOME, never more than one file.
#include "TempTree.h"
#include "app/ui/LoginItem.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

class TestLoginItem : public QObject {
    Q_OBJECT
  private slots:
    void init() {
        config_ = std::make_unique<TempTree>();
        qputenv("XDG_CONFIG_HOME", config_->path().toLocal8Bit());
    }

    void offeredOnlyWhenInstalled_data() {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QString>("executable");
        QTest::addColumn<bool>("offered");
        const QString entry = QStringLiteral("share/applications/com.vistel.Vistel.desktop");
        QTest::newRow("installed") << QStringList{QStringLiteral("bin/VistelPrototype"), entry}
                                   << "bin/VistelPrototype" << true;
        QTest::newRow("build folder")
            << QStringList{QStringLiteral("src/app/VistelPrototype")} << "src/app/VistelPrototype" << false;
        QTest::newRow("entry of another program")
            << QStringList{QStringLiteral("bin/VistelPrototype"),
                           QStringLiteral("share/applications/other.desktop")}
            << "bin/VistelPrototype" << false;
        QTest::newRow("entry is a folder") << QStringList{QStringLiteral("bin/VistelPrototype"), entry + "/x"}
                                           << "bin/VistelPrototype" << false;
    }
    void offeredOnlyWhenInstalled() {
        QFETCH(QStringList, files);
        QFETCH(QString, executable);
        QFETCH(bool, offered);
        TempTree prefix;
        for (const QString& file : files)
            prefix.file(file);
        const QString path = prefix.path(executable);
        const std::optional<LoginItem> item = LoginItem::forInstalledProgram(path);
        QCOMPARE(item.has_value(), offered);
        if (item) QCOMPARE(item->executable(), path);
    }

    void quotedArgument_data() {
        QTest::addColumn<QString>("argument");
        QTest::addColumn<QString>("quoted");
        // Quoted, then backslashes escaped again by the entry format.
        QTest::newRow("double quote") << QString("/a\"b") << "\"/a\\\\\"b\"";
        QTest::newRow("dollar and backtick") << QString("/a$b`c") << "\"/a\\\\$b\\\\`c\"";
        QTest::newRow("backslash") << QString("/a\\b") << "\"/a\\\\\\\\b\"";
        QTest::newRow("percent") << QString("/100%/V") << "\"/100%%/V\"";
    }
    void quotedArgument() {
        QFETCH(QString, argument);
        QFETCH(QString, quoted);
        QCOMPARE(LoginItem::quotedArgument(argument), quoted);
    }

    // Off without an entry first; never more than the one file.
    void toggledAnyNumberOfTimes() {
        const LoginItem item(QStringLiteral("/opt/vistel/bin/VistelPrototype"));
        for (const QChar step : QStringLiteral("01011010011")) {
            const bool on = step == QLatin1Char('1');
            const std::optional<QString> failure = item.setEnabled(on);
            QVERIFY2(!failure, qPrintable(failure.value_or(QString())));
            QCOMPARE(item.isEnabled(), on);
        }
        const QStringList left = QDir(config_->path(QStringLiteral("autostart"))).entryList(QDir::Files);
        QCOMPARE(left, QStringList{QStringLiteral("com.vistel.Vistel.desktop")});
    }

    void entryStartsTheInstalledProgram() {
        const LoginItem item(QStringLiteral("/opt/my apps/bin/VistelPrototype"));
        QVERIFY(!item.setEnabled(true));
        QFile file(LoginItem::entryPath());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(file.readAll());
        QVERIFY(text.contains(QStringLiteral("\nExec=\"/opt/my apps/bin/VistelPrototype\"\n")));
        QVERIFY(!text.contains(QStringLiteral("--open"))); // no window at login
    }

    void failuresChangeNothing_data() {
        QTest::addColumn<QString>("executable");
        QTest::addColumn<bool>("autostartIsAFile");
        QTest::addColumn<QString>("reason");
        QTest::newRow("autostart is a file")
            << "/usr/bin/VistelPrototype" << true << "cannot create the folder";
        QTest::newRow("path with a newline") << "/usr/bin/Vistel\nPrototype" << false << "cannot be written";
    }
    void failuresChangeNothing() {
        QFETCH(QString, executable);
        QFETCH(bool, autostartIsAFile);
        QFETCH(QString, reason);
        if (autostartIsAFile) config_->file(QStringLiteral("autostart"), "not a folder");
        const LoginItem item(executable);
        const std::optional<QString> failure = item.setEnabled(true);
        QVERIFY(failure);
        QVERIFY2(failure->contains(reason), qPrintable(*failure));
        QVERIFY(!item.isEnabled());
        QVERIFY(!QFileInfo(LoginItem::entryPath()).isFile());
    }

  private:
    std::unique_ptr<TempTree> config_;
};

QTEST_GUILESS_MAIN(TestLoginItem)
#include "test_login_item.moc"
