"""quorbel_torso's SIMD paths side by side in one run: each array method on
200,000 poses through every path this machine runs (`scalar` is the per-pose
core function in a loop, the kernels as they were before the lanes), the fk
of NumPy vectorised by hand, and two threads against one on the widest path.

    python bench/simd_benchmark.py [--rounds N] [--poses N] [--write]

Runs the installed package (pip install . first). Paths and methods are
interleaved in rounds; single-thread times are the calling thread's CPU time
per pose, every figure the median over the rounds and every speed-up the
median of the rounds' own ratios. The machine is shared and noisy: the load
average before and after is printed beside the table. With --write the table
replaces the "SIMD paths" section of bench/ARRAYS_RESULTS.md. A measurement,
not a test: nothing fails on slow numbers."""

import argparse
import datetime
import os
import pathlib
import platform
import statistics
import sys
import time

import numpy as np

BENCH = pathlib.Path(__file__).resolve().parent
sys.path.insert(0, str(BENCH))

import numpy_vectorised_kinematics as vectorised  # noqa: E402
from arrays_benchmark import (  # noqa: E402
    CONTROL_DATA, CONTROL_HALVES, GOAL_THREAD_SPEEDUP, hash_buffer, thread_speedup)
from machine_info import cpu_model  # noqa: E402
import quorbel_torso as qt  # noqa: E402
from quorbel_torso import _kernels  # noqa: E402

SECTION = "## SIMD paths"
THREAD_METHODS = ["arm.fk", "arm.ik_from_direction", "arm.ik", "neck.fk", "neck.ik"]


def poses(count, seed=13):
    rng = np.random.default_rng(seed)
    arm, neck = qt.Arm.default_left(), qt.Neck()
    theta_a, theta_b = np.empty(0), np.empty(0)
    while theta_a.size < count:
        a, b = rng.uniform(-np.pi, np.pi, (2, count))
        closes = arm.reachable_joints(a, b)
        theta_a, theta_b = np.concatenate([theta_a, a[closes]]), np.concatenate([theta_b, b[closes]])
    p = argparse.Namespace(theta_a=theta_a[:count].copy(), theta_b=theta_b[:count].copy())
    p.directions = arm.direction(p.theta_a, p.theta_b)
    p.near = np.stack([p.theta_a, p.theta_b], axis=1) + rng.normal(0, 0.03, (count, 2))
    p.rotations = arm.fk(p.theta_a, p.theta_b)
    p.neck_joints = np.stack([rng.uniform(-np.pi, np.pi, count), rng.uniform(-1.4, 1.4, count),
                              rng.uniform(-np.pi, np.pi, count)], axis=1)
    p.neck_rotations = neck.fk(p.neck_joints)
    p.rates = rng.normal(size=(count, 3))
    return arm, neck, p


def methods(arm, neck, p):
    """name -> (method, arguments, the arguments split in two halves)."""
    h = len(p.theta_a) // 2

    def halves(*arrays):
        return [tuple(a[:h] for a in arrays), tuple(a[h:] for a in arrays)]

    joints = (p.theta_a, p.theta_b)
    table = {
        "arm.fk": (arm.fk, joints),
        "arm.direction": (arm.direction, joints),
        "arm.reachable_joints": (arm.reachable_joints, joints),
        "arm.ik_from_direction": (arm.ik_from_direction, (p.directions,)),
        "arm.ik_from_direction(near=)": (arm.ik_from_direction, (p.directions, p.near)),
        "arm.reachable_direction": (arm.reachable_direction, (p.directions,)),
        "arm.ik_solutions": (arm.ik_solutions, (p.directions,)),
        "arm.ik": (arm.ik, (p.rotations,)),
        "arm.reachable_orientation": (arm.reachable_orientation, (p.rotations,)),
        "arm.direction_jacobian": (arm.direction_jacobian, joints),
        "arm.singular_values": (arm.singular_values, joints),
        "neck.fk": (neck.fk, (p.neck_joints,)),
        "neck.ik": (neck.ik, (p.neck_rotations,)),
        "neck.reachable": (neck.reachable, (p.neck_rotations,)),
        "arm.joint_rates": (arm.joint_rates, (p.theta_a, p.theta_b, p.rates)),
        "neck.angular_jacobian": (neck.angular_jacobian, (p.neck_joints,)),
        "neck.joint_rates": (neck.joint_rates, (p.neck_joints, p.rates)),
    }
    return {name: (m, args, halves(*args)) for name, (m, args) in table.items()}


def cpu_ns_per_pose(function, args, count):
    start = time.thread_time_ns()
    function(*args)
    return (time.thread_time_ns() - start) / count


