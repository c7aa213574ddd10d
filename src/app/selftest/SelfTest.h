#pragma once

// The body of "--self-test": behavioural checks of the resolver, the screen
// reader on rendered text, the session records, the card geometry and the
// windows, against fixtures built in temporary folders. Prints one line per
// check and returns 1 if any failed, else 0. Main thread; needs a QApplication.
namespace SelfTest {

int run();

} // namespace SelfTest
