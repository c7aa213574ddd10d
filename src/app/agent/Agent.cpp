#include "app/agent/Agent.h"

#include "app/agent/QuitSignals.h"
#include "app/agent/VistelController.h"
#include "app/cli/Modes.h"
#include "app/ui/AppMenus.h"
#include "core/Diagnostics.h"
#include "platform/atspi/AtspiAccessibilityReader.h"
#include "platform/tesseract/TesseractRecognizer.h"
#include "platform/x11/X11Desktop.h"
#include "platform/x11/X11ScreenCapture.h"
#include "screen/RecognizingScreenReader.h"

#include <QApplication>

namespace Agent {

int run(int& argc, char** argv, const QStringList& arguments) {
    std::unique_ptr<platform::X11Desktop> desktop = platform::X11Desktop::open();
    if (!desktop) {
        Diagnostics::print(
            QStringLiteral("Vistel needs an X11 display, and none could be opened (is DISPLAY set?). "
                           "Start it from a terminal of an X11 desktop session."));
        return 1;
    }

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
