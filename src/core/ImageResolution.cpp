#include "core/BoundedCache.h"
#include "core/CodexSessions.h"
#include "core/Diagnostics.h"
#include "core/FuzzyPath.h"
#include "core/Guarded.h"
#include "core/ImageReference.h"
#include "core/ProjectIndex.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <sys/stat.h>

namespace {

// A trimmed reference longer than this is refused at once: no file can be named
// by it (PATH_MAX is 4096 bytes), and the later steps (fuzzy repair, the project
// index's shortening of path tails) grow faster than linearly with its length,
// so a megabyte of path characters would otherwise keep a resolver busy for
// hours. Empty references are refused too: they name no file (resolved against
// a base they would mean the base folder itself), and so are references holding
// U+0000, which no path can contain and which separates the parts of memo keys.
constexpr qsizetype kMaxReferenceLength = 4096;

// The memo is emptied whole when a store finds it this full.
constexpr qsizetype kMemoBound = 513;

bool isUsable(const QString& trimmedReference) {
    return !trimmedReference.isEmpty() && trimmedReference.size() <= kMaxReferenceLength &&
           !trimmedReference.contains(QChar(0));
}

bool isTrimmedAway(QChar c) {
    return QStringView(u".,;:)]}").contains(c);
}

// A URL's path as a file-system path: decoded, without trailing slashes (but "/" stays "/").
QString filePath(const QUrl& url) {
    QString p = url.path(QUrl::FullyDecoded);
    while (p.size() > 1 && p.endsWith(QLatin1Char('/')))
        p.chop(1);
    return p;
}

QUrl fileUrl(QString path) {
    // QUrl reads a leading "//" as a network host; on Linux it is the same folder as "/".
    while (path.startsWith(QLatin1String("//")))
        path.remove(0, 1);
    return QUrl::fromLocalFile(path);
}

QUrl directoryUrl(const QString& path) {
    return fileUrl(path.endsWith(QLatin1Char('/')) ? path : path + QLatin1Char('/'));
}

// The base folder as an absolute, standardised path ("." and ".." resolved, symlinks kept).
QString basePath(const QUrl& baseDirectory) {
    const QString p = filePath(baseDirectory);
    if (p.isEmpty()) return QDir::cleanPath(QDir::currentPath());
    return QDir::cleanPath(QDir::current().absoluteFilePath(p));
}

// The context's base folder, or the current one where the context allows it.
std::optional<QString> basePath(const ResolutionContext& context) {
    if (context.baseDirectory.isEmpty() && !context.currentDirectoryAsBase) return std::nullopt;
    return basePath(context.baseDirectory);
}

QString parentPath(const QString& cleanAbsolutePath) {
    const qsizetype slash = cleanAbsolutePath.lastIndexOf(QLatin1Char('/'));
    return slash <= 0 ? QStringLiteral("/") : cleanAbsolutePath.left(slash);
}

QString lastComponent(const QUrl& url) {
    const QString p = filePath(url);
    return p == QLatin1String("/") ? p : p.sliced(p.lastIndexOf(QLatin1Char('/')) + 1);
}

bool exists(const QString& path) {
    return ImageReference::isExistingFile(path);
}

bool hasSupportedExtension(const QUrl& url) {
    return ImageReference::isSupportedExtension(ImageReference::pathExtension(url.path(QUrl::FullyDecoded)));
}

// The first sibling of path with a supported extension in place of its own.
std::optional<QUrl> withSwappedExtension(const QString& path) {
    const QString extension = ImageReference::pathExtension(path);
    const QString stem = extension.isEmpty() ? path : path.chopped(extension.size() + 1);
    for (const QString& candidate : ImageReference::supportedExtensions()) {
        const QString swapped = stem + QLatin1Char('.') + candidate;
        if (exists(swapped)) return fileUrl(swapped);
    }
    return std::nullopt;
}

// The bases a trimmed reference is tried against: none for an anchored one.
QList<QUrl> basesFor(const QString& trimmedReference, const ResolutionContext& context) {
    if (ImageReference::isAnchored(trimmedReference)) return {QUrl()};
    return ImageReference::searchRoots(context);
}

// ---- Process-wide stores ---------------------------------------------------

// Seconds a remembered miss is trusted.
using MissLifetimeStore = Guarded<double>;

MissLifetimeStore& missLifetimeStore() {
    static MissLifetimeStore store(2.0);
    return store;
}

// Answers by reference and context; an absent URL is a remembered miss.
using MemoStore = BoundedCache<QString, std::optional<QUrl>>;

MemoStore& memoStore() {
    static MemoStore store(kMemoBound);
    return store;
}

// ---- The project-index step ------------------------------------------------

std::optional<QUrl> fromProjectIndex(const QString& trimmedReference, const ResolutionContext& context) {
    QList<QUrl> roots;
    QStringList seen;
    const auto add = [&](const QUrl& root) {
        const QString p = QDir::cleanPath(filePath(root));
        if (seen.contains(p)) return;
        seen.append(p);
        roots.append(root);
    };
    if (const std::optional<QString> base = basePath(context)) {
        for (const QUrl& root : ProjectIndex::searchRoots(directoryUrl(*base)))
            add(root);
    }
    for (const QUrl& installed : context.roots) {
        const QUrl standardised = directoryUrl(QDir::cleanPath(filePath(installed)));
        add(standardised);
        for (const QUrl& root : ProjectIndex::searchRoots(standardised))
            add(root);
    }
    if (roots.isEmpty()) return std::nullopt;

    // Whole path first, then ever shorter tails while at least 3 components remain:
    // a path printed from another folder still names its file by its last components.
    QStringList parts = trimmedReference.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    for (;;) {
        for (const QUrl& root : std::as_const(roots)) {
            const ProjectIndex::Outcome outcome =
                parts.isEmpty() ? ProjectIndex::Outcome::none() : ProjectIndex::lookup(root, parts);
            switch (outcome.kind) {
            case ProjectIndex::Outcome::Kind::Found:
                return outcome.url;
            case ProjectIndex::Outcome::Kind::Ambiguous:
                if (Diagnostics::verbose()) {
                    Diagnostics::print(QStringLiteral("  [resolve] \"") + parts.join(QLatin1Char('/')) +
                                       QStringLiteral("\" fits more than one file under ") +
                                       lastComponent(root) + QStringLiteral("; refusing to guess"));
                }
                return std::nullopt;
            case ProjectIndex::Outcome::Kind::None:
                break;
            }
        }
        if (parts.size() < 3) return std::nullopt;
        parts.removeFirst();
    }
}

} // namespace

