#pragma once

#include <QString>
#include <optional>

// "Open at Login" on a Linux desktop: an XDG autostart entry
// ($XDG_CONFIG_HOME/autostart/com.vistel.Vistel.desktop, ~/.config/... by default) that
// starts the program when the user logs in. Only an installed program has one:
// a program run from its build folder would leave an entry behind that points
// at a build.
class LoginItem {
  public:
    // The login item of the program at executablePath when that program is
    // installed, that is when the desktop entry that the installation puts beside
    // it exists (<prefix>/share/applications/com.vistel.Vistel.desktop for <prefix>/bin);
    // none otherwise.
    static std::optional<LoginItem> forInstalledProgram(const QString& executablePath);
    // The same for the running program.
    static std::optional<LoginItem> forRunningProgram();

    explicit LoginItem(QString executable) : executable_(std::move(executable)) {}
    const QString& executable() const { return executable_; }

    // Where the autostart entry lives; follows XDG_CONFIG_HOME when it is set.
    static QString entryPath();

    // An entry exists and the desktop has not been told to skip it.
    bool isEnabled() const;

    // Writes or removes the entry; the reason when that failed (nothing changed then).
    std::optional<QString> setEnabled(bool on) const;

    // The autostart entry's text for this executable; none when its path cannot
    // be written in a desktop entry (control characters).
    std::optional<QString> entryText() const;

    // One argument of an Exec line: double-quoted with the desktop entry's escapes.
    static QString quotedArgument(const QString& argument);

    // "Vistel: could not change the login item: <reason>" on standard error.
    static void reportFailure(const QString& reason);

  private:
    QString executable_;
};
