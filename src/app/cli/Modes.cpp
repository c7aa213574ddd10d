#include "app/cli/Modes.h"

#include "app/agent/AgentChannel.h"
#include "app/agent/DesktopChoice.h"
#include "app/cli/AppHosted.h"
#include "app/cli/CommandLine.h"
#include "app/cli/Probe.h"
#include "app/selftest/SelfTest.h"
#include "core/CodexSessions.h"
#include "core/Diagnostics.h"
#include "core/ImageReference.h"
#include "core/ProcessRoots.h"
#include "core/WindowAffinity.h"
#include "platform/Desktop.h"
#include "platform/Session.h"
#include "platform/atspi/AtspiAccessibilityReader.h"
#include "platform/proc/ProcProcessSource.h"

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QPointF>
#include <QSystemTrayIcon>
#include <chrono>
#include <thread>

namespace {

using Diagnostics::print;

QString ms(const QElapsedTimer& timer) {
    return QString::number(static_cast<double>(timer.nsecsElapsed()) / 1e6, 'f', 0);
}

// A path as people read it: no trailing slash except on "/" itself.
QString displayPath(const QUrl& url) {
    QString path = url.isLocalFile() ? url.toLocalFile() : url.path();
    while (path.size() > 1 && path.endsWith(QLatin1Char('/')))
        path.chop(1);
    return path;
}

QString joinedPaths(const QList<QUrl>& urls) {
    QStringList paths;
    for (const QUrl& url : urls)
        paths.append(displayPath(url));
    return paths.join(QLatin1Char(' '));
}

QString grantedOrMissing(bool granted) {
    return granted ? QStringLiteral("granted") : QStringLiteral("MISSING");
}

// With --debug: which application windows publish on the accessibility bus,
// and what to do for those that do not.
void printBusMembership(platform::Desktop& desktop) {
    AtspiAccessibilityReader reader(desktop);
    const std::optional<QSet<qint32>> publishing = reader.publishingProcesses();
    if (!publishing) {
        print(QStringLiteral("\naccessibility bus: cannot be reached"));
        return;
    }
    print(QStringLiteral("\napplication windows and the accessibility bus:"));
    QSet<qint32> seen;
    bool absent = false;
    for (const platform::WindowInfo& window : desktop.applicationWindows()) {
        if (window.pid <= 0 || seen.contains(window.pid)) continue;
        seen.insert(window.pid);
        const bool on = publishing->contains(window.pid);
        absent = absent || !on;
        print((on ? QStringLiteral("  on the bus:     ") : QStringLiteral("  not on the bus: ")) +
              (window.className.isEmpty() ? QStringLiteral("?") : window.className) +
              QStringLiteral(" (pid %1) \"%2\"").arg(window.pid).arg(window.title));
    }
    if (seen.isEmpty()) print(QStringLiteral("  no application windows"));
    if (absent) {
        print(QStringLiteral(
            "Applications not on the bus are read from the screen. One started before accessibility was "
            "switched on joins once restarted. Qt 5 applications (Konsole, for one) do not follow this "
            "switch; starting them with QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 may make them publish. Terminals "
            "that publish no text (xterm, urxvt) are always read from the screen."));
    }
}

} // namespace

