"""Sphinx configuration of the documentation site: MyST Markdown pages (they
read as they are on the code host too), furo, the Python API from the
packages' annotations and docstrings, the C++ API from Doxygen's XML through
Breathe."""
import __future__
import re
import subprocess
import sys
import types
from pathlib import Path

DOCS = Path(__file__).resolve().parent
ROOT = DOCS.parent

project = "quorbel_torso_kinematics"
author = "The quorbel_torso_kinematics developers"
copyright = "the quorbel_torso_kinematics developers"
# The one version, written in CMakeLists.txt's project().
release = version = re.search(r"project\([^)]*\bVERSION\s+([0-9][0-9.]*)",
                              (ROOT / "CMakeLists.txt").read_text()).group(1)

extensions = [
    "myst_parser",
    "sphinx.ext.autodoc",
    "numpydoc",
    "breathe",
]
source_suffix = {".md": "markdown", ".rst": "restructuredtext"}
exclude_patterns = ["_build", "_doxygen"]
root_doc = "index"
# `name` in a docstring is a cross-reference (to a method of the same class,
# for instance), as numpydoc's style writes them.
default_role = "py:obj"

# Headings get the anchors GitHub gives them, so that page.md#heading links
# work both on the code host and in the site.
myst_heading_anchors = 3
myst_enable_extensions = ["colon_fence", "dollarmath"]

html_theme = "furo"
html_title = f"quorbel_torso_kinematics {release}"
html_static_path = []

autodoc_member_order = "bysource"
# The docstrings give each parameter's type in words (numpydoc); NumPy's
# ArrayLike spelled out in every signature would bury the names.
autodoc_typehints = "none"
numpydoc_show_class_members = False
numpydoc_class_members_toctree = False
numpydoc_validation_checks = set()


def per_call_module_from_its_stub():
    """The per-call module's classes have empty docstrings by design (their
    methods' texts and signatures are in the stub that ships with it), so its
    reference is written from the stub: loaded as the module for autodoc.
    Nothing in the build runs the module itself."""
    stub = ROOT / "stubs" / "quorbel_torso_kinematics-stubs" / "__init__.pyi"
    # A stub's annotations name classes before they are defined: read them
    # lazily, as type checkers do.
    code = compile(stub.read_text(encoding="utf-8"), str(stub), "exec",
                   flags=__future__.annotations.compiler_flag, dont_inherit=True)
    module = types.ModuleType("quorbel_torso_kinematics")
    module.__file__ = str(stub)
    exec(code, module.__dict__)
    sys.modules["quorbel_torso_kinematics"] = module


per_call_module_from_its_stub()

# Doxygen writes the C++ headers' XML into _doxygen/ before the build.
DOXYGEN_XML = DOCS / "_doxygen" / "xml"
breathe_projects = {"quorbel": str(DOXYGEN_XML)}
breathe_default_project = "quorbel"
breathe_default_members = ("members",)


def run_doxygen(app):
    subprocess.run(["doxygen", str(DOCS / "Doxyfile")], cwd=DOCS, check=True,
                   stdout=subprocess.DEVNULL)


def setup(app):
    app.connect("builder-inited", run_doxygen)
