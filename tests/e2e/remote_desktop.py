#!/usr/bin/python3
# Drives GNOME Shell's pointer and keyboard through mutter's remote-desktop
# D-Bus API, as a remote-desktop client would: one session for the whole run,
# so that a key pressed by one command is released by a later one. Reads one
# command a line from standard input and answers "ok" (or "error: …"):
#   move X Y        the pointer to the global point (X, Y)
#   press KEYSYM    hold a key (a keysym number, e.g. 0xffe9 for Alt_L)
#   release KEYSYM  let it go
#   shot FILE       a PNG of the whole screen, as the Shell itself draws it
# The pointer is first pushed into the bottom right corner and then moved by
# the difference: relative motion needs no screen-cast stream, and the top
# left corner holds the Shell's hot corner, which stops the pointer.
import sys

from gi.repository import Gio, GLib

SERVICE = 'org.gnome.Mutter.RemoteDesktop'
SESSION = SERVICE + '.Session'
FAR = 100000.0

bus = Gio.bus_get_sync(Gio.BusType.SESSION)
# The Shell takes screenshots only for the programs it trusts, known by their bus names.
bus.call_sync('org.freedesktop.DBus', '/org/freedesktop/DBus', 'org.freedesktop.DBus', 'RequestName',
              GLib.Variant('(su)', ('org.gnome.Screenshot', 4)), None, Gio.DBusCallFlags.NONE, 5000, None)


def call(path, interface, method, signature=None, args=None):
    parameters = GLib.Variant(signature, args) if signature else None
    return bus.call_sync(SERVICE, path, interface, method, parameters, None,
                         Gio.DBusCallFlags.NONE, 5000, None)


session = call('/org/gnome/Mutter/RemoteDesktop', SERVICE, 'CreateSession').unpack()[0]
call(session, SESSION, 'Start')
width, height = (int(v) for v in sys.argv[1].split('x'))
for line in sys.stdin:
    words = line.split()
    try:
        if words[0] == 'move':
            call(session, SESSION, 'NotifyPointerMotionRelative', '(dd)', (FAR, FAR))
            call(session, SESSION, 'NotifyPointerMotionRelative', '(dd)',
                 (float(words[1]) - (width - 1), float(words[2]) - (height - 1)))
        elif words[0] in ('press', 'release'):
            call(session, SESSION, 'NotifyKeyboardKeysym', '(ub)',
                 (int(words[1], 0), words[0] == 'press'))
        elif words[0] == 'shot':
            done = bus.call_sync('org.gnome.Shell.Screenshot', '/org/gnome/Shell/Screenshot',
                                 'org.gnome.Shell.Screenshot', 'Screenshot',
                                 GLib.Variant('(bbs)', (False, False, words[1])), None,
                                 Gio.DBusCallFlags.NONE, 5000, None).unpack()[0]
            if not done:
                raise RuntimeError('the Shell took no screenshot')
        else:
            raise ValueError('unknown command ' + words[0])
        print('ok', flush=True)
    except Exception as e:  # the script reads the answer and gives up
        print('error:', e, flush=True)
call(session, SESSION, 'Stop')
