import importlib.util

import pytest

import quorbel_torso_kinematics as qtk


def pytest_report_header():
    """Where each of the project's packages is imported from: the suite must
    exercise an installed build, and the distribution check reads these
    lines to make sure it was the one installed from the sdist."""
    found = {name: importlib.util.find_spec(name)
             for name in ("quorbel_torso_kinematics", "quorbel_torso")}
    return [f"{name}: {module.origin}" for name, module in found.items() if module is not None]


@pytest.fixture
def arm():
    return qtk.QuorbelArmKinematics.default_left()


@pytest.fixture
def neck():
    return qtk.QuorbelNeckKinematics()
