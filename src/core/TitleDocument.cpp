#include "core/TitleDocument.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

namespace TitleDocument {

namespace {

// A path starts at the title's start or after one of these (or an unsaved-change marker).
bool opensPath(QChar before) {
    return before.isSpace() || QStringLiteral("([{\"'«“*●•").contains(before);
}

// A path may end before one of these, or at the end of the title.
bool closesPath(QChar after) {
    return after.isSpace() || QStringLiteral(")]}\"'»”").contains(after);
}

QString expandHome(const QString& path) {
    if (path.startsWith(QLatin1String("~/"))) return QDir::homePath() + path.mid(1);
    return path;
}

class Tester {
  public:
    // The path when it names an existing file; counts against the limit.
    QString existing(const QString& written) {
        if (tests_ >= kMostTests) return {};
        ++tests_;
        const QString path = QDir::cleanPath(expandHome(written));
        if (!QDir::isAbsolutePath(path)) return {};
        const QFileInfo info(path);
        return info.isFile() ? info.absoluteFilePath() : QString();
    }
    bool spent() const { return tests_ >= kMostTests; }

  private:
    int tests_ = 0;
};

// "*notes.txt (~/fx) - gedit": the name before a parenthesised folder.
QString nameWithFolder(const QString& title, Tester& tester) {
    static const QRegularExpression form(QStringLiteral(R"(^[*●•]?\s*([^/()]+?) \((~?/[^()]*)\))"));
    const QRegularExpressionMatch m = form.match(title);
    if (!m.hasMatch()) return {};
    return tester.existing(m.captured(2) + QLatin1Char('/') + m.captured(1));
}

} // namespace

QString documentPath(const QString& title) {
    if (title.isEmpty() || title.size() > kLongestTitle) return {};
    Tester tester;
    if (QString path = nameWithFolder(title, tester); !path.isEmpty()) return path;

    for (qsizetype start = 0; start < title.size() && !tester.spent(); ++start) {
        const bool absolute = title.at(start) == QLatin1Char('/');
        const bool home = title.mid(start, 2) == QLatin1String("~/");
        if (!(absolute || home) || (start > 0 && !opensPath(title.at(start - 1)))) continue;
        // The longest reading first: a path may hold blanks.
        for (qsizetype end = title.size(); end > start + 1 && !tester.spent(); --end) {
            if (end < title.size() && !closesPath(title.at(end))) continue;
            if (QString path = tester.existing(title.mid(start, end - start)); !path.isEmpty()) return path;
        }
    }
    return {};
}

QUrl documentDirectory(const QString& title) {
    const QString path = documentPath(title);
    if (path.isEmpty()) return {};
    return QUrl::fromLocalFile(QFileInfo(path).absolutePath() + QLatin1Char('/'));
}

} // namespace TitleDocument
