#pragma once

#include "platform/Session.h"

#include <QStringList>

// The hover agent: runs until the user quits.
namespace Agent {

// The one paragraph printed when no X11 display can be opened: what Vistel
// needs and what to do, in a Wayland session or not.
QString noX11Explanation(const platform::Session& session);

// Needs an X11 display: without one it says so and returns 1. Creates the
// application itself, since widgets cannot be made without a display.
int run(int& argc, char** argv, const QStringList& arguments);

} // namespace Agent
