"""Both packages carry the version the distribution was built as: the one
written in CMakeLists.txt's project()."""
import importlib.metadata

import pytest

import quorbel_torso
import quorbel_torso_kinematics


@pytest.mark.parametrize("package", [quorbel_torso_kinematics, quorbel_torso],
                         ids=lambda p: p.__name__)
def test_version_is_the_distributions(package):
    assert package.__version__ == importlib.metadata.version("quorbel_torso_kinematics")
    assert "__version__" not in package.__all__
