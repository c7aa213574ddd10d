#pragma once

#include "app/AppMenus.h"

#include <QAction>
#include <QByteArray>
#include <QFile>
#include <QStringList>
#include <QTemporaryFile>
#include <cstdio>
#include <memory>
#include <unistd.h>

// What the menus see of the desktop, steered by the test.
struct MenuWorld {
    bool accessibility = false;
    bool screen = false;
    int enables = 0;  // times accessibility was switched on
    QStringList told; // lines shown to the user
};

// Installs an environment backed by world; loginItem as given (none: a bare program).
inline std::shared_ptr<MenuWorld> useMenuWorld(std::optional<LoginItem> loginItem = std::nullopt) {
    auto world = std::make_shared<MenuWorld>();
    AppMenus::Environment environment;
    environment.granted = [world](AppMenus::Permission p) {
        return p == AppMenus::Permission::Accessibility ? world->accessibility : world->screen;
    };
    environment.enableAccessibility = [world] {
        ++world->enables;
        world->accessibility = true;
    };
    environment.tell = [world](const QString& line) { world->told.append(line); };
    environment.loginItem = std::move(loginItem);
    AppMenus::setEnvironment(std::move(environment));
    return world;
}

// Titles of a list of menu items, "-" for a separator.
inline QStringList titles(const QList<QAction*>& items) {
    QStringList out;
    for (const QAction* item : items)
        out.append(item->isSeparator() ? QStringLiteral("-") : item->text());
    return out;
}

// Whatever the code under test writes to standard error while it lives.
class CapturedStandardError {
  public:
    CapturedStandardError() {
        if (!file_.open()) return;
        std::fflush(stderr);
        saved_ = ::dup(2);
        ::dup2(file_.handle(), 2);
    }
    ~CapturedStandardError() { restore(); }
    QByteArray text() {
        restore();
        QFile read(file_.fileName());
        return read.open(QIODevice::ReadOnly) ? read.readAll() : QByteArray();
    }

  private:
    void restore() {
        if (saved_ < 0) return;
        std::fflush(stderr);
        ::dup2(saved_, 2);
        ::close(saved_);
        saved_ = -1;
    }
    QTemporaryFile file_;
    int saved_ = -1;
};
