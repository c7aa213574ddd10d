// Serves the Vistel agent what Wayland keeps from ordinary clients: the
// pointer and held keys, the window under a point, the monitors, a strip of
// the screen and the placing of its card. Answers only the Vistel agent of the
// user running this Shell, and only while the extension is enabled.
'use strict';

const { Gio, GLib, Meta, Shell } = imports.gi;
const ByteArray = imports.byteArray;
const Main = imports.ui.main;
const ExtensionUtils = imports.misc.extensionUtils;

const OBJECT_PATH = '/com/vistel/Desktop';
const INTERFACE = 'com.vistel.Desktop1';
// The agent's executable, as /proc/PID/exe names it.
const AGENT_EXECUTABLE = 'VistelPrototype';
// How often the held keys are compared while an agent watches them.
const WATCH_INTERVAL_MS = 30;
// A capture larger than this is a mistake, not a strip.
const LARGEST_CAPTURE = 8192;

const APPLICATION_WINDOWS = [
    Meta.WindowType.NORMAL, Meta.WindowType.DIALOG, Meta.WindowType.MODAL_DIALOG,
    Meta.WindowType.UTILITY,
];

function primaryOrigin() {
    const rect = global.display.get_monitor_geometry(global.display.get_primary_monitor());
    return [rect.x, rect.y];
}

function rectangle(rect, origin) {
    return [rect.x - origin[0], rect.y - origin[1], rect.width, rect.height];
}

function isInteger(n) {
    return Number.isInteger(n) && Math.abs(n) <= 1 << 20;
}

// The executable and owner of a bus peer, from the bus's own credentials.
function peerCredentials(sender) {
    const call = (method) => new Promise((resolve, reject) => {
        Gio.DBus.session.call('org.freedesktop.DBus', '/org/freedesktop/DBus',
            'org.freedesktop.DBus', method, new GLib.Variant('(s)', [sender]), null,
            Gio.DBusCallFlags.NONE, 1000, null, (bus, result) => {
                try {
                    resolve(bus.call_finish(result).deep_unpack()[0]);
                } catch (e) {
                    reject(e);
                }
            });
    });
    return Promise.all([call('GetConnectionUnixProcessID'), call('GetConnectionUnixUser')])
        .then(([pid, uid]) => ({ pid, uid, exe: GLib.file_read_link(`/proc/${pid}/exe`) }));
}

class VistelService {
    constructor(xml) {
        this._dbus = Gio.DBusExportedObject.wrapJSObject(xml, this);
        this._verdicts = new Map(); // bus name -> Promise of the agent's pid, or null
        this._watcher = null;
        this._watchId = 0;
        this._timer = 0;
        this._lastMask = -1;
        this._shooter = new Shell.Screenshot();
        this._unshown = new Map(); // a card not yet on screen -> its handlers
    }

    export() {
        this._dbus.export(Gio.DBus.session, OBJECT_PATH);
    }

    unexport() {
        this._stopWatching();
        [...this._unshown.keys()].forEach((window) => this._forgetUnshown(window));
        this._dbus.unexport();
        this._verdicts.clear();
    }

    // Every method runs only for the agent: the same user as this Shell, and
    // the Vistel executable. A bus name is checked once: it is never reused.
    _agentPid(invocation) {
        const sender = invocation.get_sender();
        if (!this._verdicts.has(sender)) {
            const own = new Gio.Credentials().get_unix_user();
            this._verdicts.set(sender, peerCredentials(sender).then(
                (peer) => peer.uid === own && GLib.path_get_basename(peer.exe) === AGENT_EXECUTABLE
                    ? peer.pid : null,
                () => null));
            if (this._verdicts.size > 64)
                this._verdicts.delete(this._verdicts.keys().next().value);
        }
        return this._verdicts.get(sender);
    }

    // Lets answer(agentPid) reply to the agent; refuses anyone else.
    _serve(invocation, answer) {
        this._agentPid(invocation).then((pid) => {
            if (pid === null) {
                invocation.return_dbus_error('org.freedesktop.DBus.Error.AccessDenied',
                    'Only the Vistel agent of this user may ask');
                return;
            }
            try {
                answer(pid);
            } catch (e) {
                invocation.return_dbus_error('org.freedesktop.DBus.Error.Failed', String(e));
            }
        });
    }

    PointerAsync(params, invocation) {
        this._serve(invocation, () => {
            const [x, y, mask] = global.get_pointer();
            const origin = primaryOrigin();
            invocation.return_value(new GLib.Variant('(iiu)', [x - origin[0], y - origin[1], mask]));
        });
    }

    WindowAtAsync([x, y], invocation) {
        this._serve(invocation, (agentPid) => {
            const origin = primaryOrigin();
            const gx = x + origin[0], gy = y + origin[1];
            const workspace = global.workspace_manager.get_active_workspace();
            // In the overview windows are shown shrunk elsewhere: none lies at its frame.
            const actors = Main.overview.visible ? [] : global.get_window_actors();
            // Actors run bottom to top: the last one holding the point is on top.
            const hit = actors
                .map((actor) => actor.get_meta_window())
                .filter((w) => w && !w.minimized && w.get_pid() !== agentPid &&
                    APPLICATION_WINDOWS.includes(w.get_window_type()) &&
                    (w.is_on_all_workspaces() || w.get_workspace() === workspace))
                .filter((w) => {
                    const f = w.get_frame_rect();
                    return gx >= f.x && gx < f.x + f.width && gy >= f.y && gy < f.y + f.height;
                })
                .pop();
            const answer = hit
                ? [true, hit.get_pid(), hit.get_title() ?? '', hit.get_wm_class() ?? '',
                    hit.get_wm_class_instance() ?? '', rectangle(hit.get_frame_rect(), origin)]
                : [false, 0, '', '', '', [0, 0, 0, 0]];
            invocation.return_value(new GLib.Variant('(bisss(iiii))', answer));
        });
    }

