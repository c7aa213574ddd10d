#include "app/ui/DesktopActions.h"

#include "app/ui/AppMenus.h"
#include "core/Diagnostics.h"

#include <array>
#include <utility>

namespace DesktopActions {

namespace {

const std::array<std::pair<const char*, Action>, 4> kNames{{
    {"settings", Action::Settings},
    {"accessibility", Action::Accessibility},
    {"screen-recording", Action::ScreenRecording},
    {"login-item", Action::LoginItem},
}};

} // namespace

Request requested(const QStringList& arguments) {
    const qsizetype at = arguments.indexOf(QStringLiteral("--open"));
    if (at < 0) return {};
    QStringList known;
    for (const auto& [name, action] : kNames)
        known.append(QLatin1String(name));
    const QString listed = known.join(QStringLiteral(", "));
    if (at + 1 >= arguments.size()) return {std::nullopt, QStringLiteral("--open needs one of: ") + listed};
    const QString wanted = arguments.at(at + 1);
    if (const auto action = named(wanted)) return {action, {}};
    return {std::nullopt, QStringLiteral("--open: unknown item \"%1\" (one of: %2)").arg(wanted, listed)};
}

std::optional<Action> named(const QString& item) {
    for (const auto& [name, action] : kNames)
        if (item == QLatin1String(name)) return action;
    return std::nullopt;
}

void perform(Action action) {
    switch (action) {
    case Action::Settings:
        break;
    case Action::Accessibility:
        AppMenus::request(AppMenus::Permission::Accessibility);
        break;
    case Action::ScreenRecording:
        AppMenus::request(AppMenus::Permission::ScreenRecording);
        break;
    case Action::LoginItem:
        AppMenus::toggleLoginItem();
        break;
    }
    AppMenus::openPreferencesWindow();
}

void performRequested(const QStringList& arguments) {
    const Request request = requested(arguments);
    if (!request.problem.isEmpty()) Diagnostics::print(QStringLiteral("Vistel: ") + request.problem);
    if (request.action) perform(*request.action);
}

} // namespace DesktopActions
