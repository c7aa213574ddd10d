#pragma once

#include <QColor>
#include <QIcon>
#include <QImage>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>

class QMenu;
class QSystemTrayIcon;

// The tray icon: Vistel's mascot in the desktop's system tray (Qt picks
// StatusNotifierItem or XEmbed) while "showMenuBarIndicator" is on, resting or
// active while a card shows. Its menu holds AppMenus::menuItems(true), rebuilt
// each time it opens; activating the icon itself opens the settings window.
// Main thread only.
class MenuBarIndicator : public QObject {
    Q_OBJECT
  public:
    using Print = std::function<void(const QString& line)>;

    // verbose: say once when the desktop has no tray (the icon then waits for one).
    explicit MenuBarIndicator(bool verbose, Print print, QObject* parent = nullptr);
    // With the program's diagnostic switch and output.
    explicit MenuBarIndicator(QObject* parent = nullptr);
    ~MenuBarIndicator() override;

    // Shows or removes the icon; repeated calls in one direction do nothing more.
    void apply(bool visible);

    bool previewing() const { return previewing_; }
    // Switches the look of a shown icon; kept for the next one while hidden.
    void setPreviewing(bool on);

    // The icon shown now, or null while hidden.
    QSystemTrayIcon* item() const { return item_.get(); }
    QMenu* menu() const { return menu_.get(); }

    // The look: the mascot tinted with the colour of text on this desktop;
    // the theme's image icon when the mascot is missing.
    static QIcon icon(bool previewing);
    // A mascot template ("MenuBarMascotTemplate" or "MenuBarMascotActiveTemplate")
    // at 18 and 36 pixels, tinted with color; null when the artwork is missing.
    static QIcon mascotImage(const QString& name, const QColor& color);
    // A template image (its alpha is the shape) in color.
    static QImage tinted(const QImage& shape, const QColor& color);
    // "Vistel — hold <key> over an image path".
    static QString toolTip();

  private:
    void rebuildMenu();

    bool verbose_;
    Print print_;
    bool toldNoTray_ = false;
    bool previewing_ = false;
    std::unique_ptr<QMenu> menu_;
    std::unique_ptr<QSystemTrayIcon> item_;
};
