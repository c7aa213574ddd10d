#pragma once

#include <QList>
#include <optional>

// Which window of a top-level window is the application's own.
//
// A reparenting window manager puts each application window (its client) into
// a frame of its own making, which may hold dozens of decoration windows; the
// client is the window the manager marked with WM_STATE (ICCCM 4.1.3.1). A
// non-reparenting manager marks the top-level window itself, and without a
// window manager nothing is marked. The search works on an abstract tree so
// that it can be tried on made-up trees; X11Desktop answers it from the server.
namespace platform::x11 {

using WindowId = unsigned long; // an XID

class WindowTree {
  public:
    virtual ~WindowTree() = default;
    // The window carries WM_STATE.
    virtual bool isClient(WindowId window) = 0;
    // Its children, bottom of the stacking order first; none when it vanished.
    virtual std::optional<QList<WindowId>> children(WindowId window) = 0;
    // Its parent; none for the root or a window that vanished.
    virtual std::optional<WindowId> parent(WindowId window) = 0;
    // The window manager's clients, top of the stacking order first
    // (_NET_CLIENT_LIST_STACKING reversed); empty without a manager.
    virtual QList<WindowId> clientsTopFirst() = 0;
};

// How deep below the top-level window a client may lie, how many windows of
// its subtree are examined, and how many listed clients are traced back.
inline constexpr int kClientDepth = 6;
inline constexpr int kMostSubtreeWindows = 256;
inline constexpr int kMostListedClients = 64;

// The client inside the top-level window: the first window with WM_STATE in
// its subtree, searched depth first and topmost child first (decorations
// usually lie beneath the client); when that search was cut short by its
// bounds, the listed client whose ancestors include the top-level window.
// None when no client is found: without a window manager the top-level window
// is the application's own.
std::optional<WindowId> clientWindow(WindowTree& tree, WindowId topLevel);

} // namespace platform::x11
