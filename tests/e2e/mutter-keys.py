"""Key presses for the mutter case (mutter.sh), through mutter's own remote
desktop interface on the session bus: one session for the whole run, since
mutter ends a session when its caller leaves the bus. Reads lines from stdin:
"key KEYSYM down|up" (KEYSYM as a number, 0xff1b for Escape) or
"sleep SECONDS"."""
import sys
import time

from gi.repository import Gio, GLib

SERVICE = "org.gnome.Mutter.RemoteDesktop"
SESSION = SERVICE + ".Session"

bus = Gio.bus_get_sync(Gio.BusType.SESSION)


def call(path, interface, method, args=None):
    return bus.call_sync(SERVICE, path, interface, method, args, None,
                         Gio.DBusCallFlags.NONE, -1, None)


session = call("/org/gnome/Mutter/RemoteDesktop", SERVICE, "CreateSession").unpack()[0]
call(session, SESSION, "Start")
for line in sys.stdin:
    words = line.split()
    if words[0] == "key":
        call(session, SESSION, "NotifyKeyboardKeysym",
             GLib.Variant("(ub)", (int(words[1], 0), words[2] == "down")))
    elif words[0] == "sleep":
        time.sleep(float(words[1]))
call(session, SESSION, "Stop")
