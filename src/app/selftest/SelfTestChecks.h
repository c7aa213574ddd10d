#pragma once

#include "app/selftest/SelfTestSupport.h"

// The self-test's groups of checks, in the order they run. Each prints its
// result lines and returns the number of its failures.
namespace SelfTest {

// Reading references off rendered strips (SelfTestScreen.cpp).
qint64 wrappedLine(const Context& context);
qint64 wideStrip(const Context& context);
qint64 hoverPosition(const Context& context);
qint64 wrappedTableLink(const Context& context);
qint64 terminalWrap(const Context& context);

// Resolution, references in text and session records (SelfTestResolution.cpp).
qint64 versionDigit(const Context& context);
qint64 staleMiss(const Context& context);
qint64 codexTranscript(const Context& context);
qint64 accessibilityResolution(const Context& context);
qint64 windowAffinity(const Context& context);
qint64 recognisedPunctuation(const Context& context);
qint64 clippedLeadingSlash(const Context& context);
qint64 wrappedPath(const Context& context);
qint64 sessionRecord(const Context& context);

// The hover loop, the card and the windows (SelfTestInterface.cpp).
qint64 staleAnswer(const Context& context);
qint64 previewLayout(const Context& context);
qint64 settingsPane(const Context& context);
qint64 menuBarIndicator(const Context& context);

} // namespace SelfTest
