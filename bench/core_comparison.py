"""The C++ core's cost per call beside another build of it (by default the
core from before the correctly rounded elementary functions, which called
glibc's), on one pose every call and on a different pose every call.

Both cores are built with their own CMake flags, each with this checkout's
bench/core_driver.cpp, which compiles against either. Then, in several
interleaved runs (the two builds alternating, in both modes), the driver
gives the median ns/call over its rounds; the table takes the median of the
runs. callgrind counts instructions per call as the difference of two loop
lengths, so that start-up and building the pose table cancel: 1000 and 5000
calls on one pose, one and two passes through the varied table.

    python bench/core_comparison.py [--other CHECKOUT] [--runs 15]
        [--rounds 31] [--build-dir DIR] [--output bench/CORE_RESULTS.md]

Needs cmake, ninja, a C++17 compiler and valgrind (--no-callgrind without).
"""

import argparse
import concurrent.futures
import datetime
import json
import os
import pathlib
import platform
import re
import shlex
import statistics
import subprocess
import sys
import tempfile

from machine_info import cpu_model

BENCH = pathlib.Path(__file__).resolve().parent
ROOT = BENCH.parent
VARIED_COUNT = 4096
SAME_CALLS = (1000, 5000)
VARIED_CALLS = (VARIED_COUNT, 2 * VARIED_COUNT)

# Builds one core with the driver beside it, as bench/CMakeLists.txt does.
DRIVER_PROJECT = """cmake_minimum_required(VERSION 3.18)
project(qtk_core_comparison LANGUAGES CXX)
add_subdirectory({source} qtk)
add_executable(qtk_core_driver {driver})
target_link_libraries(qtk_core_driver PRIVATE quorbel_core qtk_build_flags)
"""


def commit_of(source):
    """Short commit of a checkout, marked when its tree has changes."""
    run = lambda *args: subprocess.run(["git", "-C", str(source), *args], check=True,  # noqa: E731
                                       capture_output=True, text=True).stdout.strip()
    commit = run("rev-parse", "--short", "HEAD")
    return commit + ("+changes" if run("status", "--porcelain", "--untracked-files=no") else "")


def build_driver(source, build_dir):
    project = build_dir / "project"
    project.mkdir(parents=True, exist_ok=True)
    (project / "CMakeLists.txt").write_text(DRIVER_PROJECT.format(
        source=pathlib.Path(source).resolve().as_posix(),
        driver=(BENCH / "core_driver.cpp").as_posix()))
    build = build_dir / "build"
    subprocess.run(["cmake", "-S", str(project), "-B", str(build), "-G", "Ninja",
                    "-DCMAKE_BUILD_TYPE=Release", "-DQTK_BUILD_PYTHON_MODULE=OFF",
                    "-DQTK_INSTALL_CORE=OFF"], check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", str(build), "--target", "qtk_core_driver", "-j2"],
                   check=True, stdout=subprocess.DEVNULL)
    return build / "qtk_core_driver"


def mode_arguments(mode):
    return ["--varied", "--count", str(VARIED_COUNT)] if mode == "varied" else []


def time_once(driver, mode, rounds):
    out = subprocess.run([str(driver), "--rounds", str(rounds), *mode_arguments(mode)],
                         check=True, capture_output=True, text=True).stdout
    return json.loads(out)


def instructions(driver, mode, name, calls):
    """Total instructions of one run of `calls` calls of `name`."""
    with tempfile.TemporaryDirectory() as scratch:
        out = pathlib.Path(scratch) / "callgrind.out"
        subprocess.run(["valgrind", "--tool=callgrind", f"--callgrind-out-file={out}",
                        str(driver), "--only", name, "--iterations", str(calls),
                        *mode_arguments(mode)],
                       check=True, capture_output=True)
        match = re.search(r"^(?:summary|totals): (\d+)", out.read_text(), re.MULTILINE)
        return int(match.group(1))


def instructions_per_call(driver, mode, name):
    n1, n2 = VARIED_CALLS if mode == "varied" else SAME_CALLS
    return (instructions(driver, mode, name, n2) - instructions(driver, mode, name, n1)) / (n2 - n1)


def machine():
    model = cpu_model()
    compiler = subprocess.run(["c++", "--version"], capture_output=True,
                              text=True).stdout.splitlines()[0]
    libc = " ".join(platform.libc_ver())
    return f"{model}, {os.cpu_count()} cores, Linux {platform.release()}, {compiler}, {libc}"


def ratio(a, b):
    return f"{b / a:.2f}" if a else "-"


