#include "platform/gnome/ShellExtension.h"

#include "core/HoverModifier.h"

#include <QDBusMessage>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace platform::ShellExtension {

namespace {

// Clutter's modifier bits (ClutterModifierType).
constexpr quint32 kControl = 1u << 2;
constexpr quint32 kMod1 = 1u << 3; // Alt
constexpr quint32 kMod4 = 1u << 6; // Super, as most keymaps bind it
constexpr quint32 kSuper = 1u << 26;

bool installedIn(const QStringList& folders) {
    for (const QString& folder : folders) {
        const QString metadata =
            QDir(folder).filePath(QStringLiteral("gnome-shell/extensions/%1/metadata.json").arg(kUuid));
        if (QFileInfo(metadata).isFile()) return true;
    }
    return false;
}

const QString kEnable = QStringLiteral("gnome-extensions enable %1").arg(QLatin1String(kUuid));

} // namespace

quint64 hoverFlags(quint32 clutterMask) {
    quint64 flags = 0;
    if (clutterMask & kMod1) flags |= HoverModifiers::optionFlag;
    if (clutterMask & (kMod4 | kSuper)) flags |= HoverModifiers::commandFlag;
    if (clutterMask & kControl) flags |= HoverModifiers::controlFlag;
    return flags;
}

Status probe(const QDBusConnection& bus, const QStringList& folders, int timeoutMs) {
    if (!bus.isConnected()) return Status::NoShell;
    const QDBusMessage call =
        QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Pointer"));
    const QDBusMessage reply = bus.call(call, QDBus::Block, timeoutMs);
    if (reply.type() == QDBusMessage::ReplyMessage) return Status::Answering;
    const QString error = reply.errorName();
    if (error == QLatin1String("org.freedesktop.DBus.Error.AccessDenied")) return Status::Refused;
    // The Shell is there but has no such object or method: the extension is not running.
    if (error == QLatin1String("org.freedesktop.DBus.Error.UnknownObject") ||
        error == QLatin1String("org.freedesktop.DBus.Error.UnknownMethod") ||
        error == QLatin1String("org.freedesktop.DBus.Error.UnknownInterface"))
        return installedIn(folders) ? Status::NotEnabled : Status::NotInstalled;
    return Status::NoShell;
}

QStringList dataFolders() {
    return QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation);
}

QString describe(Status status) {
    switch (status) {
    case Status::Answering:
        return QStringLiteral("answering (%1)").arg(QLatin1String(kUuid));
    case Status::Refused:
        return QStringLiteral(
            "refuses this program (it answers only the installed VistelPrototype of the same user)");
    case Status::NotEnabled:
        return QStringLiteral("installed but not enabled");
    case Status::NotInstalled:
        return QStringLiteral("not installed");
    case Status::NoShell:
        return QStringLiteral("no GNOME Shell answers on the session bus");
    }
    return {};
}

QString explanation(Status status) {
    switch (status) {
    case Status::Answering:
        return {};
    case Status::Refused:
        return QStringLiteral(
            "Vistel's GNOME Shell extension answers only the Vistel agent of the user running the Shell, "
            "and took this program for another: start VistelPrototype itself, as the user logged in.");
    case Status::NotEnabled:
        return QStringLiteral(
                   "Under Wayland, GNOME lets Vistel see the pointer, the keys and the screen only through "
                   "its GNOME Shell extension, which is installed but not enabled. Enable it with `%1` (or "
                   "in "
                   "the Extensions application); if GNOME does not list it yet, log out and back in first, "
                   "then start Vistel again.")
            .arg(kEnable);
    case Status::NotInstalled:
        return QStringLiteral(
                   "Under Wayland, GNOME lets Vistel see the pointer, the keys and the screen only through "
                   "its GNOME Shell extension (%1), which is not installed. Install the vistel package (it "
                   "puts the extension in /usr/share/gnome-shell/extensions), log out and back in, enable it "
                   "with `%2`, then start Vistel again.")
            .arg(QLatin1String(kUuid), kEnable);
    case Status::NoShell:
        return QStringLiteral(
            "This looks like a GNOME Wayland session, but GNOME Shell does not answer on the session bus "
            "(DBUS_SESSION_BUS_ADDRESS): start Vistel from a terminal of the desktop session.");
    }
    return {};
}

} // namespace platform::ShellExtension
