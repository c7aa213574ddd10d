#include "core/ProjectIndex.h"

#include "core/BoundedCache.h"
#include "core/FuzzyPath.h"
#include "core/ImageReference.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <array>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <vector>

namespace {

constexpr int kAncestorsExamined = 10; // the folder and up to 9 ancestors
constexpr int kMarkerlessLevels = 3;   // the folder and up to 2 ancestors
constexpr int kFolderBudget = 3000;
constexpr double kImagesFreshFor = 3.0;
constexpr qsizetype kImageCacheLimit = 17;
constexpr double kNoneFreshFor = 2.0;
constexpr qsizetype kOutcomeCacheLimit = 1025; // more than 1024 empties it
constexpr qsizetype kFuzzyImageLimit = 4000;

constexpr std::array<std::string_view, 19> kSkipped = {
    ".git",        ".hg",     ".svn",   "node_modules", ".build", "build",       "dist",
    ".next",       "Pods",    "vendor", ".venv",        "venv",   "__pycache__", ".cache",
    "DerivedData", ".gradle", "target", "coverage",     ".turbo"};

// Walk results per root path. The walk itself runs outside the lock.
using ImageCache = BoundedCache<QString, QList<QUrl>>;

// Lookup outcomes per (root, suffix). A "none" is trusted briefly; found and
// ambiguous last until the cache is emptied.
using OutcomeCache = BoundedCache<QString, ProjectIndex::Outcome>;

ImageCache& imagesCache() {
    static ImageCache instance(kImageCacheLimit);
    return instance;
}

OutcomeCache& outcomeCache() {
    static OutcomeCache instance(kOutcomeCacheLimit);
    return instance;
}

std::optional<ProjectIndex::Outcome> cachedOutcome(const QString& key) {
    const std::optional<OutcomeCache::Entry> entry = outcomeCache().entry(key);
    if (!entry) return std::nullopt;
    if (entry->value.kind == ProjectIndex::Outcome::Kind::None && entry->age() >= kNoneFreshFor) {
        outcomeCache().removeIfUnchanged(key, *entry);
        return std::nullopt;
    }
    return entry->value;
}

// The standardised absolute path of a folder URL ("" for anything but a local file).
QString standardised(const QUrl& folder) {
    if (!folder.isLocalFile()) return {};
    return QDir::cleanPath(QFileInfo(folder.toLocalFile()).absoluteFilePath());
}

QString parentOf(const QString& path) {
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash <= 0 ? QStringLiteral("/") : path.left(slash);
}

qsizetype componentCount(const QString& path) {
    // "/" counts as the first component.
    return 1 + path.count(QLatin1Char('/')) - (path == QLatin1String("/") ? 1 : 0);
}

bool holdsMarker(const QString& folder) {
    const QString prefix = folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
    for (const QString& marker : ProjectIndex::markers()) {
        if (QFileInfo::exists(prefix + marker)) return true;
    }
    return false;
}

bool isSkippedName(std::string_view name) {
    for (std::string_view s : kSkipped) {
        if (s == name) return true;
    }
    return false;
}

// A name that is not valid UTF-8 cannot be carried in a QString path and back.
bool isRepresentable(std::string_view name) {
    for (unsigned char c : name) {
        if (c >= 0x80) {
            const QByteArray raw(name.data(), qsizetype(name.size()));
            return QFile::encodeName(QFile::decodeName(raw)) == raw;
        }
    }
    return true;
}

bool isImageName(std::string_view name) {
    // Every supported extension is at most 4 characters: a cheap test first, so
    // most non-image files are turned away without building a string.
    const size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || name.size() - dot - 1 > 4) return false;
    const QString text = QString::fromUtf8(name.data(), qsizetype(name.size()));
    return ImageReference::isSupportedExtension(ImageReference::pathExtension(text));
}

enum class EntryKind { Folder, Link, File, Other };

// From the entry type the listing already carries; one lstat only when the file
// system does not say. Only regular files are images: FIFOs, devices and
// sockets named like images would block or never end when read.
EntryKind kindOf(int folderFd, const dirent* entry) {
    unsigned char type = entry->d_type;
    if (type == DT_UNKNOWN) {
        struct stat st {};
        if (fstatat(folderFd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) return EntryKind::Other;
        return S_ISDIR(st.st_mode)   ? EntryKind::Folder
               : S_ISLNK(st.st_mode) ? EntryKind::Link
               : S_ISREG(st.st_mode) ? EntryKind::File
                                     : EntryKind::Other;
    }
    switch (type) {
    case DT_DIR:
        return EntryKind::Folder;
    case DT_LNK:
        return EntryKind::Link;
    case DT_REG:
        return EntryKind::File;
    default:
        return EntryKind::Other;
    }
}

// A symbolic link is never walked into, so the walk cannot loop nor leave the
// tree. A link named like an image counts when it leads to a regular file.
bool linksToFile(int folderFd, const char* name) {
    struct stat st {};
    return fstatat(folderFd, name, &st, 0) == 0 && S_ISREG(st.st_mode);
}

// Breadth-first, level by level, listing at most kFolderBudget folders (each
// attempt counts, readable or not). Paths stay bytes until an image is found.
QList<QUrl> walk(const QString& rootPath) {
    QList<QUrl> found;
    std::vector<std::string> level{QFile::encodeName(rootPath).toStdString()};
    int budget = kFolderBudget;
    while (!level.empty() && budget > 0) {
        std::vector<std::string> next;
        for (const std::string& folder : level) {
            if (budget == 0) break;
            --budget;
            std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(folder.c_str()), closedir);
            if (!dir) continue; // unreadable, or gone since it was listed
            const int fd = dirfd(dir.get());
            const std::string prefix = folder.back() == '/' ? folder : folder + '/';
            while (const dirent* entry = readdir(dir.get())) {
                const std::string_view name(entry->d_name);
                if (name == "." || name == "..") continue;
                const EntryKind kind = kindOf(fd, entry);
                if (kind == EntryKind::Folder) {
                    if (!isSkippedName(name) && isRepresentable(name))
                        next.push_back(prefix + std::string(name));
                } else if (isImageName(name) && isRepresentable(name) &&
                           (kind == EntryKind::File ||
                            (kind == EntryKind::Link && linksToFile(fd, entry->d_name)))) {
                    const std::string path = prefix + std::string(name);
                    found.append(QUrl::fromLocalFile(QFile::decodeName(path.c_str())));
                }
            }
        }
        level.swap(next);
    }
    return found;
}

} // namespace

