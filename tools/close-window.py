#!/usr/bin/python3
"""Asks an X window to close, as a window manager's close button does
(WM_DELETE_WINDOW). Used for screenshots under Xvfb, which has no manager.

usage: close-window.py TITLE
"""
import sys

from Xlib import X, display, protocol


def find(window, title):
    name = window.get_wm_name()
    if name == title:
        return window
    for child in window.query_tree().children:
        found = find(child, title)
        if found:
            return found
    return None


def main():
    d = display.Display()
    target = find(d.screen().root, sys.argv[1])
    if target is None:
        sys.exit("no window titled %r" % sys.argv[1])
    protocols = d.intern_atom("WM_PROTOCOLS")
    delete = d.intern_atom("WM_DELETE_WINDOW")
    event = protocol.event.ClientMessage(window=target, client_type=protocols,
                                         data=(32, [delete, X.CurrentTime, 0, 0, 0]))
    target.send_event(event, event_mask=X.NoEventMask)
    d.flush()


if __name__ == "__main__":
    main()
