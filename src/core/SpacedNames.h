#pragma once

#include <QList>
#include <QString>
#include <QUrl>
#include <functional>
#include <optional>

// Image names that hold spaces: "Screenshot from 2026-12-07 10-00-00.png".
// The reference patterns stop at a space, so such a name is read here, in
// three ways, and only after the patterns found nothing that resolves:
// - quoted: between quotes, backticks, <...> or (...), as ls, JSON and
//   Markdown print it (a backslash escapes a double quote inside "...");
// - escaped: spaces escaped with a backslash, as shells print them;
// - unquoted: the name extended leftwards word by word, as prose shows it.
// A reading is only a candidate; resolution decides which one names a file.
namespace SpacedNames {

// Words an unquoted name may take in on its left.
inline constexpr int kMostWords = 8;
// No reading is longer than this (a path is at most 4096 bytes).
inline constexpr qsizetype kLongestReading = 4096;

enum class Form {
    Quoted,        // between quotes, backticks or angle brackets
    Parenthesised, // between parentheses, as Markdown links and prose write them
    Escaped,       // with backslash-escaped spaces
    Unquoted,      // the words before an image name
};

struct Reading {
    qint64 location = 0; // UTF-16 offset in the text, quotes included
    qint64 length = 0;   // UTF-16 units of the text it covers
    QString name;        // the name read, quotes left out and escapes undone
    Form form = Form::Unquoted;
    bool operator==(const Reading&) const = default;
};

// Every reading covering at least one offset of from..to (both ends
// inclusive, so an offset just after a reading still counts), in the order
// of the image extensions that end them. Work is bounded by kMostWords and
// kLongestReading around the offsets, whatever the text holds: only the
// extensions ending in from..to and the kMostWords + 1 after it are read.
QList<Reading> readings(const QString& text, qint64 from, qint64 to);

struct Choice {
    std::optional<QUrl> url;
    bool ambiguous = false; // two different files fit: refused
};

using Resolver = std::function<std::optional<QUrl>(const QString&)>;

// The one file the readings name. Unquoted readings count only for a file
// named exactly as written (no repair may lengthen a name by a word); the
// longest of them that names a file wins, and two different files at that
// length refuse. The other forms are explicit and go through the resolver as
// they are. The unquoted winner and every explicit reading must
// agree on one file, or the choice refuses. Each name is resolved once.
Choice choose(const QList<Reading>& readings, const Resolver& resolve);

} // namespace SpacedNames
