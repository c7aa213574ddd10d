// The settings window and its pane. Saves a screenshot when VISTEL_SCREENSHOT names a file.
#include "MenuFakes.h"
#include "TempTree.h"
#include "app/PreviewSample.h"
#include "app/SettingsPane.h"
#include "app/SettingsWindow.h"
#include "core/Settings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QMainWindow>
#include <QMap>
#include <QMenuBar>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTest>

using AppMenus::Permission;

namespace {

QMap<Settings::Change, int>& notices() {
    static QMap<Settings::Change, int> counts; // main thread only
    return counts;
}

QPoint handleCentre(QSlider* slider) {
    QStyleOptionSlider option;
    option.initFrom(slider);
    option.orientation = slider->orientation();
    option.minimum = slider->minimum();
    option.maximum = slider->maximum();
    option.sliderPosition = slider->sliderPosition();
    option.sliderValue = slider->value();
    option.subControls = QStyle::SC_All;
    return slider->style()
        ->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, slider)
        .center();
}

bool sameColour(const QColor& a, const QColor& b) {
    return a.rgb() == b.rgb();
}

bool near(const QRectF& a, const QRectF& b) {
    return std::abs(a.x() - b.x()) < 1e-6 && std::abs(a.y() - b.y()) < 1e-6 &&
           std::abs(a.width() - b.width()) < 1e-6 && std::abs(a.height() - b.height()) < 1e-6;
}

} // namespace

