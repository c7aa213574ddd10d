// The tray icon: default, wiring, one icon, looks, menu rebuilt per opening, no-tray notice.
#include "ControllerFakes.h"
#include "MenuFakes.h"
#include "TempTree.h"
#include "app/MenuBarIndicator.h"
#include "app/VistelController.h"
#include "core/Settings.h"

#include <QApplication>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTest>

namespace {

QImage picture(const QIcon& icon) {
    return icon.pixmap(QSize(18, 18)).toImage();
}

int trayIcons(const MenuBarIndicator& indicator) {
    return int(indicator.findChildren<QSystemTrayIcon*>().size());
}

} // namespace

class TestMenuBarIndicator : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase() { Settings::useStoreFile(store_.path(QStringLiteral("settings.conf"))); }
    void init() {
        world_ = useMenuWorld();
        Settings::setModifier(HoverModifier::Option);
    }

    // A fresh settings domain shows the icon, and the controller drives it.
    void onByDefaultAndDrivenByTheController() {
        TempTree fresh;
        Settings::useStoreFile(fresh.path(QStringLiteral("fresh.conf")));
        QVERIFY(Settings::showMenuBarIndicator());

        VistelController::Parts parts;
        parts.desktop = std::make_unique<FakeDesktop>(std::make_shared<DesktopState>());
        parts.write = [](const QString&) {};
        parts.closeOlderCopies = [] {};
        parts.primeSessions = [] {};
        VistelController controller(std::move(parts));
        controller.launch();
        MenuBarIndicator& indicator = controller.menuBar();
        QVERIFY(indicator.item());
        QCOMPARE(trayIcons(indicator), 1);

        emit controller.previewingChanged(true);
        QVERIFY(indicator.previewing());
        QCOMPARE(picture(indicator.item()->icon()), picture(MenuBarIndicator::icon(true)));
        emit controller.previewingChanged(false);
        QCOMPARE(picture(indicator.item()->icon()), picture(MenuBarIndicator::icon(false)));

        Settings::setShowMenuBarIndicator(false);
        QTRY_VERIFY(!indicator.item());
        Settings::setShowMenuBarIndicator(true);
        QTRY_VERIFY(indicator.item());
        QCOMPARE(trayIcons(indicator), 1);
        Settings::useStoreFile(store_.path(QStringLiteral("settings.conf")));
    }

    // Steps: s show, h hide, a active look, r resting look.
    void showSwitchAndHideRepeatedly_data() {
        QTest::addColumn<QString>("steps");
        QTest::addColumn<bool>("shown");
        QTest::addColumn<bool>("previewing");
        QTest::newRow("hide without icon") << "hh" << false << false;
        QTest::newRow("active while hidden, then shown") << "as" << true << true;
        QTest::newRow("many rounds, ending shown") << "ssahhsrsashhs" << true << true;
    }
    void showSwitchAndHideRepeatedly() {
        QFETCH(QString, steps);
        QFETCH(bool, shown);
        QFETCH(bool, previewing);
        const int windowsBefore = int(QApplication::topLevelWidgets().size());
        {
            MenuBarIndicator indicator(false, nullptr);
            for (const QChar step : steps) {
                switch (step.toLatin1()) {
                case 's': {
                    QSystemTrayIcon* before = indicator.item();
                    indicator.apply(true);
                    if (before) QVERIFY(indicator.item() == before); // kept, not made again
                    break;
                }
                case 'h':
                    indicator.apply(false);
                    break;
                case 'a':
                    indicator.setPreviewing(true);
                    break;
                case 'r':
                    indicator.setPreviewing(false);
                    break;
                }
                QVERIFY(trayIcons(indicator) <= 1);
                QCOMPARE(indicator.item() != nullptr, indicator.menu() != nullptr);
            }
            QCOMPARE(trayIcons(indicator), shown ? 1 : 0);
            QCOMPARE(indicator.previewing(), previewing);
            if (shown) {
                QVERIFY(indicator.item()->isVisible());
                QCOMPARE(picture(indicator.item()->icon()), picture(MenuBarIndicator::icon(previewing)));
                QCOMPARE(indicator.item()->contextMenu(), indicator.menu());
            }
        }
        QCOMPARE(int(QApplication::topLevelWidgets().size()), windowsBefore); // no menu left behind
    }

    void menuIsRebuiltOnEveryOpening() {
        MenuBarIndicator indicator(false, nullptr);
        indicator.apply(true);
        QCOMPARE(indicator.item()->toolTip(), QStringLiteral("Vistel — hold Alt over an image path"));
        QMenu* menu = indicator.menu();
        QVERIFY(menu->actions().isEmpty()); // composed only when it opens
        emit menu->aboutToShow();
        const QStringList first = titles(menu->actions());
        emit menu->aboutToShow();
        QCOMPARE(titles(menu->actions()), first);
        QCOMPARE(first.last(), QStringLiteral("Quit Vistel"));

        world_->screen = true;
        Settings::setModifier(HoverModifier::Control);
        emit menu->aboutToShow();
        const QStringList third = titles(menu->actions());
        QCOMPARE(third.size(), first.size());
        QVERIFY(third.contains(QStringLiteral("Screen Recording: granted")));
        QCOMPARE(third.first(), QStringLiteral("Hold ⌃ and point at an image path"));
        // The items of earlier openings are gone, not piled up (the menu also owns
        // the action that stands for itself).
        QList<QAction*> owned = menu->findChildren<QAction*>(Qt::FindDirectChildrenOnly);
        owned.removeOne(menu->menuAction());
        QCOMPARE(owned.size(), menu->actions().size());
    }

    void noTrayIsToldOnceInDebug_data() {
        QTest::addColumn<bool>("verbose");
        QTest::newRow("debug") << true;
        QTest::newRow("quiet") << false;
    }
    void noTrayIsToldOnceInDebug() {
        QFETCH(bool, verbose);
        QStringList printed;
        MenuBarIndicator indicator(verbose, [&](const QString& line) { printed.append(line); });
        for (const bool visible : {true, true, false, true, false, true})
            indicator.apply(visible);
        const bool told = verbose && !QSystemTrayIcon::isSystemTrayAvailable();
        QCOMPARE(printed.size(), told ? 1 : 0);
        if (told) QVERIFY(printed.first().startsWith(QStringLiteral("[tray] no system tray")));
        QVERIFY(indicator.item()); // carries on either way
    }

    void looks() {
        const QImage resting = picture(MenuBarIndicator::icon(false));
        const QImage active = picture(MenuBarIndicator::icon(true));
        QVERIFY(!resting.isNull() && !active.isNull() && resting != active);
        for (const QString& name :
             {QStringLiteral("MenuBarMascotTemplate"), QStringLiteral("MenuBarMascotActiveTemplate")}) {
            const QIcon mascot = MenuBarIndicator::mascotImage(name, Qt::black);
            QCOMPARE(mascot.availableSizes(), (QList<QSize>{{18, 18}, {36, 36}}));
        }
        QVERIFY(MenuBarIndicator::mascotImage(QStringLiteral("NoSuchMascot"), Qt::black).isNull());
    }

    // A template's alpha is its shape; tinting keeps the shape and sets the colour.
    void tintKeepsTheShape() {
        const QColor color(0x20, 0x20, 0x20);
        const QImage shape(QStringLiteral(":/menu-bar/MenuBarMascotTemplate@2x.png"));
        QVERIFY(!shape.isNull());
        const QImage tinted = MenuBarIndicator::tinted(shape, color).convertToFormat(QImage::Format_ARGB32);
        int opaque = 0;
        for (int y = 0; y < shape.height(); ++y) {
            for (int x = 0; x < shape.width(); ++x) {
                const QColor before = shape.pixelColor(x, y);
                const QColor after = tinted.pixelColor(x, y);
                QCOMPARE(after.alpha(), before.alpha());
                if (after.alpha() == 255) {
                    ++opaque;
                    QCOMPARE(after.rgb(), color.rgb());
                }
            }
        }
        QVERIFY(opaque > 50);
    }

  private:
    TempTree store_;
    std::shared_ptr<MenuWorld> world_;
};

QTEST_MAIN(TestMenuBarIndicator)
#include "test_menu_bar_indicator.moc"
