#include "platform/x11/X11Desktop.h"

#include "platform/a11y/AccessibilityStatus.h"
#include "platform/x11/ClientWindow.h"
#include "platform/x11/ModifierMasks.h"
#include "platform/x11/MonitorLayout.h"
#include "platform/x11/X11ScreenCapture.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QSocketNotifier>

// Xlib after Qt: its macros (None, Bool, Status, KeyPress …) clash with Qt's names.
#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XInput2.h>
#include <X11/extensions/Xrandr.h>
#include <X11/extensions/shape.h>
#include <cmath>
#include <iterator>
#include <limits>
#include <mutex>
#include <unistd.h>

namespace platform {

namespace {

// A window can vanish between two requests; its BadWindow must not end the
// process, as Xlib's default handler would. Every request's own status tells
// its caller that it failed, so there is nothing to record. Qt installs an
// equally silent handler of its own; either one serves.
int ignoreXErrors(Display*, XErrorEvent*) {
    return 0;
}

void installErrorHandler() {
    static std::once_flag once; // the handler is process-wide
    std::call_once(once, [] { XSetErrorHandler(ignoreXErrors); });
}

struct XFreer {
    void operator()(void* p) const {
        if (p) XFree(p);
    }
};
template <typename T> using XPointer = std::unique_ptr<T, XFreer>;

// Root children examined beneath a window of ours before giving up.
constexpr int kMostTopLevels = 512;

// A global point far off any screen cannot be a root pixel.
std::optional<QPoint> rootPixel(QPointF point, QPoint origin) {
    constexpr double limit = 1 << 20;
    if (!std::isfinite(point.x()) || !std::isfinite(point.y()) || std::abs(point.x()) > limit ||
        std::abs(point.y()) > limit)
        return std::nullopt;
    return QPoint(int(std::floor(point.x())) + origin.x(), int(std::floor(point.y())) + origin.y());
}

} // namespace

struct X11Desktop::State {
    Display* display = nullptr;
    Window root = 0;
    int screen = 0;
    struct {
        Atom pid, netName, utf8, wmState, workArea, currentDesktop, clientStacking;
    } atoms{};
    bool randrMonitors = false; // RandR 1.5: XRRGetMonitors
    bool inputShapes = false;   // SHAPE 1.1: input shapes

    x11::ModifierMasks masks;
    bool masksStale = true;
    int xkbEventBase = -1;

    // The modifier watch listens on a connection of its own, so that the
    // round trips of the other calls never read its events off the socket
    // (which would leave them unnoticed until the next key).
    Display* watch = nullptr;
    int xiOpcode = -1;
    std::unique_ptr<QSocketNotifier> notifier;
    std::function<void(quint64)> changed;

    // Whether the screen can be read is the capture's own answer, so that the
    // agent, --check and the probe never disagree. Opened on first need.
    std::unique_ptr<X11ScreenCapture> capture;

    ~State() {
        notifier.reset();
        if (watch) XCloseDisplay(watch);
        if (display) XCloseDisplay(display);
    }

