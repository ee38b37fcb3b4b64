"""A C++ exception escaping an entry point becomes a Python exception, never
a crash: std::bad_alloc becomes MemoryError, anything else the module's
InternalError, which derives from BaseException so that `except Exception`
does not swallow a broken invariant. Shown with a small probe extension
(tests/fault_probe) built from the module's own internal_error.cpp."""
import importlib.util
import os
import shutil
import subprocess
import sys

import pytest

PROBE_SOURCE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "fault_probe")


@pytest.fixture(scope="module")
def probe_library(tmp_path_factory, tools):
    cmake = tools.program("cmake")
    build = tmp_path_factory.mktemp("fault_probe")
    # Build tools do not run under a preloaded sanitizer runtime.
    env = {name: value for name, value in os.environ.items() if name != "LD_PRELOAD"}
    configure = subprocess.run(
        [cmake, "-S", PROBE_SOURCE, "-B", str(build), f"-DPython_EXECUTABLE={sys.executable}",
         "-DCMAKE_BUILD_TYPE=Debug"], env=env, capture_output=True, text=True)
    if configure.returncode != 0:
        tools.unavailable("no C++ compiler or Python headers for the probe:\n" + configure.stderr)
    compiled = subprocess.run([cmake, "--build", str(build)], env=env, capture_output=True,
                              text=True)
    assert compiled.returncode == 0, compiled.stdout + compiled.stderr
    (library,) = [p for p in build.iterdir() if p.name.startswith("qtk_fault_probe.")]
    return library


@pytest.fixture
def probe(probe_library, tmp_path):
    """A fresh copy of the probe, loaded from its own file: its one-time
    cell of the internal error type starts empty."""
    copy = tmp_path / probe_library.name
    shutil.copy(probe_library, copy)
    spec = importlib.util.spec_from_file_location("qtk_fault_probe", copy)
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


def test_a_fault_before_the_type_exists_is_a_system_error(probe):
    with pytest.raises(SystemError, match="^unexpected C\\+\\+ exception"):
        probe.throw_runtime_error()
    probe.create_internal_error_type()


@pytest.mark.parametrize("name", ["throw_runtime_error", "throw_int", "throw_in_int_entry"])
def test_escaped_exceptions_raise_internal_error(probe, name):
    probe.create_internal_error_type()
    with pytest.raises(BaseException) as caught:
        try:
            getattr(probe, name)()
        except Exception:  # a broken invariant must get past ordinary handlers
            pytest.fail("InternalError was caught as an Exception")
    error_type = type(caught.value)
    assert (error_type.__module__, error_type.__qualname__) == (
        "quorbel_torso_kinematics", "InternalError")
    assert error_type.__bases__ == (BaseException,)
    assert str(caught.value) == "unexpected C++ exception inside quorbel_torso_kinematics"
    assert probe.return_seven() == 7  # the next call runs normally


def test_bad_alloc_raises_memory_error(probe):
    with pytest.raises(MemoryError):
        probe.throw_bad_alloc()
    assert probe.return_seven() == 7


def test_the_internal_error_type_is_created_once(probe):
    types = set()
    for _ in range(3):
        probe.create_internal_error_type()
        with pytest.raises(BaseException) as caught:
            probe.throw_int()
        types.add(type(caught.value))
    assert len(types) == 1
