#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <optional>

// Finds a file named by a bare name or a short path tail under the enclosing
// project (or, without a recognisable project, the nearest few folders).
// Answers found, nothing, or ambiguous; ambiguous is a refusal, never a guess.
namespace ProjectIndex {

struct Outcome {
    enum class Kind { None, Found, Ambiguous };
    Kind kind = Kind::None;
    QUrl url; // set when found

    static Outcome none() { return {}; }
    static Outcome ambiguous() { return {Kind::Ambiguous, {}}; }
    static Outcome found(const QUrl& url) { return {Kind::Found, url}; }
    bool operator==(const Outcome&) const = default;
};

// Names whose presence makes a folder a project root, in the order tested.
const QStringList& markers();

// Folder names never descended into.
bool isSkipped(const QString& folderName);

// The nearest enclosing folder (the folder itself or up to 9 ancestors) holding a marker.
std::optional<QUrl> projectRoot(const QUrl& folder);

// Whether a folder without markers is specific enough to walk.
bool isSearchable(const QUrl& folder);

// The folders whose images a lookup walks.
QList<QUrl> searchRoots(const QUrl& folder);

// Every image file under root, breadth-first, at most 3000 folders listed;
// cached per root for 3 seconds.
QList<QUrl> images(const QUrl& root);

bool tailMatches(const QUrl& url, const QStringList& suffix, bool fuzzy);
Outcome outcome(const QList<QUrl>& images, const QStringList& suffix, bool fuzzy);

// The lookup the resolver uses: the outcome of a suffix under a root, cached.
Outcome lookup(const QUrl& root, const QStringList& suffix);

// Empties both caches (for tests and benchmarks).
void clearCaches();

} // namespace ProjectIndex
