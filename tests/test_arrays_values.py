"""Arm and Neck as values: validated construction, read-only attributes,
repr that evaluates back, equality and hashing by geometry under the float
rules, pickling and copying, arms.json both ways, the per-call arm they stand
for, and the package's import without NumPy."""
import copy
import math
import pickle
import subprocess
import sys
from pathlib import Path

import numpy as np
import pytest
from hypothesis import given
from hypothesis import strategies as st

import quorbel_torso as qt
from quorbel_torso import Arm, Neck
from quorbel_torso_kinematics import QuorbelArmKinematics

NAN, INF = math.nan, math.inf
ARMS_DIRECTORY = Path(__file__).resolve().parent.parent / "examples" / "arms"

# Arms as written, their repr, and what they are stored as.
ARMS = [
    (Arm(), "Arm(arm_arc=0.7, coupler_arc=0.5, mirror=False, branch='positive')"),
    (Arm(1, True, np.True_, "negative"),
     "Arm(arm_arc=1.0, coupler_arc=1.0, mirror=True, branch='negative')"),
    (Arm(np.True_, np.False_),
     "Arm(arm_arc=1.0, coupler_arc=0.0, mirror=False, branch='positive')"),
    (Arm(np.float32(0.7), np.int64(-3)),
     "Arm(arm_arc=0.699999988079071, coupler_arc=-3.0, mirror=False, branch='positive')"),
    (Arm(NAN, -INF, branch="negative"),
     "Arm(arm_arc=float('nan'), coupler_arc=float('-inf'), mirror=False, branch='negative')"),
    (Arm(INF, -0.0),
     "Arm(arm_arc=float('inf'), coupler_arc=-0.0, mirror=False, branch='positive')"),
]


@pytest.mark.parametrize("arm, text", ARMS, ids=[text for _, text in ARMS])
def test_repr_evaluates_back_and_values_are_plain(arm, text):
    assert repr(arm) == text
    again = eval(text, {"Arm": Arm})
    assert repr(again) == text
    assert [type(arm.arm_arc), type(arm.coupler_arc), type(arm.mirror), type(arm.branch)] == [
        float, float, bool, str]


@pytest.mark.parametrize("arm, text", ARMS, ids=[text for _, text in ARMS])
def test_pickle_and_copy_keep_the_geometry(arm, text):
    protocols = range(pickle.HIGHEST_PROTOCOL + 1)
    copies = [copy.copy(arm), copy.deepcopy(arm),
              *(pickle.loads(pickle.dumps(arm, protocol)) for protocol in protocols)]
    for other in copies:
        assert type(other) is Arm and repr(other) == text
        assert (other == arm) is not math.isnan(arm.arm_arc)
    neck = pickle.loads(pickle.dumps(Neck()))
    assert type(neck) is Neck and neck == Neck() and copy.deepcopy(neck) == neck


EQUALITY = [
    (Arm(), Arm.default_left(), True),
    (Arm(mirror=True), Arm.default_right(), True),
    (Arm(0.0, 0.5), Arm(-0.0, 0.5), True),
    (Arm(), Arm(mirror=True), False),
    (Arm(), Arm(branch="negative"), False),
    (Arm(), Arm(0.7000000000000001), False),
    (Arm(NAN), Arm(NAN), False),
    (Arm(), "Arm()", False),
    (Arm(), Neck(), False),
    (Neck(), Neck(), True),
]


@pytest.mark.parametrize("left, right, equal", EQUALITY)
def test_equality_and_hash_by_geometry(left, right, equal):
    assert (left == right) is equal and (left != right) is not equal
    if equal:
        assert hash(left) == hash(right)


def test_nan_arcs_never_compare_equal():
    arm = Arm(NAN)
    assert arm != arm and len({arm, Arm(), Arm.default_left()}) == 2


@pytest.mark.parametrize("target, name", [(Arm(), "arm_arc"), (Arm(), "branch"),
                                          (Arm(), "_mirror"), (Arm(), "extra"), (Neck(), "extra")])
def test_values_are_immutable(target, name):
    with pytest.raises(AttributeError):
        setattr(target, name, 1.0)
    with pytest.raises(AttributeError):
        delattr(target, name)
    assert target == type(target)()


