"""The calls the benchmarks time: every method of both classes on typical
arguments, each as a call shape (positional arguments, keyword arguments)
on an object. Shared by run_benchmarks.py and callgrind_counts.py.

Arguments are built once, outside the timed loop, as a controller holds
them: Python floats, lists for vectors, a list of row lists for matrices,
a tuple for `near`. The array cases hold the same values as NumPy arrays
(float64, C and Fortran order for matrices; contiguous and strided for
vectors, since a contiguous 1-D array is both C and Fortran ordered) and
np.float64 angles; ARRAY_CASES pairs each with its list or float case.
"""

import numpy as np

THETA = (0.3, -0.2)
DIRECTION = [0.66, 0.58, 0.47]
NEAR = (0.3, -0.2)
NECK_JOINTS = [0.3, -0.7, 1.1]
ARM_JSON = '{"arm_arc": 0.7, "coupler_arc": 0.5, "mirror": false}'
ARM_NEW_ARGS = (0.7, 0.5, False)


def arm_rotation(qtk):
    return qtk.QuorbelArmKinematics.default_left().fk(*THETA)


def neck_rotation(qtk):
    return qtk.QuorbelNeckKinematics().fk(NECK_JOINTS)


def strided(values):
    """The values as a float64 vector view with a stride of two items."""
    every_other = np.zeros(2 * len(values))
    every_other[::2] = values
    return every_other[::2]


# array case name -> (the case with the same values as lists or floats, what
# the array case passes).
ARRAY_CASES = {
    "neck.ik(ndarray C)": ("neck.ik", "float64 (3, 3), C order"),
    "neck.ik(ndarray F)": ("neck.ik", "float64 (3, 3), Fortran order"),
    "arm.ik(ndarray C)": ("arm.ik", "float64 (3, 3), C order"),
    "arm.ik(ndarray F)": ("arm.ik", "float64 (3, 3), Fortran order"),
    "neck.fk(ndarray)": ("neck.fk", "float64 (3,), contiguous"),
    "neck.fk(ndarray strided)": ("neck.fk", "float64 (3,), stride of 2 items"),
    "arm.ik_from_direction(ndarray)": ("arm.ik_from_direction", "float64 (3,), contiguous"),
    "arm.ik_from_direction(ndarray strided)": ("arm.ik_from_direction",
                                               "float64 (3,), stride of 2 items"),
    "arm.fk(np.float64)": ("arm.fk", "two np.float64 angles"),
    "arm.is_reachable_joints(np.float64)": ("arm.is_reachable_joints", "two np.float64 angles"),
}


def array_cases(arm, neck, r_arm, r_neck):
    """The ARRAY_CASES calls, on the given objects."""
    theta = tuple(np.float64(angle) for angle in THETA)
    return [
        ("neck.ik(ndarray C)", neck.ik, (np.array(r_neck),), {}),
        ("neck.ik(ndarray F)", neck.ik, (np.asfortranarray(r_neck),), {}),
        ("arm.ik(ndarray C)", arm.ik, (np.array(r_arm),), {}),
        ("arm.ik(ndarray F)", arm.ik, (np.asfortranarray(r_arm),), {}),
        ("neck.fk(ndarray)", neck.fk, (np.array(NECK_JOINTS),), {}),
        ("neck.fk(ndarray strided)", neck.fk, (strided(NECK_JOINTS),), {}),
        ("arm.ik_from_direction(ndarray)", arm.ik_from_direction, (np.array(DIRECTION),), {}),
        ("arm.ik_from_direction(ndarray strided)", arm.ik_from_direction,
         (strided(DIRECTION),), {}),
        ("arm.fk(np.float64)", arm.fk, theta, {}),
        ("arm.is_reachable_joints(np.float64)", arm.is_reachable_joints, theta, {}),
    ]


def call_cases(arm, neck, arm_class, neck_class, r_arm, r_neck):
    """(name, callable, args, kwargs) for every method, on the given objects,
    then the array cases."""
    return [
        ("arm.fk", arm.fk, THETA, {}),
        ("arm.direction", arm.direction, THETA, {}),
        ("arm.is_reachable_joints", arm.is_reachable_joints, THETA, {}),
        ("arm.ik_from_direction", arm.ik_from_direction, (DIRECTION,), {}),
        ("arm.ik_from_direction(near=)", arm.ik_from_direction, (DIRECTION,), {"near": NEAR}),
        ("arm.is_reachable_direction", arm.is_reachable_direction, (DIRECTION,), {}),
        ("arm.ik", arm.ik, (r_arm,), {}),
        ("arm.is_reachable_orientation", arm.is_reachable_orientation, (r_arm,), {}),
        ("QuorbelArmKinematics.from_json", arm_class.from_json, (ARM_JSON,), {}),
        ("QuorbelArmKinematics(...)", arm_class, ARM_NEW_ARGS, {}),
        ("QuorbelArmKinematics.default_left", arm_class.default_left, (), {}),
        ("neck.fk", neck.fk, (NECK_JOINTS,), {}),
        ("neck.ik", neck.ik, (r_neck,), {}),
        ("QuorbelNeckKinematics()", neck_class, (), {}),
    ] + array_cases(arm, neck, r_arm, r_neck)


def module_cases(qtk):
    """Every method of the module."""
    arm_class, neck_class = qtk.QuorbelArmKinematics, qtk.QuorbelNeckKinematics
    return call_cases(arm_class.default_left(), neck_class(), arm_class, neck_class,
                      arm_rotation(qtk), neck_rotation(qtk))


def floor_cases(floor, qtk):
    """The same call shapes on the floor module's objects, by the same names."""
    return call_cases(floor.FloorArm(), floor.FloorNeck(), floor.FloorArm, floor.FloorNeck,
                      arm_rotation(qtk), neck_rotation(qtk))


def make_loop(function, args, kwargs):
    """A function running `n` calls of function(*args, **kwargs), written out
    with the arguments as locals so that the loop adds no packing of its own."""
    names = [f"a{i}" for i in range(len(args))]
    call_args = names + [f"{key}=k_{key}" for key in kwargs]
    defaults = [f"{name}={name}" for name in names] + [f"k_{key}=k_{key}" for key in kwargs]
    source = (
        f"def loop(n, f=f, {', '.join(defaults)}):\n" if defaults else "def loop(n, f=f):\n"
    ) + f"    for _ in range(n):\n        f({', '.join(call_args)})\n"
    scope = {"f": function, **dict(zip(names, args)),
             **{f"k_{key}": value for key, value in kwargs.items()}}
    exec(source, scope)
    return scope["loop"]


def make_empty_loop():
    def loop(n):
        for _ in range(n):
            pass
    return loop
