"""Binding of positional and keyword arguments to each method's parameters."""
import pytest

import quorbel_torso_kinematics as qtk

ARM = qtk.QuorbelArmKinematics
NECK = qtk.QuorbelNeckKinematics
arm = ARM.default_left()
neck = NECK()
ROT = [[1.0, 0.0, 0.0], [0.0, 1.0, 0.0], [0.0, 0.0, 1.0]]

BINDING_ERRORS = [
    # too many positional arguments: checked before any keyword
    (lambda: NECK(1), "QuorbelNeckKinematics.__new__() takes 0 positional arguments but 1 was given"),
    (lambda: NECK(1, 2), "QuorbelNeckKinematics.__new__() takes 0 positional arguments but 2 were given"),
    (lambda: ARM(0.7, 0.5, False, 1),
     "QuorbelArmKinematics.__new__() takes from 0 to 3 positional arguments but 4 were given"),
    (lambda: ARM(0.7, 0.5, False, 1, foo=1),
     "QuorbelArmKinematics.__new__() takes from 0 to 3 positional arguments but 4 were given"),
    (lambda: arm.ik_from_direction([0, 0, 1], None, 2),
     "QuorbelArmKinematics.ik_from_direction() takes from 1 to 2 positional arguments but 3 were given"),
    (lambda: arm.is_reachable_direction([0, 0, 1], [0, 0, 1]),
     "QuorbelArmKinematics.is_reachable_direction() takes 1 positional arguments but 2 were given"),
    (lambda: neck.ik(ROT, ROT), "QuorbelNeckKinematics.ik() takes 1 positional arguments but 2 were given"),
    (lambda: arm.fk(1, 2, 3), "QuorbelArmKinematics.fk() takes 2 positional arguments but 3 were given"),
    (lambda: ARM.from_json("{}", "{}"),
     "QuorbelArmKinematics.from_json() takes 1 positional arguments but 2 were given"),
    # unknown and repeated keywords, the first offending one decides
    (lambda: ARM(foo=1), "QuorbelArmKinematics.__new__() got an unexpected keyword argument 'foo'"),
    (lambda: ARM(0.7, 0.5, foo=1), "QuorbelArmKinematics.__new__() got an unexpected keyword argument 'foo'"),
    (lambda: ARM(branch="negative"),
     "QuorbelArmKinematics.__new__() got an unexpected keyword argument 'branch'"),
    (lambda: NECK(x=1), "QuorbelNeckKinematics.__new__() got an unexpected keyword argument 'x'"),
    (lambda: neck.fk(angles=[0, 0, 0]), "QuorbelNeckKinematics.fk() got an unexpected keyword argument 'angles'"),
    (lambda: arm.fk(Theta_a=1, theta_b=2), "QuorbelArmKinematics.fk() got an unexpected keyword argument 'Theta_a'"),
    (lambda: neck.fk([0, 0, 0], joints=[0, 0, 0]),
     "QuorbelNeckKinematics.fk() got multiple values for argument 'joints'"),
    (lambda: ARM(0.7, arm_arc=0.8), "QuorbelArmKinematics.__new__() got multiple values for argument 'arm_arc'"),
    (lambda: arm.fk(1.0, theta_a=2.0, bogus=3),
     "QuorbelArmKinematics.fk() got multiple values for argument 'theta_a'"),
    (lambda: arm.fk(1.0, bogus=3, theta_a=2.0),
     "QuorbelArmKinematics.fk() got an unexpected keyword argument 'bogus'"),
    # missing required parameters, after all keywords
    (lambda: neck.fk(), "QuorbelNeckKinematics.fk() missing 1 required positional argument: 'joints'"),
    (lambda: arm.fk(), "QuorbelArmKinematics.fk() missing 2 required positional arguments: 'theta_a' and 'theta_b'"),
    (lambda: arm.fk(theta_b=1.0), "QuorbelArmKinematics.fk() missing 1 required positional argument: 'theta_a'"),
    (lambda: arm.direction(1.0), "QuorbelArmKinematics.direction() missing 1 required positional argument: 'theta_b'"),
    (lambda: arm.ik_from_direction(near=(0.0, 0.0)),
     "QuorbelArmKinematics.ik_from_direction() missing 1 required positional argument: 'v3'"),
    (lambda: ARM.from_json(), "QuorbelArmKinematics.from_json() missing 1 required positional argument: 'json'"),
    (lambda: arm.is_reachable_orientation(),
     "QuorbelArmKinematics.is_reachable_orientation() missing 1 required positional argument: 'r_target'"),
]


@pytest.mark.parametrize("call, message", BINDING_ERRORS)
def test_binding_errors(call, message):
    with pytest.raises(TypeError) as caught:
        call()
    assert str(caught.value) == message
    assert type(caught.value) is TypeError


def test_binding_runs_before_any_conversion():
    # a bad value does not matter when the call shape is already wrong
    with pytest.raises(TypeError, match="unexpected keyword argument 'foo'"):
        ARM("not a number", foo=1)


@pytest.mark.parametrize(
    "call, expected",
    [
        (lambda: arm.fk(theta_b=0.1, theta_a=0.2), lambda: arm.fk(0.2, 0.1)),
        (lambda: arm.direction(0.2, theta_b=0.1), lambda: arm.direction(0.2, 0.1)),
        (lambda: neck.fk(joints=[0.1, 0.2, 0.3]), lambda: neck.fk([0.1, 0.2, 0.3])),
        (lambda: neck.ik(r=ROT), lambda: neck.ik(ROT)),
        (lambda: ARM(mirror=True, coupler_arc=0.4).coupler_arc(), lambda: 0.4),
    ],
)
def test_keywords_bind_like_positionals(call, expected):
    assert call() == expected()


def test_keyword_names_match_by_value_not_identity():
    name = "".join(["the", "ta_a"])  # a fresh, non-interned string
    assert arm.fk(**{name: 0.2, "theta_b": 0.1}) == arm.fk(0.2, 0.1)


@pytest.mark.parametrize(
    "call",
    [
        lambda: arm.arm_arc(1),
        lambda: arm.mirror(x=1),
        lambda: ARM.default_left(1),
        lambda: arm.default_right(None),
    ],
)
def test_no_argument_methods_refuse_arguments(call):
    with pytest.raises(TypeError, match="takes no arguments|takes no keyword arguments"):
        call()


@pytest.mark.parametrize(
    "method, args",
    [
        (ARM.fk, (0.0, 0.0)),
        (ARM.ik, (ROT,)),
        (ARM.arm_arc, ()),
        (NECK.fk, ([0, 0, 0],)),
    ],
)
def test_receiver_of_the_wrong_class_is_refused(method, args):
    with pytest.raises(TypeError):
        method(object(), *args)
