#include "app/ui/SettingsWindow.h"

#include "app/ui/SettingsPane.h"

#include <QGuiApplication>
#include <QIcon>
#include <QLayout>
#include <QMainWindow>
#include <QScreen>

SettingsWindowController& SettingsWindowController::shared() {
    static auto* instance = new SettingsWindowController; // main thread; kept for the process
    return *instance;
}

SettingsWindowController::SettingsWindowController() : window_(std::make_unique<QMainWindow>()) {
    // Titled, closable and minimisable; its size follows the pane, not the user.
    window_->setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                            Qt::WindowCloseButtonHint | Qt::WindowMinimizeButtonHint);
    window_->setWindowTitle(QStringLiteral("Settings"));
    QIcon icon;
    for (const int size : {48, 128, 256})
        icon.addFile(QStringLiteral(":/icons/vistel-%1.png").arg(size));
    window_->setWindowIcon(icon);

    pane_ = new SettingsPane;
    window_->setCentralWidget(pane_);
    connect(pane_, &SettingsPane::fittingSizeChanged, this, &SettingsWindowController::fitToPane);
    fitToPane();

    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame(QPoint(), window_->size());
        frame.moveCenter(screen->availableGeometry().center());
        window_->move(frame.topLeft());
    }
}

SettingsWindowController::~SettingsWindowController() = default;

void SettingsWindowController::fitToPane() {
    if (!window_ || !pane_) return;
    pane_->layout()->activate();
    if (QLayout* frame = window_->layout()) frame->invalidate();
    window_->setFixedSize(window_->sizeHint());
}

void SettingsWindowController::showWindow() {
    if (window_->isMinimized()) window_->showNormal();
    window_->show();
    window_->raise();
    window_->activateWindow();
}
