#include "app/ui/SettingsWindow.h"

#include "app/ui/SettingsPane.h"

#include <QAction>
#include <QGuiApplication>
#include <QIcon>
#include <QKeySequence>
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
    window_->setWindowTitle(QStringLiteral("Vistel Settings"));
    QIcon icon;
    for (const int size : {48, 128, 256})
        icon.addFile(QStringLiteral(":/icons/vistel-%1.png").arg(size));
    window_->setWindowIcon(icon);

    pane_ = new SettingsPane;
    window_->setCentralWidget(pane_);
    // The window keeps the size of its contents, recomputed whenever they change:
    // the menus added after it was made, the caution showing or going. Fitting
    // once, before the menus, would cut the menus' height from the pane's margin.
    window_->layout()->setSizeConstraint(QLayout::SetFixedSize);
    connect(pane_, &SettingsPane::fittingSizeChanged, window_.get(), [this] { window_->adjustSize(); });

    close_ = new QAction(QStringLiteral("Close Window"), window_.get());
    close_->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_W), QKeySequence(Qt::Key_Escape)});
    close_->setShortcutContext(Qt::WindowShortcut);
    connect(close_, &QAction::triggered, window_.get(), &QWidget::close);
    window_->addAction(close_);
    window_->adjustSize();

    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame(QPoint(), window_->size());
        frame.moveCenter(screen->availableGeometry().center());
        window_->move(frame.topLeft());
    }
}

SettingsWindowController::~SettingsWindowController() = default;

void SettingsWindowController::showWindow() {
    if (window_->isMinimized()) window_->showNormal();
    window_->show();
    window_->raise();
    window_->activateWindow();
}
