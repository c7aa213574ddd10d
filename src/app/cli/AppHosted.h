#pragma once

#include <functional>

class QCoreApplication;

// Hosts a diagnostic inside the application's event loop, so work that needs
// window-system or timer callbacks (capture, recognition, accessibility) can
// complete while it runs.
namespace AppHosted {

// Starts the event loop, runs body on the main thread once the loop is up, and
// returns body's status when the loop has ended (0 if the loop ends otherwise).
int run(QCoreApplication& app, std::function<int()> body);

} // namespace AppHosted
