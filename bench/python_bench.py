#!/usr/bin/env python3
"""The zel Python module against zel-sim over TCP loopback, figures printed, nothing asserted:
  - temperature() in a Python loop beside the same exchange looped in C++ (the device layer's
    ReadTemperature on the same connection), rounds taken in turn; goal: at most 1.3 times;
  - the update iterator with all four reports every 1 ms: rate, backlog and losses;
  - its headroom: how fast it takes a burst of position reports the simulator sends at once.

    python3 bench/python_bench.py [--build build] [--count 2000] [--rounds 7] [--seconds 3]
"""
import argparse
import os
import statistics
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def start_sim(binary, *options):
    proc = subprocess.Popen([binary, "--tcp", "0", "--referenced", *options], stdout=subprocess.PIPE,
                            stderr=subprocess.DEVNULL, text=True)
    endpoint = None
    for line in proc.stdout:
        if line.startswith("tcp "):
            endpoint = line.split()[1]
        if line.strip() == "ready":
            break
    if endpoint is None:
        sys.exit("zel-sim did not start")
    return proc, "tcp://" + endpoint


def cpu():
    return time.process_time()


def exchanges(zel, g, count, rounds):
    native = zel._zel._native_temperature_loop
    for _ in range(count // 4):  # warm up both ends
        g.temperature()
    py_us, cpp_us, py_cpu, cpp_cpu = [], [], [], []
    for _ in range(rounds):
        c0, t0 = cpu(), time.perf_counter()
        for _ in range(count):
            g.temperature()
        py_us.append((time.perf_counter() - t0) / count * 1e6)
        py_cpu.append((cpu() - c0) / count * 1e6)
        c0 = cpu()
        cpp_us.append(native(g, count) / count * 1e6)
        cpp_cpu.append((cpu() - c0) / count * 1e6)
    py, cpp = statistics.median(py_us), statistics.median(cpp_us)
    print(f"exchange   temperature() from Python  {py:8.1f} us  (client processor {statistics.median(py_cpu):.1f} us)")
    print(f"exchange   ReadTemperature from C++   {cpp:8.1f} us  (client processor {statistics.median(cpp_cpu):.1f} us)")
    print(f"exchange   ratio Python / C++         {py / cpp:8.2f}     (goal: at most 1.30; "
          f"{rounds} rounds of {count}, medians; spread Python {min(py_us):.1f}-{max(py_us):.1f}, "
          f"C++ {min(cpp_us):.1f}-{max(cpp_us):.1f} us)")


def updates(g, seconds):
    kinds = ("system_state", "grasping_state", "position", "force")
    counts = dict.fromkeys(kinds, 0)
    worst_lag = 0.0
    with g.updates(kinds, period=1, on_change=False) as u:
        for _ in range(8):  # the immediate answers
            u.get(timeout=1)
        start = time.monotonic()
        c0 = cpu()
        while (now := time.monotonic()) - start < seconds:
            item = next(u)
            counts[item.kind] += 1
            worst_lag = max(worst_lag, now - item.time)
        used = cpu() - c0
        backlog, dropped, pending = u.max_backlog, u.dropped, u.pending
    elapsed = time.monotonic() - start
    rates = ", ".join(f"{k} {counts[k] / elapsed:.0f}/s" for k in kinds)
    print(f"updates    1 ms period, 4 kinds: {rates}")
    print(f"updates    largest queue {backlog}, left at the end {pending}, dropped {dropped}, "
          f"oldest taken {worst_lag * 1e3:.2f} ms after arrival, client processor {100 * used / elapsed:.0f} %")


def burst(zel, binary, size):
    proc, url = start_sim(binary, "--fault", f"burst={size}")
    try:
        with zel.Gripper.connect(url) as g, g.updates(["position"], period=60000) as u:
            while u.get(timeout=0.3) is not None:  # the bursts after switching on
                pass
            t0 = time.perf_counter()
            g.temperature()  # its answer is followed by the burst
            for _ in range(size):
                next(u)
            elapsed = time.perf_counter() - t0
            print(f"updates    a burst of {size} position reports taken in {elapsed * 1e3:.0f} ms: "
                  f"{size / elapsed:.0f} reports/s, largest queue {u.max_backlog}, dropped {u.dropped}")
    finally:
        proc.kill()
        proc.wait()


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", default=os.path.join(ROOT, "build"))
    ap.add_argument("--count", type=int, default=2000)
    ap.add_argument("--rounds", type=int, default=7)
    ap.add_argument("--seconds", type=float, default=3.0)
    a = ap.parse_args()
    sys.path.insert(0, os.path.join(a.build, "python"))
    import zel

    sim = os.path.join(a.build, "tools", "zel-sim", "zel-sim")
    proc, url = start_sim(sim)
    try:
        with zel.Gripper.connect(url) as g:
            exchanges(zel, g, a.count, a.rounds)
            updates(g, a.seconds)
    finally:
        proc.kill()
        proc.wait()
    burst(zel, sim, 20000)


if __name__ == "__main__":
    main()
