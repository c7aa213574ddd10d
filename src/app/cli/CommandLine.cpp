#include "app/cli/CommandLine.h"

#include <QDir>
#include <QFileInfo>
#include <cmath>
#include <limits>

namespace CommandLine {

std::optional<QString> valueAfter(const QStringList& arguments, const QString& flag) {
    const qsizetype at = arguments.indexOf(flag);
    if (at < 0 || at + 1 >= arguments.size()) return std::nullopt;
    return arguments.at(at + 1);
}

QUrl directoryURL(const QString& path) {
    QString absolute = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    if (!absolute.endsWith(QLatin1Char('/'))) absolute += QLatin1Char('/');
    return QUrl::fromLocalFile(absolute);
}

QList<QUrl> values(const QStringList& arguments, const QString& flag) {
    QList<QUrl> result;
    for (qsizetype i = 0; i + 1 < arguments.size(); ++i) {
        if (arguments.at(i) == flag) result.append(directoryURL(arguments.at(i + 1)));
    }
    return result;
}

std::optional<qint32> processIdentifier(const QString& text) {
    qsizetype i = 0;
    bool negative = false;
    if (i < text.size() && (text.at(i) == QLatin1Char('+') || text.at(i) == QLatin1Char('-'))) {
        negative = text.at(i) == QLatin1Char('-');
        ++i;
    }
    if (i == text.size()) return std::nullopt;
    // Accumulate as a negative number so that the minimum value parses too.
    qint64 value = 0;
    for (; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) return std::nullopt;
        value = value * 10 - (c.unicode() - '0');
        if (value < std::numeric_limits<qint32>::min()) return std::nullopt;
    }
    if (!negative) {
        if (-value > std::numeric_limits<qint32>::max()) return std::nullopt;
        value = -value;
    }
    return static_cast<qint32>(value);
}

QList<double> probeNumbers(const QStringList& arguments) {
    QList<double> numbers;
    const qsizetype at = arguments.indexOf(QStringLiteral("--probe"));
    if (at < 0) return numbers;
    for (qsizetype i = at + 1; i < arguments.size() && i <= at + 2; ++i) {
        const QString& text = arguments.at(i);
        // Whole-argument parse: Qt would otherwise forgive surrounding blanks.
        if (text.isEmpty() || text.trimmed() != text) continue;
        bool ok = false;
        const double value = text.toDouble(&ok);
        if (ok && std::isfinite(value)) numbers.append(value);
    }
    return numbers;
}

} // namespace CommandLine
