#include "platform/x11/ClientWindow.h"

#include <utility>

namespace platform::x11 {

namespace {

// Levels climbed from a listed client towards the root; deeper than the
// subtree search goes, since this is what finds clients below its reach.
constexpr int kMostAncestors = 4 * kClientDepth;

// Whether the top-level window is an ancestor of the client.
bool holds(WindowTree& tree, WindowId topLevel, WindowId client) {
    WindowId window = client;
    for (int step = 0; step <= kMostAncestors; ++step) {
        if (window == topLevel) return true;
        const std::optional<WindowId> up = tree.parent(window);
        if (!up) return false;
        window = *up;
    }
    return false;
}

} // namespace

std::optional<WindowId> clientWindow(WindowTree& tree, WindowId topLevel) {
    QList<std::pair<WindowId, int>> stack{{topLevel, 0}};
    bool cutShort = false;
    for (int examined = 0; !stack.isEmpty(); ++examined) {
        if (examined == kMostSubtreeWindows) {
            cutShort = true;
            break;
        }
        const auto [window, depth] = stack.takeLast();
        if (tree.isClient(window)) return window;
        const std::optional<QList<WindowId>> children = tree.children(window);
        if (!children || children->isEmpty()) continue;
        if (depth == kClientDepth) {
            cutShort = true;
            continue;
        }
        // Pushed bottom first, so the topmost child is examined first.
        for (const WindowId child : *children)
            stack.append({child, depth + 1});
    }
    if (!cutShort) return std::nullopt; // the whole subtree holds no client

    const QList<WindowId> clients = tree.clientsTopFirst();
    for (qsizetype i = 0; i < clients.size() && i < kMostListedClients; ++i) {
        if (holds(tree, topLevel, clients.at(i))) return clients.at(i);
    }
    return std::nullopt;
}

} // namespace platform::x11
