"""One arm as a value: its geometry, validated and fixed at construction, and
its kinematics over arrays of poses."""

import math
import numbers
from typing import TYPE_CHECKING, Any, Literal, Optional, Tuple, Union, final

import numpy as np
import numpy.typing as npt

from quorbel_torso import _kernels
from quorbel_torso._poses import (
    ANGLE,
    JOINT_PAIR,
    MATRIX,
    VECTOR,
    BoolArray,
    FloatArray,
    pose_arguments,
    real_array,
)

if TYPE_CHECKING:
    from quorbel_torso_kinematics import QuorbelArmKinematics

Branch = Literal["positive", "negative"]
# A real number: Python's (int and bool included) or NumPy's (bool included,
# as in the arrays, which take NumPy booleans as 0 and 1).
Real = Union[float, np.floating[Any], np.integer[Any], np.bool_]

DEFAULT_ARM_ARC = 0.7
DEFAULT_COUPLER_ARC = 0.5
# Candidates of ik_solutions: tip placements (sA, sB) in this order.
SOLUTION_SLOTS = 4
# The arm's Jacobians: a vector's rate per joint rate, columns theta_a, theta_b.
JACOBIAN = VECTOR + JOINT_PAIR
# singular_values: the largest, then the smallest.
SINGULAR_VALUE_PAIR = (2,)
# Joint limits as the kernels take them: theta_a's lower and upper bound,
# then theta_b's.
LIMIT_BOUNDS = (4,)
# Interval pairs: ((theta_a lower, upper), (theta_b lower, upper)).
Limits = Tuple[Tuple[float, float], Tuple[float, float]]
LimitsLike = Tuple[Tuple[Real, Real], Tuple[Real, Real]]


def _arc(value: object, name: str) -> float:
    # numbers.Real has Python's bool but not NumPy's.
    if not isinstance(value, (numbers.Real, np.bool_)):
        raise TypeError(f"{name} must be a real number, not {type(value).__name__}")
    return float(value)


def _mirror(value: object) -> bool:
    if not isinstance(value, (bool, np.bool_)):
        raise TypeError(f"mirror must be a bool, not {type(value).__name__}")
    return bool(value)


def _flag(value: object, name: str) -> bool:
    if not isinstance(value, (bool, np.bool_)):
        raise TypeError(f"{name} must be a bool, not {type(value).__name__}")
    return bool(value)


def _limits(value: object) -> Optional[Limits]:
    """None, or two (lower, upper) pairs of real numbers, lower <= upper
    (neither NaN; an infinite bound leaves that end open)."""
    if value is None:
        return None
    message = "limits must be None or ((lower_a, upper_a), (lower_b, upper_b))"
    if not isinstance(value, (tuple, list)) or len(value) != 2:
        raise TypeError(message)
    pairs = []
    for joint, pair in zip(("theta_a", "theta_b"), value):
        if not isinstance(pair, (tuple, list)) or len(pair) != 2:
            raise TypeError(message)
        lower = _arc(pair[0], f"the lower limit of {joint}")
        upper = _arc(pair[1], f"the upper limit of {joint}")
        if not lower <= upper:
            raise ValueError(f"the limits of {joint} must have lower <= upper, not "
                             f"({lower!r}, {upper!r})")
        pairs.append((lower, upper))
    return (pairs[0], pairs[1])


def _branch(value: object) -> Branch:
    if not isinstance(value, str):
        raise TypeError(f"branch must be a str, not {type(value).__name__}")
    if value == "positive":
        return "positive"
    if value == "negative":
        return "negative"
    raise ValueError(f"branch must be 'positive' or 'negative', not {value!r}")


def _damping(value: npt.ArrayLike) -> float:
    """One damping for all poses: a real scalar, finite and >= 0 (an
    infinite damping would give 0 * inf for every pose)."""
    array = real_array(value, "damping")
    if array.ndim != 0:
        raise ValueError(f"damping must be a scalar, not an array of shape {array.shape}")
    damping = float(array)
    if not 0.0 <= damping < math.inf:
        raise ValueError(f"damping must be finite and >= 0, not {damping!r}")
    return damping


