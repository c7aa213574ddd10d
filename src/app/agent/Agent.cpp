#include "app/agent/Agent.h"

#include "app/agent/QuitSignals.h"
#include "app/agent/VistelController.h"
#include "app/cli/Modes.h"
#include "app/ui/AppMenus.h"
#include "core/Diagnostics.h"
#include "platform/Session.h"
#include "platform/atspi/AtspiAccessibilityReader.h"
#include "platform/tesseract/TesseractRecognizer.h"
#include "platform/x11/X11Desktop.h"
#include "platform/x11/X11ScreenCapture.h"
#include "screen/RecognizingScreenReader.h"

#include <QApplication>

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

int run(int& argc, char** argv, const QStringList& arguments) {
    std::unique_ptr<platform::X11Desktop> desktop = platform::X11Desktop::open();
    if (!desktop) {
        Diagnostics::print(noX11Explanation(platform::currentSession()));
        return 1;
    }
    // Every window of the agent is an X11 window, placed in X11 coordinates,
    // also where Qt would otherwise choose its Wayland backend.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "xcb");

    // The application name is the card's window class, which window managers and tests look for.
    QApplication::setApplicationName(QStringLiteral("Vistel"));
    QApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false); // closing the settings window does not quit
    if (Diagnostics::verbose()) Modes::printDebugHeader(arguments);

    QuitSignals quitSignals;
    VistelController::Parts parts;
    // The reader asks the desktop which window lies under the pointer; the
    // controller destroys it before the desktop.
    parts.accessibility = std::make_unique<AtspiAccessibilityReader>(*desktop);
    parts.desktop = std::move(desktop);
    // Applications that publish no text are read from the screen.
    parts.screen = std::make_shared<RecognizingScreenReader>(
        platform::openScreenCapture(), std::make_shared<platform::TesseractRecognizer>());
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
    return app.exec();
}

} // namespace Agent
