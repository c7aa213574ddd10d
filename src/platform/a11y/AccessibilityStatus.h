#pragma once

class QDBusConnection;

// Whether assistive technologies can read other applications: the AT-SPI
// bus launcher answers on the session bus and its org.a11y.Status says that
// accessibility is on (IsEnabled, or ScreenReaderEnabled, which toolkits
// honour alike).
namespace platform::AccessibilityStatus {

// Blocks for at most timeoutMs (the launcher may be activated by this call and
// be slow the first time; that reads as off until it answers). False when the
// bus is not connected, the launcher is missing, or the answer is malformed.
bool enabled(const QDBusConnection& bus, int timeoutMs = 300);

} // namespace platform::AccessibilityStatus
