#include "app/agent/ImageCache.h"

std::optional<QImage> ImageCache::value(const QString& key) const {
    const auto found = images_.constFind(key);
    if (found == images_.constEnd()) return std::nullopt;
    return *found;
}

void ImageCache::store(const QString& key, const QImage& image) {
    if (images_.size() >= kEmptiedAt) images_.clear();
    images_.insert(key, image);
}