def report(args, commits, names, times, counts, loads, command):
    other, ours = commits
    lines = [
        "# The C++ core per call on one pose and on varied poses, beside the glibc build",
        "",
        "Written by `bench/core_comparison.py`; do not edit by hand.",
        "",
        f"- date: {datetime.datetime.now(datetime.timezone.utc):%Y-%m-%d %H:%M} UTC",
        f"- machine: {machine()}; load average {loads[0]} at the start, {loads[1]} at the end "
        "(shared machine; times are thread CPU time)",
        f"- glibc: the core at {other} ({'exported by git archive' if args.other is None else f'`{args.other}`'}), whose elementary functions are "
        f"glibc's; ours: the core at {ours} (this checkout); both with their own CMake "
        "flags and this checkout's `bench/core_driver.cpp`",
        f"- command: `{command}`",
        f"- ns/call: the median over {args.runs} interleaved runs of each driver's median "
        f"over {args.rounds} rounds; same pose: `qtk_core_driver --rounds {args.rounds}` "
        f"(2000 calls a round on one pose); varied: `qtk_core_driver --varied --count "
        f"{VARIED_COUNT} --rounds {args.rounds}` (a round is one pass through "
        f"{VARIED_COUNT} seeded poses, one call each)",
        "- instructions/call: `valgrind --tool=callgrind qtk_core_driver [--varied] --only "
        f"NAME --iterations N`, the difference of N = {SAME_CALLS[1]} and {SAME_CALLS[0]} "
        f"(same pose) or {VARIED_CALLS[1]} and {VARIED_CALLS[0]} (varied: a whole pass "
        "through the table) divided by the difference of N",
        "- ×: ours ÷ glibc",
        "",
        "| function | same pose ns: glibc | ours | × | varied ns: glibc | ours | × "
        "| instructions, same pose: glibc | ours | varied: glibc | ours |",
        "|---|--:|--:|--:|--:|--:|--:|--:|--:|--:|--:|",
    ]
    for name in names:
        same = [statistics.median(times[b]["same"][name]) for b in (0, 1)]
        varied = [statistics.median(times[b]["varied"][name]) for b in (0, 1)]
        if counts:
            counted = [f"{counts[(b, mode, name)]:.0f}" for mode in ("same", "varied")
                       for b in (0, 1)]
        else:
            counted = ["-"] * 4
        lines.append(f"| {name} | {same[0]:.1f} | {same[1]:.1f} | {ratio(*same)} "
                     f"| {varied[0]:.1f} | {varied[1]:.1f} | {ratio(*varied)} | "
                     + " | ".join(counted) + " |")
    lines += ["", "Per-run ratios ours ÷ glibc (varied), lowest to highest:", ""]
    for name in names:
        runs = sorted(o / g for o, g in zip(times[1]["varied"][name], times[0]["varied"][name]))
        lines.append(f"- {name}: " + ", ".join(f"{r:.2f}" for r in runs))
    return "\n".join(lines) + "\n"


# The last commit whose core called glibc's elementary functions.
GLIBC_COMMIT = "133869f"


def export_commit(commit, directory):
    """The tree of `commit` written to `directory` (git archive: no worktree to clean up)."""
    directory = pathlib.Path(directory)
    if not (directory / "CMakeLists.txt").exists():
        directory.mkdir(parents=True, exist_ok=True)
        archive = subprocess.run(["git", "-C", str(ROOT), "archive", commit], check=True,
                                 capture_output=True).stdout
        subprocess.run(["tar", "-x", "-C", str(directory)], input=archive, check=True)
    return directory


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--other", default=None,
                        help="checkout of the core to compare with (default: commit "
                             f"{GLIBC_COMMIT}, the last that called glibc's functions, "
                             "exported from this repository into the build directory)")
    parser.add_argument("--runs", type=int, default=15)
    parser.add_argument("--rounds", type=int, default=31)
    parser.add_argument("--build-dir", default=os.path.join(tempfile.gettempdir(),
                                                            "qtk-core-comparison"))
    parser.add_argument("--output", default=str(BENCH / "CORE_RESULTS.md"))
    parser.add_argument("--no-callgrind", action="store_true")
    args = parser.parse_args()
    command = shlex.join(["python", "bench/core_comparison.py", *sys.argv[1:]])

    build_dir = pathlib.Path(args.build_dir)
    other = args.other
    if other is None:
        other = export_commit(GLIBC_COMMIT, build_dir / "glibc-source")
    drivers = [build_driver(other, build_dir / "glibc"),
               build_driver(ROOT, build_dir / "ours")]
    commits = [GLIBC_COMMIT if args.other is None else commit_of(args.other), commit_of(ROOT)]
    names = subprocess.run([str(drivers[1]), "--list"], check=True, capture_output=True,
                           text=True).stdout.split()

    start_load = "{:.1f}".format(os.getloadavg()[0])
    times = [{"same": {n: [] for n in names}, "varied": {n: [] for n in names}}
             for _ in drivers]
    for run in range(args.runs):
        # Alternate which build goes first, so that neither always follows
        # the other on a cache or frequency state it left.
        order = (0, 1) if run % 2 == 0 else (1, 0)
        for mode in ("same", "varied"):
            for b in order:
                for name, ns in time_once(drivers[b], mode, args.rounds).items():
                    times[b][mode][name].append(ns)
        print(f"run {run + 1}/{args.runs}", file=sys.stderr)

    counts = {}
    if not args.no_callgrind:
        jobs = [(b, mode, name) for b in (0, 1) for mode in ("same", "varied") for name in names]
        with concurrent.futures.ThreadPoolExecutor(max_workers=2) as pool:
            for job, count in zip(jobs, pool.map(
                    lambda j: instructions_per_call(drivers[j[0]], j[1], j[2]), jobs)):
                counts[job] = count
    end_load = "{:.1f}".format(os.getloadavg()[0])

    text = report(args, commits, names, times, counts, (start_load, end_load), command)
    pathlib.Path(args.output).write_text(text)
    print(text)


if __name__ == "__main__":
    main()
