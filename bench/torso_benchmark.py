"""Cost of one gaze-controller tick: `Torso.look_at` for the whole example
torso on one target, through quorbel_torso's single-target path, and the C++
core's `look_at(const Torso&, ...)` on the same targets; in the cases a 500 Hz
gaze loop meets: every mechanism reaches the target, or the arms clamp
(beyond their joint limits, out of their workspace, behind the torso).
Writes bench/TORSO_RESULTS.md.

    python bench/torso_benchmark.py [--ticks N] [--core-driver PATH]
                                    [--core-driver-before PATH]
                                    [--python-before PYTHON] [--out FILE]

The core driver is bench/torso_look_at_driver.cpp, built with the project's
flags by the benchmark's CMake project:

    cmake -S bench -B build-bench -G Ninja && cmake --build build-bench --target qtk_torso_look_at_driver

`--core-driver-before` and `--python-before` (an interpreter with another
build of the package installed) add columns for the code before a change;
`--python-only` prints the Python times alone, in ns, one case a line. Each tick is given the last tick's
aim as `previous`, as a controller passes its current pose. Times are the
calling thread's CPU time, medians of 9 rounds (interleaved over the cases in
Python), so time spent descheduled on a busy machine is not counted. A
measurement, not a test: nothing fails on slow numbers.
"""
import argparse
import datetime
import os
import platform
import statistics
import subprocess
import time
from pathlib import Path

import numpy as np
from machine_info import cpu_model

import quorbel_torso as qt

ROUNDS = 9
# (case, target in metres, torso frame)
CASES = [
    ("all three reach the target (the gaze loop's sweep)", (0.7, 0.1, 0.2)),
    ("left, up and aside: the gaze loop's jump, all three clamp", (0.15, 0.9, 0.6)),
    ("right, up and aside: all three clamp", (0.15, -0.9, 0.6)),
    ("left, low and aside: both arms clamp", (0.2, 0.9, -0.5)),
    ("right, low and ahead: both arms clamp", (0.5, -0.5, -0.5)),
    ("behind the torso: all three clamp", (-1.0, 0.0, 0.3)),
    ("straight up: all three clamp", (0.3, 0.0, 2.0)),
    ("behind, above and near: the dearest of 528 targets around the torso",
     (-0.39, 0.1, 0.45)),
    ("behind and high", (-2.46, 0.66, 1.59)),
]
STATUS = {0: "reached", 1: "clamped", 2: "no direction", 3: "unreachable"}


def python_ticks_ns(torso, ticks):
    """Median over rounds of the thread CPU time per tick, per case."""
    targets = [np.array(target) for _, target in CASES]
    aims = [torso.look_at(target) for target in targets]
    per_round = ticks // ROUNDS
    samples = [[] for _ in CASES]
    for _ in range(ROUNDS):
        for i, target in enumerate(targets):
            aim = aims[i]
            start = time.thread_time_ns()
            for _ in range(per_round):
                aim = torso.look_at(target, previous=aim)
            samples[i].append((time.thread_time_ns() - start) / per_round)
            aims[i] = aim
    return [statistics.median(s) for s in samples], aims


def core_ticks_ns(driver, ticks):
    arguments = [str(c) for _, target in CASES for c in target]
    out = subprocess.run([str(driver), str(ticks), *arguments], check=True,
                         capture_output=True, text=True).stdout
    return [float(line) for line in out.split()]


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--ticks", type=int, default=4500)
    parser.add_argument("--core-driver", type=Path)
    parser.add_argument("--core-driver-before", type=Path)
    parser.add_argument("--python-before")
    parser.add_argument("--python-only", action="store_true")
    parser.add_argument("--before-label", help="what the 'before' columns ran")
    parser.add_argument("--out", type=Path,
                        default=Path(__file__).resolve().parent / "TORSO_RESULTS.md")
    args = parser.parse_args()
    torso = qt.Torso.example()
    python_ns, aims = python_ticks_ns(torso, args.ticks)
    if args.python_only:
        print("\n".join(str(ns) for ns in python_ns))
        return
    python_before_ns = None
    if args.python_before:
        out = subprocess.run([args.python_before, __file__, "--python-only", "--ticks",
                              str(args.ticks)], check=True, capture_output=True, text=True,
                             cwd="/").stdout
        python_before_ns = [float(line) for line in out.split()]
    core_ns = core_ticks_ns(args.core_driver, args.ticks) if args.core_driver else None
    before_ns = (core_ticks_ns(args.core_driver_before, args.ticks)
                 if args.core_driver_before else None)
    load = os.getloadavg()[0]
    header = "| case | target (m) | left arm, right arm, neck | `Torso.look_at` per tick |"
    rule = "|---|---|---|---|"
    if python_before_ns:
        header += " `Torso.look_at` per tick, before |"
        rule += "---|"
    if core_ns:
        header += " C++ core per tick |"
        rule += "---|"
    if before_ns:
        header += " C++ core per tick, before |"
        rule += "---|"
    rows = []
    for i, (name, target) in enumerate(CASES):
        status = ", ".join(STATUS[int(s)] for s in aims[i].status)
        row = f"| {name} | {target} | {status} | {python_ns[i] / 1e3:.1f} µs |"
        if python_before_ns:
            row += f" {python_before_ns[i] / 1e3:.1f} µs |"
        if core_ns:
            row += f" {core_ns[i] / 1e3:.1f} µs |"
        if before_ns:
            row += f" {before_ns[i] / 1e3:.1f} µs |"
        rows.append(row)
    worst = max(python_ns) / 1e3
    lines = [
        "# The torso's look-at: cost per tick",
        "",
        "Written by `python bench/torso_benchmark.py`: the c" + __doc__.split("\n\n")[0]
        .replace("\n", " ").replace(" Writes bench/TORSO_RESULTS.md.", "")[1:],
        "",
        f"- Ticks per case: {args.ticks} ({ROUNDS} rounds); thread CPU time, median of the rounds.",
        *([f"- Before: {args.before_label}"] if args.before_label else []),
        f"- Machine: {cpu_model()}, {os.cpu_count()} logical cores, "
        f"Linux {platform.release()}; Python {platform.python_version()}, NumPy {np.__version__}",
        f"- Date: {datetime.datetime.now(datetime.timezone.utc):%Y-%m-%d %H:%M} UTC; "
        f"load average (1 min) at the end: {load:.2f} (the machine is shared)",
        "",
        header,
        rule,
        *rows,
        "",
        f"The dearest case costs {worst:.1f} µs per target through `Torso.look_at`; "
        "a 500 Hz loop has 2000 µs per tick.",
        "",
    ]
    args.out.write_text("\n".join(lines), encoding="utf-8")
    print("\n".join(lines))


if __name__ == "__main__":
    main()
