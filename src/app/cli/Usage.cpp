#include "app/cli/Usage.h"

#include "app/cli/CommandLine.h"
#include "app/cli/Modes.h"
#include "app/ui/DesktopActions.h"

#include <QSet>

#ifndef VISTEL_VERSION
#define VISTEL_VERSION ""
#endif

namespace Usage {

namespace {

const QSet<QString>& flags() {
    static const QSet<QString> set{"--check", "--codex", "--self-test", "--quit",
                                   "--debug", "--help",  "-h",          "--version"};
    return set;
}

// Options whose value is the next argument, whatever it says.
const QSet<QString>& valued() {
    static const QSet<QString> set{"--base", "--title", "--root", "--ignore"};
    return set;
}

bool isNumber(const QString& text) {
    bool ok = false;
    text.toDouble(&ok);
    return ok;
}

// "-x" and "--x" are options; "-7" is a (negative) number.
bool looksLikeOption(const QString& text) {
    return text.size() > 1 && text.startsWith(QLatin1Char('-')) && !isNumber(text);
}

QString quoted(const QString& text) {
    return QLatin1Char('"') + text + QLatin1Char('"');
}

} // namespace

Reading read(const QStringList& arguments) {
    bool help = false, version = false;
    const qsizetype count = arguments.size();
    const auto followsValue = [&](qsizetype i) {
        return i + 1 < count && !looksLikeOption(arguments.at(i + 1));
    };
    for (qsizetype i = 1; i < count; ++i) {
        const QString& argument = arguments.at(i);
        if (argument == QLatin1String("--resolve")) {
            if (i + 1 < count) ++i; // missing: the mode prints its own usage line
        } else if (argument == QLatin1String("--roots")) {
            if (followsValue(i)) ++i; // judged below, once the mode is known
        } else if (argument == QLatin1String("--probe")) {
            for (int taken = 0; taken < 2 && followsValue(i); ++taken)
                ++i;
        } else if (argument == QLatin1String("--open")) {
            QStringList request{argument};
            if (followsValue(i)) request.append(arguments.at(++i));
            const QString problem = DesktopActions::requested(request).problem;
            if (!problem.isEmpty()) return {Reading::Run, problem};
        } else if (valued().contains(argument)) {
            if (i + 1 >= count) return {Reading::Run, argument + QStringLiteral(" needs a value")};
            ++i;
        } else if (flags().contains(argument)) {
            help = help || argument == QLatin1String("--help") || argument == QLatin1String("-h");
            version = version || argument == QLatin1String("--version");
        } else if (looksLikeOption(argument)) {
            return {Reading::Run, QStringLiteral("unknown option ") + quoted(argument)};
        } else {
            return {Reading::Run, QStringLiteral("unexpected argument ") + quoted(argument)};
        }
    }
    if (help) return {Reading::Help, {}};
    if (version) return {Reading::Version, {}};
    // A malformed process id would otherwise fall through to starting the agent.
    if (arguments.contains(QStringLiteral("--roots")) && Modes::choose(arguments) == Modes::Mode::Agent) {
        const auto pid = CommandLine::valueAfter(arguments, QStringLiteral("--roots"));
        if (!pid || looksLikeOption(*pid))
            return {Reading::Run, QStringLiteral("--roots needs a process id")};
        return {Reading::Run,
                QStringLiteral("--roots needs a process id (a whole number), not ") + quoted(*pid)};
    }
    return {};
}

QString help(const QString& settingsFile) {
    return QStringLiteral(
               "Usage: VistelPrototype [--open ITEM] [--ignore APP]... [--debug]\n"
               "       VistelPrototype MODE [--debug]\n"
               "\n"
               "Without a mode, starts the agent: hold Alt and point at an image path to see the image.\n"
               "One agent runs per user and display; a plain start replaces it, --open asks it.\n"
               "\n"
               "Modes, tried in this order (the first given runs):\n"
               "  --check                  whether accessibility and screen reading are available\n"
               "  --codex                  the images that recent Codex sessions showed\n"
               "  --self-test              the built-in self-test\n"
               "  --roots PID              the working folders of a process's shells\n"
               "  --resolve REF [--base DIR] [--title TITLE] [--root DIR]...  resolve REF as the agent "
               "would\n"
               "  --probe [X Y]            read the screen at X Y (or where the pointer rests after 5 s)\n"
               "  --quit                   ask the agent running on this display to quit\n"
               "\n"
               "Options:\n"
               "  --open ITEM              settings, accessibility, screen-recording or login-item, in the\n"
               "                           running agent (or in a new one when none runs)\n"
               "  --ignore APP             never preview in APP (window class or executable name); "
               "repeatable\n"
               "  --debug                  print diagnostic lines\n"
               "  -h, --help               print this help\n"
               "  --version                print the version\n"
               "\n"
               "Settings: %1\n"
               "Exit status: 0 success, 1 nothing found or permission missing, 2 usage error.\n")
        .arg(settingsFile);
}

QString version() {
    return QStringLiteral("VistelPrototype " VISTEL_VERSION);
}

QString problemLine(const QString& problem) {
    return QStringLiteral("VistelPrototype: ") + problem + QStringLiteral(" (see VistelPrototype --help)");
}

} // namespace Usage
