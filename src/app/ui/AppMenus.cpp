#include "app/ui/AppMenus.h"

#include "app/ui/SettingsWindow.h"
#include "core/Diagnostics.h"
#include "core/HoverModifier.h"
#include "core/Settings.h"
#include "platform/Desktop.h"
#include "platform/atspi/AccessibilityBus.h"

#include <QAction>
#include <QApplication>
#include <QKeySequence>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <memory>
#include <mutex>

#ifndef VISTEL_VERSION
#define VISTEL_VERSION ""
#endif

namespace AppMenus {

namespace {

// The environment the menus use; replaced by tests. Copied in and out under the lock.
class EnvironmentStore {
  public:
    Environment get() {
        std::lock_guard guard(lock_);
        if (!value_) value_ = systemEnvironment();
        return *value_;
    }
    void set(Environment environment) {
        std::lock_guard guard(lock_);
        value_ = std::move(environment);
    }

  private:
    std::mutex lock_;
    std::optional<Environment> value_;
};

EnvironmentStore& store() {
    static auto* instance = new EnvironmentStore;
    return *instance;
}

void showNotice(const QString& line) {
    Diagnostics::print(line);
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return;
    // Not modal: the agent keeps previewing while it is open.
    auto* box = new QMessageBox(QMessageBox::Information, QStringLiteral("Vistel"), line, QMessageBox::Ok);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->show();
}

QAction* separator(QObject* owner) {
    auto* action = new QAction(owner);
    action->setSeparator(true);
    return action;
}

QAction* settingsItem(QObject* owner) {
    auto* action = new QAction(QStringLiteral("Settings…"), owner);
    QObject::connect(action, &QAction::triggered, [] { openPreferencesWindow(); });
    return action;
}

QAction* quitItem(QObject* owner) {
    auto* action = new QAction(QStringLiteral("Quit Vistel"), owner);
    QObject::connect(action, &QAction::triggered, [] { QCoreApplication::quit(); });
    return action;
}

void showAbout() {
    QWidget* window = SettingsWindowController::shared().window();
    auto* box =
        new QMessageBox(QMessageBox::NoIcon, QStringLiteral("About Vistel"),
                        QStringLiteral("Vistel " VISTEL_VERSION "\n\nHold a key and point at an image path "
                                       "on the screen: the image appears beside the pointer."),
                        QMessageBox::Ok, window);
    box->setIconPixmap(window->windowIcon().pixmap(64, 64));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->show();
}

} // namespace

const QList<Permission>& allPermissions() {
    static const QList<Permission> all{Permission::Accessibility, Permission::ScreenRecording};
    return all;
}

QString name(Permission permission) {
    return permission == Permission::Accessibility ? QStringLiteral("Accessibility")
                                                   : QStringLiteral("Screen Reading");
}

Environment systemEnvironment() {
    Environment environment;
    // The desktop is opened on first need, on the main thread, and shared by copies.
    auto desktop = std::make_shared<std::unique_ptr<platform::Desktop>>();
    environment.granted = [desktop](Permission permission) {
        if (!*desktop) *desktop = platform::openDesktop();
        return permission == Permission::Accessibility ? (*desktop)->accessibilityEnabled()
                                                       : (*desktop)->canReadScreen();
    };
    environment.enableAccessibility = AccessibilityBus::enable;
    environment.tell = showNotice;
    environment.loginItem = LoginItem::forRunningProgram();
    return environment;
}

Environment environment() {
    return store().get();
}

void setEnvironment(Environment environment) {
    if (!environment.granted || !environment.enableAccessibility || !environment.tell) {
        const Environment system = systemEnvironment();
        if (!environment.granted) environment.granted = system.granted;
        if (!environment.enableAccessibility) environment.enableAccessibility = system.enableAccessibility;
        if (!environment.tell) environment.tell = system.tell;
    }
    store().set(std::move(environment));
}

bool isGranted(Permission permission) {
    return environment().granted(permission);
}

void request(Permission permission) {
    const Environment env = environment();
    if (permission == Permission::Accessibility) {
        if (env.granted(permission)) {
            env.tell(
                QStringLiteral("Accessibility is on for this session: applications publish their text to "
                               "Vistel through AT-SPI."));
            return;
        }
        env.enableAccessibility();
        env.tell(
            QStringLiteral("Accessibility is now switched on for this session: applications started from "
                           "now on publish their text to Vistel; restart those that were already open."));
        return;
    }
    if (env.granted(permission)) return;
    env.tell(QStringLiteral("The screen can be read only in an X11 session: log in to an X11 (Xorg) session, "
                            "or start Vistel where DISPLAY names a running X server."));
}

void openPreferencesWindow() {
    SettingsWindowController::shared().showWindow();
}

void openSettings(const QAction* item) {
    if (!item) return;
    const QVariant data = item->data();
    if (data.metaType() == QMetaType::fromType<Permission>()) request(data.value<Permission>());
}

void toggleLoginItem() {
    const std::optional<LoginItem> item = environment().loginItem;
    if (!item) return;
    if (const std::optional<QString> failure = item->setEnabled(!item->isEnabled())) {
        LoginItem::reportFailure(*failure);
    }
}

QAction* permissionItem(Permission permission, QObject* owner) {
    const bool granted = isGranted(permission);
    auto* action = new QAction(
        name(permission) + (granted ? QStringLiteral(": granted") : QStringLiteral(": not granted")), owner);
    action->setCheckable(true);
    action->setChecked(granted);
    action->setData(QVariant::fromValue(permission));
    QObject::connect(action, &QAction::triggered, action, [action] { openSettings(action); });
    return action;
}

QAction* loginItem(QObject* owner) {
    const std::optional<LoginItem> item = environment().loginItem;
    auto* action = new QAction(QStringLiteral("Open at Login"), owner);
    action->setCheckable(true);
    action->setChecked(item && item->isEnabled());
    QObject::connect(action, &QAction::triggered, [] { toggleLoginItem(); });
    return action;
}

QList<QAction*> menuItems(bool includingQuit, QObject* owner) {
    auto* hold = new QAction(QStringLiteral("Hold ") + HoverModifiers::label(Settings::modifier()) +
                                 QStringLiteral(" and point at an image path"),
                             owner);
    hold->setEnabled(false);

    QList<QAction*> items{hold, separator(owner), settingsItem(owner), separator(owner)};
    for (const Permission permission : allPermissions())
        items.append(permissionItem(permission, owner));
    if (environment().loginItem) items << separator(owner) << loginItem(owner);
    if (includingQuit) items << separator(owner) << quitItem(owner);
    return items;
}

void fillMainMenu(QMenuBar* bar, QAction* closeWindow) {
    QMenu* file = bar->addMenu(QStringLiteral("&File"));
    if (closeWindow) {
        file->addAction(closeWindow);
        file->addSeparator();
    }
    QAction* quit = quitItem(file);
    quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    file->addAction(quit);

    // Built as it opens, so that it shows the states of that moment.
    QMenu* options = bar->addMenu(QStringLiteral("&Options"));
    const auto fillOptions = [options] {
        options->clear();
        for (const Permission permission : allPermissions())
            options->addAction(permissionItem(permission, options));
        if (environment().loginItem) {
            options->addSeparator();
            options->addAction(loginItem(options));
        }
    };
    fillOptions();
    QObject::connect(options, &QMenu::aboutToShow, options, fillOptions);

    QMenu* help = bar->addMenu(QStringLiteral("&Help"));
    auto* about = help->addAction(QStringLiteral("About Vistel"));
    QObject::connect(about, &QAction::triggered, [] { showAbout(); });
}

void installMainMenu() {
    SettingsWindowController& controller = SettingsWindowController::shared();
    QMenuBar* bar = controller.window()->menuBar();
    // Installed once; a second call replaces the menus rather than adding more.
    for (QMenu* old : bar->findChildren<QMenu*>(Qt::FindDirectChildrenOnly))
        delete old;
    bar->clear();
    fillMainMenu(bar, controller.closeAction());
}

} // namespace AppMenus
