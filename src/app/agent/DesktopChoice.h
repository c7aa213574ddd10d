#pragma once

#include "platform/Desktop.h"
#include "platform/ScreenCapture.h"
#include "platform/Session.h"
#include "platform/gnome/ShellExtension.h"

#include <QStringList>
#include <memory>

// Which desktop the agent talks to, chosen once at start: GNOME Shell's
// extension in a GNOME Wayland session (nothing else there can see the
// pointer, the keys or the screen), X11 everywhere else.
namespace DesktopChoice {

// A GNOME Wayland session, where only the Shell extension can serve the agent.
bool viaShellExtension(const platform::Session& session);

struct Shell {
    platform::ShellExtension::Status status = platform::ShellExtension::Status::NoShell;
    // Both set only while the extension answers.
    std::unique_ptr<platform::Desktop> desktop;
    std::unique_ptr<platform::ScreenCapture> capture;
};

// Asks the extension on the bus at the address (empty: this session's bus).
// The desktop and the capture get connections of their own, so the capture's
// worker never shares the GUI thread's. Needs the Qt application to exist.
Shell openShell(const QString& busAddress = {},
                const QStringList& dataFolders = platform::ShellExtension::dataFolders());

// The desktop the diagnostic modes report on: the Shell extension's when this
// session needs it and it answers, else the X11 display's, else the null desktop.
std::unique_ptr<platform::Desktop> openDesktop(const platform::Session& session = platform::currentSession());

} // namespace DesktopChoice
