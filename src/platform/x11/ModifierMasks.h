#pragma once

#include <QList>
#include <QtGlobal>
#include <array>

// Which X modifier bits carry Alt, Super and Control on this keyboard.
//
// X reports held modifiers as the bits of eight slots (Shift, Lock, Control,
// Mod1 … Mod5); which key sits in which ModN slot is the keymap's choice. The
// common layouts put Alt on Mod1 and Super on Mod4, but remapped keyboards
// differ, so the slots are looked up from the modifier mapping.
namespace platform::x11 {

struct ModifierMasks {
    unsigned int option = 0;  // slots holding Alt_L/Alt_R (Meta_L/Meta_R when no Alt)
    unsigned int command = 0; // slots holding Super_L/Super_R
    unsigned int control = 0; // slots holding Control_L/Control_R
    bool operator==(const ModifierMasks&) const = default;
};

// The keysyms bound to each slot, in X's slot order (index 0 = Shift, 2 =
// Control, 3 = Mod1, 6 = Mod4), as XGetModifierMapping and the keyboard
// mapping give them.
using SlotKeysyms = std::array<QList<quint32>, 8>;

// A key found in no slot falls back to the conventional bit (Mod1, Mod4,
// Control), so a keymap without that key still behaves like the usual one.
ModifierMasks modifierMasks(const SlotKeysyms& bySlot);

// HoverModifiers flag bits for an X modifier state word (XQueryPointer's mask).
quint64 hoverFlags(unsigned int state, const ModifierMasks& masks);

} // namespace platform::x11
