#pragma once

#include <QString>
#include <QStringList>

// What the command line asks for before any mode runs: the usage or the
// version, or a refusal of an argument the program does not understand. None
// of these starts, stops or signals an agent.
namespace Usage {

struct Reading {
    enum Request { Run, Help, Version } request = Run;
    QString problem; // set: the arguments are refused (exit status 2)
};

// Reads the whole argument list (element 0 is the program path). Values are
// taken as the modes take them: the reference after "--resolve" is used as it
// stands, the probe's two numbers may be negative. "--roots" without a valid
// process id is a problem only when no other mode applies, since a later mode
// option still runs as before.
Reading read(const QStringList& arguments);

// The usage: every mode on one line, in the order they are tried, and where
// the settings live.
QString help(const QString& settingsFile);

// "VistelPrototype <version>".
QString version();

// The one line written to standard error for a problem, pointing at --help.
QString problemLine(const QString& problem);

} // namespace Usage
