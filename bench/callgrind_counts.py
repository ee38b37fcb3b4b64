"""Instructions per call of every method, counted by valgrind's callgrind:
a steady second opinion next to the timings on a noisy machine.

Each method runs in a loop of N1 and of N2 calls in two processes under
`valgrind --tool=callgrind`; the difference of the two totals divided by
N2 - N1 is the cost of one loop iteration, start-up and warm-up cancelled.
The same is done for an empty loop, whose cost per iteration is
subtracted. The same differences of call counts give, per call, the C heap
allocations (malloc, calloc, realloc, operator new) and the Python objects
created (calls of the interpreter's _Py_NewReference, which every new object
passes through on CPython 3.9 to 3.11; "-" where the interpreter inlines it).
With --floor-dir (the build directory of run_benchmarks.py) the floor
module's call shapes are counted too, and the core driver's functions.

    python bench/callgrind_counts.py [--module-dir DIR] [--floor-dir DIR]
                                     [--only SUBSTRING]
"""

import argparse
import collections
import concurrent.futures
import os
import pathlib
import re
import subprocess
import sys
import tempfile

BENCH = pathlib.Path(__file__).resolve().parent
N1, N2 = 1000, 5000

# A fixed hash seed, and NumPy (imported by the array cases) with one BLAS
# thread: idle pool threads would add a varying count of instructions.
DETERMINISTIC_ENVIRONMENT = {"PYTHONHASHSEED": "0", "OPENBLAS_NUM_THREADS": "1",
                             "OMP_NUM_THREADS": "1"}

HEAP_FUNCTIONS = {"malloc", "calloc", "realloc", "operator new(unsigned long)", "_Znwm"}
NEW_OBJECT_FUNCTION = "_Py_NewReference"

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


def parse_callgrind(text):
    """(total instructions, {function name: number of calls})."""
    names = {}
    calls = collections.Counter()
    callee = None
    for line in text.splitlines():
        if line.startswith(("fn=", "cfn=")):
            key, _, rest = line.partition("=")
            match = re.match(r"\((\d+)\)(?: (.*))?", rest)
            if match:
                if match.group(2) is not None:
                    names[match.group(1)] = match.group(2)
                name = names.get(match.group(1), "")
            else:
                name = rest
            callee = name if key == "cfn" else None
        elif line.startswith("calls=") and callee is not None:
            calls[callee] += int(line[6:].split()[0])
    total = re.search(r"^(?:summary|totals):\s+(\d+)", text, re.MULTILINE)
    return int(total.group(1)), calls


def callgrind_run(command):
    with tempfile.TemporaryDirectory() as tmp:
        out = os.path.join(tmp, "callgrind.out")
        subprocess.run(["valgrind", "--tool=callgrind", "--compress-strings=yes",
                        f"--callgrind-out-file={out}"] + command,
                       check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       env={**os.environ, **DETERMINISTIC_ENVIRONMENT})
        return parse_callgrind(pathlib.Path(out).read_text())


def per_iteration(command_for_n):
    """(instructions, heap allocations, new objects or None) per loop iteration."""
    low_total, low_calls = callgrind_run(command_for_n(N1))
    high_total, high_calls = callgrind_run(command_for_n(N2))

    def rate(names):
        found = [name for name in names if name in high_calls or name in low_calls]
        if not found:
            return None
        return sum(high_calls[name] - low_calls[name] for name in found) / (N2 - N1)

    heap = rate(HEAP_FUNCTIONS) or 0.0
    return (high_total - low_total) / (N2 - N1), heap, rate({NEW_OBJECT_FUNCTION})


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

    def python_job(kind, name):
        return lambda n: [sys.executable, "-c", program, kind, name, str(n)]

    names = [case[0] for case in cases.module_cases(qtk) if options.only in case[0]]
    kinds = ["module"] + (["floor"] if options.floor_dir else [])
    jobs = {("empty", "-"): python_job("empty", "-")}
    for name in names:
        for kind in kinds:
            jobs[(kind, name)] = python_job(kind, name)
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

    empty, empty_heap, empty_objects = counts[("empty", "-")]

    def objects(value):
        return "-" if value is None or empty_objects is None else f"{value - empty_objects:.1f}"

    print(f"per call, callgrind (an empty loop iteration, {empty:.0f} instructions, "
          "subtracted)")
    header = f"{'method':34} {'instr':>7}"
    if options.floor_dir:
        header += f" {'floor':>7}"
    header += f" {'heap allocs':>11} {'new objects':>11}"
    if options.floor_dir:
        header += f" {'floor objs':>10}"
    print(header)
    for name in names:
        instructions, heap, new_objects = counts[("module", name)]
        line = f"{name:34} {instructions - empty:7.0f}"
        if options.floor_dir:
            line += f" {counts[('floor', name)][0] - empty:7.0f}"
        line += f" {heap - empty_heap:11.1f} {objects(new_objects):>11}"
        if options.floor_dir:
            line += f" {objects(counts[('floor', name)][2]):>10}"
        print(line)
    core_rows = [(key[1], value) for key, value in counts.items() if key[0] == "core"]
    if core_rows:
        print(f"\ncore functions (C++ driver, per call)\n{'function':34} {'instr':>7} "
              f"{'heap allocs':>11}")
        for function, (instructions, heap, _) in core_rows:
            print(f"{function:34} {instructions:7.0f} {heap:11.1f}")


if __name__ == "__main__":
    main()