namespace ProjectIndex {

const QStringList& markers() {
    static const QStringList names = {QStringLiteral(".git"),           QStringLiteral(".hg"),
                                      QStringLiteral(".svn"),           QStringLiteral(".vscode"),
                                      QStringLiteral(".idea"),          QStringLiteral(".editorconfig"),
                                      QStringLiteral("package.json"),   QStringLiteral("Package.swift"),
                                      QStringLiteral("Cargo.toml"),     QStringLiteral("go.mod"),
                                      QStringLiteral("pyproject.toml"), QStringLiteral("requirements.txt"),
                                      QStringLiteral("pubspec.yaml"),   QStringLiteral("composer.json"),
                                      QStringLiteral("Gemfile"),        QStringLiteral("Makefile"),
                                      QStringLiteral("CMakeLists.txt"), QStringLiteral("tsconfig.json"),
                                      QStringLiteral("build.gradle")};
    return names;
}

bool isSkipped(const QString& folderName) {
    const QByteArray utf8 = folderName.toUtf8();
    return isSkippedName(std::string_view(utf8.constData(), size_t(utf8.size())));
}

std::optional<QUrl> projectRoot(const QUrl& folder) {
    QString current = standardised(folder);
    if (current.isEmpty()) return std::nullopt;
    for (int examined = 0; examined < kAncestorsExamined; ++examined) {
        if (holdsMarker(current)) return QUrl::fromLocalFile(current);
        const QString parent = parentOf(current);
        if (parent == current || parent == QLatin1String("/")) break;
        current = parent;
    }
    return std::nullopt;
}

bool isSearchable(const QUrl& folder) {
    const QString p = standardised(folder);
    const QString home = QDir::cleanPath(QDir::homePath());
    if (p.isEmpty() || p == QLatin1String("/") || p == home) return false;
    if (home != QLatin1String("/") && p.startsWith(home + QLatin1Char('/')))
        return componentCount(p) >= componentCount(home) + 2;
    return componentCount(p) > 3;
}

QList<QUrl> searchRoots(const QUrl& folder) {
    if (const std::optional<QUrl> project = projectRoot(folder)) return {*project};
    QList<QUrl> roots;
    QString current = standardised(folder);
    if (current.isEmpty()) return roots;
    for (int level = 0; level < kMarkerlessLevels; ++level) {
        const QUrl url = QUrl::fromLocalFile(current);
        if (isSearchable(url)) roots.append(url);
        const QString parent = parentOf(current);
        if (parent == current) break;
        current = parent;
    }
    return roots;
}

QList<QUrl> images(const QUrl& root) {
    const QString path = standardised(root);
    if (path.isEmpty()) return {};
    if (std::optional<QList<QUrl>> cached = imagesCache().value(path, kImagesFreshFor)) return *cached;
    const QList<QUrl> found = walk(path);
    imagesCache().store(path, found);
    return found;
}

bool tailMatches(const QUrl& url, const QStringList& suffix, bool fuzzy) {
    const QStringList c = url.toLocalFile().split(QLatin1Char('/'), Qt::SkipEmptyParts);
    if (c.size() < suffix.size()) return false;
    const qsizetype offset = c.size() - suffix.size();
    for (qsizetype i = 0; i < suffix.size(); ++i) {
        const QString& entry = c[offset + i];
        const bool same = fuzzy ? FuzzyPath::bestMatch(suffix[i], {entry}, true).has_value()
                                : suffix[i].compare(entry, Qt::CaseInsensitive) == 0;
        if (!same) return false;
    }
    return true;
}

Outcome outcome(const QList<QUrl>& images, const QStringList& suffix, bool fuzzy) {
    std::optional<QUrl> match;
    for (const QUrl& image : images) {
        if (!tailMatches(image, suffix, fuzzy)) continue;
        if (match) return Outcome::ambiguous();
        match = image;
    }
    return match ? Outcome::found(*match) : Outcome::none();
}

Outcome lookup(const QUrl& root, const QStringList& suffix) {
    if (suffix.isEmpty()) return Outcome::none();
    const QString key = standardised(root) + QChar(0) + suffix.join(QLatin1Char('/'));
    if (std::optional<Outcome> cached = cachedOutcome(key)) return *cached;
    const QList<QUrl> all = images(root);
    Outcome o = outcome(all, suffix, false);
    if (o.kind == Outcome::Kind::None && all.size() <= kFuzzyImageLimit) o = outcome(all, suffix, true);
    outcomeCache().store(key, o);
    return o;
}

void clearCaches() {
    imagesCache().clear();
    outcomeCache().clear();
}

} // namespace ProjectIndex
