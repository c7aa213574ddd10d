#include "app/selftest/SelfTestSupport.h"

#include "core/CodexSessions.h"
#include "core/ImageReference.h"
#include "core/ProjectIndex.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QPainter>
#include <cmath>
#include <sys/stat.h>
#include <unistd.h>

namespace SelfTest {

namespace {

// A path that is a link is removed as a link: removing "recursively" through
// it would empty whatever folder it points at.
bool removeTree(const QString& path) {
    const QFileInfo info(path);
    if (info.isSymLink()) return QFile::remove(path);
    if (!info.exists()) return true;
    if (!info.isDir()) return QFile::remove(path);
    return QDir(path).removeRecursively();
}

QFont stripFont() {
    QFont font(QStringLiteral("DejaVu Sans Mono"));
    if (QFontInfo(font).family() != QStringLiteral("DejaVu Sans Mono"))
        font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setWeight(QFont::Normal);
    font.setPixelSize(int(std::lround(kPointSize * kScale)));
    font.setHintingPreference(QFont::PreferNoHinting);
    return font;
}

std::optional<Rendered> draw(const QStringList& rows, QRectF strip, double x,
                             const std::function<double(const QFontMetricsF&)>& firstBaseline) {
    Rendered out;
    out.strip = strip;
    out.rows = rows;
    out.image = QImage(int(std::lround(strip.width() * kScale)), int(std::lround(strip.height() * kScale)),
                       QImage::Format_RGB32);
    if (out.image.isNull()) return std::nullopt;
    out.image.fill(Qt::white);
    const QFont font = stripFont();
    const QFontMetricsF metrics(font);
    QPainter painter(&out.image);
    if (!painter.isActive()) return std::nullopt;
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setFont(font);
    painter.setPen(Qt::black);
    const double baseline = firstBaseline(metrics); // points below the strip's top
    const double ascent = metrics.ascent() / kScale;
    const double height = (metrics.ascent() + metrics.descent()) / kScale;
    for (qsizetype i = 0; i < rows.size(); ++i) {
        const double y = baseline + double(i) * kRowHeight;
        painter.drawText(QPointF(x * kScale, y * kScale), rows.at(i));
        const double width = metrics.horizontalAdvance(rows.at(i)) / kScale;
        out.boxes.append(QRectF(strip.left() + x, strip.top() + y - ascent, width, height));
    }
    return out;
}

} // namespace

// ---- Fixtures ---------------------------------------------------------------

QString fixtureParent() {
    const QString parent = QDir::tempPath() + QStringLiteral("/vistel-%1").arg(getuid());
    QDir().mkpath(parent);
    // Ours alone, and a real folder: a link or someone else's folder is not used.
    struct stat status {};
    if (lstat(QFile::encodeName(parent).constData(), &status) != 0 || !S_ISDIR(status.st_mode) ||
        status.st_uid != getuid())
        return QString();
    if ((status.st_mode & 077) != 0 && chmod(QFile::encodeName(parent).constData(), 0700) != 0)
        return QString();
    return QFileInfo(parent).canonicalFilePath();
}

Fixture::Fixture(const QString& name) {
    const QString parent = fixtureParent();
    // One plain folder name: "." or ".." would name the parent itself, which
    // is removed below before it is made anew.
    if (parent.isEmpty() || name.isEmpty() || name.contains(QLatin1Char('/')) || name == QLatin1String(".") ||
        name == QLatin1String(".."))
        return;
    const QString folder = parent + QLatin1Char('/') + name;
    if (!removeTree(folder) || !QDir().mkpath(folder)) return;
    root_ = QFileInfo(folder).canonicalFilePath();
}

Fixture::~Fixture() {
    if (!root_.isEmpty()) removeTree(root_);
}

QString Fixture::path(const QString& relative) const {
    return relative.isEmpty() ? root_ : root_ + QLatin1Char('/') + relative;
}

QUrl Fixture::file(const QString& relative) const {
    return QUrl::fromLocalFile(path(relative));
}

QUrl Fixture::folder(const QString& relative) const {
    return QUrl::fromLocalFile(path(relative) + QLatin1Char('/'));
}

bool Fixture::write(const QString& relative, const QByteArray& contents) const {
    if (!ready()) return false;
    const QString target = path(relative);
    if (!QDir().mkpath(QFileInfo(target).path())) return false;
    QFile file(target);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(contents) == contents.size();
}

bool Fixture::image(const QString& relative) const {
    const QByteArray png = onePixelPNG();
    return !png.isEmpty() && write(relative, png);
}

bool Fixture::images(const QStringList& relatives) const {
    for (const QString& relative : relatives) {
        if (!image(relative)) return false;
    }
    return true;
}

bool Fixture::makeFolder(const QString& relative) const {
    return ready() && QDir().mkpath(path(relative));
}

QByteArray onePixelPNG() {
    QImage pixel(1, 1, QImage::Format_RGB32);
    if (pixel.isNull()) return {};
    pixel.fill(Qt::black);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    if (!buffer.open(QIODevice::WriteOnly) || !pixel.save(&buffer, "PNG")) return {};
    return bytes;
}

QString shown(const std::optional<QUrl>& url) {
    if (!url) return QStringLiteral("-");
    return url->isLocalFile() ? url->toLocalFile() : url->toString();
}

QString tail(const std::optional<QUrl>& url, int n) {
    if (!url) return QStringLiteral("nothing");
    const QStringList parts = shown(url).split(QLatin1Char('/'), Qt::SkipEmptyParts);
    return parts.mid(std::max<qsizetype>(0, parts.size() - n)).join(QLatin1Char('/'));
}

// ---- Rendered strips --------------------------------------------------------

double textWidth(const QString& text) {
    return QFontMetricsF(stripFont()).horizontalAdvance(text) / kScale;
}

std::optional<Rendered> render(const QString& text, QRectF strip, double x) {
    return draw({text}, strip, x,
                [&](const QFontMetricsF& m) { return strip.height() - 7.0 - m.descent() / kScale; });
}

std::optional<Rendered> render(const QStringList& rows, QRectF strip, double x, double firstTop) {
    return draw(rows, strip, x, [&](const QFontMetricsF& m) { return firstTop + m.ascent() / kScale; });
}

QPointF pointerOn(const Rendered& rendered, int row, const QString& over, int offset, double shift) {
    if (row < 0 || row >= rendered.rows.size()) return {};
    const QString& text = rendered.rows.at(row);
    const qsizetype at = std::max<qsizetype>(0, text.indexOf(over));
    const qsizetype character = at + (offset >= 0 ? offset : over.size() / 2);
    const QRectF box = rendered.boxes.at(row);
    const double x = box.left() + textWidth(text.left(character)) + textWidth(text.mid(character, 1)) / 2;
    return QPointF(x + shift, box.center().y());
}

// ---- Scopes -----------------------------------------------------------------

ResolverScope::ResolverScope(double missLifetime) {
    ImageReference::Memo::clear();
    ProjectIndex::clearCaches();
    ImageReference::MissLifetime::set(missLifetime);
}

ResolverScope::~ResolverScope() {
    ImageReference::Memo::clear();
    ProjectIndex::clearCaches();
    ImageReference::MissLifetime::set(2.0);
}

SessionsScope::SessionsScope() {
    CodexSessions::setOverride(QList<QUrl>{});
}

SessionsScope::~SessionsScope() {
    CodexSessions::setOverride(QList<QUrl>{});
    CodexSessions::setSessionsFolder(QString());
}

} // namespace SelfTest
