// The menus, the tray icon and the settings pane: the login item offered only
// when installed, desktop-entry requests, one tray icon, the width slider, and
// Linux wording in what the menus and the tray say, and the pane and the tray
// icon following changes of the settings.
#include "LinuxWording.h"
#include "TempTree.h"
#include "app/ui/AppMenus.h"
#include "app/ui/DesktopActions.h"
#include "app/ui/MenuBarIndicator.h"
#include "app/ui/PreviewSample.h"
#include "app/ui/SettingsPane.h"
#include "app/ui/SettingsWindow.h"
#include "core/HoverModifier.h"
#include "core/Settings.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QMap>
#include <QMenu>
#include <QMenuBar>
#include <QSlider>
#include <QSystemTrayIcon>
#include <QTest>

namespace {

const QString kInstalled = QStringLiteral("/opt/vistel/bin/VistelPrototype");

// What the menus see of the desktop, steered by the test.
struct MenuWorld {
    bool accessibility = false;
    bool screen = false;
};

// Installs an environment backed by a fresh world; loginItem as given (none: a
// bare program). What the menus tell the user is collected in told.
std::shared_ptr<MenuWorld> useMenuWorld(std::optional<LoginItem> loginItem = std::nullopt,
                                        std::shared_ptr<QStringList> told = nullptr) {
    auto world = std::make_shared<MenuWorld>();
    AppMenus::Environment environment;
    environment.granted = [world](AppMenus::Permission p) {
        return p == AppMenus::Permission::Accessibility ? world->accessibility : world->screen;
    };
    environment.enableAccessibility = [world] { world->accessibility = true; };
    environment.tell = [told](const QString& line) {
        if (told) told->append(line);
    };
    environment.loginItem = std::move(loginItem);
    AppMenus::setEnvironment(std::move(environment));
    return world;
}

// Titles of a list of menu items, "-" for a separator, submenus' items after
// their own (each submenu built as when it opens).
QStringList titles(const QList<QAction*>& items) {
    QStringList out;
    for (const QAction* item : items) {
        out.append(item->isSeparator() ? QStringLiteral("-") : item->text());
        if (QMenu* sub = item->menu()) {
            emit sub->aboutToShow();
            out.append(titles(sub->actions()));
        }
    }
    return out;
}

std::optional<LoginItem> loginItemIf(bool installed) {
    return installed ? std::optional<LoginItem>(LoginItem(kInstalled)) : std::nullopt;
}

QMap<Settings::Change, int>& notices() {
    static QMap<Settings::Change, int> counts; // main thread only
    return counts;
}

int trayIcons(const MenuBarIndicator& indicator) {
    return int(indicator.findChildren<QSystemTrayIcon*>().size());
}

} // namespace

