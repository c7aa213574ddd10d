#include "core/FuzzyPath.h"

#include "core/ImageReference.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <climits>
#include <dirent.h>
#include <memory>
#include <vector>

namespace {

constexpr qint64 kDigitCost = 10000;
constexpr int kMaxComponents = 16;

QList<FuzzyPath::Glyph> glyphs(const QString& s) {
    const QString lower = s.toLower();
    QList<FuzzyPath::Glyph> out;
    out.reserve(lower.size());
    for (QChar c : lower) {
        const bool digit = c.unicode() >= u'0' && c.unicode() <= u'9';
        out.append({FuzzyPath::fold(c), digit});
    }
    return out;
}

qint64 indelCost(const FuzzyPath::Glyph& g) {
    return g.isDigit ? kDigitCost : 1;
}

qint64 substitutionCost(const FuzzyPath::Glyph& a, const FuzzyPath::Glyph& b) {
    if (a.folded == b.folded) return 0;
    return (a.isDigit || b.isDigit) ? kDigitCost : 1;
}

// The distance when it is at most limit, else any value above limit. Every
// insertion or deletion costs at least 1, so a path through cell (i, j) costs
// at least |i - j|: cells outside that band can never lead to an answer within
// the limit and are not computed. Long names thus cost O(length x limit).
qint64 distanceWithin(const QList<FuzzyPath::Glyph>& a, const QList<FuzzyPath::Glyph>& b, qint64 limit) {
    const qint64 n = a.size();
    const qint64 m = b.size();
    if (std::abs(n - m) > limit) return limit + 1;
    const qint64 over = limit + 1; // stands for "out of reach"
    std::vector<qint64> previous(m + 1, over), current(m + 1, over);
    previous[0] = 0;
    for (qint64 j = 1; j <= std::min(m, limit); ++j)
        previous[j] = std::min(over, previous[j - 1] + indelCost(b[j - 1]));
    for (qint64 i = 1; i <= n; ++i) {
        const qint64 from = std::max<qint64>(1, i - limit);
        const qint64 to = std::min(m, i + limit);
        // The buffer still holds an older row: reset the one cell left of the
        // band that this row reads (column 0 while the band touches it).
        current[from - 1] =
            from == 1 && i <= limit ? std::min(over, previous[0] + indelCost(a[i - 1])) : over;
        for (qint64 j = from; j <= to; ++j) {
            const qint64 best =
                std::min({previous[j] + indelCost(a[i - 1]), current[j - 1] + indelCost(b[j - 1]),
                          previous[j - 1] + substitutionCost(a[i - 1], b[j - 1])});
            current[j] = std::min(over, best);
        }
        previous.swap(current);
    }
    return previous[m];
}

// Directory entries as names, hidden ones included. Names whose bytes are not
// valid UTF-8 are left out: they cannot be written back as a path, so a repair
// into one would name a file that does not exist. Absent when it cannot be read.
std::optional<QStringList> namesIn(const QString& folder) {
    const QByteArray path = QFile::encodeName(folder);
    std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(path.constData()), closedir);
    if (!dir) return std::nullopt;
    QStringList names;
    while (const dirent* entry = readdir(dir.get())) {
        const QByteArray raw(entry->d_name);
        if (raw == "." || raw == "..") continue;
        const QString name = QFile::decodeName(raw);
        if (QFile::encodeName(name) != raw) continue;
        names.append(name);
    }
    return names;
}

bool hasImageExtension(const QString& path) {
    return ImageReference::isSupportedExtension(ImageReference::pathExtension(path));
}

QString appending(const QString& folder, const QString& name) {
    return folder.endsWith(QLatin1Char('/')) ? folder + name : folder + QLatin1Char('/') + name;
}

// What a repair may change beyond the confusion classes. A stem of fewer than
// eight characters gets no other edit: "a" and "b", "zz" and "a" are each
// plausible names of their own, and one edit turns one into the other. Longer
// stems get one edit per eight characters, at most three, which recognition's
// stray misreads need and which still cannot reach a different word.
constexpr qsizetype kStemPerEdit = 8;
constexpr qint64 kMostOtherEdits = 3;
// The extension may carry one misread of its own (".pnq" for ".png").
constexpr qint64 kExtensionEdits = 1;
// A clipped piece must keep this much of its stem to name the whole.
constexpr qsizetype kLeastClippedStem = 3;

