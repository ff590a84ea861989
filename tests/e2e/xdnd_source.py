#!/usr/bin/python3
# A native GTK3 drag source offering the files named on the command line as
# text/uri-list. It prints "ready" when shown and lives until killed (or a
# minute), so that a failed drag can be tried again.
import sys

import gi

gi.require_version("Gtk", "3.0")
from gi.repository import Gdk, GLib, Gtk  # noqa: E402

paths = sys.argv[1:]
window = Gtk.Window(title="Drag source")
window.move(20, 20)
window.set_default_size(120, 80)
button = Gtk.Button(label="drag me")
window.add(button)
button.drag_source_set(Gdk.ModifierType.BUTTON1_MASK, [], Gdk.DragAction.COPY)
button.drag_source_add_uri_targets()
button.connect("drag-data-get",
               lambda widget, context, data, info, time: data.set_uris([GLib.filename_to_uri(p, None) for p in paths]))
window.connect("destroy", Gtk.main_quit)
window.show_all()
print("ready", flush=True)
GLib.timeout_add_seconds(60, Gtk.main_quit)
Gtk.main()
