#pragma once

#include "app/agent/ImageCache.h"
#include "core/BoundedCache.h"

#include <QImage>
#include <QObject>
#include <QString>
#include <QUrl>
#include <optional>

// Thumbnails of local files, decoded on a worker so that a large image never
// holds up the tick, the tray menu or the key's release. Cached by path,
// modification time, size and decode ceiling, so a file changed on disk (or a
// new card width) decodes again; failures are remembered under the same key,
// so a file that cannot be shown is not decoded again until it changes.
//
// At most one decode is waited for: asking for another file supersedes it, and
// its answer is dropped. Main thread only (the decoding runs on a worker).
class FileImages : public QObject {
    Q_OBJECT
  public:
    enum class Status { Decoded, Pending, Failed };

    explicit FileImages(QObject* parent = nullptr);

    // The cached thumbnail of a file URL; none when it is not decoded yet.
    std::optional<QImage> cached(const QUrl& url, int maxPixels) const;
    // Whether the file as it is now could not be decoded at this ceiling.
    bool failed(const QUrl& url, int maxPixels) const;

    // Starts decoding url on a worker unless it is the one being decoded.
    void fetch(const QUrl& url, int maxPixels);

    // The URL whose decoding is awaited; empty when none.
    QUrl pendingURL() const { return pending_; }
    // Drops the awaited decoding: its answer is not stored or announced.
    void forgetRequest() { pending_.clear(); }

    void clear();
    qsizetype size() const { return cache_.size(); }

    // path NUL mtime NUL size NUL ceiling, the time in seconds since 1970 in
    // its shortest round-trip form. Empty when the file cannot be examined.
    static QString key(const QString& path, double modified, qint64 size, int maxPixels);
    static QString keyOf(const QUrl& url, int maxPixels);

  signals:
    // The awaited image was decoded and stored.
    void arrived(const QUrl& url, const QImage& image);
    // The awaited image could not be decoded.
    void failedToDecode(const QUrl& url);

  private:
    void decoded(const QUrl& url, const QString& key, const std::optional<QImage>& image);

    ImageCache cache_;
    BoundedCache<QString, bool> failures_{ImageCache::kEmptiedAt}; // keys of files that would not decode
    QUrl pending_;
    QString pendingKey_;
};