    MonitorsAsync(params, invocation) {
        this._serve(invocation, () => {
            const display = global.display;
            const primary = display.get_primary_monitor();
            const origin = primaryOrigin();
            const order = [...Array(display.get_n_monitors()).keys()]
                .sort((a, b) => (b === primary) - (a === primary));
            const monitors = order.map((i) => [
                rectangle(display.get_monitor_geometry(i), origin),
                rectangle(Main.layoutManager.getWorkAreaForMonitor(i), origin),
                display.get_monitor_scale(i),
            ]);
            invocation.return_value(new GLib.Variant('(a((iiii)(iiii)d))', [monitors]));
        });
    }

    CaptureAsync([[x, y, width, height], handle], invocation) {
        this._serve(invocation, () => {
            if (![x, y, width, height].every(isInteger) || width <= 0 || height <= 0 ||
                width > LARGEST_CAPTURE || height > LARGEST_CAPTURE)
                throw new Error('the area is not a rectangle on the screen');
            const fds = invocation.get_message().get_unix_fd_list();
            if (!fds || handle >= fds.get_length())
                throw new Error('no file was passed');
            // The caller's own memory file: nothing is written to disk.
            const stream = new Gio.UnixOutputStream({ fd: fds.get(handle), close_fd: true });
            const origin = primaryOrigin();
            this._shooter.screenshot_area(x + origin[0], y + origin[1], width, height, stream,
                (shooter, result) => {
                    try {
                        shooter.screenshot_area_finish(result);
                        stream.close(null);
                        invocation.return_value(null);
                    } catch (e) {
                        stream.close(null);
                        invocation.return_dbus_error('org.freedesktop.DBus.Error.Failed', String(e));
                    }
                });
        });
    }

    PlaceWindowAsync([title, x, y], invocation) {
        this._serve(invocation, (agentPid) => {
            if (!isInteger(x) || !isInteger(y))
                throw new Error('the point is not on the screen');
            const window = global.get_window_actors()
                .map((actor) => actor.get_meta_window())
                .find((w) => w && w.get_pid() === agentPid && w.get_title() === title);
            if (window) {
                const origin = primaryOrigin();
                this._place(window, x + origin[0], y + origin[1]);
            }
            invocation.return_value(new GLib.Variant('(b)', [Boolean(window)]));
        });
    }

    // The Shell gives a window its own place as it first appears, over any
    // earlier move; the agent asks as soon as it has shown the card, which is
    // usually before then: such a window is moved once it has appeared.
    _place(window, x, y) {
        this._forgetUnshown(window);
        const place = () => {
            if (!window.is_above())
                window.make_above();
            window.move_frame(false, x, y);
            window.raise();
        };
        if (window.get_compositor_private()?.visible) {
            place();
            return;
        }
        this._unshown.set(window, [
            window.connect('shown', () => {
                this._forgetUnshown(window);
                place();
            }),
            window.connect('unmanaged', () => this._forgetUnshown(window)),
        ]);
    }

    _forgetUnshown(window) {
        (this._unshown.get(window) ?? []).forEach((id) => window.disconnect(id));
        this._unshown.delete(window);
    }

    WatchAsync(params, invocation) {
        this._serve(invocation, () => {
            const sender = invocation.get_sender();
            if (this._watcher !== sender) {
                this._stopWatching();
                this._watcher = sender;
                this._watchId = Gio.bus_watch_name_on_connection(Gio.DBus.session, sender,
                    Gio.BusNameWatcherFlags.NONE, null, () => this._stopWatching());
                this._timer = GLib.timeout_add(GLib.PRIORITY_DEFAULT, WATCH_INTERVAL_MS, () => {
                    this._compareMask();
                    return GLib.SOURCE_CONTINUE;
                });
            }
            invocation.return_value(null);
        });
    }

    _compareMask() {
        const mask = global.get_pointer()[2];
        if (mask === this._lastMask)
            return;
        this._lastMask = mask;
        // To the watcher alone: other programs learn nothing of the keys.
        Gio.DBus.session.emit_signal(this._watcher, OBJECT_PATH, INTERFACE, 'ModifiersChanged',
            new GLib.Variant('(u)', [mask]));
    }

    _stopWatching() {
        if (this._timer)
            GLib.source_remove(this._timer);
        if (this._watchId)
            Gio.bus_unwatch_name(this._watchId);
        this._timer = this._watchId = 0;
        this._watcher = null;
        this._lastMask = -1;
    }
}

class Extension {
    enable() {
        const file = ExtensionUtils.getCurrentExtension().dir.get_child(`${INTERFACE}.xml`);
        const [, contents] = file.load_contents(null);
        this._service = new VistelService(ByteArray.toString(contents));
        this._service.export();
    }

    disable() {
        this._service.unexport();
        this._service = null;
    }
}

function init() {
    return new Extension();
}
