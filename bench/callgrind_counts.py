"""Instructions per call of every method, counted by valgrind's callgrind:
a steady second opinion next to the timings on a noisy machine.

Each method runs in a loop of N1 and of N2 calls in two processes under
`valgrind --tool=callgrind`; the difference of the two totals divided by
N2 - N1 is the cost of one loop iteration, start-up and warm-up cancelled.
The same is done for an empty loop, whose cost per iteration is
subtracted. With --floor-dir (the build directory of run_benchmarks.py)
the floor module's call shapes are counted too, and the core driver's
functions.

    python bench/callgrind_counts.py [--floor-dir DIR] [--only SUBSTRING]
"""

import argparse
import concurrent.futures
import os
import pathlib
import re
import subprocess
import sys
import tempfile

BENCH = pathlib.Path(__file__).resolve().parent
N1, N2 = 1000, 5000

PROGRAM = r"""
import gc
import sys
gc.disable()
sys.path[:0] = {paths!r}
import cases
import quorbel_torso_kinematics as qtk
which, name, n = sys.argv[1], sys.argv[2], int(sys.argv[3])
if which == "empty":
    loop = cases.make_empty_loop()
else:
    if which == "floor":
        import qtk_bench_floor
        table = cases.floor_cases(qtk_bench_floor, qtk)
    else:
        table = cases.module_cases(qtk)
    _, function, args, kwargs = next(case for case in table if case[0] == name)
    loop = cases.make_loop(function, args, kwargs)
loop(200)
loop(n)
"""


def callgrind_total(command):
    with tempfile.TemporaryDirectory() as tmp:
        out = os.path.join(tmp, "callgrind.out")
        subprocess.run(["valgrind", "--tool=callgrind", f"--callgrind-out-file={out}"] + command,
                       check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       env={**os.environ, "PYTHONHASHSEED": "0"})
        text = pathlib.Path(out).read_text()
    match = re.search(r"^(?:summary|totals):\s+(\d+)", text, re.MULTILINE)
    return int(match.group(1))


def per_iteration(command_for_n):
    low = callgrind_total(command_for_n(N1))
    high = callgrind_total(command_for_n(N2))
    return (high - low) / (N2 - N1)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--floor-dir", type=pathlib.Path,
                        help="build directory holding qtk_bench_floor and qtk_core_driver")
    parser.add_argument("--module-dir", type=pathlib.Path,
                        help="directory holding the module to count (default: the installed one)")
    parser.add_argument("--only", default="", help="count only the cases whose name contains this")
    parser.add_argument("--jobs", type=int, default=os.cpu_count() or 1)
    options = parser.parse_args()

    paths = [str(BENCH)]
    if options.module_dir:
        paths.insert(0, str(options.module_dir.resolve()))
    if options.floor_dir:
        paths.append(str(options.floor_dir.resolve()))
    program = PROGRAM.format(paths=paths)
    sys.path[:0] = paths
    import cases
    import quorbel_torso_kinematics as qtk

    names = [case[0] for case in cases.module_cases(qtk) if options.only in case[0]]
    jobs = {("empty", "-"): lambda n: [sys.executable, "-c", program, "empty", "-", str(n)]}
    for name in names:
        kinds = ["module"] + (["floor"] if options.floor_dir else [])
        for kind in kinds:
            jobs[(kind, name)] = (lambda kind, name: lambda n: [
                sys.executable, "-c", program, kind, name, str(n)])(kind, name)
    driver = options.floor_dir / "qtk_core_driver" if options.floor_dir else None
    if driver is not None and driver.exists():
        listing = subprocess.run([str(driver), "--list"], check=True, capture_output=True,
                                 text=True).stdout.split()
        for function in listing:
            jobs[("core", function)] = (lambda function: lambda n: [
                str(driver), "--only", function, "--iterations", str(n)])(function)

    with concurrent.futures.ThreadPoolExecutor(max_workers=options.jobs) as pool:
        futures = {key: pool.submit(per_iteration, command) for key, command in jobs.items()}
        counts = {key: future.result() for key, future in futures.items()}

    empty = counts[("empty", "-")]
    print(f"instructions per call (callgrind; empty loop iteration = {empty:.0f} subtracted)")
    header = f"{'method':34} {'module':>9}" + (f" {'floor':>9}" if options.floor_dir else "")
    print(header)
    for name in names:
        line = f"{name:34} {counts[('module', name)] - empty:9.0f}"
        if options.floor_dir:
            line += f" {counts[('floor', name)] - empty:9.0f}"
        print(line)
    core_rows = [(key[1], value) for key, value in counts.items() if key[0] == "core"]
    if core_rows:
        print("\ncore functions (C++ driver, instructions per call)")
        for function, value in core_rows:
            print(f"{function:34} {value:9.0f}")


if __name__ == "__main__":
    main()
