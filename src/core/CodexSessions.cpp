#include "core/CodexSessions.h"

#include "core/FuzzyPath.h"
#include "core/Guarded.h"
#include "core/ImageReference.h"

#include <QByteArrayView>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QThreadPool>
#include <algorithm>
#include <chrono>
#include <cstring>
#include <mutex>
#include <string.h>

namespace {

using Clock = std::chrono::steady_clock;

constexpr qint64 largestTranscript = 128'000'000;
constexpr qsizetype shownLimit = 400;
constexpr qsizetype transcriptLimit = 8;
// Transcripts are read in blocks of this size, so a huge unfinished line is never held whole.
constexpr qint64 blockSize = 1 << 20;

const QByteArray marker = QByteArrayLiteral("\"ImageView\"");

// How far one transcript has been read. The bytes before `consumed` are complete
// lines already taken in; those from `consumed` to `scanned` begin a line that had
// no newline yet, and `marked` says whether they hold the marker. An unfinished line
// is thus looked at once, not again at every ingest until it ends: a 100 MB line
// without a newline costs one pass, and each later ingest only the bytes appended.
struct Progress {
    qint64 consumed = 0;
    qint64 scanned = 0;
    bool marked = false;
};

// What has been read so far: how far each transcript was consumed and the
// images shown, newest first. The lock is held only to copy in or out.
class State {
  public:
    // Yes (and restarts the interval) when at least interval seconds passed since the last yes.
    bool due(double interval) {
        const Clock::time_point now = Clock::now();
        std::lock_guard guard(lock_);
        if (stamp_) {
            const std::chrono::duration<double> elapsed = now - *stamp_;
            if (elapsed.count() < interval) return false;
        }
        stamp_ = now;
        return true;
    }

    Progress progress(const QString& path) {
        std::lock_guard guard(lock_);
        return progress_.value(path);
    }

    void setProgress(const QString& path, const Progress& progress) {
        std::lock_guard guard(lock_);
        progress_.insert(path, progress);
    }

    QList<QUrl> paths() {
        std::lock_guard guard(lock_);
        return paths_;
    }

    // The found images (in file order) go in front, latest first; each path is
    // kept once, at its newest position.
    void remember(const QList<QUrl>& found, qsizetype limit) {
        if (found.isEmpty()) return;
        std::lock_guard guard(lock_);
        QList<QUrl> merged;
        QSet<QString> seen;
        auto add = [&](const QUrl& url) {
            const QString path = url.path();
            if (seen.contains(path)) return;
            seen.insert(path);
            merged.append(url);
        };
        for (auto it = found.crbegin(); it != found.crend(); ++it)
            add(*it);
        for (const QUrl& url : std::as_const(paths_))
            add(url);
        if (merged.size() > limit) merged.resize(limit);
        paths_ = merged;
    }

    void reset() {
        std::lock_guard guard(lock_);
        progress_.clear();
        paths_.clear();
        stamp_.reset();
    }

  private:
    std::mutex lock_;
    QHash<QString, Progress> progress_;
    QList<QUrl> paths_;
    std::optional<Clock::time_point> stamp_; // absent: never, so the first look always reads
};

// A list that replaces the transcripts while set (the self-test's fixtures).
using Override = Guarded<std::optional<QList<QUrl>>>;
// Where transcripts are looked for; empty for ~/.codex/sessions.
using Folder = Guarded<QString>;

// Never destroyed: a background ingest may still be running when the process exits.
State& state() {
    static State* instance = new State;
    return *instance;
}
Override& override() {
    static Override* instance = new Override;
    return *instance;
}
Folder& folder() {
    static Folder* instance = new Folder;
    return *instance;
}

// The n entries of a folder with the greatest names (hidden ones skipped).
// Entries need not be folders; a file simply lists as empty further down.
QStringList newest(const QString& path, qsizetype n) {
    QStringList names = QDir(path).entryList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Unsorted);
    std::sort(names.begin(), names.end(), std::greater<QString>());
    if (names.size() > n) names.resize(n);
    QStringList paths;
    for (const QString& name : std::as_const(names))
        paths.append(path + QLatin1Char('/') + name);
    return paths;
}

// The parent folder's path components, "/" first.
QStringList parentComponents(const QUrl& url) {
    const QString parent = QFileInfo(QDir::cleanPath(url.toLocalFile())).path();
    QStringList parts = parent.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    if (parent.startsWith(QLatin1Char('/'))) parts.prepend(QStringLiteral("/"));
    return parts;
}

QString lastComponent(const QUrl& url) {
    return QFileInfo(url.toLocalFile()).fileName();
}

