"""QUORBEL_TORSO_SIMD, read when quorbel_torso is imported: each path this
machine runs is taken when named, and an unknown or unavailable name fails
the import with a message naming it (run in fresh interpreters, since the
choice is made once per process)."""
import os
import subprocess
import sys

import pytest

from quorbel_torso import _kernels

ALL_PATHS = ["scalar", "sse2", "avx2", "neon"]


def import_with(value):
    env = dict(os.environ, QUORBEL_TORSO_SIMD=value)
    code = "import quorbel_torso._kernels as k; print(k.simd())"
    return subprocess.run([sys.executable, "-c", code], env=env, capture_output=True, text=True)


@pytest.mark.parametrize("name", ALL_PATHS + ["avx512", ""])
def test_the_environment_variable_forces_a_path_or_fails_the_import(name):
    done = import_with(name)
    if name == "":
        assert done.returncode == 0 and done.stdout.strip() in _kernels.available_simd()
    elif name in _kernels.available_simd():
        assert done.returncode == 0 and done.stdout.strip() == name
    else:
        assert done.returncode != 0 and f"'{name}'" in done.stderr
