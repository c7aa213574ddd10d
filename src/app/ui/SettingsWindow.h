#pragma once

#include <QObject>
#include <memory>

class QAction;
class QMainWindow;
class SettingsPane;

// The settings window: a window titled "Vistel Settings" whose central widget
// is the settings pane, with the program's menus above it. Its size follows
// the pane and the menus (whenever either changes), not the user. Escape and
// Ctrl+W close it; closing only hides it, and the controls keep their state
// between openings.
class SettingsWindowController : public QObject {
    Q_OBJECT
  public:
    // The program's one window controller, created on first use and kept for
    // the life of the process.
    static SettingsWindowController& shared();

    SettingsWindowController();
    ~SettingsWindowController() override;

    QMainWindow* window() const { return window_.get(); }
    SettingsPane* pane() const { return pane_; }
    // "Close Window" (Ctrl+W, Escape), for the File menu.
    QAction* closeAction() const { return close_; }

    // Shows the window (restored if minimised), in front, with the focus.
    void showWindow();

  private:
    std::unique_ptr<QMainWindow> window_;
    SettingsPane* pane_ = nullptr;
    QAction* close_ = nullptr;
};
