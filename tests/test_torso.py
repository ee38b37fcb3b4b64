"""quorbel_torso.Torso: a value read from torso.json, and look_at over
arrays of targets agreeing with the arms' and the neck's own kinematics."""
import json
import math
import pickle
from pathlib import Path

import numpy as np
import pytest

import quorbel_torso as qt
from quorbel_torso import AimStatus, Torso

EXAMPLE = Path(__file__).resolve().parent.parent / "examples" / "torso.json"


@pytest.fixture(scope="module")
def torso():
    return Torso.example()


def test_torso_is_an_immutable_value(torso):
    text = EXAMPLE.read_text(encoding="utf-8")
    assert Torso.from_json(text) == torso and text == torso.to_json()
    assert eval(repr(torso), {"Torso": Torso}) == torso
    copy = pickle.loads(pickle.dumps(torso))
    assert copy == torso and hash(copy) == hash(torso)
    other = json.loads(text)
    other["neck"]["mount"]["offset"][2] = 0.3
    assert Torso.from_json(json.dumps(other)) != torso
    with pytest.raises(AttributeError):
        torso._json = "{}"
    limits = ((-1.6, 1.6), (-1.6, 1.6))
    assert (torso.left_arm, torso.right_arm) == (qt.Arm(limits=limits),
                                                 qt.Arm(mirror=True, limits=limits))


@pytest.mark.parametrize("text, message", [
    ("", "Invalid torso.json: EOF while parsing a value at line 1 column 0"),
    ('{"format": "quorbel-torso", "version": 2}',
     "Invalid torso.json: unsupported version `2`, expected 1 at line 1 column 40"),
    ('{\n "neck": {"mount": {"offset": [0, 0]}}}',
     "Invalid torso.json: invalid length 2, expected an array of 3 numbers at line 2 column 36"),
    ('{"left_arm": {"geometry": {"arm_arc": 0.7, "mirror": 1}}}',
     "Invalid torso.json: invalid type: integer `1`, expected a boolean at line 1 column 54"),
])
def test_refused_text_raises_the_readers_message(text, message):
    with pytest.raises(ValueError) as error:
        Torso.from_json(text)
    assert str(error.value) == message


def mount(description, name):
    part = json.loads(description.to_json())[name]["mount"]
    return np.array(part["rotation"]), np.array(part["offset"])


def angle(a, b):
    return np.arctan2(np.linalg.norm(np.cross(a, b), axis=-1), np.sum(a * b, axis=-1))


def test_look_at_agrees_with_each_mechanisms_kinematics(torso):
    rng = np.random.default_rng(7)
    # In front, behind, above and below, near and far.
    targets = rng.normal(size=(400, 3)) * rng.choice([0.3, 1.0, 1e6], size=(400, 1))
    aim = torso.look_at(targets)
    assert aim.pose.shape == (400, 7) and aim.status.shape == aim.leftover.shape == (400, 3)
    for m, (name, arm, part) in enumerate((("left_arm", torso.left_arm, aim.left_arm),
                                           ("right_arm", torso.right_arm, aim.right_arm))):
        rotation, offset = mount(torso, name)
        wanted = (targets - offset) @ rotation
        wanted /= np.linalg.norm(wanted, axis=-1, keepdims=True)
        got = arm.direction(part[:, 0], part[:, 1])
        aimed = aim.status[:, m] <= AimStatus.CLAMPED
        assert np.all(np.abs(part[aimed]) <= 1.6 + 1e-12)
        assert np.all(np.abs(angle(got, wanted) - aim.leftover[:, m])[aimed] < 2e-6)
        reached = aim.status[:, m] == AimStatus.REACHED
        assert reached.sum() > 20 and np.all(aim.leftover[reached, m] == 0.0)
        assert np.all(np.isnan(part[~aimed]))
    rotation, offset = mount(torso, "neck")
    wanted = (targets - offset) @ rotation
    gaze = qt.Neck().fk(aim.neck)[..., 0]
    assert np.all(aim.status[:, 2] <= AimStatus.CLAMPED)
    assert np.allclose(angle(gaze, wanted), aim.leftover[:, 2], atol=1e-12)
    assert np.all((aim.status[:, 2] == AimStatus.REACHED) == (aim.leftover[:, 2] < 1e-9))


@pytest.mark.parametrize("target", [
    [math.nan, 0.0, 0.0], [0.0, math.inf, 0.0], [-math.inf, 1.0, 1.0]])
def test_a_target_without_direction_gives_nan_and_a_flag(torso, target):
    for given in (target, np.array(target), [target, target]):
        aim = torso.look_at(given)
        assert np.all(np.isnan(aim.pose)) and np.all(np.isnan(aim.leftover))
        assert np.all(aim.status == AimStatus.NO_DIRECTION)


def test_each_mounts_origin_leaves_only_that_mechanism_without_direction(torso):
    origins = np.array([mount(torso, name)[1] for name in ("left_arm", "right_arm", "neck")])
    status = torso.look_at(origins).status
    assert np.all(np.diag(status) == AimStatus.NO_DIRECTION)
    assert np.all(status[~np.eye(3, dtype=bool)] != AimStatus.NO_DIRECTION)


def test_single_target_path_matches_the_batch_bit_for_bit(torso):
    rng = np.random.default_rng(3)
    targets = np.concatenate([rng.normal(size=(30, 3)), [[0.7, 0.1, 0.2], [1e300, 0, 0]]])
    previous = torso.look_at(targets[::-1]).pose
    batch = torso.look_at(targets, previous=previous)
    for k, target in enumerate(targets):
        for given in (target, target.tolist(), tuple(target)):
            one = torso.look_at(given, previous=previous[k])
            assert one.pose.shape == (7,)
            assert np.array_equal(one.pose, batch.pose[k], equal_nan=True)
            assert np.array_equal(one.status, batch.status[k])
            assert np.array_equal(one.leftover, batch.leftover[k], equal_nan=True)
    # The previous pose as a TorsoAim, with NaN for a mechanism without one.
    held = torso.look_at([0.7, 0.1, 0.2], previous=torso.look_at([math.nan, 0, 0]))
    assert np.array_equal(held.pose, torso.look_at([0.7, 0.1, 0.2]).pose)


def test_previous_keeps_the_roll_and_the_wound_yaw():
    free = json.loads(EXAMPLE.read_text(encoding="utf-8"))
    del free["neck"]["limits"]
    torso = Torso.from_json(json.dumps(free))
    behind = [-1.0, -0.01, 0.45]
    fresh = torso.look_at(behind).neck
    wound = torso.look_at(behind, previous=[0, 0, 0, 0, 3.1, 0.0, 0.4]).neck
    assert wound[2] == 0.4 and fresh[2] == 0.0
    assert wound[0] == pytest.approx(fresh[0] + 2 * math.pi, abs=1e-12)
