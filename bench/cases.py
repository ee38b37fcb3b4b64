"""The calls the benchmarks time: every method of both classes on typical
arguments, each as a call shape (positional arguments, keyword arguments)
on an object. Shared by run_benchmarks.py and callgrind_counts.py.

Arguments are built once, outside the timed loop, as a controller holds
them: Python floats, lists for vectors, a list of row lists for matrices,
a tuple for `near`.
"""

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


def call_cases(arm, neck, arm_class, neck_class, r_arm, r_neck):
    """(name, callable, args, kwargs) for every method, on the given objects."""
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
    ]


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
