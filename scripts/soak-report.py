#!/usr/bin/env python3
"""Compares the records the simulator sent (its record log) with those the
host published (JSON lines) for scripts/soak, and prints the soak figures.
Exits 1 when a record was lost or corrupted or memory grew by 1 MiB or more."""
import argparse, json, math, struct, sys

TRACKER_LENGTHS, CONTROLLER_LENGTHS = (29, 32), (8, 32)
TOLERANCE = 2  # fixed-point units: the host prints values decoded in single precision


def f32(value):
    return struct.unpack("<f", struct.pack("<f", value))[0]


def fixed(value, scale):
    scaled = value * scale
    if math.isnan(scaled):
        return 0
    return max(-2**31, min(2**31 - 1, math.trunc(scaled) if math.isfinite(scaled) else int(math.copysign(2**31, scaled))))


def tracker_expected(data):
    """Fixed-point pose the device must publish: inches to feet, no CAVE mapping."""
    pose = struct.unpack("<6f", data[3:27])
    k = f32(0.083333336)
    return tuple([fixed(f32(k * v), 1e5) for v in pose[:3]] + [fixed(v, 1e5) for v in pose[3:]])


def controller_expected(data):
    p = 27 if len(data) == 32 else 3
    values = []
    for raw in data[p + 1:p + 3]:
        offset = raw - 127
        values.append(fixed(f32(offset / 128.0 if raw > 127 else offset / 127.0), 1e3))
    return tuple([data[p]] + values)


def read_sent(path):
    trackers, controllers = {}, {}
    with open(path) as log:
        for line in log:
            words = line.split()
            if " ascii" in line or " truncated" in line or " crlf" in line:
                continue
            station = int(words[2])
            data = bytes(int(h, 16) for h in words[words.index("bytes") + 1:])
            if len(data) in TRACKER_LENGTHS:
                trackers.setdefault(station, []).append(tracker_expected(data))
            if len(data) in CONTROLLER_LENGTHS:
                controllers.setdefault(station, []).append(controller_expected(data))
    return trackers, controllers


def read_published(path):
    trackers, controllers = {}, {}
    with open(path) as lines:
        for line in lines:
            if not line.startswith("{"):
                continue
            r = json.loads(line)
            if r["type"] == "tracker":
                values = tuple(round(r[k] * 1e5) for k in ("x", "y", "z", "azim", "elev", "roll"))
                trackers.setdefault(r["station"], []).append(values)
            elif r["type"] == "controller":
                buttons = sum(1 << n for n, b in enumerate(r["buttons"]) if b)
                controllers.setdefault(r["station"], []).append(
                    tuple([buttons] + [round(v * 1e3) for v in r["valuators"]]))
    return trackers, controllers


def same(a, b):
    return len(a) == len(b) and all(abs(x - y) <= TOLERANCE for x, y in zip(a, b))


def account(sent, published, start=0):
    """Walks one station's sent and published records in order; returns
    (published, lost, corrupted, index of the first sent record published).
    The sent records fall into runs of equal records, and the device must
    publish each run's first record once: a published record matches the
    next run of its value, and the runs it skipped were lost. Runs before the
    first and after the last published record fall outside the time the host
    was receiving. Controller states repeat, so a both station's controller
    records start at the sent record its first tracker record came from."""
    runs, run_of = [], []
    for k, record in enumerate(sent):
        if k == 0 or record != sent[k - 1]:
            runs.append((record, k))
        run_of.append(len(runs) - 1)
    lost = corrupted = 0
    next_run = run_of[start] if start < len(run_of) else 0
    first = None
    for record in published:
        found = next((r for r in range(next_run, min(len(runs), next_run + 5000)) if same(runs[r][0], record)), None)
        if found is None:
            corrupted += 1
            continue
        if first is None:
            first = max(runs[found][1], start)
        else:
            lost += found - next_run
        next_run = found + 1
    return len(published), lost, corrupted, first


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("sent")
    parser.add_argument("published")
    parser.add_argument("--rss", nargs=2, type=int, metavar=("WARM_KIB", "END_KIB"), required=True)
    parser.add_argument("--cpu", nargs=3, type=int, metavar=("TICKS", "TICKS_PER_S", "RECORDS"), required=True)
    parser.add_argument("--minutes", type=float, required=True)
    args = parser.parse_args()

    sent_tra, sent_con = read_sent(args.sent)
    pub_tra, pub_con = read_published(args.published)
    totals = {"sent": 0, "published": 0, "lost": 0, "corrupted": 0}
    starts = {}
    for kind, sent, published in (("tracker", sent_tra, pub_tra), ("controller", sent_con, pub_con)):
        for station in sorted(set(sent) | set(published)):
            start = starts.get(station, 0) if kind == "controller" else 0
            n, lost, corrupted, first = account(sent.get(station, []), published.get(station, []), start or 0)
            if kind == "tracker":
                starts[station] = first
            print(f"  {kind} station {station}: sent {len(sent.get(station, []))}, published {n}, "
                  f"lost {lost}, corrupted {corrupted}")
            totals["sent"] += len(sent.get(station, []))
            totals["published"] += n
            totals["lost"] += lost
            totals["corrupted"] += corrupted
    warm, end = args.rss
    ticks, per_second, records = args.cpu
    cpu_us = ticks / per_second * 1e6 / records if records else float("nan")
    print(f"soak {args.minutes:g} min: samples sent {totals['sent']}, published {totals['published']}, "
          f"lost {totals['lost']}, corrupted {totals['corrupted']}")
    print(f"host resident memory: {warm} KiB after 30 s, {end} KiB at the end ({end - warm:+d} KiB)")
    print(f"receiving thread CPU: {cpu_us:.1f} us per record ({records} records, {ticks} ticks)")
    ok = totals["lost"] == 0 and totals["corrupted"] == 0 and end - warm < 1024
    print("soak: PASS" if ok else "soak: FAIL")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
