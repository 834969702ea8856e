#!/usr/bin/env python3
"""Turns a capture of the tracker's line (the device's capture option) into a
seed of the record stream target: six bytes of device settings taken from
the capture's option lines, then the bytes the device read, up to a limit.

Usage: capture-to-seed.py CAPTURE SEED [MAX_BYTES]"""
import struct, sys, urllib.parse

def read_capture(path):
    with open(path, "rb") as f:
        fields = f.readline().rstrip(b"\n").decode("ascii").split("\t")
        if fields[:2] != ["is900-capture", "1"]:
            sys.exit(f"{path}: not a version 1 capture: {fields[:2]}")
        options = [[urllib.parse.unquote(word) for word in field[len("option="):].split(" ")]
                   for field in fields[2:] if field.startswith("option=")]
        tracker_side = b""
        while len(head := f.read(13)) == 13:
            kind, _, length = struct.unpack("<cQI", head)
            data = f.read(length)
            if kind == b"R":
                tracker_side += data
    return options, tracker_side

def station_mask(args):
    return sum(1 << k for k, arg in enumerate(args[:8]) if arg.strip() in ("1", "0x1"))

def settings(options):
    sensors, controllers, cave, centimetres = 0b11, 0, True, False
    for keyword, *args in options:
        keyword = keyword.lower()
        if keyword in ("sensors", "sensor", "trackers", "tracker"):
            sensors = station_mask(args)
        elif keyword in ("controllers", "controller", "wands", "wand"):
            controllers = station_mask(args)
        elif keyword == "cavecoord" and args:
            cave = args[0].lower() in ("on", "yes")
        elif keyword == "devdataunit" and args:
            centimetres = args[0].lower().startswith("c")
    return bytes([sensors, controllers, int(cave) | 2 * int(centimetres), 0, 0, 0])

options, tracker_side = read_capture(sys.argv[1])
limit = int(sys.argv[3]) if len(sys.argv) > 3 else 4096
with open(sys.argv[2], "wb") as seed:
    seed.write(settings(options) + tracker_side[:limit])