    // The only events of this connection say that the keymap, and so perhaps
    // the modifier slots, changed: XKB's map notifications (which replace the
    // core MappingNotify for clients that use XKB, as Xlib does), or the core
    // event on a server without XKB.
    void drainEvents() {
        while (XEventsQueued(display, QueuedAfterReading) > 0) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type == MappingNotify) XRefreshKeyboardMapping(&event.xmapping);
            if (event.type == MappingNotify || (xkbEventBase >= 0 && event.type == xkbEventBase))
                masksStale = true;
        }
    }

    void refreshMasks() {
        x11::SlotKeysyms bySlot;
        int minCode = 0, maxCode = 0, perCode = 0;
        XDisplayKeycodes(display, &minCode, &maxCode);
        XModifierKeymap* map = XGetModifierMapping(display);
        XPointer<KeySym> keysyms(maxCode >= minCode ? XGetKeyboardMapping(display, KeyCode(minCode),
                                                                          maxCode - minCode + 1, &perCode)
                                                    : nullptr);
        if (map && keysyms) {
            for (int slot = 0; slot < 8; ++slot) {
                for (int k = 0; k < map->max_keypermod; ++k) {
                    const int code = map->modifiermap[slot * map->max_keypermod + k];
                    if (code < minCode || code > maxCode) continue;
                    for (int level = 0; level < perCode; ++level) {
                        const KeySym keysym = keysyms.get()[(code - minCode) * perCode + level];
                        if (keysym != NoSymbol) bySlot[size_t(slot)].append(quint32(keysym));
                    }
                }
            }
        }
        if (map) XFreeModifiermap(map);
        masks = x11::modifierMasks(bySlot);
        masksStale = false;
    }

    quint64 flagsNow() {
        if (masksStale) refreshMasks();
        Window rootReturn = 0, child = 0;
        int rootX = 0, rootY = 0, x = 0, y = 0;
        unsigned int state = 0;
        XQueryPointer(display, root, &rootReturn, &child, &rootX, &rootY, &x, &y, &state);
        return x11::hoverFlags(state, masks);
    }

    x11::MonitorLayout monitorLayout() {
        QList<x11::RootMonitor> monitors;
        if (randrMonitors) {
            int count = 0;
            XRRMonitorInfo* info = XRRGetMonitors(display, root, True, &count);
            for (int i = 0; info && i < count; ++i) {
                monitors.append(
                    {QRect(info[i].x, info[i].y, info[i].width, info[i].height), info[i].primary != 0});
            }
            if (info) XRRFreeMonitors(info);
        }
        // The root's size as of the last RandR change this connection saw;
        // used only when RandR lists nothing.
        return x11::monitorLayout(monitors,
                                  QSize(DisplayWidth(display, screen), DisplayHeight(display, screen)));
    }

    // A property's items (bytes for format 8, longs for format 32, as Xlib
    // hands them out), at most maxLongs 32-bit units of it.
    struct Property {
        Atom type = 0;
        int format = 0;
        unsigned long count = 0;
        XPointer<unsigned char> data;
    };
    Property property(Window window, Atom name, Atom type, long maxLongs) {
        Property p;
        unsigned long after = 0;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(display, window, name, 0, maxLongs, False, type, &p.type, &p.format, &p.count,
                               &after, &data) != Success)
            return {};
        p.data.reset(data);
        return p;
    }

    QList<long> cardinals(Window window, Atom name, long maxCount) {
        const Property p = property(window, name, XA_CARDINAL, maxCount);
        QList<long> values;
        if (p.type != XA_CARDINAL || p.format != 32 || !p.data) return values;
        const long* items = reinterpret_cast<const long*>(p.data.get());
        for (unsigned long i = 0; i < p.count; ++i)
            values.append(items[i]);
        return values;
    }

    bool hasProperty(Window window, Atom name) {
        return property(window, name, AnyPropertyType, 0).type != 0;
    }

    QString title(Window window) {
        const Property net = property(window, atoms.netName, atoms.utf8, 4096);
        if (net.type == atoms.utf8 && net.format == 8 && net.data && net.count > 0)
            return QString::fromUtf8(reinterpret_cast<const char*>(net.data.get()), qsizetype(net.count));
        // WM_NAME may be Latin-1, compound text or UTF-8; Xlib converts each.
        XTextProperty text{};
        if (!XGetWMName(display, window, &text)) return {};
        XPointer<unsigned char> value(text.value);
        char** list = nullptr;
        int count = 0;
        QString title;
        if (Xutf8TextPropertyToTextList(display, &text, &list, &count) >= Success && list) {
            if (count > 0 && list[0]) title = QString::fromUtf8(list[0]);
            XFreeStringList(list);
        }
        return title;
    }

    // The server's window tree, as the client search asks it.
    struct ServerTree final : x11::WindowTree {
        State& s;
        explicit ServerTree(State& state) : s(state) {}
        bool isClient(x11::WindowId window) override { return s.hasProperty(window, s.atoms.wmState); }
        std::optional<QList<x11::WindowId>> children(x11::WindowId window) override {
            Window rootReturn = 0, parent = 0;
            Window* children = nullptr;
            unsigned int count = 0;
            if (!XQueryTree(s.display, window, &rootReturn, &parent, &children, &count)) return std::nullopt;
            XPointer<Window> owned(children);
            return QList<x11::WindowId>(children, children + count);
        }
        std::optional<x11::WindowId> parent(x11::WindowId window) override {
            Window rootReturn = 0, parent = 0;
            Window* children = nullptr;
            unsigned int count = 0;
            if (!XQueryTree(s.display, window, &rootReturn, &parent, &children, &count)) return std::nullopt;
            XPointer<Window> owned(children);
            if (parent == 0 || window == s.root) return std::nullopt;
            return parent;
        }
        QList<x11::WindowId> clientsTopFirst() override {
            const Property p = s.property(s.root, s.atoms.clientStacking, XA_WINDOW, 4096);
            QList<x11::WindowId> clients;
            if (p.type != XA_WINDOW || p.format != 32 || !p.data) return clients;
            const auto* items = reinterpret_cast<const unsigned long*>(p.data.get());
            for (unsigned long i = p.count; i > 0; --i)
                clients.append(items[i - 1]);
            return clients;
        }
    };

    // Under a reparenting window manager the window on the root is the
    // manager's frame and the application's window lies below it; see
    // x11/ClientWindow.h. Without a window manager the top-level window is the
    // application's own.
    Window clientOf(Window topLevel) {
        ServerTree tree(*this);
        return x11::clientWindow(tree, topLevel).value_or(topLevel);
    }

    bool takesInputAt(Window window, QPoint inside) {
        if (!inputShapes) return true;
        int count = 0, ordering = 0;
        XPointer<XRectangle> rects(XShapeGetRectangles(display, window, ShapeInput, &count, &ordering));
        for (int i = 0; rects && i < count; ++i) {
            const XRectangle& r = rects.get()[i];
            if (QRect(r.x, r.y, r.width, r.height).contains(inside)) return true;
        }
        return false;
    }

    // The application window of a top-level window, unless it is one of ours,
    // takes no input, or is not shown. With at, the window must also take
    // input at that root pixel (the server's hit test already checked that for
    // the window it named). The top-level window's attributes are read last:
    // when it vanished while its properties were read, that read fails too,
    // and a half-read window is never answered.
    std::optional<WindowInfo> applicationWindow(Window topLevel, QPoint origin, std::optional<QPoint> at) {
        XWindowAttributes a;
        const auto shown = [&] {
            return XGetWindowAttributes(display, topLevel, &a) && a.c_class == InputOutput &&
                   a.map_state == IsViewable;
        };
        const auto outer = [&] {
            return QRect(a.x, a.y, a.width + 2 * a.border_width, a.height + 2 * a.border_width);
        };
        if (at) { // looking through the stacking order: rule out most windows cheaply first
            if (!shown() || !outer().contains(*at)) return std::nullopt;
            if (!takesInputAt(topLevel, *at - QPoint(a.x + a.border_width, a.y + a.border_width)))
                return std::nullopt;
        }
        const Window client = clientOf(topLevel);
        WindowInfo info;
        const QList<long> pid = cardinals(client, atoms.pid, 1);
        if (!pid.isEmpty() && pid.first() > 0 && pid.first() <= std::numeric_limits<qint32>::max())
            info.pid = qint32(pid.first());
        if (info.pid == getpid()) return std::nullopt;
        info.title = title(client);
        XClassHint hint{};
        if (XGetClassHint(display, client, &hint)) {
            info.instanceName = hint.res_name ? QString::fromLocal8Bit(hint.res_name) : QString();
            info.className = hint.res_class ? QString::fromLocal8Bit(hint.res_class) : QString();
            if (hint.res_name) XFree(hint.res_name);
            if (hint.res_class) XFree(hint.res_class);
        }
        if (!shown()) return std::nullopt;
        info.frame = QRectF(outer().translated(-origin));
        return info;
    }

    void drainWatch() {
        bool keys = false;
        while (XEventsQueued(watch, QueuedAfterReading) > 0) {
            XEvent event;
            XNextEvent(watch, &event);
            if (event.type == GenericEvent && event.xcookie.extension == xiOpcode &&
                (event.xcookie.evtype == XI_RawKeyPress || event.xcookie.evtype == XI_RawKeyRelease))
                keys = true;
        }
        // The server has applied the key before it answers the next request,
        // so the pointer's mask already holds the new state.
        if (keys && changed) changed(flagsNow());
    }
};

