#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>
#include <optional>

// Repairs paths that text recognition misread ("0" for "O", ".pnq" for ".png",
// names clipped at the edge of a strip) against what exists on disk. It never
// guesses between equally close names and never turns one digit into another.
namespace FuzzyPath {

// One character as the distance sees it.
struct Glyph {
    QChar folded;
    bool isDigit = false;
};

// The confusion class of one (already lower-cased) character.
QChar fold(QChar lowerCased);

// Lower-cased, then every character replaced by its confusion class.
QString canonical(const QString& s);

// Weighted edit distance: digits cost 10000 to insert, delete or change into
// another class; letters cost 1; characters of one class substitute for free.
// Saturates at INT_MAX. Costs O(length of a x length of b).
int editDistance(const QString& a, const QString& b);

// editDistance when it is at most limit, else some value above limit; costs only
// O(length x limit), so it stays cheap for very long names.
int editDistanceWithin(const QString& a, const QString& b, int limit);

// The single candidate that name is a misreading of, exactly as listed; absent
// when none is close enough or the best distance is tied. Characters are UTF-16
// code units (file names that recognition reads are short and plain).
std::optional<QString> bestMatch(const QString& name, const QStringList& candidates, bool allowingClipped);

struct Components {
    QStringList components;
    bool isAbsolute = false;
};

// The reference split into path components for a walk (at most 16).
std::optional<Components> components(const QString& reference);

// Walks the components from root, repairing missing ones against directory
// listings. With wantImage, the last component must have a supported extension.
// Entries whose names are not valid UTF-8 are never chosen (no path can name them).
std::optional<QUrl> descend(const QUrl& root, const QStringList& components, bool wantImage);

} // namespace FuzzyPath
