#include "app/ui/LoginItem.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <cstdio>

namespace {

// Where the installation puts the desktop entry, relative to the folder of the
// executable (set by the build from the install directories).
#ifndef VISTEL_DATA_FROM_BIN
#define VISTEL_DATA_FROM_BIN "../share"
#endif

const QLatin1String kEntryName("com.vistel.Vistel.desktop");

bool hasControlCharacters(const QString& text) {
    for (const QChar c : text)
        if (c.unicode() < 0x20 || c.unicode() == 0x7f) return true;
    return false;
}

// Whether an entry's text tells the desktop to skip it at login.
bool skipped(const QByteArray& text) {
    for (const QByteArray& raw : text.split('\n')) {
        const QByteArray line = raw.trimmed();
        if (line == "Hidden=true" || line == "X-GNOME-Autostart-enabled=false") return true;
    }
    return false;
}

} // namespace

std::optional<LoginItem> LoginItem::forInstalledProgram(const QString& executablePath) {
    if (executablePath.isEmpty()) return std::nullopt;
    const QFileInfo executable(executablePath);
    const QString entry =
        QDir::cleanPath(executable.absolutePath() + QLatin1Char('/') + QLatin1String(VISTEL_DATA_FROM_BIN) +
                        QLatin1String("/applications/") + kEntryName);
    if (!QFileInfo(entry).isFile()) return std::nullopt;
    return LoginItem(executable.absoluteFilePath());
}

std::optional<LoginItem> LoginItem::forRunningProgram() {
    return forInstalledProgram(QCoreApplication::applicationFilePath());
}

QString LoginItem::entryPath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QLatin1String("/autostart/") + kEntryName;
}

bool LoginItem::isEnabled() const {
    QFile file(entryPath());
    if (!file.open(QIODevice::ReadOnly)) return false;
    return !skipped(file.read(64 * 1024));
}

QString LoginItem::quotedArgument(const QString& argument) {
    QString quoted;
    quoted.reserve(argument.size() + 2);
    quoted += QLatin1Char('"');
    for (const QChar c : argument) {
        // Inside quotes these four are escaped with a backslash; a literal
        // percent sign is doubled so it is not read as a field code.
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') || c == QLatin1Char('\\'))
            quoted += QLatin1Char('\\');
        if (c == QLatin1Char('%')) quoted += QLatin1Char('%');
        quoted += c;
    }
    quoted += QLatin1Char('"');
    // The Exec value is itself a string value, whose backslashes are escaped again.
    quoted.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    return quoted;
}

std::optional<QString> LoginItem::entryText() const {
    if (executable_.isEmpty() || hasControlCharacters(executable_)) return std::nullopt;
    return QStringLiteral("[Desktop Entry]\n"
                          "Type=Application\n"
                          "Name=Vistel\n"
                          "Comment=Hold a key and point at an image path to see the image\n"
                          "Exec=%1\n"
                          "Icon=com.vistel.Vistel\n"
                          "Terminal=false\n"
                          "X-GNOME-Autostart-enabled=true\n")
        .arg(quotedArgument(executable_));
}

std::optional<QString> LoginItem::setEnabled(bool on) const {
    const QString path = entryPath();
    if (!on) {
        QFile file(path);
        if (!file.exists() || file.remove()) return std::nullopt;
        return file.errorString();
    }
    const std::optional<QString> text = entryText();
    if (!text) return QStringLiteral("the program's path cannot be written in a desktop entry");
    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder)) return QStringLiteral("cannot create the folder ") + folder;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return file.errorString();
    file.write(text->toUtf8());
    if (!file.commit()) return file.errorString();
    return std::nullopt;
}

void LoginItem::reportFailure(const QString& reason) {
    const QByteArray line = "Vistel: could not change the login item: " + reason.toLocal8Bit() + '\n';
    std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
    std::fflush(stderr);
}
