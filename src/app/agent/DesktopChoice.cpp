#include "app/agent/DesktopChoice.h"

#include "platform/gnome/GnomeDesktop.h"
#include "platform/gnome/GnomeScreenCapture.h"

#include <QDBusConnection>

namespace DesktopChoice {

namespace {

// One connection per use and bus: Qt hands back the open one for a name it knows.
QDBusConnection connection(const QString& use, const QString& address) {
    const QString name = QStringLiteral("vistel-%1 %2").arg(use, address);
    return address.isEmpty() ? QDBusConnection::connectToBus(QDBusConnection::SessionBus, name)
                             : QDBusConnection::connectToBus(address, name);
}

} // namespace

bool viaShellExtension(const platform::Session& session) {
    return session.wayland && session.gnome;
}

Shell openShell(const QString& busAddress, const QStringList& dataFolders) {
    Shell shell;
    const QDBusConnection bus = connection(QStringLiteral("desktop"), busAddress);
    shell.status = platform::ShellExtension::probe(bus, dataFolders);
    if (shell.status != platform::ShellExtension::Status::Answering) return shell;
    shell.desktop = std::make_unique<platform::GnomeDesktop>(bus);
    shell.capture =
        std::make_unique<platform::GnomeScreenCapture>(connection(QStringLiteral("capture"), busAddress));
    return shell;
}

std::unique_ptr<platform::Desktop> openDesktop(const platform::Session& session) {
    if (viaShellExtension(session)) {
        Shell shell = openShell();
        if (shell.desktop) return std::move(shell.desktop);
    }
    return platform::openDesktop();
}

} // namespace DesktopChoice
