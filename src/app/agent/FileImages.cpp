#include "app/agent/FileImages.h"

#include "app/agent/Thumbnails.h"
#include "app/agent/Workers.h"

#include <QFile>
#include <QFutureWatcher>
#include <QLocale>
#include <QtConcurrent/QtConcurrentRun>
#include <sys/stat.h>

QString FileImages::key(const QString& path, double modified, qint64 size, int maxPixels) {
    const QChar nul(u'\0');
    return path + nul + QString::number(modified, 'g', QLocale::FloatingPointShortest) + nul +
           QString::number(size) + nul + QString::number(maxPixels);
}

QString FileImages::keyOf(const QUrl& url, int maxPixels) {
    const QString path = url.toLocalFile();
    // stat(2) never opens the file, so a FIFO or a device cannot block it.
    struct stat info {};
    if (path.isEmpty() || ::stat(QFile::encodeName(path).constData(), &info) != 0) return {};
    const double modified = double(info.st_mtim.tv_sec) + double(info.st_mtim.tv_nsec) / 1e9;
    return key(path, modified, qint64(info.st_size), maxPixels);
}

FileImages::FileImages(QObject* parent) : QObject(parent) {}

std::optional<QImage> FileImages::cached(const QUrl& url, int maxPixels) const {
    const QString k = keyOf(url, maxPixels);
    if (k.isEmpty()) return std::nullopt;
    return cache_.value(k);
}

bool FileImages::failed(const QUrl& url, int maxPixels) const {
    const QString k = keyOf(url, maxPixels);
    return k.isEmpty() || failures_.contains(k);
}

void FileImages::fetch(const QUrl& url, int maxPixels) {
    const QString k = keyOf(url, maxPixels);
    if (url == pending_ && k == pendingKey_) return; // already on its way
    pending_ = url;
    pendingKey_ = k;
    auto* watcher = new QFutureWatcher<std::optional<QImage>>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, url, k] {
        watcher->deleteLater();
        decoded(url, k, watcher->result());
    });
    const QString path = url.toLocalFile();
    watcher->setFuture(QtConcurrent::run(Workers::loading(),
                                         [path, maxPixels] { return Thumbnails::ofFile(path, maxPixels); }));
}

void FileImages::decoded(const QUrl& url, const QString& key, const std::optional<QImage>& image) {
    // Stored whoever waits for it: the same file hovered again is then at hand.
    if (!key.isEmpty()) {
        if (image) {
            cache_.store(key, *image);
        } else {
            failures_.store(key, true);
        }
    }
    if (url != pending_ || key != pendingKey_) return; // superseded or forgotten
    pending_.clear();
    pendingKey_.clear();
    if (image) {
        emit arrived(url, *image);
    } else {
        emit failedToDecode(url);
    }
}

void FileImages::clear() {
    cache_.clear();
    failures_.clear();
    pending_.clear();
    pendingKey_.clear();
}
