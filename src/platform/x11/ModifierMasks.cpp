#include "platform/x11/ModifierMasks.h"

#include "core/HoverModifier.h"

#include <X11/X.h>
#include <X11/keysym.h>
#include <initializer_list>

namespace platform::x11 {

namespace {

unsigned int slotsHolding(const SlotKeysyms& bySlot, std::initializer_list<quint32> wanted) {
    unsigned int mask = 0;
    for (size_t slot = 0; slot < bySlot.size(); ++slot) {
        for (const quint32 keysym : bySlot[slot]) {
            for (const quint32 w : wanted) {
                if (keysym == w) mask |= 1u << slot;
            }
        }
    }
    return mask;
}

} // namespace

ModifierMasks modifierMasks(const SlotKeysyms& bySlot) {
    ModifierMasks masks;
    masks.option = slotsHolding(bySlot, {XK_Alt_L, XK_Alt_R});
    // Some keymaps name the Alt keys Meta.
    if (masks.option == 0) masks.option = slotsHolding(bySlot, {XK_Meta_L, XK_Meta_R});
    if (masks.option == 0) masks.option = Mod1Mask;
    masks.command = slotsHolding(bySlot, {XK_Super_L, XK_Super_R});
    if (masks.command == 0) masks.command = Mod4Mask;
    masks.control = slotsHolding(bySlot, {XK_Control_L, XK_Control_R});
    if (masks.control == 0) masks.control = ControlMask;
    return masks;
}

quint64 hoverFlags(unsigned int state, const ModifierMasks& masks) {
    quint64 flags = 0;
    if (state & masks.option) flags |= HoverModifiers::optionFlag;
    if (state & masks.command) flags |= HoverModifiers::commandFlag;
    if (state & masks.control) flags |= HoverModifiers::controlFlag;
    return flags;
}

} // namespace platform::x11