// glibc's memmem, memchr and memrchr: several times faster than Qt's byte
// searches, which matters when a first look reads 100 MB.
qsizetype findMarker(QByteArrayView data, qsizetype from = 0) {
    if (from >= data.size()) return -1;
    const void* hit =
        ::memmem(data.data() + from, size_t(data.size() - from), marker.constData(), size_t(marker.size()));
    return hit ? static_cast<const char*>(hit) - data.data() : -1;
}

// The first newline at or after from, or -1.
qsizetype nextNewline(QByteArrayView data, qsizetype from = 0) {
    if (from >= data.size()) return -1;
    const void* hit = std::memchr(data.data() + from, '\n', size_t(data.size() - from));
    return hit ? static_cast<const char*>(hit) - data.data() : -1;
}

// The last newline before end, or -1.
qsizetype lastNewline(QByteArrayView data, qsizetype end) {
    if (end <= 0) return -1;
    const void* hit = ::memrchr(data.data(), '\n', size_t(end));
    return hit ? static_cast<const char*>(hit) - data.data() : -1;
}

// The image records among the lines of data, in file order. Only lines that hold
// the marker are parsed, each at most once however often the marker occurs in it.
QList<QUrl> imagePathsIn(QByteArrayView data) {
    QList<QUrl> result;
    qsizetype position = 0;
    while (position < data.size()) {
        const qsizetype hit = findMarker(data, position);
        if (hit < 0) break;
        const qsizetype begin = lastNewline(data, hit) + 1;
        qsizetype end = nextNewline(data, hit);
        if (end < 0) end = data.size();
        position = end + 1;

        // Not JSON (garbage, a line cut off, invalid UTF-8): skipped.
        const QJsonDocument document =
            QJsonDocument::fromJson(QByteArray::fromRawData(data.data() + begin, end - begin)); // no copy
        if (!document.isObject()) continue;
        const QJsonValue payload = document.object().value(QLatin1String("payload"));
        if (!payload.isObject()) continue;
        const QJsonValue item = payload.toObject().value(QLatin1String("item"));
        if (!item.isObject()) continue;
        const QJsonObject record = item.toObject();
        if (record.value(QLatin1String("type")) != QLatin1String("ImageView")) continue;
        const QJsonValue imagePath = record.value(QLatin1String("path"));
        if (!imagePath.isString()) continue;
        if (auto url = CodexSessions::fileURL(imagePath.toString())) result.append(*url);
    }
    return result;
}

// The image records in the complete lines that one transcript gained since the
// last look, moving its progress past them.
QList<QUrl> newImagePaths(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    const qint64 size = std::max<qint64>(file.size(), 0);
    if (size > largestTranscript) return {}; // never read

    Progress progress = state().progress(path);
    if (size < progress.consumed) {
        progress = {}; // replaced or truncated: read it again from the start
    } else if (size < progress.scanned) {
        progress.scanned = progress.consumed; // the unfinished line was cut: look at it afresh
        progress.marked = false;
    }
    progress.scanned = std::max(progress.scanned, progress.consumed);
    if (progress.scanned >= size) return {}; // nothing new

    // Up to the size seen above: what is appended meanwhile waits for the next look.
    QList<QUrl> found;
    const qint64 overlap = marker.size() - 1; // a marker may straddle two reads
    while (progress.scanned < size) {
        const qint64 start = std::max(progress.consumed, progress.scanned - overlap);
        if (!file.seek(start)) break;
        const QByteArray data = file.read(std::min(blockSize, size - start));
        if (start + data.size() <= progress.scanned) break; // read failed or the file shrank
        QByteArrayView rest(data);

        if (progress.consumed < start) {
            // A line that began in an earlier block: does it end here?
            const qsizetype newline = nextNewline(rest);
            const QByteArrayView tail = newline < 0 ? rest : rest.first(newline);
            progress.marked = progress.marked || findMarker(tail) >= 0;
            if (newline < 0) {
                progress.scanned = start + data.size();
                continue;
            }
            if (progress.marked) {
                // Read again only a line that may be a record (at most the size rule's bytes).
                const qint64 end = start + newline;
                if (file.seek(progress.consumed)) found += imagePathsIn(file.read(end - progress.consumed));
            }
            progress.consumed = start + newline + 1;
            rest = rest.sliced(newline + 1);
        }

        const qsizetype last = lastNewline(rest, rest.size());
        if (last >= 0) {
            found += imagePathsIn(rest.first(last + 1));
            progress.consumed += last + 1;
            rest = rest.sliced(last + 1);
        }
        progress.marked = findMarker(rest) >= 0; // the start of the unfinished line, if any
        progress.scanned = start + data.size();
    }
    state().setProgress(path, progress);
    return found;
}
} // namespace