namespace ImageReference {

QString trimmed(const QString& reference) {
    qsizetype begin = 0;
    qsizetype end = reference.size();
    while (begin < end && isTrimmedAway(reference.at(begin)))
        ++begin;
    // A leading "./" or "../" makes the path relative; stripping its dots
    // would turn "./shots/a.png" into the absolute "/shots/a.png".
    if (begin < end && reference.at(begin) == QLatin1Char('/')) {
        qsizetype dots = 0;
        while (dots < 2 && dots < begin && reference.at(begin - 1 - dots) == QLatin1Char('.'))
            ++dots;
        begin -= dots;
    }
    while (end > begin && isTrimmedAway(reference.at(end - 1)))
        --end;
    return reference.sliced(begin, end - begin);
}

bool isExistingFile(const QString& path) {
    if (path.isEmpty() || path.contains(QChar(0))) return false;
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 && S_ISREG(info.st_mode);
}

bool isAnchored(const QString& trimmedReference) {
    for (const char* prefix : {"/", "~/", "http://", "https://", "file:"}) {
        if (trimmedReference.startsWith(QLatin1String(prefix))) return true;
    }
    return false;
}

std::optional<QUrl> resolve(const QString& reference, const QUrl& baseDirectory) {
    const QString t = trimmed(reference);
    if (!isUsable(t)) return std::nullopt;

    if (t.startsWith(QLatin1String("http://")) || t.startsWith(QLatin1String("https://"))) {
        QUrl url(t, QUrl::StrictMode);
        if (!url.isValid()) return std::nullopt;
        // A name and password on someone's screen are not ours to send anywhere.
        url.setUserInfo(QString());
        return url;
    }
    // Every "file:" reference, not only "file://" ones: recognition reads the
    // slashes of "file:///" as "L" ("file:L//", "file:/L/"), and "file:/a.png"
    // is a valid file URL too.
    if (t.startsWith(QLatin1String("file:"))) {
        QString text = t;
        text.replace(QLatin1String("file:L//"), QLatin1String("file:///"));
        text.replace(QLatin1String("file:/L/"), QLatin1String("file:///"));
        const QUrl url(text, QUrl::StrictMode);
        const QString path = url.isValid() ? url.path(QUrl::FullyDecoded) : text.mid(7);
        if (!path.startsWith(QLatin1Char('/'))) return std::nullopt; // names no absolute file
        return fileUrl(path);
    }
    if (t.startsWith(QLatin1Char('/'))) return fileUrl(t);
    if (t.startsWith(QLatin1String("~/"))) return fileUrl(QDir::homePath() + t.mid(1));
    return fileUrl(QDir::cleanPath(basePath(baseDirectory) + QLatin1Char('/') + t));
}

QList<QUrl> searchRoots(const ResolutionContext& context) {
    QList<QUrl> roots;
    QStringList paths;
    if (const std::optional<QString> base = basePath(context)) {
        QString directory = *base;
        roots.append(directoryUrl(directory));
        paths.append(directory);
        while (roots.size() < 8) {
            const QString parent = parentPath(directory);
            if (parent == directory || parent == QLatin1String("/")) break;
            roots.append(directoryUrl(parent));
            paths.append(parent);
            directory = parent;
        }
    }
    for (const QUrl& root : context.roots) {
        const QString p = QDir::cleanPath(filePath(root));
        if (paths.contains(p)) continue;
        roots.append(root);
        paths.append(p);
    }
    return roots;
}

std::optional<QUrl> resolveExact(const QString& reference, const ResolutionContext& context) {
    const QString t = trimmed(reference);
    if (!isUsable(t)) return std::nullopt;
    for (const QUrl& base : basesFor(t, context)) {
        const std::optional<QUrl> url = resolve(t, base);
        if (!url) continue;
        if (!url->isLocalFile()) return hasSupportedExtension(*url) ? url : std::nullopt;
        if (hasSupportedExtension(*url) && exists(filePath(*url))) return url;
    }
    return std::nullopt;
}

std::optional<QUrl> resolveInProject(const QString& reference, const ResolutionContext& context) {
    const QString t = trimmed(reference);
    if (!isUsable(t) || isAnchored(t) || t.contains(QLatin1Char('/')) ||
        !isSupportedExtension(pathExtension(t)))
        return std::nullopt;
    return fromProjectIndex(t, context);
}

std::optional<QUrl> computeExisting(const QString& reference, const ResolutionContext& context) {
    const QString t = trimmed(reference);
    if (!isUsable(t)) return std::nullopt;
    const bool anchored = isAnchored(t);

    for (const QUrl& base : basesFor(t, context)) {
        const std::optional<QUrl> url = resolve(t, base);
        if (!url) continue;
        if (!url->isLocalFile()) return hasSupportedExtension(*url) ? url : std::nullopt;
        const QString path = filePath(*url);
        if (hasSupportedExtension(*url) && exists(path)) return url;
        if (std::optional<QUrl> swapped = withSwappedExtension(path)) return swapped;
    }
    if (!anchored) {
        if (std::optional<QUrl> rooted = rootedAtFilesystemRoot(t)) return rooted;
    }
    if (std::optional<QUrl> repaired = resolveFuzzy(t, context)) return repaired;
    if (anchored) return std::nullopt;
    return fromProjectIndex(t, context);
}

std::optional<QUrl> rootedAtFilesystemRoot(const QString& trimmedReference) {
    if (!isUsable(trimmedReference)) return std::nullopt;
    const QString first = trimmedReference.section(QLatin1Char('/'), 0, 0, QString::SectionSkipEmpty);
    if (first.isEmpty()) return std::nullopt;
    if (!QFileInfo(QLatin1Char('/') + first).isDir()) return std::nullopt;
    // Anchored now, so this does not come back here.
    return computeExisting(QLatin1Char('/') + trimmedReference, ResolutionContext{});
}

std::optional<QUrl> resolveFuzzy(const QString& trimmedReference, const ResolutionContext& context) {
    if (!isUsable(trimmedReference)) return std::nullopt;
    const std::optional<FuzzyPath::Components> parts = FuzzyPath::components(trimmedReference);
    if (!parts) return std::nullopt;
    const QList<QUrl> bases =
        parts->isAbsolute ? QList<QUrl>{QUrl::fromLocalFile(QStringLiteral("/"))} : searchRoots(context);
    for (const QUrl& base : bases) {
        if (std::optional<QUrl> url = FuzzyPath::descend(base, parts->components, true)) return url;
    }
    return std::nullopt;
}

std::optional<QUrl> resolveOnDisk(const QString& reference, const ResolutionContext& context) {
    // Keys stay small: a reference padded beyond the bound is answered without the memo.
    if (reference.size() > kMaxReferenceLength) return computeExisting(reference, context);
    if (!isUsable(trimmed(reference))) return std::nullopt;

    const QString key = reference + QChar(0) + context.stamp();
    const Memo::Answer answer = Memo::value(key, MissLifetime::value());
    switch (answer.kind) {
    case Memo::Kind::Hit:
        return answer.url;
    case Memo::Kind::Miss: {
        // Only the cheap exact step: a file announced before it was written is
        // found as soon as it lands, without rerunning the whole pipeline.
        std::optional<QUrl> url = resolveExact(reference, context);
        if (url) Memo::store(url, key);
        return url;
    }
    case Memo::Kind::NoEntry:
        break;
    }
    std::optional<QUrl> url = computeExisting(reference, context);
    Memo::store(url, key);
    return url;
}

std::optional<QUrl> resolveExisting(const QString& reference, const ResolutionContext& context) {
    if (std::optional<QUrl> url = resolveOnDisk(reference, context)) return url;
    const QString t = trimmed(reference);
    if (!isUsable(t)) return std::nullopt;
    return CodexSessions::match(t);
}

namespace MissLifetime {
double value() {
    return missLifetimeStore().value();
}
void set(double seconds) {
    missLifetimeStore().set(seconds);
}
} // namespace MissLifetime

namespace Memo {

Answer value(const QString& key, double missLifetime) {
    const std::optional<MemoStore::Entry> entry = memoStore().entry(key);
    if (!entry) return {};
    const std::optional<QUrl>& url = entry->value;
    if (!url) {
        if (entry->age() < missLifetime) return {Kind::Miss, {}};
        memoStore().removeIfUnchanged(key, *entry);
        return {};
    }
    // Hits do not age, but a file that was deleted since is no answer (tested
    // outside the lock; web URLs are never tested again).
    if (url->isLocalFile() && !exists(filePath(*url))) {
        memoStore().removeIfUnchanged(key, *entry);
        return {};
    }
    return {Kind::Hit, *url};
}

void store(const std::optional<QUrl>& url, const QString& key) {
    memoStore().store(key, url);
}
qsizetype size() {
    return memoStore().size();
}
void clear() {
    memoStore().clear();
}

} // namespace Memo

} // namespace ImageReference

QString ResolutionContext::stamp() const {
    // The base as given, "." for the current folder standing in for it, or
    // nothing: the three search different folders.
    QStringList parts{!baseDirectory.isEmpty() ? filePath(baseDirectory)
                      : currentDirectoryAsBase ? QStringLiteral(".")
                                               : QString()};
    for (const QUrl& root : roots)
        parts.append(filePath(root));
    return parts.join(QChar(0));
}
