"""Per-call latency of quorbel_torso_kinematics against its floor, its core
and what a user would write instead.

Builds, from this checkout, the extension module, the benchmark's floor
module (bench/floor_module.cpp: the same parser, converters and result
builders, returning constants) and the core driver (bench/core_driver.cpp);
then times, interleaved in rounds in one run, every method of both classes,
the floor of each call shape, the plain-Python and NumPy versions of the
same math (bench/plain_python_kinematics.py) and, for the neck, SciPy's
Rotation with intrinsic 'ZYX' angles. The same calls given NumPy arrays
and np.float64 angles (cases.ARRAY_CASES) are timed in the same rounds and
set beside their list cases in a second table. Prints the tables of medians
and writes them to bench/RESULTS.md with the machine it ran on.

    python bench/run_benchmarks.py [--rounds N] [--build-dir DIR]
        [--compare DIR_WITH_ANOTHER_BUILD [--compare-label TEXT]]

Needs cmake, a C++17 compiler, NumPy and SciPy. This is a measurement, not
a test: nothing fails on slow numbers. Garbage collection is off while
timing, as in timeit. Times are the calling thread's CPU time
(CLOCK_THREAD_CPUTIME_ID), so that time the thread spends descheduled on a
busy machine is not counted; caches and clocks shared with other work still
make numbers vary, so compare ratios within one run rather than numbers
across runs.
"""

import argparse
import datetime
import gc
import importlib.util
import json
import math
import os
import pathlib
import platform
import random
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

BENCH = pathlib.Path(__file__).resolve().parent
ROOT = BENCH.parent
sys.path.insert(0, str(BENCH))

import cases  # noqa: E402
from machine_info import cpu_model  # noqa: E402

# The core functions each method calls; methods with none have no core.
CORE_OF = {
    "arm.fk": ("forward_kinematics",),
    "arm.direction": ("pointing_direction",),
    "arm.is_reachable_joints": ("pointing_direction",),
    "arm.ik_from_direction": ("ik_from_direction",),
    "arm.ik_from_direction(near=)": ("ik_from_direction_near",),
    "arm.is_reachable_direction": ("ik_from_direction",),
    "arm.ik": ("ik",),
    "arm.is_reachable_orientation": ("ik",),
    "QuorbelArmKinematics.from_json": ("read_arm_geometry_json", "make_arm"),
    "QuorbelArmKinematics(...)": ("make_arm",),
    # default_left copies an Arm made when the module was loaded.
    "neck.fk": ("neck_forward_kinematics",),
    "neck.ik": ("neck_inverse_kinematics",),
}
# An array case calls the core function of its list case.
CORE_OF.update({name: CORE_OF[list_case] for name, (list_case, _) in cases.ARRAY_CASES.items()})

TARGET_RATIO = 1.2
# The most an array (or np.float64) argument may cost over the same values as
# lists (or floats).
ARRAY_TARGET_RATIO = 1.15
SAMPLE_SECONDS = 0.0005


def build(build_dir, jobs=None):
    """Configures (once) and builds the benchmark's targets; `jobs` caps the
    compiler processes (None: the build tool's default)."""
    configure = ["cmake", "-S", str(BENCH), "-B", str(build_dir),
                 f"-DPython_EXECUTABLE={sys.executable}", "-DCMAKE_BUILD_TYPE=Release"]
    if shutil.which("ninja"):
        configure += ["-G", "Ninja"]
    if not (build_dir / "CMakeCache.txt").exists():
        subprocess.run(configure, check=True, stdout=subprocess.DEVNULL)
    parallel = ["--parallel"] + ([str(jobs)] if jobs else [])
    subprocess.run(["cmake", "--build", str(build_dir), *parallel], check=True,
                   stdout=subprocess.DEVNULL)


def load_extension(name, directory):
    """Imports the extension `name` from `directory`, whatever sys.path holds."""
    matches = sorted(pathlib.Path(directory).glob(f"{name}.*.so")) + sorted(
        pathlib.Path(directory).glob(f"{name}.*.pyd"))
    if not matches:
        raise SystemExit(f"no {name} extension in {directory}")
    spec = importlib.util.spec_from_file_location(name, matches[0])
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


