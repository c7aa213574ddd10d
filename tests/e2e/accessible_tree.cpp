// Prints the accessible tree of the window a title names, as a screen reader
// meets it over AT-SPI: one line per element on screen,
//   ROLE<TAB>X Y WIDTH HEIGHT<TAB>NAME
// in screen coordinates, the window itself first. Exit status 1 with one line
// on stderr when no application shows such a window.
#include <atspi/atspi.h>
#include <cstdio>
#include <cstring>

namespace {

bool showing(AtspiAccessible* element) {
    AtspiStateSet* states = atspi_accessible_get_state_set(element);
    const bool shown = states && atspi_state_set_contains(states, ATSPI_STATE_SHOWING);
    if (states) g_object_unref(states);
    return shown;
}

// Prints ELEMENT and, depth first, everything on screen below it.
void print(AtspiAccessible* element) {
    if (!showing(element)) return;
    gchar* role = atspi_accessible_get_role_name(element, nullptr);
    gchar* name = atspi_accessible_get_name(element, nullptr);
    AtspiComponent* component = atspi_accessible_get_component_iface(element);
    AtspiRect* box =
        component ? atspi_component_get_extents(component, ATSPI_COORD_TYPE_SCREEN, nullptr) : nullptr;
    std::printf("%s\t%d %d %d %d\t%s\n", role ? role : "", box ? box->x : 0, box ? box->y : 0,
                box ? box->width : 0, box ? box->height : 0, name ? name : "");
    g_free(box);
    if (component) g_object_unref(component);
    g_free(name);
    g_free(role);
    const gint count = atspi_accessible_get_child_count(element, nullptr);
    for (gint i = 0; i < count; ++i) {
        if (AtspiAccessible* child = atspi_accessible_get_child_at_index(element, i, nullptr)) {
            print(child);
            g_object_unref(child);
        }
    }
}

// The first top-level window of any application titled TITLE, or null.
AtspiAccessible* windowTitled(const char* title) {
    AtspiAccessible* desktop = atspi_get_desktop(0);
    AtspiAccessible* found = nullptr;
    const gint apps = atspi_accessible_get_child_count(desktop, nullptr);
    for (gint a = 0; a < apps && !found; ++a) {
        AtspiAccessible* app = atspi_accessible_get_child_at_index(desktop, a, nullptr);
        if (!app) continue;
        const gint windows = atspi_accessible_get_child_count(app, nullptr);
        for (gint w = 0; w < windows && !found; ++w) {
            AtspiAccessible* window = atspi_accessible_get_child_at_index(app, w, nullptr);
            if (!window) continue;
            gchar* name = atspi_accessible_get_name(window, nullptr);
            if (name && std::strcmp(name, title) == 0)
                found = window;
            else
                g_object_unref(window);
            g_free(name);
        }
        g_object_unref(app);
    }
    g_object_unref(desktop);
    return found;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s WINDOW-TITLE\n", argv[0]);
        return 2;
    }
    if (atspi_init() < 0) {
        std::fprintf(stderr, "cannot reach the accessibility bus\n");
        return 1;
    }
    AtspiAccessible* window = windowTitled(argv[1]);
    if (!window) {
        std::fprintf(stderr, "no accessible window is titled \"%s\"\n", argv[1]);
        return 1;
    }
    print(window);
    g_object_unref(window);
    return 0;
}