std::unique_ptr<X11Desktop> X11Desktop::open(const char* displayName) {
    installErrorHandler();
    Display* display = XOpenDisplay(displayName);
    if (!display) return nullptr;
    auto s = std::make_unique<State>();
    s->display = display;
    s->screen = DefaultScreen(display);
    s->root = RootWindow(display, s->screen);

    const char* names[] = {"_NET_WM_PID",
                           "WM_STATE",
                           "_NET_WM_NAME",
                           "UTF8_STRING",
                           "_NET_WORKAREA",
                           "_NET_CURRENT_DESKTOP",
                           "_NET_CLIENT_LIST_STACKING"};
    Atom atoms[std::size(names)] = {};
    XInternAtoms(display, const_cast<char**>(names), int(std::size(names)), False, atoms);
    s->atoms = {atoms[0], atoms[2], atoms[3], atoms[1], atoms[4], atoms[5], atoms[6]};

    int opcode = 0, eventBase = 0, errorBase = 0, major = XkbMajorVersion, minor = XkbMinorVersion;
    if (XkbQueryExtension(display, &opcode, &eventBase, &errorBase, &major, &minor)) {
        constexpr unsigned int keymapChanges = XkbNewKeyboardNotifyMask | XkbMapNotifyMask;
        XkbSelectEvents(display, XkbUseCoreKbd, keymapChanges, keymapChanges);
        s->xkbEventBase = eventBase;
    }
    if (XRRQueryExtension(display, &eventBase, &errorBase) && XRRQueryVersion(display, &major, &minor))
        s->randrMonitors = major > 1 || (major == 1 && minor >= 5);
    if (XShapeQueryExtension(display, &eventBase, &errorBase) && XShapeQueryVersion(display, &major, &minor))
        s->inputShapes = major > 1 || (major == 1 && minor >= 1);
    return std::unique_ptr<X11Desktop>(new X11Desktop(std::move(s)));
}

