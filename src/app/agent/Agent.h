#pragma once

#include <QStringList>

// The hover agent: runs until the user quits.
namespace Agent {

// Needs an X11 display: without one it says so and returns 1. Creates the
// application itself, since widgets cannot be made without a display.
int run(int& argc, char** argv, const QStringList& arguments);

} // namespace Agent
