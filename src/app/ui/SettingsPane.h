#pragma once

#include "app/ui/AppMenus.h"
#include "core/HoverModifier.h"
#include "core/Settings.h"

#include <QMap>
#include <QMetaObject>
#include <QWidget>
#include <functional>

class PreviewSample;
class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QSlider;
class QVBoxLayout;

// The settings window's content: the hold key, the card width with a live
// sample, the caption, image details, remote images, the tray indicator, the login item and
// the two permissions. Every control writes through the settings store; the
// hover controller, which observes it, applies the change. The controls'
// signals are connected to lambdas, which Qt keeps alive with the connection.
// The controls follow the store's changes, whoever made them.
//
// Controls carry object names for tests and accessibility: "modifier",
// "width", "showCaption", "showImageDetails", "loadRemoteImages", "showMenuBarIndicator",
// "openAtLogin", "request-accessibility", "request-screenRecording".
class SettingsPane : public QWidget {
    Q_OBJECT
  public:
    explicit SettingsPane(QWidget* parent = nullptr);

    // The note under the hold-key row for a modifier: which other programs use that key.
    static QString cautionText(HoverModifier modifier);

    // Each permission's row text and colour from its current state.
    void refresh();
    // The note for the current modifier, hidden when it has none.
    void showCaution();
    // The readout "w × h" and the sample for a width (rounded and clamped).
    void showSample(double width);

    QLabel* caution() const { return caution_; }
    QLabel* readout() const { return readout_; }
    PreviewSample* sample() const { return sample_; }
    QLabel* status(AppMenus::Permission permission) const { return status_.value(permission); }

  signals:
    // The pane's fitting size changed (the caution appeared or went).
    void fittingSizeChanged();

  protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    void build();
    QComboBox* popUp(const QStringList& titles, int selected, std::function<void(int)> changed);
    QSlider* slider(int from, int to, int value);
    QCheckBox* checkbox(const QString& title, bool on, std::function<void(bool)> changed);
    QPushButton* button(const QString& title, std::function<void()> pressed);
    QLabel* secondary(const QString& text);
    void addRow(const QList<QWidget*>& widgets);
    void syncLoginBox();
    void showChange(Settings::Change change);

    QVBoxLayout* rows_ = nullptr;
    QComboBox* modifier_ = nullptr;
    QLabel* caution_ = nullptr;
    QLabel* readout_ = nullptr;
    QSlider* width_ = nullptr;
    QCheckBox* caption_ = nullptr;
    QCheckBox* details_ = nullptr;
    QCheckBox* remote_ = nullptr;
    QCheckBox* indicator_ = nullptr;
    PreviewSample* sample_ = nullptr;
    QCheckBox* loginBox_ = nullptr;
    QMap<AppMenus::Permission, QLabel*> status_;
    QMetaObject::Connection becameActive_;
};