namespace Modes {

Mode choose(const QStringList& arguments) {
    if (arguments.contains(QStringLiteral("--check"))) return Mode::Check;
    if (arguments.contains(QStringLiteral("--codex"))) return Mode::Codex;
    if (arguments.contains(QStringLiteral("--self-test"))) return Mode::SelfTest;
    if (const auto pid = CommandLine::valueAfter(arguments, QStringLiteral("--roots"))) {
        if (CommandLine::processIdentifier(*pid)) return Mode::Roots;
    }
    if (arguments.contains(QStringLiteral("--resolve"))) return Mode::Resolve;
    if (arguments.contains(QStringLiteral("--probe"))) return Mode::Probe;
    if (arguments.contains(QStringLiteral("--quit"))) return Mode::Quit;
    return Mode::Agent;
}

void printDebugHeader(const QStringList& arguments) {
    const auto desktop = DesktopChoice::openDesktop();
    const auto yesNo = [](bool b) { return b ? QStringLiteral("true") : QStringLiteral("false"); };
    print(QStringLiteral("args: ") + arguments.join(QLatin1Char(' ')));
    print(QStringLiteral("accessibility trusted: ") + yesNo(desktop->accessibilityEnabled()));
    print(QStringLiteral("screen reading:        ") + yesNo(desktop->canReadScreen()));
    print(QStringLiteral("starting app..."));
}

int check() {
    const platform::Session session = platform::currentSession();
    // In a GNOME Wayland session only the Shell extension can serve the agent.
    const bool shell = DesktopChoice::viaShellExtension(session);
    DesktopChoice::Shell opened;
    if (shell) opened = DesktopChoice::openShell();
    const auto desktop = shell ? (opened.desktop ? std::move(opened.desktop) : platform::nullDesktop())
                               : platform::openDesktop();
    const bool accessibility = desktop->accessibilityEnabled();
    const bool screen = desktop->canReadScreen();
    // Asked as the agent's tray icon asks; without a display there is no tray to ask.
    const bool display = qobject_cast<QApplication*>(QCoreApplication::instance());
    const bool tray = display && QSystemTrayIcon::isSystemTrayAvailable();
    print(QStringLiteral("accessibility:    ") + grantedOrMissing(accessibility));
    print(QStringLiteral("screen reading:   ") + grantedOrMissing(screen) +
          (screen && session.wayland && !shell ? QStringLiteral(" (X11 windows only)") : QString()));
    print(QStringLiteral("tray:             ") +
          (tray      ? QStringLiteral("available")
           : display ? QStringLiteral("none (nothing on this desktop shows tray icons; open the settings "
                                      "with `VistelPrototype --open settings`)")
                     : QStringLiteral("none (no display)")));
    print(QStringLiteral("session:          ") + session.description() +
          (session.gnome ? QStringLiteral(", GNOME") : QString()));
    if (shell)
        print(QStringLiteral("shell extension:  ") + platform::ShellExtension::describe(opened.status));
    if (shell && opened.status != platform::ShellExtension::Status::Answering) {
        print(QLatin1Char('\n') + platform::ShellExtension::explanation(opened.status));
    } else if (!screen) {
        print(QStringLiteral(
                  "\nWithout screen reading, applications that paint their own text — VS Code, Cursor, "
                  "anything Electron — cannot be previewed at all. %1")
                  .arg(session.wayland && !session.x11Display
                           ? QStringLiteral("This Wayland session gives Vistel no X11 display to read: log "
                                            "in to an X11 (Xorg) session of your desktop and run this "
                                            "command there. Wayland support is planned.")
                           : QStringLiteral("The screen can be read only inside an X11 session: run this "
                                            "command from a terminal of an X11 desktop (DISPLAY must name "
                                            "it).")));
    }
    if (!accessibility) {
        print(QStringLiteral(
            "\nAccessibility is off: switch it on with `gsettings set org.gnome.desktop.interface "
            "toolkit-accessibility true` (the agent does so itself when it starts; at-spi2-core "
            "must be installed), then restart the applications you want to read."));
    }
    if (accessibility && Diagnostics::verbose()) printBusMembership(*desktop);
    return accessibility && screen ? 0 : 1;
}

int codex() {
    QElapsedTimer timer;
    timer.start();
    const QList<QUrl> shown = CodexSessions::recent();
    print(QStringLiteral("%1 image(s) shown recently, in %2 ms").arg(shown.size()).arg(ms(timer)));
    for (qsizetype i = 0; i < shown.size() && i < 12; ++i) {
        const QString path = shown.at(i).toLocalFile();
        const bool exists = QFileInfo::exists(path);
        print(QStringLiteral("  ") + (exists ? QStringLiteral("ok ") : QStringLiteral("gone")) +
              QLatin1Char(' ') + path);
    }
    return shown.isEmpty() ? 1 : 0;
}

int selfTest() {
    return SelfTest::run();
}

int roots(qint32 pid) {
    QElapsedTimer timer;
    timer.start();
    const QList<QUrl> found = ProcessRoots::rootsFor(pid, ProcProcessSource{});
    print(QStringLiteral("pid %1 -> %2 root(s) in %3 ms").arg(pid).arg(found.size()).arg(ms(timer)));
    for (const QUrl& root : found)
        print(QStringLiteral("  ") + displayPath(root));
    return found.isEmpty() ? 1 : 0;
}

int resolve(const QStringList& arguments) {
    const auto reference = CommandLine::valueAfter(arguments, QStringLiteral("--resolve"));
    if (!reference) {
        print(QStringLiteral("usage: VistelPrototype --resolve <reference> [--base <dir>] "
                             "[--title <window title>] [--root <dir>]..."));
        return 2;
    }
    const QList<QUrl> bases = CommandLine::values(arguments, QStringLiteral("--base"));
    const QUrl base = bases.isEmpty() ? QUrl() : bases.first();
    const auto title = CommandLine::valueAfter(arguments, QStringLiteral("--title"));
    const QList<QUrl> roots = CommandLine::values(arguments, QStringLiteral("--root"));
    // Run where the user works: the current folder stands in for a missing base.
    const ResolutionContext context{base, WindowAffinity::order(roots, base, title), true};

    print(QStringLiteral("reference: ") + *reference);
    print(QStringLiteral("base:   ") + (base.isEmpty() ? QStringLiteral("-") : displayPath(base)));
    print(QStringLiteral("window: ") + title.value_or(QStringLiteral("-")));
    print(QStringLiteral("roots:  ") + joinedPaths(context.roots));

    const auto strictMatches = ImageReference::collect(ImageReference::strict(), *reference);
    const auto looseMatches = ImageReference::collect(ImageReference::loose(), *reference);
    const QString strictMatch = strictMatches.isEmpty() ? QString() : strictMatches.first().reference;
    const QString looseMatch = looseMatches.isEmpty() ? QString() : looseMatches.first().reference;
    // The loose pattern may take a URL's tail without its scheme ("/user:pw@host/a.png"),
    // which no longer looks like a URL: its password goes by what the URL said.
    QString looseShown = looseMatch;
    const QString password = QUrl(strictMatch).password(QUrl::FullyEncoded);
    if (!password.isEmpty())
        looseShown.replace(QLatin1Char(':') + password + QLatin1Char('@'), QStringLiteral("@"));
    print(QStringLiteral("strict match: ") + (strictMatch.isEmpty() ? QStringLiteral("-") : strictMatch));
    print(QStringLiteral("loose match:  ") + (looseShown.isEmpty() ? QStringLiteral("-") : looseShown));

    const QString text = !strictMatches.isEmpty()  ? strictMatch
                         : !looseMatches.isEmpty() ? looseMatch
                                                   : *reference;
    QElapsedTimer timer;
    timer.start();
    const auto url = ImageReference::resolveExisting(text, context);
    if (!url) {
        print(QStringLiteral("\nnot resolved (%1 ms)").arg(ms(timer)));
        return 1;
    }
    // A web answer is shown whole: its path alone would hide the host.
    const QString shown = url->isLocalFile() ? url->toLocalFile() : url->toString();
    print(QStringLiteral("\nRESOLVED in %1 ms: %2").arg(ms(timer), shown));
    const bool exists = url->isLocalFile() && QFileInfo::exists(url->toLocalFile());
    print(QStringLiteral("exists: ") + (exists ? QStringLiteral("true") : QStringLiteral("false")));
    return 0;
}

int probe(const QStringList& arguments) {
    const QList<double> numbers = CommandLine::probeNumbers(arguments);
    if (numbers.size() == 1) {
        print(QStringLiteral("usage: VistelPrototype --probe [<x> <y>]"));
        return 2;
    }
    QPointF at;
    if (numbers.size() == 2) {
        at = QPointF(numbers.at(0), numbers.at(1));
    } else {
        print(QStringLiteral("Park the pointer on the text that will not preview."));
        for (int n = 5; n >= 1; --n) {
            print(QStringLiteral("  %1...").arg(n));
            std::this_thread::sleep_for(std::chrono::seconds(1));
        }
        at = platform::openDesktop()->pointer();
    }
    return AppHosted::run(*QCoreApplication::instance(), [at] { return Probe::run(at.x(), at.y()); });
}

int quit() {
    const AgentChannel::Place place = AgentChannel::placeHere();
    if (place.path.isEmpty()) {
        print(QStringLiteral("Vistel: no agent to ask: ") + place.problem);
        return 1;
    }
    const QString display = qEnvironmentVariable("DISPLAY");
    const AgentChannel::Reply reply = AgentChannel::ask(place.path, QStringLiteral("quit"));
    switch (reply.outcome) {
    case AgentChannel::Reply::Done:
        print(QStringLiteral("Vistel: the agent on %1 (pid %2) is quitting.").arg(display).arg(reply.pid));
        return 0;
    case AgentChannel::Reply::NoAgent:
        print(QStringLiteral("Vistel: no agent is running on %1.").arg(display));
        return 1;
    case AgentChannel::Reply::NoAnswer:
        print(QStringLiteral("Vistel: the agent on %1 did not answer within a second.").arg(display));
        return 1;
    case AgentChannel::Reply::Failed:
    case AgentChannel::Reply::Refused:
        break;
    }
    print(QStringLiteral("Vistel: cannot ask the agent on %1: ").arg(display) + reply.detail);
    return 1;
}

} // namespace Modes
