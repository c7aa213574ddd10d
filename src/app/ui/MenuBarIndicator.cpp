#include "app/ui/MenuBarIndicator.h"

#include "app/ui/AppMenus.h"
#include "core/Diagnostics.h"
#include "core/HoverModifier.h"
#include "core/Settings.h"

#include <QGuiApplication>
#include <QMenu>
#include <QPainter>
#include <QPalette>
#include <QSystemTrayIcon>

MenuBarIndicator::MenuBarIndicator(bool verbose, Print print, QObject* parent)
    : QObject(parent), verbose_(verbose), print_(std::move(print)) {
    if (!print_) print_ = Diagnostics::print;
    // The tool tip names the hold key.
    connect(Settings::notifier(), &Settings::Notifier::changed, this, [this](Settings::Change change) {
        if (change == Settings::Change::Modifier && item_) item_->setToolTip(toolTip());
    });
}

MenuBarIndicator::MenuBarIndicator(QObject* parent)
    : MenuBarIndicator(Diagnostics::verbose(), Diagnostics::print, parent) {}

// The icon goes before its menu.
MenuBarIndicator::~MenuBarIndicator() {
    item_.reset();
}

void MenuBarIndicator::apply(bool visible) {
    if (!visible) {
        item_.reset(); // removes it from the tray
        menu_.reset();
        return;
    }
    if (item_) return;

    if (!QSystemTrayIcon::isSystemTrayAvailable() && !toldNoTray_) {
        toldNoTray_ = true;
        if (verbose_)
            print_(QStringLiteral("[tray] no system tray on this desktop; the indicator stays hidden"));
    }
    // Made also without a tray: Qt shows it when one appears.
    menu_ = std::make_unique<QMenu>();
    connect(menu_.get(), &QMenu::aboutToShow, this, &MenuBarIndicator::rebuildMenu);
    item_ = std::make_unique<QSystemTrayIcon>(icon(previewing_), this); // a child, so it can be counted
    item_->setToolTip(toolTip());
    item_->setContextMenu(menu_.get());
    connect(item_.get(), &QSystemTrayIcon::activated, this, [](QSystemTrayIcon::ActivationReason reason) {
        // A plain click stands for reopening the program; the context menu opens by itself.
        if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick)
            AppMenus::openPreferencesWindow();
    });
    item_->show();
}

void MenuBarIndicator::setPreviewing(bool on) {
    if (on == previewing_) return;
    previewing_ = on;
    if (item_) item_->setIcon(icon(on));
}

void MenuBarIndicator::rebuildMenu() {
    menu_->clear(); // deletes the items it owns: those of the last opening
    menu_->addActions(AppMenus::menuItems(true, menu_.get()));
}

QString MenuBarIndicator::toolTip() {
    return QStringLiteral("Vistel — hold ") + HoverModifiers::label(Settings::modifier()) +
           QStringLiteral(" over an image path");
}

QImage MenuBarIndicator::tinted(const QImage& shape, const QColor& color) {
    QImage image = shape.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&image);
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(image.rect(), color);
    return image;
}

QIcon MenuBarIndicator::mascotImage(const QString& name, const QColor& color) {
    QIcon icon;
    for (const QString& suffix : {QStringLiteral(".png"), QStringLiteral("@2x.png")}) {
        const QImage shape(QStringLiteral(":/menu-bar/") + name + suffix);
        if (!shape.isNull()) icon.addPixmap(QPixmap::fromImage(tinted(shape, color)));
    }
    return icon;
}

QIcon MenuBarIndicator::icon(bool previewing) {
    // Trays on Linux show icons as they are: the template is tinted here with
    // the colour the desktop uses for text, as a menu bar tints templates.
    const QColor color = QGuiApplication::palette().color(QPalette::WindowText);
    const QIcon mascot = mascotImage(previewing ? QStringLiteral("MenuBarMascotActiveTemplate")
                                                : QStringLiteral("MenuBarMascotTemplate"),
                                     color);
    if (!mascot.isNull()) return mascot;
    return QIcon::fromTheme(QStringLiteral("image-x-generic"));
}
