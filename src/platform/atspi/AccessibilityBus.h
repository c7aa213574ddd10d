#pragma once

#include <QString>
#include <optional>

// The session's accessibility switch: the org.a11y.Status properties of the
// accessibility bus launcher (org.a11y.Bus on the session bus). Toolkits (GTK,
// Qt) publish their tree when "IsEnabled" is true; the launcher stores the
// value as the desktop setting "toolkit-accessibility".
//
// Every call waits at most the given time: a session without the launcher
// answers nothing rather than hanging the caller.
namespace AccessibilityBus {

// The address of the accessibility bus, starting its launcher if needed; none
// without a session bus or launcher.
std::optional<QString> address(int timeoutMs);

// Whether the launcher reports accessibility switched on.
bool isEnabled(int timeoutMs);

// Switches accessibility on for the session. Does not wait for the answer.
void enable();

} // namespace AccessibilityBus
