#pragma once

#include "core/BoundedCache.h"

#include <QImage>
#include <QString>

// Decoded preview images by key, bounded by emptying: an insertion into a
// cache that already holds 33 entries first empties it completely. Safe to
// share between the thread that decodes and the one that shows.
class ImageCache : public BoundedCache<QString, QImage> {
  public:
    static constexpr qsizetype kEmptiedAt = 33;

    ImageCache() : BoundedCache(kEmptiedAt) {}
};
