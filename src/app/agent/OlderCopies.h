#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <functional>

// The fallback for replacing the agent of this user and display when it
// cannot be asked through its socket (AgentChannel): it did not answer within
// a second, or the socket's path could not be used. A copy is then a process
// whose executable name begins with "Vistel"; command-line modes (--check,
// --resolve, ...) and agents serving another display are left alone.
namespace OlderCopies {

// Whether a command line starts the agent rather than a mode.
using IsAgent = std::function<bool(const QStringList& arguments)>;

// The DISPLAY a process was started with (from its environment), or empty.
QString displayOf(qint32 pid, const QString& procRoot = QStringLiteral("/proc"));

// The other agents of the user on a display: pids under procRoot whose
// executable name begins with "Vistel", owned by uid, other than self, started
// with that DISPLAY, whose arguments isAgent accepts.
QList<qint32> find(const QString& procRoot, qint32 self, uint uid, const QString& display,
                   const IsAgent& isAgent);

// Sends SIGTERM to every other agent of this user on this display.
void close();

} // namespace OlderCopies
