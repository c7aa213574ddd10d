#pragma once

#include <QDBusConnection>
#include <QString>
#include <QStringList>
#include <QtGlobal>

// Vistel's GNOME Shell extension as the agent sees it: where it answers on the
// session bus, how its modifier mask reads, and whether it is there at all.
//
// Under Wayland only the compositor knows where the pointer is, which keys are
// held and what the screen shows; on GNOME the extension, running inside the
// Shell, serves these to the agent alone (it checks the caller's user and
// executable through the bus's credentials).
namespace platform::ShellExtension {

inline constexpr char kUuid[] = "vistel@vistel.com";
inline const QString kService = QStringLiteral("org.gnome.Shell");
inline const QString kPath = QStringLiteral("/com/vistel/Desktop");
inline const QString kInterface = QStringLiteral("com.vistel.Desktop1");

// HoverModifiers flag bits for a Clutter modifier mask.
quint64 hoverFlags(quint32 clutterMask);

enum class Status {
    Answering,    // the extension answered this program
    Refused,      // it answered, but not to this program (another executable, another user)
    NotEnabled,   // installed, but the Shell serves no such object: the extension is off
    NotInstalled, // the Shell answers and no copy of the extension is in the data folders
    NoShell,      // nothing answers as GNOME Shell on the session bus
};

// Asks the extension for the pointer, waiting at most timeoutMs. dataFolders:
// where extensions are installed (XDG_DATA_HOME, then XDG_DATA_DIRS).
Status probe(const QDBusConnection& bus, const QStringList& dataFolders, int timeoutMs = 1000);

// The data folders of this user, as GNOME Shell searches them for extensions.
QStringList dataFolders();

// "answering", or what is missing; one line.
QString describe(Status status);

// What the user does about a status other than Answering: a paragraph.
QString explanation(Status status);

} // namespace platform::ShellExtension