CONSTRUCTION_ERRORS = [
    ({"arm_arc": "0.7"}, TypeError, "arm_arc must be a real number, not str"),
    ({"coupler_arc": 1j}, TypeError, "coupler_arc must be a real number, not complex"),
    ({"arm_arc": None}, TypeError, "arm_arc must be a real number, not NoneType"),
    ({"coupler_arc": np.complex128(1)}, TypeError, "coupler_arc must be a real number"),
    ({"mirror": 1}, TypeError, "mirror must be a bool, not int"),
    ({"mirror": "yes"}, TypeError, "mirror must be a bool, not str"),
    ({"branch": "Positive"}, ValueError, "branch must be 'positive' or 'negative', not 'Positive'"),
    ({"branch": None}, TypeError, "branch must be a str, not NoneType"),
]


@pytest.mark.parametrize("arguments, error, message", CONSTRUCTION_ERRORS)
def test_construction_is_validated_by_type(arguments, error, message):
    with pytest.raises(error, match=message):
        Arm(**arguments)


@pytest.mark.parametrize("text", [
    '{"coupler_arc": 0.5}', "", "[0.7]", "NaN", '{"arm_arc": 1, "coupler_arc": 1, "mirror": 1}',
    '{"arm_arc": 0.7, "coupler_arc": 0.5, "branch": "\u00e9t\u00e9"}'])
def test_from_json_refuses_in_the_per_call_words(text):
    with pytest.raises(ValueError) as per_call:
        QuorbelArmKinematics.from_json(text)
    with pytest.raises(ValueError) as ours:
        Arm.from_json(text)
    assert str(ours.value) == str(per_call.value)


def test_from_json_reads_the_example_files():
    text = (ARMS_DIRECTORY / "right_arm_negative_branch.json").read_text()
    assert Arm.from_json(text) == Arm(0.7, 0.5, True, "negative")
    with pytest.raises(TypeError, match="text must be a str, not bytes"):
        Arm.from_json(b"{}")


finite = st.floats(allow_nan=False, allow_infinity=False)


@given(arm_arc=finite, coupler_arc=finite, mirror=st.booleans(),
       branch=st.sampled_from(["positive", "negative"]))
def test_json_and_per_call_arm_keep_the_geometry_exactly(arm_arc, coupler_arc, mirror, branch):
    arm = Arm(arm_arc, coupler_arc, mirror, branch)
    again = Arm.from_json(arm.to_json())
    assert again == arm and math.copysign(1, again.arm_arc) == math.copysign(1, arm_arc)
    kinematics = arm.kinematics()
    assert type(kinematics) is QuorbelArmKinematics
    assert (kinematics.arm_arc(), kinematics.coupler_arc(), kinematics.mirror()) == (
        arm_arc, coupler_arc, mirror)


@pytest.mark.parametrize("arm", [Arm(NAN), Arm(0.7, INF), Arm(-INF, 0.5, True, "negative")])
def test_json_cannot_hold_non_finite_arcs(arm):
    with pytest.raises(ValueError, match="arms.json cannot hold"):
        arm.to_json()
    if arm.branch == "positive":  # the per-call constructor takes any arcs
        assert math.isnan(arm.kinematics().arm_arc()) == math.isnan(arm.arm_arc)
    else:
        with pytest.raises(ValueError, match="no per-call arm has branch 'negative' and "
                                             "arm_arc=-inf"):
            arm.kinematics()


def test_neck_value():
    assert repr(Neck()) == "Neck()" and eval(repr(Neck()), {"Neck": Neck}) == Neck()
    assert hash(Neck()) == hash(Neck()) and len({Neck(), Neck()}) == 1
    assert qt.__all__ == ["AimStatus", "Arm", "Neck", "Torso", "TorsoAim"]
    assert Arm.__module__ == Neck.__module__ == qt.Torso.__module__ == "quorbel_torso"


def run_python(code):
    return subprocess.run([sys.executable, "-c", code], capture_output=True, text=True,
                          timeout=60)


def test_import_without_numpy_says_what_to_install():
    result = run_python("import sys; sys.modules['numpy'] = None; import quorbel_torso")
    assert result.returncode != 0
    assert ("ImportError: quorbel_torso needs NumPy: "
            "pip install 'quorbel_torso_kinematics[arrays]'") in result.stderr


def test_per_call_module_imports_neither_numpy_nor_the_array_package():
    result = run_python("import sys, quorbel_torso_kinematics; "
                        "print(sorted({'numpy', 'quorbel_torso'} & set(sys.modules)))")
    assert result.returncode == 0 and result.stdout.strip() == "[]"