qint64 otherEditBudget(qsizetype stemLength) {
    return std::min<qint64>(stemLength / kStemPerEdit, kMostOtherEdits);
}

// A name as stem and extension, in glyphs. A comma before the extension is a
// period that a bitmap font's small dot let recognition read as a comma.
struct Named {
    QList<FuzzyPath::Glyph> stem;
    QList<FuzzyPath::Glyph> extension;
    bool hasExtension = false;
};

Named named(const QString& name) {
    qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    const qsizetype comma = name.lastIndexOf(QLatin1Char(','));
    if (comma > dot && comma > 0 && name.size() - comma - 1 >= 2 && name.size() - comma - 1 <= 5) dot = comma;
    // A leading period starts a hidden name, not an extension.
    if (dot <= 0) return Named{glyphs(name), {}, false};
    return Named{glyphs(name.first(dot)), glyphs(name.sliced(dot + 1)), true};
}

// The first folder of a relative reference with the word before it glued on
// ("tomedia" for "media" after "Saved screenshot to"): recognition dropped the
// space. The one listed name that the component ends with, keeping a name of
// at least four characters and at most three glued ones; later components
// must still match, so the walk cannot wander off on it.
std::optional<QString> gluedFolder(const QString& component, const QStringList& names) {
    constexpr qsizetype kLeastName = 4;
    constexpr qsizetype kMostGlued = 3;
    const QString want = FuzzyPath::canonical(component);
    std::optional<QString> found;
    for (const QString& name : names) {
        const qsizetype glued = component.size() - name.size();
        if (name.size() < kLeastName || glued < 1 || glued > kMostGlued) continue;
        if (!want.endsWith(FuzzyPath::canonical(name))) continue;
        if (found) return std::nullopt; // two would fit: no guess
        found = name;
    }
    return found;
}
} // namespace

