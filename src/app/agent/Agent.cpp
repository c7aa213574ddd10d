#include "app/agent/Agent.h"

#include "app/agent/AgentChannel.h"
#include "app/agent/DesktopChoice.h"
#include "app/agent/OlderCopies.h"
#include "app/agent/QuitSignals.h"
#include "app/agent/VistelController.h"
#include "app/cli/CommandLine.h"
#include "app/cli/Modes.h"
#include "app/ui/AppMenus.h"
#include "app/ui/DesktopActions.h"
#include "core/Diagnostics.h"
#include "platform/Session.h"
#include "platform/atspi/AtspiAccessibilityReader.h"
#include "platform/tesseract/TesseractRecognizer.h"
#include "platform/x11/X11Desktop.h"
#include "platform/x11/X11ScreenCapture.h"
#include "screen/RecognizingScreenReader.h"

#include <QApplication>
#include <QTimer>

namespace Agent {

QString noX11Explanation(const platform::Session& session) {
    const QString display = qEnvironmentVariable("DISPLAY");
    if (session.wayland) {
        const QString none = session.x11Display
                                 ? QStringLiteral(" that can be opened (DISPLAY=%1)").arg(display)
                                 : QStringLiteral(" (DISPLAY is not set)");
        return QStringLiteral("Vistel needs an X11 display, and this Wayland session offers none") + none +
               QStringLiteral(
                   ". Vistel reads the pointer, the keys and the screen through X11, which Wayland "
                   "keeps from other programs. Log in to an X11 (Xorg) session of your desktop "
                   "(most login screens offer one under a gear or session menu) and start Vistel "
                   "there. Where the desktop runs Xwayland and DISPLAY names it, Vistel starts but "
                   "previews only in X11 windows. Wayland support is planned.");
    }
    if (session.x11Display) {
        return QStringLiteral(
                   "Vistel needs an X11 display, and DISPLAY=%1 could not be opened. Start it from "
                   "a terminal of an X11 desktop session.")
            .arg(display);
    }
    return QStringLiteral("Vistel needs an X11 display, and none is set (DISPLAY is empty). Start it from a "
                          "terminal of an X11 desktop session.");
}

namespace {

// Asks the agent already running on this display to quit. An agent that does
// not answer within a second, or a socket that cannot be used, leaves the
// older way: every agent process of this user on this display gets SIGTERM.
void replaceRunning(const AgentChannel::Place& place) {
    if (place.path.isEmpty()) {
        OlderCopies::close();
        return;
    }
    const AgentChannel::Reply reply = AgentChannel::ask(place.path, QStringLiteral("quit"));
    if (reply.outcome != AgentChannel::Reply::Done && reply.outcome != AgentChannel::Reply::NoAgent)
        OlderCopies::close();
}

// Hands "--open ITEM" to the agent running on this display; true when it took it.
bool forwarded(const AgentChannel::Place& place, const QStringList& arguments) {
    const auto item = CommandLine::valueAfter(arguments, QStringLiteral("--open"));
    if (place.path.isEmpty() || !item || !DesktopActions::named(*item)) return false;
    const AgentChannel::Reply reply = AgentChannel::ask(place.path, QStringLiteral("open ") + *item);
    if (reply.outcome != AgentChannel::Reply::Done) return false;
    Diagnostics::print(
        QStringLiteral("Vistel is already running (pid %1); it opens %2.").arg(reply.pid).arg(*item));
    return true;
}

bool performNamed(const QString& item) {
    const auto action = DesktopActions::named(item);
    if (!action) return false;
    // After the answer has gone out: a permission prompt may take a while.
    QTimer::singleShot(0, qApp, [action] { DesktopActions::perform(*action); });
    return true;
}

} // namespace

int run(int& argc, char** argv, const QStringList& arguments) {
    const platform::Session session = platform::currentSession();
    const bool shell = DesktopChoice::viaShellExtension(session);
    // Every window of the agent is an X11 window, placed in X11 coordinates,
    // also where Qt would otherwise choose its Wayland backend. On GNOME under
    // Wayland they are Xwayland's windows, which the Shell extension places.
    // Set before the desktop starts its threads: changing the environment
    // while another thread reads it crashed the agent at start-up.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && (!shell || session.x11Display))
        qputenv("QT_QPA_PLATFORM", "xcb");
    std::unique_ptr<platform::Desktop> desktop;
    if (!shell) {
        desktop = platform::X11Desktop::open();
        if (!desktop) {
            Diagnostics::print(noX11Explanation(session));
            return 1;
        }
    }

    // The application name is the card's window class, which window managers and tests look for.
    QApplication::setApplicationName(QStringLiteral("Vistel"));
    QApplication app(argc, argv);
    QGuiApplication::setDesktopFileName(
        QStringLiteral("com.vistel.Vistel")); // ties windows to the desktop entry
    app.setQuitOnLastWindowClosed(false);     // closing the settings window does not quit

    // One agent per user and display: a request goes to the running one.
    const AgentChannel::Place place = AgentChannel::placeHere();
    if (forwarded(place, arguments)) return 0;

    if (Diagnostics::verbose()) Modes::printDebugHeader(arguments);

    std::unique_ptr<platform::ScreenCapture> capture;
    if (shell) {
        // Qt D-Bus needs the application: the extension is asked only now.
        DesktopChoice::Shell opened = DesktopChoice::openShell();
        if (!opened.desktop) {
            Diagnostics::print(platform::ShellExtension::explanation(opened.status));
            return 1;
        }
        desktop = std::move(opened.desktop);
        capture = std::move(opened.capture);
    } else {
        capture = platform::openScreenCapture();
    }

    QuitSignals quitSignals;
    VistelController::Parts parts;
    // The reader asks the desktop which window lies under the pointer; the
    // controller destroys it before the desktop.
    parts.accessibility = std::make_unique<AtspiAccessibilityReader>(*desktop);
    parts.desktop = std::move(desktop);
    // Applications that publish no text are read from the screen.
    parts.screen = std::make_shared<RecognizingScreenReader>(
        std::move(capture), std::make_shared<platform::TesseractRecognizer>());
    parts.closeOlderCopies = [place] { replaceRunning(place); };
    VistelController controller(std::move(parts));
    // The menus and the settings window ask the agent's own desktop connection
    // whether the permissions are there, rather than opening one of their own.
    AppMenus::Environment environment = AppMenus::environment();
    environment.granted = [&controller](AppMenus::Permission permission) {
        platform::Desktop& desktop = controller.desktop();
        return permission == AppMenus::Permission::Accessibility ? desktop.accessibilityEnabled()
                                                                 : desktop.canReadScreen();
    };
    AppMenus::setEnvironment(std::move(environment));
    controller.launch();

    // Taking requests from later starts, once the agent this one replaces has let go.
    AgentServer server(performNamed);
    QObject::connect(&server, &AgentServer::quitRequested, &app, [] { QCoreApplication::exit(0); });
    const QString problem = place.path.isEmpty() ? place.problem : server.listen(place.path);
    if (!problem.isEmpty())
        Diagnostics::print(QStringLiteral("Vistel: later starts cannot reach this agent: ") + problem);
    return app.exec();
}

} // namespace Agent
