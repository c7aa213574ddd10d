#pragma once

#include <QList>
#include <QString>
#include <QUrl>

// Where a relative reference or a bare name is looked for: what one reading
// learnt about the window it reads. The hover tick builds one per reading and
// it travels with that reading as a value, so a reading that finishes after
// the pointer moved to another window still searches the folders of the window
// it read, and its answer is remembered under that window's folders.
struct ResolutionContext {
    // The folder of the document the window shows (a directory file URL);
    // empty when the window names none.
    QUrl baseDirectory{};
    // The working folders of the window's shells, most relevant first.
    QList<QUrl> roots{};
    // Whether the program's own current folder stands in for a missing base.
    // The command line's modes are run where the user works, so they say yes;
    // the agent's current folder (often the home folder) says nothing about
    // the hovered window, so its readings never search it.
    bool currentDirectoryAsBase = false;

    // Names the whole context in memo keys (paths joined by U+0000).
    QString stamp() const;

    bool operator==(const ResolutionContext&) const = default;
};
