"""Construction, presets and accessors of the arm class."""
import math

import pytest

import quorbel_torso_kinematics as qtk

ARM = qtk.QuorbelArmKinematics


def geometry(arm):
    return (arm.arm_arc(), arm.coupler_arc(), arm.mirror())


@pytest.mark.parametrize(
    "make, expected",
    [
        (lambda: ARM(), (0.7, 0.5, False)),
        (lambda: ARM(mirror=True), (0.7, 0.5, True)),
        (ARM.default_left, (0.7, 0.5, False)),
        (ARM.default_right, (0.7, 0.5, True)),
        (lambda: ARM.default_left().default_right(), (0.7, 0.5, True)),
        (lambda: ARM(1, 2), (1.0, 2.0, False)),
        (lambda: ARM(arm_arc=True), (1.0, 0.5, False)),
        (lambda: ARM(-0.3, 0.0, False), (-0.3, 0.0, False)),
    ],
)
def test_geometry_reads_back(make, expected):
    arm = make()
    assert type(arm) is ARM
    assert geometry(arm) == expected
    assert type(arm.arm_arc()) is float and type(arm.coupler_arc()) is float


def test_presets_are_new_objects_that_differ_only_in_mirror():
    a, b = ARM.default_left(), ARM.default_left()
    assert a is not b
    assert geometry(ARM.default_right()) == geometry(a)[:2] + (True,)


@pytest.mark.parametrize("value", [math.inf, -math.inf, 0.0, -0.0, -5.0])
def test_arcs_are_stored_unchecked(value):
    arm = ARM(value, value)
    assert arm.arm_arc() == value and arm.coupler_arc() == value
    assert math.copysign(1.0, arm.arm_arc()) == math.copysign(1.0, value)


def test_nan_arcs_come_back_as_nan():
    arm = ARM(math.nan, math.nan)
    assert math.isnan(arm.arm_arc()) and math.isnan(arm.coupler_arc())


@pytest.mark.parametrize(
    "args, kwargs, parameter",
    [
        (("a", "b"), {}, "arm_arc"),
        ((0.7, None), {}, "coupler_arc"),
        ((0.7, 0.5, 1), {}, "mirror"),
        ((), {"arm_arc": None}, "arm_arc"),
        ((), {"mirror": None, "coupler_arc": "x"}, "coupler_arc"),
    ],
)
def test_first_bad_argument_in_parameter_order_is_reported(args, kwargs, parameter):
    with pytest.raises(TypeError, match=f"^argument '{parameter}': "):
        ARM(*args, **kwargs)


def test_accessors_are_methods():
    arm = ARM.default_left()
    assert callable(arm.arm_arc) and arm.arm_arc.__self__ is arm
    assert arm.mirror() is False and ARM.default_right().mirror() is True


def test_new_on_the_class_directly():
    arm = ARM.__new__(ARM, 0.9, mirror=True)
    assert geometry(arm) == (0.9, 0.5, True)
    with pytest.raises(TypeError):
        ARM.__new__(qtk.QuorbelNeckKinematics)
