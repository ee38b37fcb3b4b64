"""The README and the documentation pages (docs/*.md) stay true: their code
runs, their tables of error messages are the module's messages, and their
links and pictures exist."""
import doctest
import importlib.util
import os
import re
import subprocess
from pathlib import Path

import pytest

import quorbel_torso_kinematics as qtk

ROOT = Path(__file__).resolve().parent.parent
DOCS = ROOT / "docs"
PAGES = [ROOT / "README.md", *sorted(DOCS.rglob("*.md"))]
PAGES = [page for page in PAGES if "_build" not in page.parts]


def name(page):
    return page.relative_to(ROOT).as_posix()


def text(page):
    return page.read_text(encoding="utf-8")


def page_with(marker):
    """The one page that holds `marker`."""
    (page,) = [page for page in PAGES if marker in text(page)]
    return text(page)


def table_after(heading_row):
    """The rows of the markdown table whose header row is `heading_row`, as
    lists of cells."""
    source = page_with(heading_row)
    start = source.index(heading_row)
    rows = []
    for line in source[start:].splitlines()[2:]:
        if not line.startswith("|"):
            break
        rows.append([cell.strip() for cell in line.strip("|").split(" | ")])
    return rows


def code(cell):
    """The text of a cell that is one code span (`x` or ``x``)."""
    match = re.fullmatch(r"(`+)(.*?)\1", cell)
    assert match, f"not a code span: {cell}"
    return match.group(2)


def python_blocks(source):
    return re.findall(r"```python\n(.*?)```", source, re.S)


PYTHON_PAGES = [page for page in PAGES if python_blocks(text(page))]
# The Dask how-to starts a local cluster of two worker processes: it needs
# the docs extra, which CI's documentation step installs (and there sets
# QTK_DOCS_DOCTESTS, under which a missing Dask fails the page).
CLUSTER_PAGE = DOCS / "howto_dask.md"


@pytest.mark.parametrize(
    "page",
    [pytest.param(page, marks=[pytest.mark.slow] if page == CLUSTER_PAGE else [])
     for page in PYTHON_PAGES], ids=name)
def test_python_blocks_run_in_order(page, monkeypatch):
    """Blocks that show results are doctests, so each shown result is what the
    code prints; the others run as they stand and show none. A page's blocks
    share their names, in order; each page starts afresh."""
    if page == CLUSTER_PAGE and importlib.util.find_spec("dask") is None:
        if os.environ.get("QTK_DOCS_DOCTESTS"):
            pytest.fail("dask[distributed] is not installed (pip install '.[docs]')")
        pytest.skip("dask[distributed] is not installed (pip install '.[docs]')")
    monkeypatch.chdir(ROOT)
    namespace = {}
    for number, block in enumerate(python_blocks(text(page))):
        if "# error:" in block:  # shows what a type checker rejects
            continue
        if ">>> " not in block:
            assert "# ->" not in block, "a shown result outside a doctest is not checked"
            exec(block, namespace)
            continue
        test = doctest.DocTestParser().get_doctest(block, namespace, f"{name(page)} block {number}",
                                                   name(page), 0)
        runner = doctest.DocTestRunner(optionflags=doctest.ELLIPSIS)
        runner.run(test, clear_globs=False)
        assert runner.summarize(verbose=False).failed == 0
        namespace.update(test.globs)  # a DocTest runs in a copy of the names it is given


# What the C++ programs print: each prints some of these lines, in order.
def expected_cpp_lines():
    head_x = [row[0] for row in qtk.QuorbelNeckKinematics().fk([0.3, -0.7, 1.1])]
    return ["ik: (0.300000, -0.200000), near (1.1, -0.2): (1.144746, -0.200000)",
            "head x axis: ({:.6f}, {:.6f}, {:.6f})".format(*head_x),
            "1000 of 1000 poses as the per-pose function gives them"]


CPP_PROGRAMS = [(page, block) for page in PAGES
                for block in re.findall(r"```cpp\n(.*?)```", text(page), re.S)]


@pytest.mark.parametrize("page, program", CPP_PROGRAMS,
                         ids=[name(page) for page, _ in CPP_PROGRAMS])
def test_cpp_program_compiles_and_runs(page, program, tmp_path, tools):
    """Each C++ block is a whole program: built with the core's sources (as
    cmake/source_lists.cmake lists them) and warnings as errors, it prints
    what the Python examples print."""
    compiler = tools.program(os.environ.get("CXX", "c++"), "the C++ compiler")
    program_file = tmp_path / "page.cpp"
    program_file.write_text(program)
    lists = (ROOT / "cmake" / "source_lists.cmake").read_text()
    core = re.search(r"set\(QTK_CORE_SOURCES(.*?)\)", lists, re.S).group(1)
    sources = [str(ROOT / path) for path in re.findall(r"\$\{QTK_SOURCE_ROOT\}/(\S+)", core)]
    # Build tools do not run under a preloaded sanitizer runtime.
    env = {key: value for key, value in os.environ.items() if key != "LD_PRELOAD"}
    built = subprocess.run(
        [compiler, "-std=c++17", "-O0", "-Wall", "-Wextra", "-Wpedantic", "-Werror",
         "-ffp-contract=off", f"-I{ROOT / 'include'}", f"-I{ROOT / 'src'}", "-o",
         str(tmp_path / "page"), str(program_file), *sources],
        env=env, capture_output=True, text=True)
    assert built.returncode == 0, built.stderr
    ran = subprocess.run([str(tmp_path / "page")], env=env, capture_output=True, text=True)
    assert ran.returncode == 0
    printed = ran.stdout.splitlines()
    assert printed, "the program prints nothing to compare"
    expected = expected_cpp_lines()
    assert printed == [line for line in expected if line in printed]