X11Desktop::X11Desktop(std::unique_ptr<State> state) : s_(std::move(state)) {}

X11Desktop::~X11Desktop() = default;

QPointF X11Desktop::pointer() {
    s_->drainEvents();
    Window rootReturn = 0, child = 0;
    int rootX = 0, rootY = 0, x = 0, y = 0;
    unsigned int state = 0;
    XQueryPointer(s_->display, s_->root, &rootReturn, &child, &rootX, &rootY, &x, &y, &state);
    const QPoint origin = s_->monitorLayout().origin;
    return QPointF(rootX - origin.x(), rootY - origin.y());
}

quint64 X11Desktop::modifierFlags() {
    s_->drainEvents();
    return s_->flagsNow();
}

std::optional<WindowInfo> X11Desktop::windowAt(QPointF point) {
    s_->drainEvents();
    const QPoint origin = s_->monitorLayout().origin;
    const std::optional<QPoint> at = rootPixel(point, origin);
    if (!at) return std::nullopt;

    // The server knows the stacking order and the input shapes: ask it first.
    Window hit = 0;
    int x = 0, y = 0;
    if (!XTranslateCoordinates(s_->display, s_->root, s_->root, at->x(), at->y(), &x, &y, &hit) || hit == 0)
        return std::nullopt;
    if (auto info = s_->applicationWindow(hit, origin, std::nullopt)) return info;

    // The top window there is ours or takes no input: look beneath it, top
    // to bottom (XQueryTree lists the root's children bottom first).
    Window rootReturn = 0, parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(s_->display, s_->root, &rootReturn, &parent, &children, &count)) return std::nullopt;
    XPointer<Window> owned(children);
    qsizetype below = qsizetype(count) - 1;
    while (below >= 0 && children[below] != hit)
        --below;
    below = below >= 0 ? below - 1 : qsizetype(count) - 1; // gone meanwhile: walk them all
    for (int examined = 0; below >= 0 && examined < kMostTopLevels; --below, ++examined) {
        if (auto info = s_->applicationWindow(children[below], origin, *at)) return info;
    }
    return std::nullopt;
}

