#pragma once

#include <QObject>
#include <memory>

class QMainWindow;
class SettingsPane;

// The settings window: a fixed-size window titled "Settings" whose central
// widget is the settings pane, with the program's main menu in its menu bar.
// Closing it only hides it; the controls keep their state between openings.
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

    // Shows the window (restored if minimised), in front, with the focus.
    void showWindow();

  private:
    void fitToPane();

    std::unique_ptr<QMainWindow> window_;
    SettingsPane* pane_ = nullptr;
};