namespace FuzzyPath {

QChar fold(QChar c) {
    switch (c.unicode()) {
    case u'0':
    case u'o':
    case u'q':
    case u'\u00f8': // ø
    case u'@':      // a dotted or slashed zero
        return u'o';
    case u'1':
    case u'l':
    case u'i':
    case u'|':
    case u'!':
        return u'l';
    case u'5':
    case u's':
        return u's';
    case u'8':
    case u'b':
        return u'b';
    case u'2':
    case u'z':
        return u'z';
    case u'9':
    case u'g':
        return u'g';
    case u'_':
    case u'-':
        return u'-';
    case u'(':
    case u'c':
        return u'c';
    default:
        return c;
    }
}

QString canonical(const QString& s) {
    QString out = s.toLower();
    for (QChar& c : out)
        c = fold(c);
    return out;
}

int editDistance(const QString& a, const QString& b) {
    const QList<Glyph> ga = glyphs(a);
    const QList<Glyph> gb = glyphs(b);
    // 64-bit cells: a long run of digits would overflow an int.
    std::vector<qint64> previous(gb.size() + 1), current(gb.size() + 1);
    for (qsizetype j = 1; j <= gb.size(); ++j)
        previous[j] = previous[j - 1] + indelCost(gb[j - 1]);
    for (qsizetype i = 1; i <= ga.size(); ++i) {
        current[0] = previous[0] + indelCost(ga[i - 1]);
        for (qsizetype j = 1; j <= gb.size(); ++j) {
            current[j] = std::min({previous[j] + indelCost(ga[i - 1]), current[j - 1] + indelCost(gb[j - 1]),
                                   previous[j - 1] + substitutionCost(ga[i - 1], gb[j - 1])});
        }
        previous.swap(current);
    }
    return static_cast<int>(std::min<qint64>(previous[gb.size()], INT_MAX));
}

int editDistanceWithin(const QString& a, const QString& b, int limit) {
    const qint64 bound = std::max(0, limit);
    return static_cast<int>(distanceWithin(glyphs(a), glyphs(b), bound));
}

std::optional<QString> bestMatch(const QString& name, const QStringList& candidates, bool allowingClipped) {
    const QString want = canonical(name);
    if (want.isEmpty() || candidates.isEmpty()) return std::nullopt;
    const Named wanted = named(name);
    const qint64 otherEdits = otherEditBudget(wanted.stem.size());

    std::optional<qsizetype> best;
    qint64 bestDistance = 0;
    bool tied = false;
    for (qsizetype k = 0; k < candidates.size(); ++k) {
        const QString cc = canonical(candidates[k]);
        const qsizetype gap = cc.size() - want.size();
        // A clipped piece of the full name, with enough of its own stem left to
        // say which name it was cut from ("a.png" is not a piece of "data.png").
        const bool clipped = allowingClipped && want.size() >= 3 && gap > 0 && gap <= cc.size() / 2 &&
                             wanted.stem.size() >= kLeastClippedStem &&
                             (cc.endsWith(want) || cc.startsWith(want));
        qint64 d = 0;
        if (clipped) {
            d = gap;
        } else {
            const Named candidate = named(candidates[k]);
            if (wanted.hasExtension != candidate.hasExtension) continue;
            const qint64 inExtension = distanceWithin(wanted.extension, candidate.extension, kExtensionEdits);
            if (inExtension > kExtensionEdits) continue;
            const qint64 inStem = distanceWithin(wanted.stem, candidate.stem, otherEdits);
            if (inStem > otherEdits) continue;
            d = inStem + inExtension;
        }
        if (!best || d < bestDistance) {
            best = k;
            bestDistance = d;
            tied = false;
        } else if (d == bestDistance) {
            tied = true;
            if (k == candidates.size() - 1) return std::nullopt;
        }
    }
    if (!best || tied) return std::nullopt;
    return candidates[*best];
}

std::optional<Components> components(const QString& reference) {
    static const QString trimmedChars = QStringLiteral(" .,;:)]}");
    qsizetype from = 0;
    qsizetype to = reference.size();
    while (from < to && trimmedChars.contains(reference[from]))
        ++from;
    // A leading "./" or "../" makes the path relative, as the resolver reads it
    // too; stripping its dots would turn "./shots/a.png" into "/shots/a.png".
    if (from < to && reference[from] == QLatin1Char('/')) {
        qsizetype dots = 0;
        while (dots < 2 && dots < from && reference[from - 1 - dots] == QLatin1Char('.'))
            ++dots;
        from -= dots;
    }
    while (to > from && trimmedChars.contains(reference[to - 1]))
        --to;
    QString text = reference.mid(from, to - from);

    if (text.contains(QLatin1String("://"))) {
        const qsizetype colon = text.indexOf(QLatin1Char(':'));
        if (colon <= 6) text = text.mid(colon + 1);
    }
    if (text.startsWith(QLatin1String("~/"))) text = QDir::homePath() + text.mid(1);

    Components out;
    out.isAbsolute = text.startsWith(QLatin1Char('/'));
    for (const QString& piece : text.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (piece != QLatin1String(".")) out.components.append(piece);
    }
    if (out.components.isEmpty() || out.components.size() > kMaxComponents) return std::nullopt;
    return out;
}

std::optional<QUrl> descend(const QUrl& root, const QStringList& components, bool wantImage) {
    if (components.isEmpty() || !root.isLocalFile()) return std::nullopt;
    QString current = root.toLocalFile();
    for (qsizetype i = 0; i < components.size(); ++i) {
        const QString& component = components[i];
        // A NUL would cut the path short at the system call and test another file.
        if (component.isEmpty() || component.contains(QChar(0)) || component.contains(QLatin1Char('/')))
            return std::nullopt;
        const bool last = i == components.size() - 1;
        const QString exact = appending(current, component);
        const QFileInfo info(exact);
        if (info.exists()) {
            if (last) {
                if (wantImage && (!hasImageExtension(exact) || !ImageReference::isExistingFile(exact)))
                    return std::nullopt;
                return QUrl::fromLocalFile(exact);
            }
            if (!info.isDir()) return std::nullopt;
            current = exact;
            continue;
        }
        std::optional<QStringList> names = namesIn(current);
        if (!names) return std::nullopt;
        if (last && wantImage) names->removeIf([](const QString& n) { return !hasImageExtension(n); });
        std::optional<QString> match = bestMatch(component, *names, true);
        if (!match && i == 0 && !last) match = gluedFolder(component, *names);
        if (!match) return std::nullopt;
        current = appending(current, *match);
        // A dangling link is listed but does not exist, a FIFO is no file: not an answer.
        if (last) {
            const bool there =
                wantImage ? ImageReference::isExistingFile(current) : QFileInfo::exists(current);
            return there ? std::optional(QUrl::fromLocalFile(current)) : std::nullopt;
        }
    }
    return std::nullopt;
}

} // namespace FuzzyPath
