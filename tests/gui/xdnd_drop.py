#!/usr/bin/env python3
"""Drops files on a window the way a file manager does, as the source of an X11 drag and drop
(XDND): xdnd_drop.py TITLE PATH...

Finds the top-level window titled TITLE that takes drops (XdndAware), offers the paths as
text/uri-list, moves over the window's centre, drops, and waits for the target to finish.
Prints "drop: N paths accepted" and exits 0, or prints "FAILED: ..." and exits 2.
"""
import sys
import time
import urllib.parse

from Xlib import X, display, protocol

XDND_VERSION = 5  # Wine takes versions 3 to 5 of the protocol
STEP_TIMEOUT = 10.0


def fail(what):
    print("FAILED: " + what, flush=True)
    sys.exit(2)


def find_target(disp, title):
    """The top-level window titled title that carries XdndAware, or None."""
    aware = disp.intern_atom("XdndAware")
    for window in disp.screen().root.query_tree().children:
        try:
            if window.get_wm_name() == title and window.get_full_property(aware, X.AnyPropertyType):
                return window
        except Exception:  # a window that went away while we looked
            continue
    return None


def uri_list(paths):
    # CRLF between entries: with LF alone Wine breaks every path after the first.
    return "".join("file://" + urllib.parse.quote(path) + "\r\n" for path in paths).encode()


def send(disp, target, source, name, data):
    event = protocol.event.ClientMessage(window=target, client_type=disp.intern_atom(name),
                                         data=(32, [source.id] + data + [0] * (4 - len(data))))
    target.send_event(event)
    disp.flush()


def answer_selection(disp, event, data, uri_type):
    """Hands the uri list to a SelectionRequest; the target may ask at any time, even before the drop."""
    prop = event.property if event.property != X.NONE else event.target
    if event.target == uri_type:
        event.requestor.change_property(prop, uri_type, 8, data)
    else:
        prop = X.NONE
    event.requestor.send_event(protocol.event.SelectionNotify(
        time=event.time, requestor=event.requestor, selection=event.selection, target=event.target, property=prop))
    disp.flush()


def wait_for(disp, message, data, uri_type):
    """Serves selection requests until the client message named message arrives; returns it."""
    wanted = disp.intern_atom(message)
    deadline = time.time() + STEP_TIMEOUT
    while time.time() < deadline:
        while disp.pending_events():
            event = disp.next_event()
            if event.type == X.SelectionRequest:
                answer_selection(disp, event, data, uri_type)
            elif event.type == X.ClientMessage and event.client_type == wanted:
                return event
        time.sleep(0.01)
    fail("no " + message + " from the target")


def main():
    if len(sys.argv) < 3:
        print(__doc__, file=sys.stderr)
        return 1
    title, paths = sys.argv[1], sys.argv[2:]
    disp = display.Display()
    root = disp.screen().root
    source = root.create_window(0, 0, 1, 1, 0, X.CopyFromParent)
    uri_type = disp.intern_atom("text/uri-list")
    data = uri_list(paths)

    deadline = time.time() + STEP_TIMEOUT
    target = find_target(disp, title)
    while target is None and time.time() < deadline:
        time.sleep(0.05)
        target = find_target(disp, title)
    if target is None:
        fail("no window titled '%s' takes drops" % title)

    source.set_selection_owner(disp.intern_atom("XdndSelection"), X.CurrentTime)
    geometry = target.get_geometry()
    centre = target.translate_coords(root, geometry.width // 2, geometry.height // 2)
    send(disp, target, source, "XdndEnter", [XDND_VERSION << 24, uri_type])
    send(disp, target, source, "XdndPosition",
         [0, (centre.x << 16) | centre.y, X.CurrentTime, disp.intern_atom("XdndActionCopy")])
    status = wait_for(disp, "XdndStatus", data, uri_type)
    if not status.data[1][1] & 1:
        send(disp, target, source, "XdndLeave", [])
        fail("the target refused the drop")
    send(disp, target, source, "XdndDrop", [0, X.CurrentTime])
    finished = wait_for(disp, "XdndFinished", data, uri_type)
    if not finished.data[1][1] & 1:
        fail("the target did not accept the dropped data")
    print("drop: %d paths accepted" % len(paths), flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