class TestAppMenus : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase() {
        connect(Settings::notifier(), &Settings::Notifier::changed, this,
                [](Settings::Change change) { ++notices()[change]; });
    }
    void init() {
        config_ = std::make_unique<TempTree>();
        qputenv("XDG_CONFIG_HOME", config_->path().toLocal8Bit());
        Settings::useStoreFile(config_->path(QStringLiteral("settings.conf")));
        world_ = useMenuWorld();
        notices().clear();
    }

    // "Open at Login" is offered in the menus and the settings pane only to an installed program.
    void loginItemOfferedOnlyWhenInstalled_data() {
        QTest::addColumn<bool>("installed");
        QTest::newRow("bare") << false;
        QTest::newRow("installed") << true;
    }
    void loginItemOfferedOnlyWhenInstalled() {
        QFETCH(bool, installed);
        world_ = useMenuWorld(loginItemIf(installed));
        QObject owner;
        QMenuBar bar;
        AppMenus::fillMainMenu(&bar, nullptr);
        for (const QStringList& items : {titles(AppMenus::menuItems(true, &owner)), titles(bar.actions())}) {
            QCOMPARE(items.contains(QStringLiteral("Open at Login")), installed);
            QVERIFY(items.contains(QStringLiteral("Quit Vistel")));
        }
        QCOMPARE(titles(AppMenus::menuItems(true, &owner)).last(), QStringLiteral("Quit Vistel"));
        QCOMPARE(titles(AppMenus::menuItems(false, &owner)).contains(QStringLiteral("Quit Vistel")), false);
        SettingsWindowController controller;
        QCOMPARE(bool(controller.pane()->findChild<QCheckBox*>(QStringLiteral("openAtLogin"))), installed);
    }

    void desktopActionRequests_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("action"); // -1: none
        QTest::addColumn<QString>("problem");
        using A = DesktopActions::Action;
        QTest::newRow("plain start") << QStringList{"VistelPrototype"} << -1 << "";
        QTest::newRow("settings") << QStringList{"V", "--open", "settings"} << int(A::Settings) << "";
        QTest::newRow("after another option")
            << QStringList{"V", "--debug", "--open", "accessibility"} << int(A::Accessibility) << "";
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

    // One icon at most over any order of showing and hiding, no menu left
    // behind, and each opening's items replacing the last ones.
    void trayIconShownAndHiddenRepeatedly() {
        const int windowsBefore = int(QApplication::topLevelWidgets().size());
        {
            MenuBarIndicator indicator(false, nullptr);
            for (const QChar step : QStringLiteral("hssahhsrsashhs")) {
                QSystemTrayIcon* before = indicator.item();
                if (step == 's' || step == 'h') indicator.apply(step == 's');
                if (step == 'a' || step == 'r') indicator.setPreviewing(step == 'a');
                if (step == 's' && before) QVERIFY(indicator.item() == before); // kept, not made again
                QVERIFY(trayIcons(indicator) <= 1);
                QCOMPARE(indicator.item() != nullptr, indicator.menu() != nullptr);
            }
            QCOMPARE(trayIcons(indicator), 1);
            QVERIFY(indicator.previewing());
            QMenu* menu = indicator.menu();
            QCOMPARE(indicator.item()->contextMenu(), menu);
            emit menu->aboutToShow();
            world_->screen = true;
            emit menu->aboutToShow();
            QVERIFY(titles(menu->actions()).contains(QStringLiteral("Screen Reading: granted")));
            // The menu also owns the action standing for itself.
            QCOMPARE(menu->findChildren<QAction*>(Qt::FindDirectChildrenOnly).size(),
                     menu->actions().size() + 1);
        }
        QCOMPARE(int(QApplication::topLevelWidgets().size()), windowsBefore);
    }

    // While dragged, the sample follows and nothing is written until the release; keys write at once.
    void sliderWritesOncePerRelease() {
        SettingsWindowController controller;
        auto* slider = controller.pane()->findChild<QSlider*>(QStringLiteral("width"));
        slider->setSliderDown(true);
        for (int value = 230; value <= 300; value += 10)
            slider->setValue(value);
        QCOMPARE(controller.pane()->sample()->cardSize().width(), 300.0);
        QCOMPARE(notices().value(Settings::Change::PreviewSize), 0);
        slider->setSliderDown(false);
        QCOMPARE(notices().value(Settings::Change::PreviewSize), 1);
        QCOMPARE(Settings::previewWidth(), 300.0);
        QTest::keyClick(slider, Qt::Key_Right);
        QCOMPARE(notices().value(Settings::Change::PreviewSize), 2);
    }

    // The scanner the wording tests rely on finds what a Mac build would have said.
    void scannerFindsMacWording_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("mac");
        QTest::newRow("key glyph") << "Hold ⌥ and point at an image path" << true;
        QTest::newRow("menu bar") << "Show the active indicator in the Menu Bar" << true;
        QTest::newRow("Dock") << "Quit from the Dock icon" << true;
        QTest::newRow("permission pane") << "Screen Recording: granted" << true;
        QTest::newRow("Mac key name") << "Hold Option over an image" << true;
        QTest::newRow("Linux") << "Hold Alt and point at an image path; quit with Ctrl+C" << false;
        QTest::newRow("command-line item") << "--open screen-recording" << false;
    }
    void scannerFindsMacWording() {
        QFETCH(QString, text);
        QFETCH(bool, mac);
        QCOMPARE(!macWording(text).isEmpty(), mac);
    }

    // What the tray shows (its tool tip, its menu for every hold key and
    // either state of the permissions), the window's menus, and what choosing
    // a permission item tells the user.
    void trayAndMenusSpeakLinux() {
        auto told = std::make_shared<QStringList>();
        for (const bool granted : {false, true}) {
            world_ = useMenuWorld(LoginItem(kInstalled), told);
            world_->accessibility = world_->screen = granted;
            QStringList texts;
            for (const HoverModifier m : HoverModifiers::allCases()) {
                Settings::setModifier(m);
                MenuBarIndicator indicator(false, nullptr);
                indicator.apply(true);
                emit indicator.menu()->aboutToShow();
                texts << indicator.item()->toolTip() << titles(indicator.menu()->actions());
            }
            QCOMPARE(texts.first(), QStringLiteral("Vistel — hold Alt over an image path"));
            QVERIFY(texts.contains(QStringLiteral("Hold Super and point at an image path")));
            QMenuBar bar;
            AppMenus::fillMainMenu(&bar, nullptr);
            texts << titles(bar.actions());
            for (const AppMenus::Permission permission : AppMenus::allPermissions())
                AppMenus::request(permission);
            QVERIFY(!told->isEmpty());
            texts << *told;
            QVERIFY2(withMacWording(texts).isEmpty(), qPrintable(withMacWording(texts).join('\n')));
        }
    }

    // The tray icon's tool tip names the hold key as it changes.
    void trayToolTipFollowsTheHoldKey() {
        MenuBarIndicator indicator(false, nullptr);
        indicator.apply(true);
        QVERIFY(indicator.item()->toolTip().contains(QStringLiteral("hold Alt ")));
        Settings::setModifier(HoverModifier::Control);
        QVERIFY(indicator.item()->toolTip().contains(QStringLiteral("hold Ctrl ")));
        indicator.apply(false);
        Settings::setModifier(HoverModifier::Command); // hidden: nothing to update
        indicator.apply(true);
        QVERIFY(indicator.item()->toolTip().contains(QStringLiteral("hold Super ")));
    }

    // Every open pane shows a change made in another or through the store, and
    // following it writes nothing back.
    void panesFollowTheStore() {
        SettingsWindowController first, second;
        SettingsPane* other = second.pane();
        first.pane()->findChild<QCheckBox*>(QStringLiteral("showCaption"))->setChecked(false);
        QCOMPARE(other->findChild<QCheckBox*>(QStringLiteral("showCaption"))->isChecked(), false);
        QCOMPARE(other->sample()->showsCaption(), false);
        first.pane()->findChild<QCheckBox*>(QStringLiteral("showImageDetails"))->setChecked(true);
        QCOMPARE(Settings::showImageDetails(), true);
        QCOMPARE(other->findChild<QCheckBox*>(QStringLiteral("showImageDetails"))->isChecked(), true);
        QCOMPARE(other->sample()->showsDetails(), true);
        first.pane()->findChild<QCheckBox*>(QStringLiteral("loadRemoteImages"))->setChecked(false);
        QCOMPARE(other->findChild<QCheckBox*>(QStringLiteral("loadRemoteImages"))->isChecked(), false);

        Settings::setShowMenuBarIndicator(false);
        QCOMPARE(other->findChild<QCheckBox*>(QStringLiteral("showMenuBarIndicator"))->isChecked(), false);
        Settings::setModifier(HoverModifier::Control);
        QCOMPARE(other->findChild<QComboBox*>(QStringLiteral("modifier"))->currentIndex(),
                 int(HoverModifiers::allCases().indexOf(HoverModifier::Control)));
        QCOMPARE(other->caution()->text(), SettingsPane::cautionText(HoverModifier::Control));
        Settings::setPreviewWidth(333);
        QCOMPARE(other->findChild<QSlider*>(QStringLiteral("width"))->value(), 333);
        QCOMPARE(other->sample()->cardSize().width(), 333.0);

        for (const Settings::Change change :
             {Settings::Change::ShowCaption, Settings::Change::ShowImageDetails,
              Settings::Change::LoadRemoteImages, Settings::Change::ShowMenuBarIndicator,
              Settings::Change::Modifier, Settings::Change::PreviewSize})
            QCOMPARE(notices().value(change), 1);
    }

    // The sample's caption band holds a bar for the name, one for the details,
    // both side by side, or none; the image box grows into an empty band.
    void sampleCaptionBand_data() {
        QTest::addColumn<bool>("name");
        QTest::addColumn<bool>("details");
        QTest::newRow("name") << true << false;
        QTest::newRow("details") << false << true;
        QTest::newRow("both") << true << true;
        QTest::newRow("neither") << false << false;
    }
    void sampleCaptionBand() {
        QFETCH(bool, name);
        QFETCH(bool, details);
        const QSizeF view(420, 262.5);
        const auto l = PreviewSample::layoutFor(view, 1512, QSizeF(220, 160), name, details);
        const auto bare = PreviewSample::layoutFor(view, 1512, QSizeF(220, 160), false, false);
        QCOMPARE(l.captionBar.has_value(), name);
        QCOMPARE(l.detailsBar.has_value(), details);
        const double band = (name || details) ? 24 * l.scale : 0;
        QCOMPARE(l.imageBox.height() + band, bare.imageBox.height());
        for (const std::optional<QRectF>& bar : {l.captionBar, l.detailsBar}) {
            if (!bar) continue;
            QVERIFY(l.card.contains(*bar));
            QVERIFY(bar->top() >= l.imageBox.bottom()); // under the image, in the band
        }
        if (name && details) QVERIFY(l.captionBar->right() < l.detailsBar->left()); // name first
    }

  private:
    std::unique_ptr<TempTree> config_;
    std::shared_ptr<MenuWorld> world_;
};

QTEST_MAIN(TestAppMenus)
#include "test_app_menus.moc"