def _directions_and_near(
    v3: npt.ArrayLike, near: Optional[npt.ArrayLike]
) -> Tuple[Tuple[int, ...], FloatArray, Optional[FloatArray]]:
    """The batch shape, the directions and the `near` pairs (None without
    them), broadcast together, as the direction kernels take them."""
    if near is None:
        batch, (directions,) = pose_arguments((v3, "v3", VECTOR))
        return batch, directions, None
    batch, (directions, near_pairs) = pose_arguments((v3, "v3", VECTOR), (near, "near", JOINT_PAIR))
    return batch, directions, near_pairs


def _rotations_and_near(
    r_target: npt.ArrayLike, near: Optional[npt.ArrayLike]
) -> Tuple[Tuple[int, ...], FloatArray, Optional[FloatArray]]:
    """The batch shape, the rotations and the `near` pairs (None without
    them), broadcast together."""
    if near is None:
        batch, (rotations,) = pose_arguments((r_target, "r_target", MATRIX))
        return batch, rotations, None
    batch, (rotations, near_pairs) = pose_arguments(
        (r_target, "r_target", MATRIX), (near, "near", JOINT_PAIR)
    )
    return batch, rotations, near_pairs


def _float_source(value: float) -> str:
    """Python source for the float: its repr, or float('nan'), float('inf'),
    float('-inf'), which evaluate back where the bare words do not."""
    return repr(value) if math.isfinite(value) else f"float('{value!r}')"


