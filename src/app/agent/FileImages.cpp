#include "app/agent/FileImages.h"

#include "app/agent/Thumbnails.h"

#include <QFile>
#include <QLocale>
#include <sys/stat.h>

namespace {

struct Attributes {
    double modified = 0; // seconds since 1970, with the nanoseconds the file system keeps
    qint64 size = 0;
};

std::optional<Attributes> attributes(const QString& path) {
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0) return std::nullopt;
    return Attributes{double(info.st_mtim.tv_sec) + double(info.st_mtim.tv_nsec) / 1e9, qint64(info.st_size)};
}

} // namespace

QString FileImages::key(const QString& path, double modified, qint64 size, int maxPixels) {
    const QChar nul(u'\0');
    return path + nul + QString::number(modified, 'g', QLocale::FloatingPointShortest) + nul +
           QString::number(size) + nul + QString::number(maxPixels);
}

std::optional<QImage> FileImages::image(const QUrl& url, int maxPixels) {
    const QString path = url.toLocalFile();
    const auto attrs = attributes(path);
    if (!attrs) return Thumbnails::ofFile(path, maxPixels);

    const QString k = key(path, attrs->modified, attrs->size, maxPixels);
    if (auto cached = cache_.value(k)) return cached;
    auto image = Thumbnails::ofFile(path, maxPixels);
    if (!image) return std::nullopt;
    cache_.store(k, *image);
    return image;
}
