#!/usr/bin/env python3
"""Records the simulator's output and writes the record stream target's seeds:
six bytes of device settings, then what the line delivered.

Usage: make-stream-seeds.py SIMULATOR OUTPUT_FOLDER"""
import os, subprocess, sys, time

sim, out = sys.argv[1], sys.argv[2]

def capture(args, seconds=0.4):
    link = f"/tmp/is900-seed-{os.getpid()}"
    proc = subprocess.Popen([sim, "--stream", "--quiet", "--link", link, "--baud", "115200", "--seed", "7"] + args,
                            stdout=subprocess.DEVNULL)
    while not os.path.exists(link):
        time.sleep(0.01)
    fd = os.open(link, os.O_RDWR | os.O_NOCTTY)
    import termios, tty
    tty.setraw(fd)
    data, end = b"", time.time() + seconds
    while time.time() < end and len(data) < 1500:
        import select
        if select.select([fd], [], [], 0.05)[0]:
            data += os.read(fd, 4096)
    os.close(fd)
    proc.terminate()
    proc.wait()
    # Start on a record boundary, as a device that was listening would.
    start = data.find(b"\r\n")
    return data[start + 2:] if start >= 0 else data

def settings(sensors, controllers, flags=0, tra_base=0, con_base=0, station=0):
    return bytes([sensors, controllers, flags, tra_base, con_base, station])

seeds = {
    "head-and-wand": (settings(0b11, 0b10), ["--station", "1:tracker", "--station", "2:both"]),
    "three-trackers-cave": (settings(0b111, 0, 1), ["--station", "1:tracker", "--station", "2:tracker",
                                                       "--station", "3:tracker"]),
    "wand-only": (settings(0, 0b1), ["--station", "1:wand"]),
    "corrections-cm": (settings(0b11, 0b10, 2 | 8 | 16, 3, 5, 1), ["--station", "1:tracker", "--station", "2:both",
                                                                    "--units", "cm"]),
    "faults": (settings(0b101, 0b100, 4), ["--station", "1:tracker", "--station", "3:both", "--garbage-every", "3",
                                           "--truncate-every", "4", "--crlf-every", "5"]),
    "high-ids": (settings(0b11111111, 0b11, 0, 27, 30), ["--station", "1:tracker", "--station", "2:both",
                                                          "--station", "8:tracker"]),
}
for name, (head, args) in seeds.items():
    with open(os.path.join(out, name), "wb") as f:
        f.write(head + capture(args))
