#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QUrl>
#include <optional>

// The working directories of the hovered application's descendant processes,
// shells first and newest first: the folders relative paths printed in its
// terminals are relative to.
namespace ProcessRoots {

struct ProcessEntry {
    qint32 parent = 0;
    QString command; // short command name
    bool leadsItsGroup = false;
};
using ProcessTable = QHash<qint32, ProcessEntry>;

// Where the process table and working directories come from (the operating
// system, or a synthetic table in tests).
class Source {
  public:
    virtual ~Source() = default;
    virtual ProcessTable processTable() const = 0;
    // The process's current directory, or an empty string when it cannot be read.
    virtual QString workingDirectory(qint32 pid) const = 0;
    // The process's executable file name, else its command name; empty when
    // neither can be read. Used to match ignored applications by executable.
    virtual QString executableName(qint32 pid) const = 0;
};

// At most 16 directory URLs.
QList<QUrl> compute(qint32 pid, const Source& source);

// The cached roots of pid when stored less than freshFor seconds ago.
std::optional<QList<QUrl>> cached(qint32 pid, double freshFor);
void store(const QList<QUrl>& roots, qint32 pid);

// The cached roots (2-second freshness), else computed and stored.
QList<QUrl> rootsFor(qint32 pid, const Source& source);

} // namespace ProcessRoots