def alternatives(qtk):
    """name -> [(label, callable, args, kwargs)] of what a user would write instead."""
    import numpy as np  # noqa: F401  (imported here so that a missing NumPy says so early)
    from scipy.spatial.transform import Rotation

    import plain_python_kinematics as plain

    plain_arm = plain.PlainArm()
    numpy_arm = plain.NumpyArm()
    r_arm = cases.arm_rotation(qtk)
    r_neck = cases.neck_rotation(qtk)

    def scipy_fk(joints):
        return Rotation.from_euler("ZYX", joints).as_matrix()

    def scipy_ik(r):
        return Rotation.from_matrix(r).as_euler("ZYX")

    return {
        "arm.fk": [("plain Python", plain_arm.fk, cases.THETA, {}),
                   ("NumPy", numpy_arm.fk, cases.THETA, {})],
        "arm.ik_from_direction": [
            ("plain Python", plain_arm.ik_from_direction, (cases.DIRECTION,), {}),
            ("NumPy", numpy_arm.ik_from_direction, (cases.DIRECTION,), {})],
        "arm.ik_from_direction(near=)": [
            ("plain Python", plain_arm.ik_from_direction, (cases.DIRECTION,),
             {"near": cases.NEAR}),
            ("NumPy", numpy_arm.ik_from_direction, (cases.DIRECTION,), {"near": cases.NEAR})],
        "arm.ik": [("plain Python", plain_arm.ik, (r_arm,), {}),
                   ("NumPy", numpy_arm.ik, (r_arm,), {})],
        "neck.fk": [("plain Python", plain.plain_neck_fk, (cases.NECK_JOINTS,), {}),
                    ("NumPy", plain.numpy_neck_fk, (cases.NECK_JOINTS,), {}),
                    ("SciPy Rotation", scipy_fk, (cases.NECK_JOINTS,), {})],
        "neck.ik": [("plain Python", plain.plain_neck_ik, (r_neck,), {}),
                    ("NumPy", plain.numpy_neck_ik, (r_neck,), {}),
                    ("SciPy Rotation", scipy_ik, (r_neck,), {})],
    }


def check_agreement(qtk, alternative_table):
    """Every alternative computes what the module computes (to 1e-9)."""
    module = {name: (function, args, kwargs)
              for name, function, args, kwargs in cases.module_cases(qtk)}
    for name, entries in alternative_table.items():
        function, args, kwargs = module[name]
        expected = [float(x) for x in _flatten(function(*args, **kwargs))]
        for label, alternative, a_args, a_kwargs in entries:
            got = [float(x) for x in _flatten(alternative(*a_args, **a_kwargs))]
            if len(got) != len(expected) or any(
                    not math.isclose(g, e, abs_tol=1e-9) for g, e in zip(got, expected)):
                raise SystemExit(f"{label} version of {name} disagrees: {got} vs {expected}")


def _flatten(value):
    try:
        items = list(value)
    except TypeError:
        return [value]
    return [x for item in items for x in _flatten(item)]


def calibrated(loop):
    """The number of calls one sample makes: about SAMPLE_SECONDS."""
    n = 16
    while True:
        start = time.thread_time_ns()
        loop(n)
        elapsed = time.thread_time_ns() - start
        if elapsed > SAMPLE_SECONDS * 1e9 / 4 or n > 1 << 22:
            return max(16, int(n * SAMPLE_SECONDS * 1e9 / max(elapsed, 1)))
        n *= 4


def run_core_driver(driver, rounds=15, iterations=2000):
    out = subprocess.run([str(driver), "--rounds", str(rounds), "--iterations", str(iterations)],
                         check=True, capture_output=True, text=True).stdout
    return json.loads(out)


