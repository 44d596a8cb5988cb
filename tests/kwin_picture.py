#!/usr/bin/python3
"""kwin_picture.py WINDOW: prints KWin's window WINDOW (by internal id) without its frame, as KWin's
screenshot service takes it, as a PAM image; the service writes into a pipe that gdbus cannot pass."""
import os
import sys

from gi.repository import Gio, GLib

reader, writer = os.pipe()
reply, _ = Gio.bus_get_sync(Gio.BusType.SESSION).call_with_unix_fd_list_sync(
    "org.kde.KWin", "/org/kde/KWin/ScreenShot2", "org.kde.KWin.ScreenShot2", "CaptureWindow",
    GLib.Variant("(sa{sv}h)", (sys.argv[1], {}, 0)), None, Gio.DBusCallFlags.NONE, -1,
    Gio.UnixFDList.new_from_array([writer]))  # the list owns the writing end, and closes it
image = reply.unpack()[0]
with os.fdopen(reader, "rb") as pipe:  # 4 bytes a pixel, rows without padding
    pixels = bytearray(pipe.read(image["width"] * image["height"] * 4))
if image["format"] in (4, 5, 6):  # QImage's 32-bit ARGB formats: B, G, R, A in memory
    pixels[0::4], pixels[2::4] = pixels[2::4], pixels[0::4]
header = "P7\nWIDTH {width}\nHEIGHT {height}\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n".format(**image)
sys.stdout.buffer.write(header.encode() + pixels)
