#pragma once

#include <QHash>
#include <QImage>
#include <QString>
#include <optional>

// Decoded preview images by key, bounded by emptying: an insertion into a
// cache that already holds 33 entries first empties it completely. Main
// thread only.
class ImageCache {
  public:
    static constexpr qsizetype kEmptiedAt = 33;

    std::optional<QImage> value(const QString& key) const;
    void store(const QString& key, const QImage& image);
    void clear() { images_.clear(); }
    qsizetype size() const { return images_.size(); }

  private:
    QHash<QString, QImage> images_;
};
