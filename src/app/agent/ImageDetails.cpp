#include "app/agent/ImageDetails.h"

#include <QFontMetricsF>
#include <array>
#include <cmath>

namespace ImageDetails {

namespace {

const QString kSourceSizeKey = QStringLiteral("vistel-source-size");
const QString kFileBytesKey = QStringLiteral("vistel-file-size");
const QString kSeparator = QStringLiteral(" · ");

} // namespace

void setSourceSize(QImage& thumbnail, QSize size) {
    thumbnail.setText(kSourceSizeKey, QStringLiteral("%1x%2").arg(size.width()).arg(size.height()));
}

QSize sourceSize(const QImage& thumbnail) {
    const QStringList parts = thumbnail.text(kSourceSizeKey).split(QLatin1Char('x'));
    if (parts.size() != 2) return {};
    bool wide = false, high = false;
    const QSize size(parts[0].toInt(&wide), parts[1].toInt(&high));
    return wide && high && !size.isEmpty() ? size : QSize();
}

void setFileBytes(QImage& thumbnail, qint64 bytes) {
    thumbnail.setText(kFileBytesKey, QString::number(bytes));
}

std::optional<qint64> fileBytes(const QImage& thumbnail) {
    bool number = false;
    const qint64 bytes = thumbnail.text(kFileBytesKey).toLongLong(&number);
    if (!number || bytes < 0) return std::nullopt;
    return bytes;
}

QString fileSize(qint64 bytes) {
    if (bytes < 0) return {};
    if (bytes == 1) return QStringLiteral("1 byte");
    if (bytes < 1000) return QString::number(bytes) + QStringLiteral(" bytes");
    static const std::array<const char*, 5> units = {"KB", "MB", "GB", "TB", "PB"};
    double value = double(bytes);
    for (const char* unit : units) {
        value /= 1000;
        // Decided on the figure as printed, so 999 999 bytes is "1.0 MB", not "1000 KB".
        if (value < 9.95) return QString::number(value, 'f', 1) + QLatin1Char(' ') + QLatin1String(unit);
        if (std::round(value) < 1000 || unit == units.back())
            return QString::number(qint64(std::round(value))) + QLatin1Char(' ') + QLatin1String(unit);
    }
    return {};
}

QString text(QSize pixels, std::optional<qint64> bytes) {
    QStringList parts;
    if (pixels.isValid() && !pixels.isEmpty())
        parts.append(QStringLiteral("%1 × %2").arg(pixels.width()).arg(pixels.height()));
    if (bytes && *bytes >= 0) parts.append(fileSize(*bytes));
    return parts.join(kSeparator);
}

QString of(const QImage& thumbnail) {
    return text(sourceSize(thumbnail), fileBytes(thumbnail));
}

QString caption(const QString& name, const QString& details, const QFontMetricsF& metrics, double width) {
    if (details.isEmpty()) return metrics.elidedText(name, Qt::ElideMiddle, width);
    const QString whole = metrics.elidedText(details, Qt::ElideRight, width);
    if (name.isEmpty()) return whole;
    const QString tail = kSeparator + details;
    const QString shortName =
        metrics.elidedText(name, Qt::ElideMiddle, width - metrics.horizontalAdvance(tail));
    // A lone ellipsis says nothing of the name.
    if (shortName.size() < 2) return whole;
    return shortName + tail;
}

} // namespace ImageDetails