def measure(count, rounds):
    arm, neck, p = poses(count)
    table = methods(arm, neck, p)
    paths = _kernels.available_simd()
    widest = paths[-1]
    peer = vectorised.VectorisedArm()
    times = {}   # (name, path) -> [ns per pose]
    numpy_fk = []
    # name -> [(one thread's wall time / two threads', the control's speed-up
    # before or after it, whichever is lower)]
    threads = {}
    for _ in range(rounds):
        for path in paths:
            _kernels.use_simd(path)
            for name, (method, args, _) in table.items():
                times.setdefault((name, path), []).append(cpu_ns_per_pose(method, args, count))
        numpy_fk.append(cpu_ns_per_pose(peer.fk, (p.theta_a, p.theta_b), count))
        _kernels.use_simd(widest)
        # hashlib releases the lock too: its speed-up says whether both cores were free.
        control = thread_speedup(hash_buffer, [(CONTROL_DATA,)], CONTROL_HALVES)[0]
        for name in THREAD_METHODS:
            method, args, halves = table[name]
            speedup = thread_speedup(method, [args], halves)[0]
            after = thread_speedup(hash_buffer, [(CONTROL_DATA,)], CONTROL_HALVES)[0]
            threads.setdefault(name, []).append((speedup, min(control, after)))
            control = after
    _kernels.use_simd(widest)
    return table, paths, times, numpy_fk, threads


def median_ratio(a, b):
    return statistics.median(x / y for x, y in zip(a, b))


def format_section(count, rounds, table, paths, times, numpy_fk, threads, loads):
    widest = paths[-1]
    lines = [SECTION, "",
             f"Written by `python bench/simd_benchmark.py --write`: {count:,} poses, "
             f"medians of {rounds} interleaved rounds, one thread's CPU time per pose in "
             "nanoseconds through the whole `quorbel_torso` call; each speed-up is the "
             "median of the rounds' own ratios to `scalar` (the per-pose core functions in "
             "a loop, the kernels as they were before the lanes). The machine is shared "
             "and was loaded (load average before and after: "
             f"{loads[0]:.2f}, {loads[1]:.2f}); single runs vary by 10-30 %.", "",
             f"- CPU: {cpu_name()}, Python {platform.python_version()}, "
             f"NumPy {np.__version__}; {datetime.datetime.now(datetime.timezone.utc):%Y-%m-%d %H:%M} UTC",
             "", "| method | " + " | ".join(f"{p} ns/pose" for p in paths) + " | "
             + " | ".join(f"{p} speed-up" for p in paths[1:]) + " |",
             "|---|" + "---|" * (2 * len(paths) - 1)]
    for name in table:
        scalar = times[(name, "scalar")]
        cells = [f"{statistics.median(times[(name, p)]):.1f}" for p in paths]
        cells += [f"{median_ratio(scalar, times[(name, p)]):.2f}×" for p in paths[1:]]
        lines.append(f"| `{name}` | " + " | ".join(cells) + " |")
    lines += ["", f"- `arm.fk` on {widest} against NumPy vectorised by hand "
              f"(`bench/numpy_vectorised_kinematics.py`, {statistics.median(numpy_fk):.1f} ns/pose): "
              f"{median_ratio(numpy_fk, times[('arm.fk', widest)]):.2f}× faster.",
              f"- Two threads against one on {widest} (wall time of one thread given all the "
              "poses over two threads given half each, worker threads kept across runs as a "
              "pool keeps them, each way timed after one untimed run, so that no run pays "
              "the first touch of result memory fresh from the system), "
              "median of all rounds, then of the rounds where the control, hashlib.sha256 "
              f"on 32 MB, ran at least {GOAL_THREAD_SPEEDUP}× sooner in two threads just "
              "before and after (both cores free, which a shared machine rarely gives): "
              + ", ".join(thread_cell(name, runs) for name, runs in threads.items())
              + "."]
    return "\n".join(lines) + "\n"


def thread_cell(name, runs):
    free = [speedup for speedup, control in runs if control >= GOAL_THREAD_SPEEDUP]
    on_free = f"{statistics.median(free):.2f}×" if free else "none"
    return (f"`{name}` {statistics.median(s for s, _ in runs):.2f}×, {on_free} "
            f"({len(free)} of {len(runs)})")


def cpu_name():
    return f"{cpu_model()} ({os.cpu_count()} logical cores)"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--rounds", type=int, default=7)
    parser.add_argument("--poses", type=int, default=200_000)
    parser.add_argument("--write", action="store_true")
    options = parser.parse_args()
    before = os.getloadavg()[0]
    measured = measure(options.poses, options.rounds)
    section = format_section(options.poses, options.rounds, *measured,
                             loads=(before, os.getloadavg()[0]))
    print(section)
    if options.write:
        results = BENCH / "ARRAYS_RESULTS.md"
        text = results.read_text()
        if SECTION in text:
            start = text.index(SECTION)
            following = text.find("\n## ", start + len(SECTION))
            text = text[:start] + section + (text[following + 1:] if following >= 0 else "")
        else:
            text = text.rstrip("\n") + "\n\n" + section
        results.write_text(text)


if __name__ == "__main__":
    main()
