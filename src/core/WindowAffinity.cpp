#include "core/WindowAffinity.h"

#include "core/ProjectIndex.h"

#include <QDir>
#include <QTextBoundaryFinder>

#include <algorithm>

namespace {

// A path as standardised components, "/" first; empty for a relative path.
QStringList components(const QString& path) {
    const QString clean = QDir::cleanPath(path);
    if (!clean.startsWith(QLatin1Char('/'))) return {};
    QStringList parts = clean.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    parts.prepend(QStringLiteral("/"));
    return parts;
}

// A file URL's path components; empty for an empty URL.
QStringList components(const QUrl& url) {
    if (url.isEmpty()) return {};
    return components(url.toLocalFile());
}

bool isPrefix(const QStringList& prefix, const QStringList& of) {
    if (prefix.size() > of.size()) return false;
    return std::equal(prefix.cbegin(), prefix.cend(), of.cbegin());
}

qint64 commonLead(const QStringList& a, const QStringList& b) {
    const qsizetype n = std::min(a.size(), b.size());
    qint64 i = 0;
    while (i < n && a.at(i) == b.at(i)) ++i;
    return i;
}

// More than one user-perceived character (an emoji is one, though two UTF-16 units).
bool longerThanOneCharacter(const QString& s) {
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, s);
    int count = 0;
    while (finder.toNextBoundary() != -1)
        if (++count > 1) return true;
    return false;
}

struct Scored {
    qint64 index = 0;
    QUrl root;
    bool named = false;
    bool sameProject = false;
    qint64 lineage = 0;
};

} // namespace

namespace WindowAffinity {

QSet<QString> titleTokens(const std::optional<QString>& title) {
    if (!title || title->isEmpty()) return {};
    QString text = *title;

    // Unsaved-change markers editors put in front of the title.
    for (const QChar marker : {QChar(0x25CF), QChar(0x2022), QChar(u'*')})
        if (text.startsWith(marker)) text.remove(0, 1);

    for (const QString& separator :
         {QStringLiteral(" \u2014 "), QStringLiteral(" \u2013 "), QStringLiteral(" - "),
          QStringLiteral(" | "), QStringLiteral(" \u00B7 ")})
        text.replace(separator, QString(QChar(0)));

    QSet<QString> tokens;
    const QLatin1String workspace(" (Workspace)");
    for (const QString& raw : text.split(QChar(0), Qt::SkipEmptyParts)) {
        QString piece = raw.trimmed();
        if (piece.endsWith(workspace)) piece.chop(workspace.size());
        piece = piece.trimmed();
        if (longerThanOneCharacter(piece)) tokens.insert(piece.toLower());
    }
    return tokens;
}

QList<QUrl> order(const QList<QUrl>& roots, const QUrl& document, const std::optional<QString>& title) {
    if (roots.size() < 2) return roots;

    const QSet<QString> tokens = titleTokens(title);
    const QStringList home = components(QDir::homePath());
    const QStringList doc = components(document);
    QStringList project;
    if (!document.isEmpty())
        if (const auto projectRoot = ProjectIndex::projectRoot(document)) project = components(*projectRoot);

    QList<Scored> kept;
    for (qsizetype i = 0; i < roots.size(); ++i) {
        const QStringList c = components(roots.at(i));
        Scored s{i, roots.at(i)};
        // The home folder and its ancestors hold every project: they name no window.
        if (!c.isEmpty() && !isPrefix(c, home)) {
            const qsizetype below = isPrefix(home, c) ? home.size() : 0;
            for (qsizetype k = below; k < c.size() && !s.named; ++k)
                s.named = tokens.contains(c.at(k).toLower());
            if (!project.isEmpty()) {
                s.sameProject = c.size() <= project.size() ? isPrefix(c, project) : isPrefix(project, c);
            }
        }
        s.lineage = commonLead(c, doc);
        if (s.named || s.sameProject) kept.append(s);
    }
    if (kept.isEmpty()) return roots;

    std::sort(kept.begin(), kept.end(), [](const Scored& a, const Scored& b) {
        if (a.named != b.named) return a.named;
        if (a.lineage != b.lineage) return a.lineage > b.lineage;
        return a.index < b.index;
    });
    QList<QUrl> ordered;
    ordered.reserve(kept.size());
    for (const Scored& s : std::as_const(kept)) ordered.append(s.root);
    return ordered;
}

} // namespace WindowAffinity
