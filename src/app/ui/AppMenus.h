#pragma once

#include "app/ui/LoginItem.h"

#include <QList>
#include <QMetaType>
#include <QString>
#include <functional>
#include <optional>

class QAction;
class QMenu;
class QMenuBar;
class QObject;

// Every menu of the agent: the settings window's menus (File, Options, Help,
// as Linux applications arrange them), the items of the tray icon's menu, one item per
// permission with its current state, and "Open at Login". The items are built
// afresh on every call, so each menu shows the states of the moment it opens.
// The actions behind them (open the settings window, ask for a permission,
// switch the login item) are functions here; Qt's signals stand in for the
// target object that menu items would otherwise send their actions to.
// Main thread only.
namespace AppMenus {

enum class Permission { Accessibility, ScreenRecording };

const QList<Permission>& allPermissions();
// "Accessibility" or "Screen Reading".
QString name(Permission permission);

// What the menus read and change outside the program. The agent uses the real
// one; tests put in their own.
struct Environment {
    // Whether the permission is there now. Default: the desktop's answer
    // (accessibility: the AT-SPI bus is switched on; screen: an X11 display
    // whose pixels can be read).
    std::function<bool(Permission)> granted;
    // Switches the session's accessibility on (org.a11y.Status IsEnabled).
    std::function<void()> enableAccessibility;
    // Tells the user one line: printed, and shown in a small message window.
    std::function<void(const QString& line)> tell;
    // The login item of the installed program; none when the program does not
    // run from an installation with a desktop entry.
    std::optional<LoginItem> loginItem;
};

// The real environment: the running program's login item and the desktop.
Environment systemEnvironment();
// The environment the menus use now (the system's until another is set).
Environment environment();
// Parts left empty take the system's (loginItem stays as given).
void setEnvironment(Environment environment);

bool isGranted(Permission permission);

// Accessibility: switches the AT-SPI bus on when it is off, and says what that
// changed. Screen reading: nothing when the screen can be read; otherwise
// says what is needed (an X11 session).
void request(Permission permission);

// The settings window, shown, raised and given the focus.
void openPreferencesWindow();
// The permission carried by a permission item, requested; other items: nothing.
void openSettings(const QAction* item);
// Switches the login item; a failure is reported on standard error, and the
// next menu shows the real state.
void toggleLoginItem();

// Title "<name>: granted" or "<name>: not granted", a check mark when granted,
// the permission as the item's data; choosing it requests the permission.
QAction* permissionItem(Permission permission, QObject* owner);
// "Open at Login", checked when the autostart entry is on; choosing it switches it.
QAction* loginItem(QObject* owner);
// The tray menu's items (includingQuit true) or the desktop entry's actions'
// list (false), new objects owned by owner:
//   "Hold <key> and point at an image path" (disabled), separator,
//   "Settings…", separator, the two permission items, [separator, "Open at
//   Login" when installed], [separator, "Quit Vistel" when includingQuit].
QList<QAction*> menuItems(bool includingQuit, QObject* owner);
// Fills a window's menus: File (closeWindow when given, "Quit Vistel" Ctrl+Q),
// Options (the permission items and, when installed, the login item, built
// afresh each time it opens) and Help ("About Vistel").
void fillMainMenu(QMenuBar* bar, QAction* closeWindow);
// Puts those menus into the settings window (once, at launch).
void installMainMenu();

} // namespace AppMenus

Q_DECLARE_METATYPE(AppMenus::Permission)
