#pragma once

#include "platform/Desktop.h"

#include <memory>

namespace platform {

// The desktop of an X11 display, over an Xlib connection of its own (never
// Qt's), used from the main thread only.
//
// Global points are root pixels moved so that the primary monitor's top left
// is the origin, one pixel per point, as the screen capture counts them. Held
// modifiers come from XQueryPointer's mask, read through the keymap's modifier
// mapping (see x11/ModifierMasks.h). X errors never end the process: a window
// that vanishes between two requests makes that request fail and the answer
// narrower, nothing more.
class X11Desktop final : public Desktop {
  public:
    // Connects to the display named (the DISPLAY variable when null); null when
    // it cannot be opened.
    static std::unique_ptr<X11Desktop> open(const char* displayName = nullptr);
    ~X11Desktop() override;
    X11Desktop(const X11Desktop&) = delete;
    X11Desktop& operator=(const X11Desktop&) = delete;

    QPointF pointer() override;
    quint64 modifierFlags() override;
    std::optional<WindowInfo> windowAt(QPointF point) override;
    // The primary monitor first.
    QList<ScreenArea> screens() override;
    QList<WindowInfo> applicationWindows() override;
    QPointF windowSystemOrigin() override;
    // A client owns the _NET_WM_CM_S<screen> selection.
    bool composites() override;
    // Blocks for at most 300 ms on the session bus: not for every tick.
    bool accessibilityEnabled() override;
    // X11ScreenCapture::canCapture() on this display: the one answer to
    // whether the screen can be read.
    bool canReadScreen() override;
    // XInput 2 raw key events on the root window (no grab), read when the
    // connection's socket turns readable; needs a Qt event loop on this thread.
    bool watchModifiers(std::function<void(quint64 flags)> changed) override;

  private:
    struct State;
    explicit X11Desktop(std::unique_ptr<State> state);
    std::unique_ptr<State> s_;
};

} // namespace platform