JSON_ROWS = table_after("| text | message |")


@pytest.mark.parametrize("text_cell, message_cell", JSON_ROWS, ids=[r[0] for r in JSON_ROWS])
def test_arms_json_messages(text_cell, message_cell):
    source = "" if text_cell == "(empty text)" else code(text_cell)
    with pytest.raises(ValueError) as raised:
        qtk.QuorbelArmKinematics.from_json(source)
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
QUOTED = sorted({(kind, message) for page in PAGES for kind, message
                 in re.findall(r"`(\w+Error)` `\"([^\"<]+)\"`", text(page))})


def test_reference_tables_quote_every_failure():
    assert sorted(message for _, message in QUOTED) == sorted(FAILURES)


@pytest.mark.parametrize("kind, message", QUOTED)
def test_quoted_failure_is_raised(kind, message):
    with pytest.raises(BaseException) as raised:
        FAILURES[message]()
    assert (type(raised.value).__name__, str(raised.value)) == (kind, message)


def links(page):
    """Inline links and images outside code, [text](target) and ![alt](target)."""
    prose = re.sub(r"```.*?```", "", text(page), flags=re.S)
    return re.findall(r"\]\(([^)\s]+)\)", prose)


def heading_anchor(heading):
    """The anchor that GitHub, the package index's renderer and the site
    (MyST's heading anchors) give a heading: lower case, spaces as hyphens,
    other punctuation dropped."""
    return re.sub(r"[^\w\- ]", "", heading.lower()).replace(" ", "-")


def anchors(page):
    """The heading anchors of a page, with those of the files it includes."""
    source = re.sub(r"```(?!\{include\}).*?```", "", text(page), flags=re.S)
    for included in re.findall(r"```\{include\} (\S+)", text(page)):
        source += re.sub(r"```.*?```", "", (page.parent / included).read_text(encoding="utf-8"),
                         flags=re.S)
    return {heading_anchor(h) for h in re.findall(r"^#+ (.+)$", source, re.M)}


@pytest.mark.parametrize("page", PAGES, ids=name)
def test_relative_links_resolve_to_files_and_headings(page):
    """Relative links work where the pages are read as files (the code
    host, the unpacked sdist): each names a file of the repository, and an
    anchor names a heading of the page it points at."""
    broken = []
    for target in links(page):
        if "://" in target or target.startswith("mailto:"):
            continue
        path, _, anchor = target.partition("#")
        file = (page.parent / path).resolve() if path else page
        if not (file.is_relative_to(ROOT) and file.exists()):
            broken.append(target)
        elif anchor and anchor not in anchors(file):
            broken.append(target)
    assert broken == []


def test_every_picture_is_shown_and_every_page_linked_from_the_readme():
    images = {(page.parent / target).resolve() for page in PAGES
              for target in re.findall(r"!\[[^\]]*\]\(([^)\s]+)\)", text(page))}
    assert set(DOCS.glob("*.png")) <= images
    readme_targets = {(ROOT / t.partition("#")[0]).resolve() for t in links(ROOT / "README.md")}
    site_pages = {page for page in PAGES if page.parent != ROOT and page.name != "index.md"}
    assert sorted(map(name, site_pages - readme_targets)) == []


TORSO_JSON_ROWS = table_after("| torso.json text | message |")


@pytest.mark.parametrize("text_cell, message_cell", TORSO_JSON_ROWS,
                         ids=[r[0] for r in TORSO_JSON_ROWS])
def test_torso_json_messages(text_cell, message_cell):
    import quorbel_torso

    with pytest.raises(ValueError) as raised:
        quorbel_torso.Torso.from_json(code(text_cell))
    assert str(raised.value) == code(message_cell)


def documented_members(page):
    """{class name: the members its autoclass directive lists, in order}."""
    documented = {}
    for name, body in re.findall(r"^\.\. autoclass:: [\w.]+\.(\w+)\n((?:\n|   .*\n)*)",
                                 text(DOCS / "api" / page), re.M):
        documented[name] = re.findall(r"^   \.\. auto(?:method|property):: (\w+)", body, re.M)
    return documented


def public_members(cls):
    return {name for name in dir(cls) if not name.startswith("_")}


@pytest.mark.parametrize("page, module_name, classes", [
    ("per_call.md", "quorbel_torso_kinematics", ["QuorbelArmKinematics", "QuorbelNeckKinematics"]),
    ("arrays.md", "quorbel_torso", ["Arm", "Neck", "Torso"]),
])
def test_reference_pages_document_every_public_member(page, module_name, classes):
    """The reference lists its members by hand (in reading order), so a
    member added to a class must be added to its page."""
    module = pytest.importorskip(module_name)
    documented = documented_members(page)
    assert {name: sorted(documented.get(name, [])) for name in classes} == {
        name: sorted(public_members(getattr(module, name))) for name in classes}