def machine_description(build_dir):
    cpu = cpu_model()
    compiler = ""
    cache = build_dir / "CMakeCache.txt"
    if cache.exists():
        for line in cache.read_text().splitlines():
            if line.startswith("CMAKE_CXX_COMPILER:"):
                compiler = line.split("=", 1)[1]
    version = ""
    if compiler:
        version = subprocess.run([compiler, "--version"], capture_output=True,
                                 text=True).stdout.splitlines()[0]
    try:
        commit = subprocess.run(["git", "-C", str(ROOT), "describe", "--always", "--dirty"],
                                capture_output=True, text=True, check=True).stdout.strip()
    except (OSError, subprocess.CalledProcessError):
        commit = "unknown"
    import numpy
    import scipy
    return [
        f"CPU: {cpu} ({os.cpu_count()} logical cores), {platform.system()} {platform.release()}",
        f"Python {platform.python_version()} ({platform.python_implementation()}), "
        f"NumPy {numpy.__version__}, SciPy {scipy.__version__}",
        f"Compiler: {version or compiler}; commit {commit}",
        f"Date: {datetime.datetime.now(datetime.timezone.utc):%Y-%m-%d %H:%M} UTC",
    ]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--rounds", type=int, default=201)
    parser.add_argument("--build-dir", type=pathlib.Path,
                        help="where to build (default: a fresh temporary directory)")
    parser.add_argument("--compare", type=pathlib.Path,
                        help="a directory holding another build of the module, timed alongside")
    parser.add_argument("--compare-label", default="compared build",
                        help="the column title of that build, e.g. 'before (2a02817)'")
    parser.add_argument("--output", type=pathlib.Path, default=BENCH / "RESULTS.md")
    options = parser.parse_args()

    temporary = None
    if options.build_dir is None:
        temporary = tempfile.TemporaryDirectory(prefix="qtk-bench-")
        options.build_dir = pathlib.Path(temporary.name)
    build_dir = options.build_dir.resolve()
    print(f"building in {build_dir} ...", flush=True)
    build(build_dir)

    qtk = load_extension("quorbel_torso_kinematics", build_dir / "qtk")
    floor = load_extension("qtk_bench_floor", build_dir)
    driver = build_dir / "qtk_core_driver"
    other = None
    if options.compare:
        other = load_extension("quorbel_torso_kinematics", options.compare)

    alternative_table = alternatives(qtk)
    check_agreement(qtk, alternative_table)

    loops = {}  # (kind, name) -> loop
    for name, function, args, kwargs in cases.module_cases(qtk):
        loops[("module", name)] = cases.make_loop(function, args, kwargs)
    for name, function, args, kwargs in cases.floor_cases(floor, qtk):
        loops[("floor", name)] = cases.make_loop(function, args, kwargs)
    if other is not None:
        for name, function, args, kwargs in cases.module_cases(other):
            loops[("compare", name)] = cases.make_loop(function, args, kwargs)
    for name, entries in alternative_table.items():
        for label, function, args, kwargs in entries:
            loops[(label, name)] = cases.make_loop(function, args, kwargs)
    loops[("empty", "")] = cases.make_empty_loop()

    gc.disable()
    sizes = {key: calibrated(loop) for key, loop in loops.items()}
    samples = {key: [] for key in loops}
    core_runs = []
    keys = list(loops)
    shuffle = random.Random(6)
    every = max(1, options.rounds // 5)
    print(f"timing {len(keys)} call shapes, {options.rounds} rounds ...", flush=True)
    for round_index in range(options.rounds):
        shuffle.shuffle(keys)
        for key in keys:
            n = sizes[key]
            start = time.thread_time_ns()
            loops[key](n)
            samples[key].append((time.thread_time_ns() - start) / n)
        if round_index % every == 0:
            core_runs.append(run_core_driver(driver))
    gc.enable()

    median = {key: statistics.median(values) for key, values in samples.items()}
    core = {function: statistics.median(run[function] for run in core_runs)
            for function in core_runs[0]}

    lines = format_table(qtk, median, core, alternative_table,
                         options.compare_label if other is not None else None)
    lines += ["", *format_array_table(median, options.compare_label if other is not None
                                      else None)]
    machine = machine_description(build_dir)
    print("\n".join(lines))
    write_results(options.output, machine, lines, options.rounds,
                  options.compare_label if other is not None else None)
    print(f"\nwritten to {options.output}")


def format_table(qtk, median, core, alternative_table, compare_label):
    labels = ["plain Python", "NumPy", "SciPy Rotation"]
    header = ["method", "ns/call", "floor", "core", "ratio to floor+core"]
    if compare_label:
        header.append(compare_label)
    header += [f"{label} (×)" for label in labels]
    rows = []
    worst = 0.0
    for name, *_ in cases.module_cases(qtk):
        ns = median[("module", name)]
        floor_ns = median[("floor", name)]
        core_ns = sum(core[function] for function in CORE_OF.get(name, ()))
        ratio = ns / (floor_ns + core_ns)
        worst = max(worst, ratio)
        row = [f"`{name}`", f"{ns:.0f}", f"{floor_ns:.0f}", f"{core_ns:.0f}", f"{ratio:.2f}"]
        if compare_label:
            row.append(f"{median[('compare', name)]:.0f}")
        entries = {label: median[(label, name)] for label, *_ in alternative_table.get(name, [])}
        for label in labels:
            row.append(f"{entries[label]:.0f} ({entries[label] / ns:.1f}×)" if label in entries
                       else "")
        rows.append(row)
    lines = ["| " + " | ".join(header) + " |", "|" + "---|" * len(header)]
    lines += ["| " + " | ".join(row) + " |" for row in rows]
    lines.append("")
    lines.append(f"Largest ratio to floor + core: {worst:.2f} (target: at most {TARGET_RATIO}). "
                 f"An empty loop iteration costs {median[('empty', '')]:.0f} ns and is included "
                 "in every number.")
    return lines


def format_array_table(median, compare_label):
    """Each array case beside its list case, timed in the same rounds."""
    header = ["call", "array argument", "list", "array", "array ÷ list"]
    if compare_label:
        header += [f"{compare_label}: list", "array", "array ÷ list"]
    lines = ["| " + " | ".join(header) + " |", "|" + "---|" * len(header)]
    worst = 0.0
    for name, (list_case, argument) in cases.ARRAY_CASES.items():
        row = [f"`{name}`", argument]
        for kind in ["module"] + (["compare"] if compare_label else []):
            list_ns, array_ns = median[(kind, list_case)], median[(kind, name)]
            row += [f"{list_ns:.0f}", f"{array_ns:.0f}", f"{array_ns / list_ns:.2f}"]
            if kind == "module":
                worst = max(worst, array_ns / list_ns)
        lines.append("| " + " | ".join(row) + " |")
    lines.append("")
    lines.append(f"Largest array ÷ list: {worst:.2f} (target: at most {ARRAY_TARGET_RATIO}).")
    return lines


KEPT_SECTION = "## Instruction counts"


def write_results(path, machine, lines, rounds, compare_label):
    """Writes the table, keeping a hand-written section that starts with
    KEPT_SECTION (instruction counts from callgrind_counts.py) at the end."""
    kept = []
    if path.exists():
        old = path.read_text().splitlines()
        for i, line in enumerate(old):
            if line.startswith(KEPT_SECTION):
                kept = old[i:]
                break
    text = [
        "# Per-call latency of quorbel_torso_kinematics",
        "",
        "Written by `python bench/run_benchmarks.py`; medians of "
        f"{rounds} interleaved rounds, in nanoseconds per call.",
        "",
        "- **floor**: the same call shape on `bench/floor_module.cpp`, which binds and converts "
        "the same arguments with the module's own parser, parameter tables and converters and returns a result of "
        "the same shape built from constants.",
        "- **core**: the C++ core function alone (`bench/core_driver.cpp`), ns/call; "
        "for the constructor and from_json, making the Arm (the sines and cosines "
        "of its arcs) too; the presets are made once, when the module is loaded.",
        "- **ratio**: ns/call ÷ (floor + core).",
        "- **array ÷ list** (second table): a call given NumPy arrays (or np.float64 angles) "
        "÷ the same call given the same values as lists (or floats), in ns/call.",
        *([f"- **{compare_label}**: another build of the module (`--compare`), timed in the "
           "same rounds."] if compare_label else []),
        "- **plain Python / NumPy / SciPy Rotation**: the same math written without the module "
        "(`bench/plain_python_kinematics.py`; NumPy arrays made per call; SciPy's `Rotation` "
        "with intrinsic 'ZYX' angles for the neck), ns/call and, in brackets, how many times "
        "slower than the module.",
        "",
        "Machine:",
        "",
    ]
    text += [f"- {line}" for line in machine]
    text += ["", *lines, ""]
    if kept:
        text += [*kept, ""] if kept[-1] else kept
    path.write_text("\n".join(text))


if __name__ == "__main__":
    main()