@final
class Arm:
    """One spherical five-bar arm: arcs in radians, the mirrored layout (the
    right arm), the loop-closure branch and optional joint limits
    ((lower_a, upper_a), (lower_b, upper_b)) in radians. Immutable; equal by
    geometry and limits.

    With limits, ik_from_direction, ik_solutions, ik, nearest_reachable and
    ik_nearest_frame (and reachable_direction, reachable_orientation)
    consider only joint pairs within them: an angle satisfies [lower, upper]
    when some turn of it, angle + 2 pi k, lies inside, and is returned as
    that turn (the one nearest `near` with wrap=True, else the smallest).
    wrap=True compares candidates with `near` as angles, modulo 2 pi, and
    returns each joint unwrapped next to near's, so a trajectory never
    jumps by a turn."""

    __slots__ = ("_arm_arc", "_coupler_arc", "_mirror", "_branch", "_limits", "_bounds",
                 "_prepared")
    _arm_arc: float
    _coupler_arc: float
    _mirror: bool
    _branch: Branch
    _limits: Optional[Limits]
    _bounds: Optional[FloatArray]
    _prepared: object

    def __new__(
        cls,
        arm_arc: Real = DEFAULT_ARM_ARC,
        coupler_arc: Real = DEFAULT_COUPLER_ARC,
        mirror: Union[bool, np.bool_] = False,
        branch: Branch = "positive",
        limits: Optional[LimitsLike] = None,
    ) -> "Arm":
        self = super().__new__(cls)
        # Set here, once: __setattr__ refuses every later change.
        object.__setattr__(self, "_arm_arc", _arc(arm_arc, "arm_arc"))
        object.__setattr__(self, "_coupler_arc", _arc(coupler_arc, "coupler_arc"))
        object.__setattr__(self, "_mirror", _mirror(mirror))
        object.__setattr__(self, "_branch", _branch(branch))
        checked = _limits(limits)
        object.__setattr__(self, "_limits", checked)
        bounds = None
        if checked is not None:
            # The kernels' four bounds of one pose, made once and read-only.
            bounds = np.array([checked[0][0], checked[0][1], checked[1][0], checked[1][1]])
            bounds.flags.writeable = False
        object.__setattr__(self, "_bounds", bounds)
        # The arm as the kernels' single calls take it, prepared once.
        object.__setattr__(self, "_prepared", _kernels.prepared_arm(*self._geometry()))
        return self

    @staticmethod
    def default_left() -> "Arm":
        """The left preset: arcs 0.7 and 0.5, not mirrored, positive branch."""
        return Arm()

    @staticmethod
    def default_right() -> "Arm":
        """The right preset: the left one mirrored."""
        return Arm(mirror=True)

    @staticmethod
    def from_json(text: str) -> "Arm":
        """The arm described by arms.json text (not a file name); ValueError
        "Invalid arms.json: ..." as the per-call module words it."""
        if not isinstance(text, str):
            raise TypeError(f"text must be a str, not {type(text).__name__}")
        arm_arc, coupler_arc, mirror, branch = _kernels.read_arm_json(text)
        return Arm(arm_arc, coupler_arc, mirror, _branch(branch))

    @property
    def arm_arc(self) -> float:
        return self._arm_arc

    @property
    def coupler_arc(self) -> float:
        return self._coupler_arc

    @property
    def mirror(self) -> bool:
        return self._mirror

    @property
    def branch(self) -> Branch:
        return self._branch

    @property
    def limits(self) -> Optional[Limits]:
        return self._limits

    def to_json(self) -> str:
        """arms.json text that from_json reads back to an equal arm. JSON has
        no NaN or infinity: such arcs raise ValueError; arms.json holds no
        limits: an arm with limits raises ValueError too."""
        if self._limits is not None:
            raise ValueError("arms.json cannot hold joint limits")
        for name, value in (("arm_arc", self._arm_arc), ("coupler_arc", self._coupler_arc)):
            if not math.isfinite(value):
                raise ValueError(f"arms.json cannot hold {name}={value!r}: JSON numbers are finite")
        # repr gives the shortest text that reads back to the same double.
        return (
            f'{{"arm_arc": {self._arm_arc!r}, "coupler_arc": {self._coupler_arc!r}, '
            f'"branch": "{self._branch}", "mirror": {"true" if self._mirror else "false"}}}'
        )

    def kinematics(self) -> "QuorbelArmKinematics":
        """The per-call arm with exactly this geometry (the per-call module
        has no joint limits: they are not carried over). Its constructor has no
        branch, so a negative-branch arm goes through arms.json, which holds
        only finite arcs: ValueError for one with a NaN or infinite arc."""
        from quorbel_torso_kinematics import QuorbelArmKinematics

        if self._branch == "positive":
            return QuorbelArmKinematics(self._arm_arc, self._coupler_arc, self._mirror)
        for name, value in (("arm_arc", self._arm_arc), ("coupler_arc", self._coupler_arc)):
            if not math.isfinite(value):
                raise ValueError(
                    f"no per-call arm has branch 'negative' and {name}={value!r}: only "
                    "arms.json sets the branch, and its numbers are finite"
                )
        return QuorbelArmKinematics.from_json(self.to_json())

    def _geometry(self) -> Tuple[float, float, bool, str]:
        return (self._arm_arc, self._coupler_arc, self._mirror, self._branch)

    def _limit_bounds(self, batch: Tuple[int, ...]) -> Optional[FloatArray]:
        """The limits as the kernels take them, one row of four per pose;
        None without limits."""
        if self._bounds is None or not batch:
            return self._bounds
        # Filled by assignment: a fraction of np.broadcast_to's cost on a few poses.
        bounds: FloatArray = np.empty(batch + LIMIT_BOUNDS)
        bounds[...] = self._bounds
        return bounds

    def _uses_options(self, wrap: bool) -> bool:
        # Without limits and wrap the plain kernels run: the same doubles as
        # before limits existed.
        return self._limits is not None or wrap

    def fk(self, theta_a: npt.ArrayLike, theta_b: npt.ArrayLike) -> FloatArray:
        """Joint angles (...) -> (..., 3, 3) end-effector rotations; NaN where
        the loop does not close."""
        single: Optional[FloatArray] = _kernels.arm_fk_single(self._prepared, theta_a, theta_b)
        if single is not None:
            return single
        batch, (a, b) = pose_arguments((theta_a, "theta_a", ANGLE), (theta_b, "theta_b", ANGLE))
        out = np.empty(batch + MATRIX)
        _kernels.arm_fk(*self._geometry(), a, b, out)
        return out

    def direction(self, theta_a: npt.ArrayLike, theta_b: npt.ArrayLike) -> FloatArray:
        """Joint angles (...) -> (..., 3) pointing directions, the third
        column of fk; NaN where the loop does not close."""
        single: Optional[FloatArray] = _kernels.arm_direction_single(self._prepared, theta_a, theta_b)
        if single is not None:
            return single
        batch, (a, b) = pose_arguments((theta_a, "theta_a", ANGLE), (theta_b, "theta_b", ANGLE))
        out = np.empty(batch + VECTOR)
        _kernels.arm_direction(*self._geometry(), a, b, out)
        return out

    def reachable_joints(self, theta_a: npt.ArrayLike, theta_b: npt.ArrayLike) -> BoolArray:
        """Joint angles (...) -> (...) bool: whether the loop closes."""
        single: Optional[BoolArray] = _kernels.arm_reachable_joints_single(self._prepared, theta_a, theta_b)
        if single is not None:
            return single
        batch, (a, b) = pose_arguments((theta_a, "theta_a", ANGLE), (theta_b, "theta_b", ANGLE))
        out = np.empty(batch, dtype=np.bool_)
        _kernels.arm_reachable_joints(*self._geometry(), a, b, out)
        return out

    def ik_from_direction(
        self,
        v3: npt.ArrayLike,
        near: Optional[npt.ArrayLike] = None,
        wrap: Union[bool, np.bool_] = False,
    ) -> FloatArray:
        """Directions (..., 3), normalised here (any finite length) -> (..., 2)
        joint pairs: the solution nearest to `near` (..., 2), plain
        differences without wrap-around (modulo 2 pi with wrap=True), or of
        smallest norm without it; within the limits; NaN where none."""
        wrap = _flag(wrap, "wrap")
        single: Optional[FloatArray]
        if self._uses_options(wrap):
            single = _kernels.arm_ik_from_direction_within_single(self._prepared, v3, near,
                                                                  self._bounds, float(wrap))
        else:
            single = _kernels.arm_ik_from_direction_single(self._prepared, v3, near)
        if single is not None:
            return single
        batch, directions, near_pairs = _directions_and_near(v3, near)
        out = np.empty(batch + JOINT_PAIR)
        if self._uses_options(wrap):
            _kernels.arm_ik_from_direction_within(*self._geometry(), directions, near_pairs,
                                                  self._limit_bounds(batch), float(wrap), out)
        else:
            _kernels.arm_ik_from_direction(*self._geometry(), directions, near_pairs, out)
        return out

    def reachable_direction(self, v3: npt.ArrayLike) -> BoolArray:
        """Directions (..., 3) -> (...) bool: whether ik_from_direction solves
        (within the limits)."""
        if self._limits is not None:
            solved: BoolArray = ~np.isnan(self.ik_from_direction(v3)[..., 0])
            return solved
        single: Optional[BoolArray] = _kernels.arm_reachable_direction_single(self._prepared, v3)
        if single is not None:
            return single
        batch, (directions,) = pose_arguments((v3, "v3", VECTOR))
        out = np.empty(batch, dtype=np.bool_)
        _kernels.arm_reachable_direction(*self._geometry(), directions, out)
        return out

    def ik_solutions(
        self,
        v3: npt.ArrayLike,
        near: Optional[npt.ArrayLike] = None,
        wrap: Union[bool, np.bool_] = False,
    ) -> FloatArray:
        """Directions (..., 3) -> (..., 4, 2): the candidates of the tip
        placements (+,+), (+,-), (-,+), (-,-), each where ik_from_direction
        accepts it, NaN where it does not land on the direction or lies
        outside the limits. `near` (..., 2) only places each joint's turn
        (with wrap=True, next to near's)."""
        wrap = _flag(wrap, "wrap")
        single: Optional[FloatArray]
        if not self._uses_options(wrap):
            single = _kernels.arm_ik_solutions_single(self._prepared, v3)
            if single is not None:
                return single
            batch, (directions,) = pose_arguments((v3, "v3", VECTOR))
            out = np.empty(batch + (SOLUTION_SLOTS,) + JOINT_PAIR)
            _kernels.arm_ik_solutions(*self._geometry(), directions, out)
            return out
        single = _kernels.arm_ik_solutions_within_single(self._prepared, v3, near, self._bounds,
                                                         float(wrap))
        if single is not None:
            return single
        batch, directions, near_pairs = _directions_and_near(v3, near)
        out = np.empty(batch + (SOLUTION_SLOTS,) + JOINT_PAIR)
        _kernels.arm_ik_solutions_within(*self._geometry(), directions, near_pairs,
                                         self._limit_bounds(batch), float(wrap), out)
        return out

    def ik(
        self,
        r_target: npt.ArrayLike,
        near: Optional[npt.ArrayLike] = None,
        wrap: Union[bool, np.bool_] = False,
    ) -> FloatArray:
        """Rotations (..., 3, 3) -> (..., 2) joint pairs whose fk lies within
        1e-6 (Frobenius) of the target, within the limits; NaN where none.
        `near` (..., 2) only places each joint's turn (with wrap=True, next
        to near's)."""
        wrap = _flag(wrap, "wrap")
        single: Optional[FloatArray]
        if not self._uses_options(wrap):
            single = _kernels.arm_ik_single(self._prepared, r_target)
            if single is not None:
                return single
            batch, (rotations,) = pose_arguments((r_target, "r_target", MATRIX))
            out = np.empty(batch + JOINT_PAIR)
            _kernels.arm_ik(*self._geometry(), rotations, out)
            return out
        single = _kernels.arm_ik_within_single(self._prepared, r_target, near, self._bounds,
                                               float(wrap))
        if single is not None:
            return single
        batch, rotations, near_pairs = _rotations_and_near(r_target, near)
        out = np.empty(batch + JOINT_PAIR)
        _kernels.arm_ik_within(*self._geometry(), rotations, near_pairs,
                               self._limit_bounds(batch), float(wrap), out)
        return out

    def ik_nearest_frame(
        self,
        r_target: npt.ArrayLike,
        near: Optional[npt.ArrayLike] = None,
        wrap: Union[bool, np.bool_] = False,
    ) -> Tuple[FloatArray, FloatArray, npt.NDArray[np.int8]]:
        """Rotations (..., 3, 3), measured (noisy, rounded, not exactly
        reachable) -> (joints (..., 2), angles (...), reasons (...) int8):
        the joint pair within the limits whose fk frame is nearest the
        rotation (least rotation angle; found by Gauss-Newton on the
        rotation error from the candidates of its z column and of its
        nearest reachable direction), and that angle. Where ik accepts the
        rotation, ik's joints and reason 0; else reason 1 when no joint pair
        within the limits points along the z column (out of reach), 2 when
        one does but the frame is turned about it (the roll is off by the
        angle). NaN joints and angles and reason -1 for a rotation with a
        non-finite entry or a z column shorter than 1e-12."""
        wrap = _flag(wrap, "wrap")
        single = _kernels.arm_nearest_frame_single(self._prepared, r_target, near, self._bounds,
                                                   float(wrap))
        if single is not None:
            joints, angles, misses = single
        else:
            batch, rotations, near_pairs = _rotations_and_near(r_target, near)
            joints = np.empty(batch + JOINT_PAIR)
            angles = np.empty(batch)
            misses = np.empty(batch)
            _kernels.arm_nearest_frame(*self._geometry(), rotations, near_pairs,
                                       self._limit_bounds(batch), float(wrap), joints, angles,
                                       misses)
        reasons = np.where(np.isnan(misses), -1, misses).astype(np.int8)
        return joints, angles, reasons

    def reachable_orientation(self, r_target: npt.ArrayLike) -> BoolArray:
        """Rotations (..., 3, 3) -> (...) bool: whether ik solves (within the
        limits)."""
        if self._limits is not None:
            solved: BoolArray = ~np.isnan(self.ik(r_target)[..., 0])
            return solved
        single: Optional[BoolArray] = _kernels.arm_reachable_orientation_single(self._prepared, r_target)
        if single is not None:
            return single
        batch, (rotations,) = pose_arguments((r_target, "r_target", MATRIX))
        out = np.empty(batch, dtype=np.bool_)
        _kernels.arm_reachable_orientation(*self._geometry(), rotations, out)
        return out

    def direction_jacobian(self, theta_a: npt.ArrayLike, theta_b: npt.ArrayLike) -> FloatArray:
        """Joint angles (...) -> (..., 3, 2): d direction / d(theta_a, theta_b),
        a column per joint. NaN where the loop does not close, and at its
        closing limit (the couplers on one great circle), where the rates
        grow without bound."""
        single: Optional[FloatArray] = _kernels.arm_direction_jacobian_single(self._prepared, theta_a, theta_b)
        if single is not None:
            return single
        batch, (a, b) = pose_arguments((theta_a, "theta_a", ANGLE), (theta_b, "theta_b", ANGLE))
        out = np.empty(batch + JACOBIAN)
        _kernels.arm_direction_jacobian(*self._geometry(), a, b, out)
        return out

    def angular_jacobian(self, theta_a: npt.ArrayLike, theta_b: npt.ArrayLike) -> FloatArray:
        """Joint angles (...) -> (..., 3, 2): the angular velocity of fk's
        frame R per joint rate, omega = J @ [d theta_a, d theta_b] with
        dR = [omega]x R, in the frame R maps into. NaN where
        direction_jacobian is."""
        single: Optional[FloatArray] = _kernels.arm_angular_jacobian_single(self._prepared, theta_a, theta_b)
        if single is not None:
            return single
        batch, (a, b) = pose_arguments((theta_a, "theta_a", ANGLE), (theta_b, "theta_b", ANGLE))
        out = np.empty(batch + JACOBIAN)
        _kernels.arm_angular_jacobian(*self._geometry(), a, b, out)
        return out

    def singular_values(self, theta_a: npt.ArrayLike, theta_b: npt.ArrayLike) -> FloatArray:
        """Joint angles (...) -> (..., 2): the singular values of
        direction_jacobian, largest first, in radians of direction per radian
        of joint. The smaller is 0 where an input arm lies in line with its
        coupler. NaN where direction_jacobian is."""
        single: Optional[FloatArray] = _kernels.arm_singular_values_single(self._prepared, theta_a, theta_b)
        if single is not None:
            return single
        batch, (a, b) = pose_arguments((theta_a, "theta_a", ANGLE), (theta_b, "theta_b", ANGLE))
        out = np.empty(batch + SINGULAR_VALUE_PAIR)
        _kernels.arm_singular_values(*self._geometry(), a, b, out)
        return out

    def joint_rates(
        self,
        theta_a: npt.ArrayLike,
        theta_b: npt.ArrayLike,
        direction_rate: npt.ArrayLike,
        damping: Real = 0.0,
    ) -> FloatArray:
        """Joint angles (...) and wanted direction rates (..., 3) -> (..., 2):
        the joint rates q that minimise |J q - direction_rate|^2 +
        damping^2 |q|^2, J the direction_jacobian. With damping 0 these are the
        least-squares rates; a damping > 0 (one real number for all poses, in
        radians of direction per radian of joint) keeps them bounded near a
        singular pose at the cost of a residual. The part of direction_rate
        along the direction cannot be produced and stays as residual. NaN
        where direction_jacobian is, and for damping 0 where the computed J
        has rank 1; at an arm in line rounding usually leaves J of rank 2 and
        rates near 1e16 times too large, so use a damping there. A damping
        too large or too small to square still acts as that damping.
        TypeError for a damping that is not real, ValueError for a negative,
        infinite or NaN one, or an array."""
        # A float damping, as the batch path takes it: the same double.
        if isinstance(damping, float) and 0.0 <= damping < math.inf:
            single: Optional[FloatArray] = _kernels.arm_joint_rates_single(
                self._prepared, theta_a, theta_b, direction_rate, float(damping))
            if single is not None:
                return single
        batch, (a, b, rate) = pose_arguments(
            (theta_a, "theta_a", ANGLE),
            (theta_b, "theta_b", ANGLE),
            (direction_rate, "direction_rate", VECTOR),
        )
        weight = _damping(damping)
        out = np.empty(batch + JOINT_PAIR)
        _kernels.arm_joint_rates(*self._geometry(), a, b, rate, weight, out)
        return out

    def nearest_reachable(
        self,
        v3: npt.ArrayLike,
        near: Optional[npt.ArrayLike] = None,
        wrap: Union[bool, np.bool_] = False,
    ) -> Tuple[FloatArray, FloatArray]:
        """Directions (..., 3) -> (directions (..., 3), joints (..., 2)): the
        reachable direction at the smallest angle from v3 (v3 itself,
        normalised, where ik_from_direction accepts v3; else a point of the
        workspace's edge, within 1e-9 rad of the nearest, 1e-5 for an arm
        whose tip rings cross) and its joints as ik_from_direction gives them
        for `near` (..., 2). Right at the edge of acceptance, where
        ik_from_direction refuses the normalised v3 though it accepts v3, the
        joints are those it gives v3. NaN for a direction of norm below 1e-12
        or with a NaN or infinite component. With limits, the reachable set
        is the directions of joint pairs within them, and the nearest point
        of its edge may lie on the image of a limit line (found by sampling
        and golden-section refinement, within 1e-8 rad)."""
        wrap = _flag(wrap, "wrap")
        single: Optional[Tuple[FloatArray, FloatArray]]
        if self._uses_options(wrap):
            single = _kernels.arm_nearest_reachable_within_single(self._prepared, v3, near,
                                                                  self._bounds, float(wrap))
        else:
            single = _kernels.arm_nearest_reachable_single(self._prepared, v3, near)
        if single is not None:
            return single
        batch, directions, near_pairs = _directions_and_near(v3, near)
        reached = np.empty(batch + VECTOR)
        joints = np.empty(batch + JOINT_PAIR)
        if self._uses_options(wrap):
            _kernels.arm_nearest_reachable_within(*self._geometry(), directions, near_pairs,
                                                  self._limit_bounds(batch), float(wrap),
                                                  reached, joints)
        else:
            _kernels.arm_nearest_reachable(*self._geometry(), directions, near_pairs, reached,
                                           joints)
        return reached, joints

    def __repr__(self) -> str:
        limits = ""
        if self._limits is not None:
            (lower_a, upper_a), (lower_b, upper_b) = self._limits
            limits = (
                f", limits=(({_float_source(lower_a)}, {_float_source(upper_a)}), "
                f"({_float_source(lower_b)}, {_float_source(upper_b)}))"
            )
        return (
            f"Arm(arm_arc={_float_source(self._arm_arc)}, "
            f"coupler_arc={_float_source(self._coupler_arc)}, "
            f"mirror={self._mirror!r}, branch={self._branch!r}{limits})"
        )

    def __eq__(self, other: object) -> bool:
        if not isinstance(other, Arm):
            return NotImplemented
        # Field by field: a tuple comparison would call a NaN equal to itself.
        return (
            self._arm_arc == other._arm_arc
            and self._coupler_arc == other._coupler_arc
            and self._mirror == other._mirror
            and self._branch == other._branch
            and self._limits == other._limits
        )

    def __hash__(self) -> int:
        if self._limits is None:
            return hash(self._geometry())
        return hash(self._geometry() + (self._limits,))

    def __setattr__(self, name: str, value: object) -> None:
        raise AttributeError(f"Arm is immutable: cannot set {name!r}")

    def __delattr__(self, name: str) -> None:
        raise AttributeError(f"Arm is immutable: cannot delete {name!r}")

    def __reduce__(
        self,
    ) -> Tuple[type, Union[Tuple[float, float, bool, str],
                           Tuple[float, float, bool, str, Limits]]]:
        if self._limits is None:
            return (Arm, self._geometry())
        return (Arm, self._geometry() + (self._limits,))