QList<ScreenArea> X11Desktop::screens() {
    s_->drainEvents();
    const x11::MonitorLayout layout = s_->monitorLayout();
    const QList<long> desktop = s_->cardinals(s_->root, s_->atoms.currentDesktop, 1);
    const std::optional<QRect> work =
        x11::workArea(s_->cardinals(s_->root, s_->atoms.workArea, 4 * 64),
                      desktop.isEmpty() ? std::nullopt : std::optional<long>(desktop.first()));
    QList<ScreenArea> screens;
    for (const QRect& monitor : layout.monitors) {
        ScreenArea area;
        area.frame = QRectF(monitor.translated(-layout.origin));
        area.usable = QRectF(x11::usableArea(monitor, work).translated(-layout.origin));
        area.pixelsPerPoint = 1.0; // X11 draws one pixel per point; see MonitorLayout.h
        screens.append(area);
    }
    return screens;
}

QList<WindowInfo> X11Desktop::applicationWindows() {
    s_->drainEvents();
    const QPoint origin = s_->monitorLayout().origin;
    State::ServerTree tree(*s_);
    QList<x11::WindowId> topLevels = tree.clientsTopFirst();
    if (topLevels.isEmpty()) topLevels = tree.children(s_->root).value_or(QList<x11::WindowId>());
    QList<WindowInfo> windows;
    for (qsizetype i = 0; i < topLevels.size() && i < kMostTopLevels; ++i) {
        if (auto info = s_->applicationWindow(topLevels.at(i), origin, std::nullopt)) windows.append(*info);
    }
    return windows;
}

QPointF X11Desktop::windowSystemOrigin() {
    s_->drainEvents();
    return QPointF(s_->monitorLayout().origin);
}

bool X11Desktop::composites() {
    const QByteArray name = "_NET_WM_CM_S" + QByteArray::number(DefaultScreen(s_->display));
    const Atom selection = XInternAtom(s_->display, name.constData(), False);
    return XGetSelectionOwner(s_->display, selection) != None;
}

bool X11Desktop::accessibilityEnabled() {
    return AccessibilityStatus::enabled(QDBusConnection::sessionBus());
}

bool X11Desktop::canReadScreen() {
    if (!s_->capture) s_->capture = X11ScreenCapture::open(XDisplayString(s_->display));
    // A display that does not answer a one-pixel read within 2 s cannot be read.
    return s_->capture && s_->capture->canCapture(std::chrono::steady_clock::now() + std::chrono::seconds(2));
}

bool X11Desktop::watchModifiers(std::function<void(quint64 flags)> changed) {
    if (!QCoreApplication::instance()) return false; // no event loop to deliver on
    if (!s_->watch) {
        Display* watch = XOpenDisplay(XDisplayString(s_->display));
        if (!watch) return false;
        int opcode = 0, eventBase = 0, errorBase = 0, major = 2, minor = 2;
        if (!XQueryExtension(watch, "XInputExtension", &opcode, &eventBase, &errorBase) ||
            XIQueryVersion(watch, &major, &minor) != Success || major < 2) {
            XCloseDisplay(watch);
            return false;
        }
        unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
        XISetMask(bits, XI_RawKeyPress);
        XISetMask(bits, XI_RawKeyRelease);
        XIEventMask mask{XIAllMasterDevices, int(sizeof bits), bits};
        XISelectEvents(watch, DefaultRootWindow(watch), &mask, 1);
        XSync(watch, False);
        s_->watch = watch;
        s_->xiOpcode = opcode;
        s_->notifier = std::make_unique<QSocketNotifier>(ConnectionNumber(watch), QSocketNotifier::Read);
        QObject::connect(s_->notifier.get(), &QSocketNotifier::activated, s_->notifier.get(),
                         [state = s_.get()] { state->drainWatch(); });
    }
    s_->changed = std::move(changed);
    return true;
}

// The desktop the agent runs on: X11 when a display opens, else the null one.
std::unique_ptr<Desktop> openDesktop() {
    if (std::unique_ptr<Desktop> x11 = X11Desktop::open()) return x11;
    return nullDesktop();
}

} // namespace platform
