import importlib.util
import os
import shutil

import pytest

import quorbel_torso_kinematics as qtk

# .ci/run sets CI=true and installs every tool a test needs, so there a missing
# tool is a fault of the run, not a reason to leave a check out unseen.
IN_CI = os.environ.get("CI", "").lower() in ("1", "true", "yes")


def pytest_report_header():
    """Where each of the project's packages is imported from: the suite must
    exercise an installed build, and the distribution check reads these
    lines to make sure it was the one installed from the sdist."""
    found = {name: importlib.util.find_spec(name)
             for name in ("quorbel_torso_kinematics", "quorbel_torso")}
    return [f"{name}: {module.origin}" for name, module in found.items() if module is not None]


class Tools:
    """What a test needs beyond the installed packages: missing, it skips the
    test on a developer's machine and fails it in CI."""

    @staticmethod
    def unavailable(reason):
        if IN_CI:
            pytest.fail(f"{reason}; in CI every test must run", pytrace=False)
        pytest.skip(reason)

    def program(self, name, role=""):
        """The path of the program `name` on the PATH."""
        path = shutil.which(name)
        if path is None:
            self.unavailable(f"{name} is not installed" + (f" ({role})" if role else ""))
        return path

    def module(self, name):
        if importlib.util.find_spec(name) is None:
            self.unavailable(f"the Python package {name} is not installed")


@pytest.fixture(scope="session")
def tools():
    return Tools()


@pytest.fixture
def arm():
    return qtk.QuorbelArmKinematics.default_left()


@pytest.fixture
def neck():
    return qtk.QuorbelNeckKinematics()
