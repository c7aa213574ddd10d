#pragma once

#include <QList>
#include <QString>
#include <QtGlobal>

// The key the user holds to preview. Stored by its raw value ("option",
// "command", "control"); modifier state everywhere in the program is a word of
// these device-independent flag bits, whatever the window system reports.
enum class HoverModifier { Option, Command, Control };

namespace HoverModifiers {

inline constexpr quint64 optionFlag = 1u << 19;  // Alt (X11 Mod1)
inline constexpr quint64 commandFlag = 1u << 20; // Super (X11 Mod4)
inline constexpr quint64 controlFlag = 1u << 18; // Control

const QList<HoverModifier>& allCases();
QString rawValue(HoverModifier m);
// "option", "command", "control"; anything else reads as option.
HoverModifier fromRawValue(const QString& raw);
// The key's name as a PC keyboard labels it ("Alt", "Super", "Ctrl"), used in
// every text the user reads: menus, the tray, the settings window, the banner.
QString label(HoverModifier m);
quint64 eventFlag(HoverModifier m);
// Held when the modifier's bit is set, whatever other modifiers are held too.
inline bool isHeld(HoverModifier m, quint64 flags) { return (flags & eventFlag(m)) == eventFlag(m); }

} // namespace HoverModifiers
