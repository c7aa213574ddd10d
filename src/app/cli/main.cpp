// VistelPrototype: the hover agent, or one diagnostic mode when the arguments ask for it.

#include "app/agent/Agent.h"
#include "app/cli/CommandLine.h"
#include "app/cli/Modes.h"
#include "app/cli/Usage.h"
#include "core/Diagnostics.h"
#include "platform/x11/X11Desktop.h"
#include "core/Settings.h"

#include <QApplication>
#include <QCoreApplication>
#include <QStringList>
#include <cstdio>
#include <memory>

int main(int argc, char** argv) {
    // Every printed line reaches a pipe or terminal at once.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);

    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    Diagnostics::setArguments(arguments);

    // Asking for help or the version, or mistyping an option, never reaches an agent.
    const Usage::Reading reading = Usage::read(arguments);
    if (!reading.problem.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(Usage::problemLine(reading.problem)));
        return 2;
    }
    if (reading.request == Usage::Reading::Help) {
        Diagnostics::write(Usage::help(Settings::userFile()));
        return 0;
    }
    if (reading.request == Usage::Reading::Version) {
        Diagnostics::print(Usage::version());
        return 0;
    }

    const Modes::Mode mode = Modes::choose(arguments);
    if (mode == Modes::Mode::Agent) return Agent::run(argc, argv, arguments);

    // Widgets only for the modes that host windows; the others run on a core
    // application (settings, D-Bus and event loops still work there).
    std::unique_ptr<QCoreApplication> app;
    const bool windows = mode == Modes::Mode::Probe || mode == Modes::Mode::SelfTest;
    if (windows || mode == Modes::Mode::Check) {
        // Qt is put on the X11 display when one opens (also in a Wayland
        // session); without one the self-test's windows are drawn offscreen and
        // the probe says that the screen cannot be read. The check asks Qt
        // whether a tray shows icons, which needs the display.
        const bool x11 = platform::X11Desktop::open() != nullptr;
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", x11 ? "xcb" : "offscreen");
        if (x11 || windows) app = std::make_unique<QApplication>(argc, argv);
    }
    if (!app) app = std::make_unique<QCoreApplication>(argc, argv);

    if (Diagnostics::verbose()) Modes::printDebugHeader(arguments);

    switch (mode) {
    case Modes::Mode::Check:
        return Modes::check();
    case Modes::Mode::Codex:
        return Modes::codex();
    case Modes::Mode::SelfTest:
        return Modes::selfTest();
    case Modes::Mode::Roots:
        return Modes::roots(
            *CommandLine::processIdentifier(*CommandLine::valueAfter(arguments, QStringLiteral("--roots"))));
    case Modes::Mode::Resolve:
        return Modes::resolve(arguments);
    case Modes::Mode::Probe:
        return Modes::probe(arguments);
    case Modes::Mode::Quit:
        return Modes::quit();
    case Modes::Mode::Agent:
        break; // handled above
    }
    return 0;
}