namespace CodexSessions {

QList<QUrl> recent() {
    if (auto urls = override().value()) return *urls;
    if (state().due(1.0)) ingest();
    return state().paths();
}

void prime() {
    QThreadPool::globalInstance()->start([] {
        if (state().due(0)) ingest();
    });
}

QList<QUrl> transcripts() {
    QStringList days;
    const QString sessions = folder().value();
    for (const QString& year :
         newest(sessions.isEmpty() ? QDir::homePath() + QLatin1String("/.codex/sessions") : sessions, 1))
        for (const QString& month : newest(year, 1))
            days += newest(month, 2);

    struct Dated {
        QString path;
        QDateTime modified;
    };
    QList<Dated> found;
    for (const QString& day : std::as_const(days)) {
        const QFileInfoList entries =
            QDir(day).entryInfoList(QDir::Files | QDir::NoDotAndDotDot, QDir::Unsorted);
        for (const QFileInfo& entry : entries) {
            if (entry.suffix() != QLatin1String("jsonl")) continue;
            found.append({entry.absoluteFilePath(), entry.lastModified()});
        }
    }
    // A missing date counts as the distant past.
    std::stable_sort(found.begin(), found.end(), [](const Dated& a, const Dated& b) {
        if (!b.modified.isValid()) return a.modified.isValid();
        return a.modified.isValid() && a.modified > b.modified;
    });

    QList<QUrl> urls;
    for (qsizetype i = 0; i < found.size() && i < transcriptLimit; ++i)
        urls.append(QUrl::fromLocalFile(found.at(i).path));
    return urls;
}

void ingest() {
    QList<QUrl> found;
    for (const QUrl& transcript : transcripts())
        found += newImagePaths(transcript.toLocalFile());
    state().remember(found, shownLimit);
}

QList<QUrl> imagePaths(const QByteArray& data) {
    return imagePathsIn(data);
}

std::optional<QUrl> fileURL(const QString& path) {
    QString local;
    if (path.startsWith(QLatin1String("file://"))) {
        const QUrl url(path);
        if (!url.isValid() || !url.isLocalFile()) return std::nullopt;
        // Another machine's file is not one we can show.
        if (!url.host().isEmpty() && url.host() != QLatin1String("localhost")) return std::nullopt;
        local = url.path(QUrl::FullyDecoded);
    } else if (path.startsWith(QLatin1Char('/'))) {
        local = path;
    } else {
        return std::nullopt;
    }
    if (!local.startsWith(QLatin1Char('/'))) return std::nullopt;
    return QUrl::fromLocalFile(QDir::cleanPath(local));
}

bool directoriesAgree(const QUrl& url, const QStringList& writtenFolders, bool exactly) {
    const QStringList actual = parentComponents(url);
    const qsizetype n = writtenFolders.size();
    if (actual.size() < n) return false;
    if (n == 0) return true;
    const qsizetype offset = actual.size() - n;
    for (qsizetype i = 0; i < n; ++i) {
        const QString& written = writtenFolders.at(i);
        const QString& real = actual.at(offset + i);
        if (written.compare(real, Qt::CaseInsensitive) == 0) continue;
        // The outermost written folder anchors the label: it is never repaired.
        if (exactly || i == 0) return false;
        const QString canonical = FuzzyPath::canonical(written);
        if (canonical.isEmpty()) return false;
        const int limit = std::clamp(int(canonical.size() / 3), 1, 6);
        if (FuzzyPath::editDistance(written, real) > limit) return false;
    }
    return true;
}

std::optional<QUrl> match(const QString& label) {
    const auto split = FuzzyPath::components(label);
    if (!split || split->components.isEmpty()) return std::nullopt;
    const QString written = split->components.last();
    const QStringList folders = split->components.first(split->components.size() - 1);

    const QList<QUrl> shown = recent();
    if (shown.isEmpty()) return std::nullopt;

    QStringList names;
    QSet<QString> seen;
    for (const QUrl& url : shown) {
        const QString name = lastComponent(url);
        if (seen.contains(name)) continue;
        seen.insert(name);
        names.append(name);
    }

    std::optional<QString> chosen;
    for (const QString& name : std::as_const(names)) {
        if (name.compare(written, Qt::CaseInsensitive) == 0) {
            chosen = name;
            break;
        }
    }
    if (!chosen) chosen = FuzzyPath::bestMatch(written, names, false);
    if (!chosen) return std::nullopt;

    for (const bool exactly : {true, false}) {
        for (const QUrl& url : shown) {
            if (lastComponent(url) != *chosen) continue;
            if (!directoriesAgree(url, folders, exactly)) continue;
            if (ImageReference::isExistingFile(url.toLocalFile())) return url;
        }
    }
    return std::nullopt;
}

void setOverride(const std::optional<QList<QUrl>>& urls) {
    override().set(urls);
}

void setSessionsFolder(const QString& path) {
    folder().set(path);
    state().reset();
}

} // namespace CodexSessions
