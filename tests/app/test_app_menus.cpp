// The tray, main and desktop-entry menus: items, states, what choosing them does.
#include "MenuFakes.h"
#include "TempTree.h"
#include "app/AppMenus.h"
#include "app/DesktopActions.h"
#include "app/SettingsWindow.h"
#include "core/Settings.h"

#include <QHash>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QTest>

using AppMenus::Permission;

namespace {

const QString kInstalled = QStringLiteral("/opt/vistel/bin/VistelPrototype");

std::optional<LoginItem> loginItemIf(bool installed) {
    return installed ? std::optional<LoginItem>(LoginItem(kInstalled)) : std::nullopt;
}

// "Group/Key" to value, as a desktop entry spells them.
QHash<QString, QString> readDesktopEntry(const QString& path) {
    QHash<QString, QString> values;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return values;
    QString group;
    for (const QString& line : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'))) {
        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
            group = line.mid(1, line.size() - 2);
        } else if (const qsizetype equals = line.indexOf(QLatin1Char('=')); equals > 0) {
            values.insert(group + QLatin1Char('/') + line.left(equals), line.mid(equals + 1));
        }
    }
    return values;
}

} // namespace

class TestAppMenus : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase() { Settings::useStoreFile(store_.path(QStringLiteral("settings.conf"))); }
    void init() {
        config_ = std::make_unique<TempTree>();
        qputenv("XDG_CONFIG_HOME", config_->path().toLocal8Bit());
        Settings::setModifier(HoverModifier::Option);
    }

    void menuItems_data() {
        QTest::addColumn<bool>("includingQuit");
        QTest::addColumn<bool>("installed");
        QTest::addColumn<HoverModifier>("modifier");
        QTest::addColumn<QStringList>("expected");
        const QStringList head{"-", "Settings…", "-", "Accessibility: granted",
                               "Screen Recording: not granted"};
        const QStringList login{"-", "Open at Login"};
        const QStringList quit{"-", "Quit Vistel"};
        const auto hold = [](const char* glyph) {
            return QStringList{
                QStringLiteral("Hold %1 and point at an image path").arg(QString::fromUtf8(glyph))};
        };
        QTest::newRow("tray, bare, option")
            << true << false << HoverModifier::Option << hold("⌥") + head + quit;
        QTest::newRow("desktop, installed, control")
            << false << true << HoverModifier::Control << hold("⌃") + head + login;
    }
    void menuItems() {
        QFETCH(bool, includingQuit);
        QFETCH(bool, installed);
        QFETCH(HoverModifier, modifier);
        QFETCH(QStringList, expected);
        auto world = useMenuWorld(loginItemIf(installed));
        world->accessibility = true;
        Settings::setModifier(modifier);
        QObject owner;
        const QList<QAction*> items = AppMenus::menuItems(includingQuit, &owner);
        QCOMPARE(titles(items), expected);
        QVERIFY(!items.first()->isEnabled()); // the hint is not a command
        QVERIFY(items.at(4)->isChecked());    // accessibility granted
        QVERIFY(!items.at(5)->isChecked());   // screen not
        QCOMPARE(items.at(4)->data().value<Permission>(), Permission::Accessibility);
        for (QAction* item : items)
            QCOMPARE(item->parent(), &owner);
    }

    // Items are new on every call and show the state of that moment.
    void eachCallShowsTheStateOfItsMoment() {
        auto world = useMenuWorld(loginItemIf(true));
        QObject owner;
        const QList<QAction*> first = AppMenus::menuItems(true, &owner);
        world->screen = true;
        QVERIFY(!LoginItem(kInstalled).setEnabled(true));
        const QList<QAction*> second = AppMenus::menuItems(true, &owner);
        QCOMPARE(second.size(), first.size());
        for (qsizetype i = 0; i < first.size(); ++i)
            QVERIFY(first.at(i) != second.at(i));
        QVERIFY(titles(first).contains(QStringLiteral("Screen Recording: not granted")));
        QVERIFY(titles(second).contains(QStringLiteral("Screen Recording: granted")));
        QVERIFY(!first.at(first.size() - 3)->isChecked());
        QCOMPARE(second.at(second.size() - 3)->text(), QStringLiteral("Open at Login"));
        QVERIFY(second.at(second.size() - 3)->isChecked());
    }

    void choosingAPermission_data() {
        QTest::addColumn<Permission>("permission");
        QTest::addColumn<bool>("granted");
        QTest::addColumn<int>("enables");
        QTest::addColumn<QString>("told"); // start of the line, empty: nothing said
        QTest::newRow("accessibility off")
            << Permission::Accessibility << false << 1 << "Accessibility is now switched on for this session";
        QTest::newRow("accessibility on")
            << Permission::Accessibility << true << 0 << "Accessibility is on for this session";
        QTest::newRow("screen readable") << Permission::ScreenRecording << true << 0 << "";
        QTest::newRow("screen unreadable")
            << Permission::ScreenRecording << false << 0 << "The screen can be read only in an X11 session";
    }
    void choosingAPermission() {
        QFETCH(Permission, permission);
        QFETCH(bool, granted);
        QFETCH(int, enables);
        QFETCH(QString, told);
        auto world = useMenuWorld();
        world->accessibility = world->screen = granted;
        QObject owner;
        AppMenus::permissionItem(permission, &owner)->trigger();
        QCOMPARE(world->enables, enables);
        if (told.isEmpty()) {
            QVERIFY(world->told.isEmpty());
        } else {
            QCOMPARE(world->told.size(), 1);
            QVERIFY2(world->told.first().startsWith(told), qPrintable(world->told.first()));
            QVERIFY(!world->told.first().contains(QLatin1Char('\n'))); // one line
        }
        // The next menu shows what changed.
        QCOMPARE(AppMenus::permissionItem(permission, &owner)->isChecked(), granted || enables > 0);
    }

    // Each choice switches the one entry; a failure is said once on standard
    // error and the next menu tells the truth.
    void loginItemFromTheMenu() {
        useMenuWorld(loginItemIf(true));
        QObject owner;
        for (int round = 0; round < 3; ++round) {
            QAction* item = AppMenus::loginItem(&owner);
            QCOMPARE(item->isChecked(), round % 2 == 1);
            item->trigger();
            QCOMPARE(QFile::exists(LoginItem::entryPath()), round % 2 == 0);
        }
        QCOMPARE(QDir(config_->path(QStringLiteral("autostart"))).entryList(QDir::Files).size(), 1);

        QVERIFY(QDir(config_->path(QStringLiteral("autostart"))).removeRecursively());
        config_->file(QStringLiteral("autostart"), "not a folder");
        CapturedStandardError error;
        AppMenus::loginItem(&owner)->trigger();
        const QByteArray said = error.text();
        QVERIFY2(said.startsWith("Vistel: could not change the login item: "), said.constData());
        QCOMPARE(said.count('\n'), 1);
        QVERIFY(!AppMenus::loginItem(&owner)->isChecked());
    }

    void mainMenu_data() {
        QTest::addColumn<bool>("installed");
        QTest::addColumn<QStringList>("expected");
        const QStringList head{
            "About Vistel", "-", "Settings…", "-", "Accessibility: not granted", "Screen Recording: granted"};
        const QStringList tail{"-", "Hide Vistel", "-", "Quit Vistel"};
        QTest::newRow("bare") << false << head + tail;
        QTest::newRow("installed") << true << head + QStringList{"-", "Open at Login"} + tail;
    }
    void mainMenu() {
        QFETCH(bool, installed);
        QFETCH(QStringList, expected);
        auto world = useMenuWorld(loginItemIf(installed));
        world->screen = true;
        QMenu menu;
        AppMenus::fillMainMenu(&menu);
        QCOMPARE(titles(menu.actions()), expected);
        QStringList keys;
        for (const QAction* item : menu.actions())
            if (!item->shortcut().isEmpty())
                keys.append(item->shortcut().toString(QKeySequence::PortableText));
        QCOMPARE(keys, (QStringList{"Ctrl+,", "Ctrl+H", "Ctrl+Q"}));
    }

    void mainMenuLivesInTheSettingsWindow() {
        useMenuWorld();
        AppMenus::installMainMenu();
        AppMenus::installMainMenu(); // replaces, never adds
        QMenuBar* bar = SettingsWindowController::shared().window()->menuBar();
        QCOMPARE(bar->actions().size(), 1);
        QCOMPARE(bar->actions().first()->text(), QStringLiteral("Vistel"));
        QCOMPARE(bar->findChildren<QMenu*>(Qt::FindDirectChildrenOnly).size(), 1);
        QVERIFY(titles(bar->actions().first()->menu()->actions()).contains(QStringLiteral("Quit Vistel")));
    }

    void desktopActionRequests_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("action"); // -1: none
        QTest::addColumn<QString>("problem");
        using A = DesktopActions::Action;
        QTest::newRow("plain start") << QStringList{"VistelPrototype"} << -1 << "";
        QTest::newRow("settings") << QStringList{"V", "--open", "settings"} << int(A::Settings) << "";
        QTest::newRow("accessibility")
            << QStringList{"V", "--debug", "--open", "accessibility"} << int(A::Accessibility) << "";
        QTest::newRow("screen") << QStringList{"V", "--open", "screen-recording"} << int(A::ScreenRecording)
                                << "";
        QTest::newRow("login") << QStringList{"V", "--open", "login-item"} << int(A::LoginItem) << "";
        QTest::newRow("unknown") << QStringList{"V", "--open", "quit"} << -1 << "unknown item \"quit\"";
        QTest::newRow("nothing after") << QStringList{"V", "--open"} << -1 << "--open needs one of";
    }
    void desktopActionRequests() {
        QFETCH(QStringList, arguments);
        QFETCH(int, action);
        QFETCH(QString, problem);
        const DesktopActions::Request request = DesktopActions::requested(arguments);
        QCOMPARE(request.action ? int(*request.action) : -1, action);
        if (problem.isEmpty()) {
            QVERIFY(request.problem.isEmpty());
        } else {
            QVERIFY2(request.problem.contains(problem), qPrintable(request.problem));
            QVERIFY(request.problem.contains(QStringLiteral("settings, accessibility")));
        }
    }

    // The desktop entry's actions stand for the tray menu's items without Quit:
    // each names a menu item and asks for a request the program understands.
    void desktopEntryActions() {
        const QHash<QString, QString> entry =
            readDesktopEntry(QStringLiteral(VISTEL_SOURCE_DIR "/assets/vistel.desktop"));
        QCOMPARE(entry.value(QStringLiteral("Desktop Entry/Type")), QStringLiteral("Application"));
        const QString main = entry.value(QStringLiteral("Desktop Entry/Exec"));
        QCOMPARE(DesktopActions::requested(QProcess::splitCommand(main)).action,
                 DesktopActions::Action::Settings);

        useMenuWorld(loginItemIf(true));
        QObject owner;
        QStringList menuNames;
        for (const QAction* item : AppMenus::menuItems(false, &owner)) {
            if (item->isSeparator() || !item->isEnabled()) continue;
            menuNames.append(item->text().section(QStringLiteral(": "), 0, 0));
        }
        const QStringList ids =
            entry.value(QStringLiteral("Desktop Entry/Actions")).split(QLatin1Char(';'), Qt::SkipEmptyParts);
        QStringList actionNames;
        for (const QString& id : ids) {
            const QString group = QStringLiteral("Desktop Action ") + id;
            actionNames.append(entry.value(group + QStringLiteral("/Name")));
            const QStringList command = QProcess::splitCommand(entry.value(group + QStringLiteral("/Exec")));
            const DesktopActions::Request request = DesktopActions::requested(command);
            QVERIFY2(request.action && request.problem.isEmpty(), qPrintable(id));
        }
        QCOMPARE(actionNames, menuNames);
    }

  private:
    TempTree store_;
    std::unique_ptr<TempTree> config_;
};

QTEST_MAIN(TestAppMenus)
#include "test_app_menus.moc"
