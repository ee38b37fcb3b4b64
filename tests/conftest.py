import pytest

import quorbel_torso_kinematics as qtk


@pytest.fixture
def arm():
    return qtk.QuorbelArmKinematics.default_left()


@pytest.fixture
def neck():
    return qtk.QuorbelNeckKinematics()
