"""A method's parameter names and its converters are declared together
(src/module/argument_parser.hpp), and a table whose names do not match its
converters one for one does not compile: the binder sizes its slots by the
converters and fills them by the names, so a surplus name would write past
them. Checked by compiling small translation units against the module's
headers."""
import os
import subprocess
import sysconfig
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parent.parent


def compiles(declaration, tmp_path, tools):
    compiler = tools.program(os.environ.get("CXX", "c++"), "the C++ compiler")
    source = tmp_path / "table.cpp"
    source.write_text('#include "module/method_parameters.hpp"\n'
                      "using namespace quorbel::module;\n" + declaration + "\n")
    # Build tools do not run under a preloaded sanitizer runtime.
    env = {name: value for name, value in os.environ.items() if name != "LD_PRELOAD"}
    result = subprocess.run(
        [compiler, "-std=c++17", "-fsyntax-only", f"-I{ROOT / 'src'}", f"-I{ROOT / 'include'}",
         f"-I{sysconfig.get_paths()['include']}", str(source)],
        env=env, capture_output=True, text=True)
    if result.returncode != 0:
        assert "one parameter name per converter" in result.stderr, result.stderr
    return result.returncode == 0


@pytest.mark.parametrize("declaration, accepted", [
    ('Parameters<DoubleArg, DoubleArg> t{"f()", 2, {"a", "b"}};', True),
    ('Parameters<DoubleArg, DoubleArg> t{"f()", 2, {"a", "b", "c"}};', False),
    ('Parameters<DoubleArg, DoubleArg> t{"f()", 1, {"a"}};', False),
    ('Parameters<Vec3Arg, OptionalJointPairArg> t{"f()", 1, {"v3", "near"}};', True),
    ('Parameters<> t{"f()"};', True),
    ('Parameters<DoubleArg> t{"f()"};', False),
])
def test_names_must_match_converters(declaration, accepted, tmp_path, tools):
    assert compiles(declaration, tmp_path, tools) is accepted
