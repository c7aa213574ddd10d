#pragma once

#include "app/agent/ImageCache.h"

#include <QImage>
#include <QString>
#include <QUrl>
#include <optional>

// Thumbnails of local files, cached by path, modification time, size and
// decode ceiling, so a file changed on disk (or a new card width) decodes
// again. Failures are not cached. Main thread only.
class FileImages {
  public:
    // The cached thumbnail of a file URL, else a fresh one.
    std::optional<QImage> image(const QUrl& url, int maxPixels);

    void clear() { cache_.clear(); }
    qsizetype size() const { return cache_.size(); }

    // path NUL mtime NUL size NUL ceiling, the time in seconds since 1970 in
    // its shortest round-trip form.
    static QString key(const QString& path, double modified, qint64 size, int maxPixels);

  private:
    ImageCache cache_;
};
