"""The README stays true: its code runs, its tables of error messages are the
module's messages, and its links and pictures exist."""
import doctest
import os
import re
import subprocess
from pathlib import Path

import pytest

import quorbel_torso_kinematics as qtk

ROOT = Path(__file__).resolve().parent.parent
README = (ROOT / "README.md").read_text(encoding="utf-8")


def table_after(heading_row):
    """The rows of the markdown table whose header row is `heading_row`, as
    lists of cells."""
    start = README.index(heading_row)
    rows = []
    for line in README[start:].splitlines()[2:]:
        if not line.startswith("|"):
            break
        rows.append([cell.strip() for cell in line.strip("|").split(" | ")])
    return rows


def code(cell):
    """The text of a cell that is one code span (`x` or ``x``)."""
    match = re.fullmatch(r"(`+)(.*?)\1", cell)
    assert match, f"not a code span: {cell}"
    return match.group(2)


def python_blocks():
    return re.findall(r"```python\n(.*?)```", README, re.S)


def test_python_blocks_run_in_order(monkeypatch):
    """Blocks that show results are doctests, so each shown result is what the
    code prints; the others run as they stand and show none."""
    monkeypatch.chdir(ROOT)
    namespace = {}
    for number, block in enumerate(python_blocks()):
        if "# error:" in block:  # shows what a type checker rejects
            continue
        if ">>> " not in block:
            assert "# ->" not in block, "a shown result outside a doctest is not checked"
            exec(block, namespace)
            continue
        test = doctest.DocTestParser().get_doctest(block, namespace, f"README block {number}",
                                                   "README.md", 0)
        runner = doctest.DocTestRunner(optionflags=doctest.ELLIPSIS)
        runner.run(test, clear_globs=False)
        assert runner.summarize(verbose=False).failed == 0
        namespace.update(test.globs)  # a DocTest runs in a copy of the names it is given


def test_cpp_program_compiles_and_runs(tmp_path, tools):
    """The C++ block is a whole program: built with the core's sources (as
    cmake/source_lists.cmake lists them) and warnings as errors, it prints
    what the Python examples above print."""
    compiler = tools.program(os.environ.get("CXX", "c++"), "the C++ compiler")
    (program,) = re.findall(r"```cpp\n(.*?)```", README, re.S)
    program_file = tmp_path / "readme.cpp"
    program_file.write_text(program)
    lists = (ROOT / "cmake" / "source_lists.cmake").read_text()
    core = re.search(r"set\(QTK_CORE_SOURCES(.*?)\)", lists, re.S).group(1)
    sources = [str(ROOT / path) for path in re.findall(r"\$\{QTK_SOURCE_ROOT\}/(\S+)", core)]
    # Build tools do not run under a preloaded sanitizer runtime.
    env = {name: value for name, value in os.environ.items() if name != "LD_PRELOAD"}
    built = subprocess.run(
        [compiler, "-std=c++17", "-O0", "-Wall", "-Wextra", "-Wpedantic", "-Werror",
         "-ffp-contract=off", f"-I{ROOT / 'include'}", f"-I{ROOT / 'src'}", "-o",
         str(tmp_path / "readme"), str(program_file), *sources],
        env=env, capture_output=True, text=True)
    assert built.returncode == 0, built.stderr
    ran = subprocess.run([str(tmp_path / "readme")], env=env, capture_output=True, text=True)
    assert ran.returncode == 0
    head_x = [row[0] for row in qtk.QuorbelNeckKinematics().fk([0.3, -0.7, 1.1])]
    assert ran.stdout == ("ik: (0.300000, -0.200000), near (1.1, -0.2): (1.144746, -0.200000)\n"
                          "head x axis: ({:.6f}, {:.6f}, {:.6f})\n".format(*head_x))


UNIT_NS = {"ns": 1.0, "µs": 1e3, "ms": 1e6}


def recorded_times_ns():
    """Every time in the benchmarks' tables and summary lines (bench/*RESULTS.md),
    in ns (a bare table number is ns)."""
    per_call = (ROOT / "bench" / "RESULTS.md").read_text(encoding="utf-8")
    others = [path.read_text(encoding="utf-8") for path in sorted((ROOT / "bench").glob("*RESULTS.md"))
              if path.name != "RESULTS.md"]
    text = per_call.split("## Instruction counts")[0] + "\n".join(others)
    lines = "\n".join(line for line in text.splitlines()
                      if line.startswith("|") or " per target" in line)
    return [float(number) * UNIT_NS.get(unit, 1.0)
            for number, unit in re.findall(r"(\d+(?:\.\d+)?)(?: (µs|ms)\b)?", lines)]


# The validation's own table (its lines start with "|") is not a benchmark's.
PROSE_TIMES = re.findall(r"\b(\d+(?:\.(\d+))?) (ns|µs|ms)\b",
                         "\n".join(line for line in README.splitlines()
                                   if not line.startswith("|")))