class TestSettingsWindow : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase() {
        Settings::observe([](Settings::Change change) { ++notices()[change]; });
    }
    void init() {
        store_ = std::make_unique<TempTree>();
        Settings::useStoreFile(store_->path(QStringLiteral("settings.conf")));
        qputenv("XDG_CONFIG_HOME", store_->path().toLocal8Bit());
        world_ = useMenuWorld();
        notices().clear();
    }

    void buildsAroundThePane() {
        SettingsWindowController controller;
        QMainWindow* window = controller.window();
        QCOMPARE(window->centralWidget(), controller.pane());
        const QSize fitting = controller.pane()->sizeHint();
        QCOMPARE(window->minimumSize(), window->maximumSize()); // not resizable
        QVERIFY(!window->windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
        controller.showWindow();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QVERIFY(window->height() >= fitting.height());
        window->close();
        QVERIFY(!window->isVisible()); // closing only hides it
        controller.showWindow();
        QVERIFY(window->isVisible());
    }

    // Dragged, the sample follows and the setting is written on release; keys write at once.
    void sliderWritesOncePerRelease() {
        SettingsWindowController controller;
        controller.showWindow();
        QVERIFY(QTest::qWaitForWindowExposed(controller.window()));
        auto* slider = controller.pane()->findChild<QSlider*>(QStringLiteral("width"));
        QCOMPARE(slider->value(), 220);

        QPoint at = handleCentre(slider);
        QTest::mousePress(slider, Qt::LeftButton, {}, at);
        QVERIFY(slider->isSliderDown());
        QStringList readouts;
        for (int step = 0; step < 8; ++step) {
            at += QPoint(9, 0);
            QTest::mouseMove(slider, at);
            readouts.append(controller.pane()->readout()->text());
        }
        QVERIFY2(slider->value() > 260, qPrintable(QString::number(slider->value())));
        readouts.removeDuplicates();
        QVERIFY2(readouts.size() >= 6, qPrintable(readouts.join(QLatin1Char('|')))); // followed the knob
        QCOMPARE(controller.pane()->sample()->cardSize().width(), double(slider->value()));
        QCOMPARE(Settings::previewWidth(), 220.0);
        QCOMPARE(notices().value(Settings::Change::PreviewSize), 0);

        QTest::mouseRelease(slider, Qt::LeftButton, {}, at);
        QCOMPARE(notices().value(Settings::Change::PreviewSize), 1);
        QCOMPARE(Settings::previewWidth(), double(slider->value()));
        QTest::keyClick(slider, Qt::Key_Right);
        QCOMPARE(notices().value(Settings::Change::PreviewSize), 2);
        QCOMPARE(Settings::previewWidth(), double(slider->value()));
    }

    void cautionFollowsTheKey_data() {
        QTest::addColumn<int>("index");
        QTest::addColumn<HoverModifier>("modifier");
        QTest::addColumn<QString>("caution");
        QTest::newRow("super") << 1 << HoverModifier::Command << "Releasing ⌘ on its own";
        QTest::newRow("control") << 2 << HoverModifier::Control << "⌃-click opens links";
    }
    void cautionFollowsTheKey() {
        QFETCH(int, index);
        QFETCH(HoverModifier, modifier);
        QFETCH(QString, caution);
        SettingsWindowController controller;
        controller.showWindow();
        auto* popUp = controller.pane()->findChild<QComboBox*>(QStringLiteral("modifier"));
        QVERIFY(controller.pane()->caution()->isHidden());
        const int plain = controller.window()->height();

        popUp->setCurrentIndex(index);
        QCOMPARE(Settings::modifier(), modifier);
        QVERIFY(controller.pane()->caution()->isVisible());
        QVERIFY(controller.pane()->caution()->text().startsWith(caution));
        QVERIFY(controller.window()->height() > plain); // the window grew to fit it

        popUp->setCurrentIndex(0);
        QCOMPARE(Settings::modifier(), HoverModifier::Option);
        QVERIFY(controller.pane()->caution()->isHidden());
        QCOMPARE(controller.window()->height(), plain);
        QCOMPARE(notices().value(Settings::Change::Modifier), 2);
    }

    void captionBoxChangesTheSample() {
        SettingsWindowController controller;
        controller.showWindow();
        QVERIFY(QTest::qWaitForWindowExposed(controller.window()));
        PreviewSample* sample = controller.pane()->sample();
        const PreviewSample::Layout before = sample->layout();
        const QImage drawnBefore = sample->grab().toImage();
        QVERIFY(before.captionBar);

        controller.pane()->findChild<QCheckBox*>(QStringLiteral("showCaption"))->click();
        QVERIFY(!Settings::showCaption());
        QVERIFY(!sample->showsCaption());
        const PreviewSample::Layout after = sample->layout();
        QVERIFY(!after.captionBar);
        QCOMPARE(after.imageBox.top(), before.imageBox.top());
        QVERIFY(qFuzzyCompare(after.imageBox.height(), before.imageBox.height() + 24 * before.scale));
        QVERIFY(sample->grab().toImage() != drawnBefore);
    }

    void checkBoxesWriteTheirSetting_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<Settings::Change>("change");
        QTest::newRow("caption") << "showCaption" << Settings::Change::ShowCaption;
        QTest::newRow("remote images") << "loadRemoteImages" << Settings::Change::LoadRemoteImages;
        QTest::newRow("indicator") << "showMenuBarIndicator" << Settings::Change::ShowMenuBarIndicator;
    }
    void checkBoxesWriteTheirSetting() {
        QFETCH(QString, name);
        QFETCH(Settings::Change, change);
        const auto read = [&] {
            return change == Settings::Change::ShowCaption        ? Settings::showCaption()
                   : change == Settings::Change::LoadRemoteImages ? Settings::loadRemoteImages()
                                                                  : Settings::showMenuBarIndicator();
        };
        SettingsWindowController controller;
        auto* box = controller.pane()->findChild<QCheckBox*>(name);
        QVERIFY(box->isChecked());
        for (int round = 1; round <= 2; ++round) {
            box->click();
            QCOMPARE(read(), box->isChecked());
            QCOMPARE(notices().value(change), round);
        }
    }

    // A settings file edited by hand still opens the window, with clamped values.
    void nonsenseSettingsFile_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("modifier");
        QTest::addColumn<QString>("readout");
        QTest::newRow("far too wide")
            << QByteArray("[General]\npreviewWidth=99999\n") << 420 << 0 << "420 × 305";
        QTest::newRow("control, half rounds up")
            << QByteArray("[General]\nmodifier=control\npreviewWidth=300.5\n") << 301 << 2 << "301 × 219";
        QTest::newRow("binary garbage") << QByteArray("\x00\xff[[[=\n=\x01", 9) << 220 << 0 << "220 × 160";
    }
    void nonsenseSettingsFile() {
        QFETCH(QByteArray, file);
        QFETCH(int, width);
        QFETCH(int, modifier);
        QFETCH(QString, readout);
        Settings::useStoreFile(store_->file(QStringLiteral("edited.conf"), file));
        SettingsWindowController controller;
        SettingsPane* pane = controller.pane();
        QCOMPARE(pane->findChild<QSlider*>(QStringLiteral("width"))->value(), width);
        QCOMPARE(pane->findChild<QComboBox*>(QStringLiteral("modifier"))->currentIndex(), modifier);
        QCOMPARE(pane->readout()->text(), readout);
        QCOMPARE(pane->sample()->cardSize().width(), double(width));
    }

    // Offered only when installed; each click writes or removes the one entry.
    void loginCheckBox() {
        QVERIFY(!SettingsWindowController().pane()->findChild<QCheckBox*>(QStringLiteral("openAtLogin")));
        world_ = useMenuWorld(LoginItem(QStringLiteral("/usr/bin/VistelPrototype")));
        SettingsWindowController controller;
        auto* box = controller.pane()->findChild<QCheckBox*>(QStringLiteral("openAtLogin"));
        QVERIFY(box && !box->isChecked());
        for (int round = 0; round < 3; ++round) {
            box->click();
            QCOMPARE(QFile::exists(LoginItem::entryPath()), box->isChecked());
        }
        QVERIFY(box->isChecked());
        QCOMPARE(QDir(store_->path(QStringLiteral("autostart"))).entryList(QDir::Files).size(), 1);

        // Switched off elsewhere (the tray menu) while hidden: shown again as it is.
        QVERIFY(!LoginItem(QStringLiteral("/usr/bin/VistelPrototype")).setEnabled(false));
        controller.showWindow();
        QVERIFY(!box->isChecked());

        // A failure is reported, and the box shows what really happened.
        QVERIFY(QDir(store_->path(QStringLiteral("autostart"))).removeRecursively());
        store_->file(QStringLiteral("autostart"), "a file where the folder should be");
        CapturedStandardError error;
        box->click();
        QVERIFY(error.text().startsWith("Vistel: could not change the login item: "));
        QVERIFY(!box->isChecked());
    }

    void permissionRowsFollowTheDesktop() {
        SettingsWindowController controller;
        SettingsPane* pane = controller.pane();
        const QColor text = pane->palette().color(QPalette::WindowText);
        QLabel* accessibility = pane->status(Permission::Accessibility);
        QLabel* screen = pane->status(Permission::ScreenRecording);
        QCOMPARE(accessibility->text(), QStringLiteral("Accessibility: not granted"));
        QCOMPARE(screen->text(), QStringLiteral("Screen Recording: not granted"));
        QVERIFY(!sameColour(accessibility->palette().color(QPalette::WindowText), text));

        controller.showWindow();
        QVERIFY(QTest::qWaitForWindowExposed(controller.window()));
        world_->accessibility = true;
        emit qGuiApp->applicationStateChanged(Qt::ApplicationActive); // back from elsewhere
        QCOMPARE(accessibility->text(), QStringLiteral("Accessibility: granted"));
        QVERIFY(sameColour(accessibility->palette().color(QPalette::WindowText), text));
        QCOMPARE(screen->text(), QStringLiteral("Screen Recording: not granted"));

        // Hidden, it does not listen; shown again, it catches up.
        controller.window()->hide();
        world_->screen = true;
        emit qGuiApp->applicationStateChanged(Qt::ApplicationActive);
        QCOMPARE(screen->text(), QStringLiteral("Screen Recording: not granted"));
        controller.showWindow();
        QCOMPARE(screen->text(), QStringLiteral("Screen Recording: granted"));
    }

    void sampleLayout_data() {
        QTest::addColumn<QSizeF>("view");
        QTest::addColumn<double>("screenWidth");
        QTest::addColumn<QSizeF>("cardSize");
        QTest::addColumn<bool>("caption");
        QTest::addColumn<QRectF>("card");
        QTest::addColumn<double>("radius");
        QTest::addColumn<QRectF>("imageBox");
        QTest::addColumn<QRectF>("captionBar"); // empty: none
        QTest::newRow("full scale, caption")
            << QSizeF(1512, 945) << 1512.0 << QSizeF(220, 160) << true << QRectF(536.08, 320.4, 220, 160)
            << 13.5 << QRectF(546.08, 330.4, 200, 116) << QRectF(586.08, 460, 120, 4.8);
        QTest::newRow("clamped into the frame")
            << QSizeF(600, 400) << 600.0 << QSizeF(420, 305) << false << QRectF(176, 91, 420, 305) << 13.5
            << QRectF(186, 101, 400, 285) << QRectF();
        QTest::newRow("tiny: bar at least 1.5 high")
            << QSizeF(151.2, 94.5) << 1512.0 << QSizeF(220, 160) << true << QRectF(53.608, 32.04, 22, 16)
            << 1.35 << QRectF(54.608, 33.04, 20, 11.6) << QRectF(58.608, 44.98, 12, 1.5);
    }
    void sampleLayout() {
        QFETCH(QSizeF, view);
        QFETCH(double, screenWidth);
        QFETCH(QSizeF, cardSize);
        QFETCH(bool, caption);
        QFETCH(QRectF, card);
        QFETCH(double, radius);
        QFETCH(QRectF, imageBox);
        QFETCH(QRectF, captionBar);
        const PreviewSample::Layout l = PreviewSample::layoutFor(view, screenWidth, cardSize, caption);
        QVERIFY(near(l.card, card));
        QVERIFY(std::abs(l.cornerRadius - radius) < 1e-6);
        QVERIFY(near(l.imageBox, imageBox));
        QCOMPARE(l.captionBar.has_value(), !captionBar.isNull());
        if (l.captionBar) QVERIFY(near(*l.captionBar, captionBar));
    }

    void aspectFill_data() {
        QTest::addColumn<QSizeF>("artwork");
        QTest::addColumn<QSizeF>("box");
        QTest::addColumn<QRectF>("source");
        QTest::newRow("box wider: a band across")
            << QSizeF(480, 360) << QSizeF(200, 116) << QRectF(0, 40.8, 480, 278.4);
        QTest::newRow("box taller: a band down")
            << QSizeF(480, 360) << QSizeF(100, 200) << QRectF(150, 0, 180, 360);
        QTest::newRow("same shape: all of it")
            << QSizeF(480, 360) << QSizeF(40, 30) << QRectF(0, 0, 480, 360);
        QTest::newRow("no artwork") << QSizeF(0, 360) << QSizeF(40, 30) << QRectF();
        QTest::newRow("empty box") << QSizeF(480, 360) << QSizeF(40, 0) << QRectF();
    }
    void aspectFill() {
        QFETCH(QSizeF, artwork);
        QFETCH(QSizeF, box);
        QFETCH(QRectF, source);
        QCOMPARE(PreviewSample::aspectFillSource(artwork, box), source);
    }

    void screenshot() {
        world_ = useMenuWorld(LoginItem(QStringLiteral("/usr/bin/VistelPrototype")));
        world_->accessibility = true;
        // The program's own window, with the main menu in its menu bar.
        SettingsWindowController& controller = SettingsWindowController::shared();
        AppMenus::installMainMenu();
        controller.showWindow();
        QVERIFY(QTest::qWaitForWindowExposed(controller.window()));
        QVERIFY(controller.window()->menuBar()->isVisible());
        const QImage shot = controller.window()->grab().toImage();
        QCOMPARE(shot.size() / shot.devicePixelRatio(), controller.window()->size());
        const QByteArray target = qgetenv("VISTEL_SCREENSHOT");
        if (!target.isEmpty()) QVERIFY(shot.save(QString::fromLocal8Bit(target)));
    }

  private:
    std::unique_ptr<TempTree> store_;
    std::shared_ptr<MenuWorld> world_;
};

QTEST_MAIN(TestSettingsWindow)
#include "test_settings_window.moc"
