#pragma once

#include <QString>
#include <QStringList>
#include <optional>

// Starting the program again from its desktop entry. The desktop entry's
// actions, which stand for the Dock menu's items, and its plain start, which
// stands for reopening the program, are requests: "--open settings",
// "--open accessibility", "--open screen-recording", "--open login-item". The
// agent already running on the display carries them out (they reach it through
// its AgentChannel); when none runs, the new agent carries them out itself.
// Each also shows the settings window, where the result can be seen.
namespace DesktopActions {

enum class Action { Settings, Accessibility, ScreenRecording, LoginItem };

// The action named after "--open", if any; unknown: none, with a reason.
struct Request {
    std::optional<Action> action;
    QString problem; // set when "--open" names nothing known or nothing at all
};
Request requested(const QStringList& arguments);

// The action an item names ("settings", ...), if any.
std::optional<Action> named(const QString& item);

void perform(Action action);

// Performs what the arguments ask for; a bad name is reported on standard
// output and otherwise ignored. Call once the agent has started.
void performRequested(const QStringList& arguments);

} // namespace DesktopActions
