#!/usr/bin/env python3
"""The reference host's receiving thread against the built-in simulator at
115200 baud: CPU time per published record with and without the host's
outputs, in alternating rounds, so that other load on the machine hits every
variant alike. Prints each round and the medians with their ratio to the first
variant.

    bench/host/bench_host.py [--host build/release/bin/is900-host] [--rounds 3] [--seconds 10]

With --baseline OTHER_HOST it compares two builds instead: the whole host
(every thread) per record, each with the web view and --viewers open event
streams, OTHER_HOST's rounds alternating with the host's.
"""
import argparse
import http.client
import os
import re
import statistics
import subprocess
import sys
import tempfile
import threading
import time

CONFIG = "baud 115200\nsensors 1 1\ncontrollers 0 1\n"
WARM_UP = 2.0


def threads_ns(pid, only=None):
    """CPU time so far of the host's threads (those named only, if given), in
    nanoseconds; None when there is no such thread."""
    total = None
    for tid in os.listdir(f"/proc/{pid}/task"):
        try:
            with open(f"/proc/{pid}/task/{tid}/comm") as comm:
                if only and comm.read().strip() != only:
                    continue
            with open(f"/proc/{pid}/task/{tid}/schedstat") as stat:
                total = (total or 0) + int(stat.read().split()[0])
        except OSError:
            pass  # the thread ended
    return total


def receiving_thread_ns(pid):
    return threads_ns(pid, "is900-receive")


def whole_host_ns(pid):
    return threads_ns(pid)


def discard(response):
    try:
        while response.read1(65536):
            pass
    except (OSError, AttributeError, http.client.HTTPException):
        pass  # the stream was closed


def open_viewers(url, count):
    """count Server-Sent Events streams that read and discard everything."""
    match = re.match(r"http://([^:/]+):(\d+)/", url)
    connections = []
    for _ in range(count):
        connection = http.client.HTTPConnection(match.group(1), int(match.group(2)), timeout=30)
        connection.request("GET", "/events")
        response = connection.getresponse()
        assert response.status == 200, response.status
        threading.Thread(target=discard, args=(response,), daemon=True).start()
        connections.append(connection)
    return connections


def run(host, config, seconds, args, viewers, cpu_ns=receiving_thread_ns):
    process = subprocess.Popen([host, "--simulate", "-c", config, "--format", "jsonl", "-q",
                                "--duration", str(seconds + WARM_UP + 2)] + args,
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    records = [0]

    def count():
        for line in process.stdout:
            if line.startswith(b'{"type":"tracker"') or line.startswith(b'{"type":"controller"'):
                records[0] += 1
    threading.Thread(target=count, daemon=True).start()
    connections = []
    if viewers:
        url = None
        while url is None:
            match = re.search(rb"web view at (http://\S+)", process.stderr.readline())
            url = match and match.group(1).decode()
        connections = open_viewers(url, viewers)
    time.sleep(WARM_UP)
    cpu0, records0 = cpu_ns(process.pid), records[0]
    time.sleep(seconds)
    cpu1, records1 = cpu_ns(process.pid), records[0]
    for connection in connections:
        connection.close()
    process.wait()
    if cpu0 is None or cpu1 is None or records1 == records0:
        sys.exit("bench_host: no receiving thread or no records; is the host built?")
    return (cpu1 - cpu0) / 1000.0 / (records1 - records0), (records1 - records0) / seconds


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--host", default=os.path.join(here, "../../build/release/bin/is900-host"))
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--seconds", type=float, default=10.0)
    parser.add_argument("--baseline", help="another build's is900-host to compare the host with")
    parser.add_argument("--viewers", type=int, default=16)
    options = parser.parse_args()
    web = ["--web", "127.0.0.1:0"]
    viewers = f"web view, {options.viewers} viewers"
    if options.baseline:
        variants = [(f"baseline, {viewers}", options.baseline, web, options.viewers),
                    (viewers, options.host, web, options.viewers)]
        measured, cpu_ns = "the whole host's", whole_host_ns
    else:
        variants = [("none", options.host, [], 0), (viewers, options.host, web, options.viewers)]
        measured, cpu_ns = "receiving thread's", receiving_thread_ns
    with tempfile.NamedTemporaryFile("w", suffix=".cfg") as config:
        config.write(CONFIG)
        config.flush()
        results = {name: [] for name, _, _, _ in variants}
        for round_number in range(1, options.rounds + 1):
            for name, host, args, viewer_count in variants:
                cpu, rate = run(host, config.name, options.seconds, args, viewer_count, cpu_ns)
                results[name].append(cpu)
                print(f"round {round_number}  {name:34s} {cpu:7.2f} us CPU per record  ({rate:.0f} records/s)",
                      flush=True)
    first = variants[0][0]
    base = statistics.median(results[first])
    print(f"\nmedian over {options.rounds} rounds of {options.seconds:g} s, {measured} CPU per record:")
    for name, _, _, _ in variants:
        median = statistics.median(results[name])
        print(f"  {name:34s} {median:7.2f} us   {median / base:5.2f} x {first}")


if __name__ == "__main__":
    main()
