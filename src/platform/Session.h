#pragma once

#include <QProcessEnvironment>
#include <QString>

// What kind of graphical session the program was started in, as the session
// announces it in the environment. Vistel works through X11; in a Wayland
// session it sees only what Xwayland, the X11 compatibility layer, shows it:
// the windows of X11 programs, and the pointer and keys only while the pointer
// is over one of them.
namespace platform {

struct Session {
    // XDG_SESSION_TYPE is "wayland", or a Wayland display is named.
    bool wayland = false;
    // DISPLAY names an X11 display (under Wayland: Xwayland's).
    bool x11Display = false;
    // XDG_CURRENT_DESKTOP names GNOME, whose Shell serves Vistel's extension.
    bool gnome = false;

    // "x11", "wayland (Xwayland)", "wayland (no X11)" or "none (no display)".
    QString description() const;
};

Session currentSession(const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment());

} // namespace platform