@pytest.mark.parametrize("shown, decimals, unit", PROSE_TIMES)
def test_prose_times_are_benchmark_figures(shown, decimals, unit):
    rounded = {round(ns / UNIT_NS[unit], len(decimals)) for ns in recorded_times_ns()}
    assert float(shown) in rounded, f"{shown} {unit} is in no bench/*RESULTS.md table"


JSON_ROWS = table_after("| text | message |")


@pytest.mark.parametrize("text_cell, message_cell", JSON_ROWS, ids=[r[0] for r in JSON_ROWS])
def test_arms_json_messages(text_cell, message_cell):
    text = "" if text_cell == "(empty text)" else code(text_cell)
    with pytest.raises(ValueError) as raised:
        qtk.QuorbelArmKinematics.from_json(text)
    assert str(raised.value) == code(message_cell)


ARGUMENT_ROWS = table_after("| call | exception and message |")


@pytest.mark.parametrize("call_cell, error_cell", ARGUMENT_ROWS,
                         ids=[r[0] for r in ARGUMENT_ROWS])
def test_argument_error_messages(call_cell, error_cell):
    kind, message = code(error_cell).split(": ", 1)
    namespace = {"arm": qtk.QuorbelArmKinematics.default_left(),
                 "neck": qtk.QuorbelNeckKinematics(), "v": [0.66, 0.58, 0.47],
                 **{name: getattr(qtk, name) for name in qtk.__all__}}
    with pytest.raises(BaseException) as raised:
        eval(code(call_cell), namespace)
    assert (type(raised.value).__name__, str(raised.value)) == (kind, message)


# A call that raises each failure of the kinematics that the reference tables
# quote (the arms.json messages have their own table).
FAILURES = {
    "Spherical 5-bar loop does not close: v_2 and v_4 are too far apart for the coupler.":
        lambda: qtk.QuorbelArmKinematics.default_left().fk(3.14, 0.0),
    "Target orientation is outside the spherical 5-bar workspace.":
        lambda: qtk.QuorbelArmKinematics.default_left().ik_from_direction([0, 0, 1]),
    "Gimbal lock: pitch is too close to ±π/2.":
        lambda: qtk.QuorbelNeckKinematics().ik([[0, 0, 0], [0, 0, 0], [1, 0, 0]]),
}
QUOTED = sorted({(kind, message) for kind, message
                 in re.findall(r"`(\w+Error)` `\"([^\"<]+)\"`", README)})


def test_reference_tables_quote_every_failure():
    assert sorted(message for _, message in QUOTED) == sorted(FAILURES)


@pytest.mark.parametrize("kind, message", QUOTED)
def test_quoted_failure_is_raised(kind, message):
    with pytest.raises(BaseException) as raised:
        FAILURES[message]()
    assert (type(raised.value).__name__, str(raised.value)) == (kind, message)


# Inline links and images, [text](target) and ![alt](target).
LINKS = re.findall(r"\]\(([^)\s]+)\)", README)


def test_relative_links_and_images_resolve_to_files_in_the_repository():
    relative = [t.split("#")[0] for t in LINKS if "://" not in t and not t.startswith("#")]
    images = re.findall(r"!\[[^\]]*\]\(([^)\s]+)\)", README)
    assert {"docs/five_bar_loop.png", "docs/workspace_directions.png",
            "docs/workspace_joints.png"} <= set(images)
    assert [t for t in images if not (ROOT / t).is_file()] == []
    assert [t for t in relative if not ((ROOT / t).resolve().is_relative_to(ROOT)
                                        and (ROOT / t).exists())] == []


def heading_anchor(heading):
    """The anchor that GitHub and the package index's renderer give a
    heading: lower case, spaces as hyphens, other punctuation dropped."""
    return re.sub(r"[^\w\- ]", "", heading.lower()).replace(" ", "-")


def test_in_page_links_land_on_a_heading():
    prose = re.sub(r"```.*?```", "", README, flags=re.S)
    anchors = {heading_anchor(h) for h in re.findall(r"^#+ (.+)$", prose, re.M)}
    assert [t for t in LINKS if t.startswith("#") and t[1:] not in anchors] == []


def test_contents_lists_every_section_in_order():
    prose = re.sub(r"```.*?```", "", README, flags=re.S)
    sections = [heading_anchor(h) for h in re.findall(r"^## (.+)$", prose, re.M)]
    contents = re.search(r"^Contents: (.*?)\n\n", README, re.M | re.S).group(1)
    assert re.findall(r"\]\(#([^)]+)\)", contents) == sections


TORSO_JSON_ROWS = table_after("| torso.json text | message |")


@pytest.mark.parametrize("text_cell, message_cell", TORSO_JSON_ROWS,
                         ids=[r[0] for r in TORSO_JSON_ROWS])
def test_torso_json_messages(text_cell, message_cell):
    import quorbel_torso

    with pytest.raises(ValueError) as raised:
        quorbel_torso.Torso.from_json(code(text_cell))
    assert str(raised.value) == code(message_cell)
