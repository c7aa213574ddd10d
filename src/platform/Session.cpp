#include "platform/Session.h"

namespace platform {

Session currentSession(const QProcessEnvironment& environment) {
    Session session;
    // A login manager sets the type; a compositor started by hand may only set WAYLAND_DISPLAY.
    session.wayland = environment.value(QStringLiteral("XDG_SESSION_TYPE"))
                              .compare(QLatin1String("wayland"), Qt::CaseInsensitive) == 0 ||
                      !environment.value(QStringLiteral("WAYLAND_DISPLAY")).isEmpty();
    session.x11Display = !environment.value(QStringLiteral("DISPLAY")).isEmpty();
    // A list such as "ubuntu:GNOME"; variants of GNOME's own session name it too.
    session.gnome = environment.value(QStringLiteral("XDG_CURRENT_DESKTOP"))
                        .split(QLatin1Char(':'))
                        .contains(QLatin1String("GNOME"), Qt::CaseInsensitive);
    return session;
}

QString Session::description() const {
    if (wayland)
        return x11Display ? QStringLiteral("wayland (Xwayland)") : QStringLiteral("wayland (no X11)");
    return x11Display ? QStringLiteral("x11") : QStringLiteral("none (no display)");
}

} // namespace platform
