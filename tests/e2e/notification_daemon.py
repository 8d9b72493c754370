"""A desktop notification service on the session bus for the tests: it owns
org.freedesktop.Notifications and writes each Notify call it receives as one
JSON line to the file named by its argument. It prints "ready" once it owns
the name, and ends on SIGTERM."""

import json
import signal
import sys

from gi.repository import Gio, GLib

INTERFACE = """
<node>
  <interface name="org.freedesktop.Notifications">
    <method name="Notify">
      <arg type="s" direction="in"/><arg type="u" direction="in"/>
      <arg type="s" direction="in"/><arg type="s" direction="in"/>
      <arg type="s" direction="in"/><arg type="as" direction="in"/>
      <arg type="a{sv}" direction="in"/><arg type="i" direction="in"/>
      <arg type="u" direction="out"/>
    </method>
    <method name="CloseNotification"><arg type="u" direction="in"/></method>
    <method name="GetCapabilities"><arg type="as" direction="out"/></method>
    <method name="GetServerInformation">
      <arg type="s" direction="out"/><arg type="s" direction="out"/>
      <arg type="s" direction="out"/><arg type="s" direction="out"/>
    </method>
    <signal name="NotificationClosed"><arg type="u"/><arg type="u"/></signal>
    <signal name="ActionInvoked"><arg type="u"/><arg type="s"/></signal>
  </interface>
</node>
"""

record = sys.argv[1]
loop = GLib.MainLoop()
counter = [0]


def on_call(connection, sender, path, interface, method, parameters, invocation):
    if method == "Notify":
        app_name, _, app_icon, summary, body, _, hints, _ = parameters.unpack()
        counter[0] += 1
        with open(record, "a") as out:
            out.write(json.dumps({"app_name": app_name, "app_icon": app_icon,
                                  "summary": summary, "body": body,
                                  "hints": {k: str(v) for k, v in hints.items()}}) + "\n")
        invocation.return_value(GLib.Variant("(u)", (counter[0],)))
    elif method == "GetCapabilities":
        invocation.return_value(GLib.Variant("(as)", (["body"],)))
    elif method == "GetServerInformation":
        invocation.return_value(GLib.Variant("(ssss)", ("test", "lumivant", "1", "1.2")))
    else:
        invocation.return_value(None)


def on_bus(connection, name):
    info = Gio.DBusNodeInfo.new_for_xml(INTERFACE).interfaces[0]
    connection.register_object("/org/freedesktop/Notifications", info, on_call, None, None)


def on_name(connection, name):
    print("ready", flush=True)


Gio.bus_own_name(Gio.BusType.SESSION, "org.freedesktop.Notifications",
                 Gio.BusNameOwnerFlags.NONE, on_bus, on_name, lambda *a: loop.quit())
GLib.unix_signal_add(GLib.PRIORITY_DEFAULT, signal.SIGTERM, loop.quit)
loop.run()
