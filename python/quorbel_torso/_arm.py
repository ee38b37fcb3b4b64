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


def _arc(value: object, name: str) -> float:
    # numbers.Real has Python's bool but not NumPy's.
    if not isinstance(value, (numbers.Real, np.bool_)):
        raise TypeError(f"{name} must be a real number, not {type(value).__name__}")
    return float(value)


def _mirror(value: object) -> bool:
    if not isinstance(value, (bool, np.bool_)):
        raise TypeError(f"mirror must be a bool, not {type(value).__name__}")
    return bool(value)


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


def _float_source(value: float) -> str:
    """Python source for the float: its repr, or float('nan'), float('inf'),
    float('-inf'), which evaluate back where the bare words do not."""
    return repr(value) if math.isfinite(value) else f"float('{value!r}')"


@final
class Arm:
    """One spherical five-bar arm: arcs in radians, the mirrored layout (the
    right arm) and the loop-closure branch. Immutable; equal by geometry."""

    __slots__ = ("_arm_arc", "_coupler_arc", "_mirror", "_branch")
    _arm_arc: float
    _coupler_arc: float
    _mirror: bool
    _branch: Branch

    def __new__(
        cls,
        arm_arc: Real = DEFAULT_ARM_ARC,
        coupler_arc: Real = DEFAULT_COUPLER_ARC,
        mirror: Union[bool, np.bool_] = False,
        branch: Branch = "positive",
    ) -> "Arm":
        self = super().__new__(cls)
        # Set here, once: __setattr__ refuses every later change.
        object.__setattr__(self, "_arm_arc", _arc(arm_arc, "arm_arc"))
        object.__setattr__(self, "_coupler_arc", _arc(coupler_arc, "coupler_arc"))
        object.__setattr__(self, "_mirror", _mirror(mirror))
        object.__setattr__(self, "_branch", _branch(branch))
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

    def to_json(self) -> str:
        """arms.json text that from_json reads back to an equal arm. JSON has
        no NaN or infinity: such arcs raise ValueError."""
        for name, value in (("arm_arc", self._arm_arc), ("coupler_arc", self._coupler_arc)):
            if not math.isfinite(value):
                raise ValueError(f"arms.json cannot hold {name}={value!r}: JSON numbers are finite")
        # repr gives the shortest text that reads back to the same double.
        return (
            f'{{"arm_arc": {self._arm_arc!r}, "coupler_arc": {self._coupler_arc!r}, '
            f'"branch": "{self._branch}", "mirror": {"true" if self._mirror else "false"}}}'
        )

    def kinematics(self) -> "QuorbelArmKinematics":
        """The per-call arm with exactly this geometry. Its constructor has no
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

    def fk(self, theta_a: npt.ArrayLike, theta_b: npt.ArrayLike) -> FloatArray:
        """Joint angles (...) -> (..., 3, 3) end-effector rotations; NaN where
        the loop does not close."""
        batch, (a, b) = pose_arguments((theta_a, "theta_a", ANGLE), (theta_b, "theta_b", ANGLE))
        out = np.empty(batch + MATRIX)
        _kernels.arm_fk(*self._geometry(), a, b, out)
        return out

    def direction(self, theta_a: npt.ArrayLike, theta_b: npt.ArrayLike) -> FloatArray:
        """Joint angles (...) -> (..., 3) pointing directions, the third
        column of fk; NaN where the loop does not close."""
        batch, (a, b) = pose_arguments((theta_a, "theta_a", ANGLE), (theta_b, "theta_b", ANGLE))
        out = np.empty(batch + VECTOR)
        _kernels.arm_direction(*self._geometry(), a, b, out)
        return out

    def reachable_joints(self, theta_a: npt.ArrayLike, theta_b: npt.ArrayLike) -> BoolArray:
        """Joint angles (...) -> (...) bool: whether the loop closes."""
        batch, (a, b) = pose_arguments((theta_a, "theta_a", ANGLE), (theta_b, "theta_b", ANGLE))
        out = np.empty(batch, dtype=np.bool_)
        _kernels.arm_reachable_joints(*self._geometry(), a, b, out)
        return out

    def ik_from_direction(
        self, v3: npt.ArrayLike, near: Optional[npt.ArrayLike] = None
    ) -> FloatArray:
        """Directions (..., 3), normalised here (any finite length) -> (..., 2)
        joint pairs: the solution nearest to `near` (..., 2), plain
        differences without wrap-around, or of smallest norm without it; NaN
        where none."""
        batch, directions, near_pairs = _directions_and_near(v3, near)
        out = np.empty(batch + JOINT_PAIR)
        _kernels.arm_ik_from_direction(*self._geometry(), directions, near_pairs, out)
        return out

    def reachable_direction(self, v3: npt.ArrayLike) -> BoolArray:
        """Directions (..., 3) -> (...) bool: whether ik_from_direction solves."""
        batch, (directions,) = pose_arguments((v3, "v3", VECTOR))
        out = np.empty(batch, dtype=np.bool_)
        _kernels.arm_reachable_direction(*self._geometry(), directions, out)
        return out

    def ik_solutions(self, v3: npt.ArrayLike) -> FloatArray:
        """Directions (..., 3) -> (..., 4, 2): the candidates of the tip
        placements (+,+), (+,-), (-,+), (-,-), each where ik_from_direction
        accepts it, NaN where it does not land on the direction."""
        batch, (directions,) = pose_arguments((v3, "v3", VECTOR))
        out = np.empty(batch + (SOLUTION_SLOTS,) + JOINT_PAIR)
        _kernels.arm_ik_solutions(*self._geometry(), directions, out)
        return out

    def ik(self, r_target: npt.ArrayLike) -> FloatArray:
        """Rotations (..., 3, 3) -> (..., 2) joint pairs whose fk lies within
        1e-6 (Frobenius) of the target; NaN where none."""
        batch, (rotations,) = pose_arguments((r_target, "r_target", MATRIX))
        out = np.empty(batch + JOINT_PAIR)
        _kernels.arm_ik(*self._geometry(), rotations, out)
        return out

    def reachable_orientation(self, r_target: npt.ArrayLike) -> BoolArray:
        """Rotations (..., 3, 3) -> (...) bool: whether ik solves."""
        batch, (rotations,) = pose_arguments((r_target, "r_target", MATRIX))
        out = np.empty(batch, dtype=np.bool_)
        _kernels.arm_reachable_orientation(*self._geometry(), rotations, out)
        return out

    def direction_jacobian(self, theta_a: npt.ArrayLike, theta_b: npt.ArrayLike) -> FloatArray:
        """Joint angles (...) -> (..., 3, 2): d direction / d(theta_a, theta_b),
        a column per joint. NaN where the loop does not close, and at its
        closing limit (the couplers on one great circle), where the rates
        grow without bound."""
        batch, (a, b) = pose_arguments((theta_a, "theta_a", ANGLE), (theta_b, "theta_b", ANGLE))
        out = np.empty(batch + JACOBIAN)
        _kernels.arm_direction_jacobian(*self._geometry(), a, b, out)
        return out

    def angular_jacobian(self, theta_a: npt.ArrayLike, theta_b: npt.ArrayLike) -> FloatArray:
        """Joint angles (...) -> (..., 3, 2): the angular velocity of fk's
        frame R per joint rate, omega = J @ [d theta_a, d theta_b] with
        dR = [omega]x R, in the frame R maps into. NaN where
        direction_jacobian is."""
        batch, (a, b) = pose_arguments((theta_a, "theta_a", ANGLE), (theta_b, "theta_b", ANGLE))
        out = np.empty(batch + JACOBIAN)
        _kernels.arm_angular_jacobian(*self._geometry(), a, b, out)
        return out

    def singular_values(self, theta_a: npt.ArrayLike, theta_b: npt.ArrayLike) -> FloatArray:
        """Joint angles (...) -> (..., 2): the singular values of
        direction_jacobian, largest first, in radians of direction per radian
        of joint. The smaller is 0 where an input arm lies in line with its
        coupler. NaN where direction_jacobian is."""
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
        self, v3: npt.ArrayLike, near: Optional[npt.ArrayLike] = None
    ) -> Tuple[FloatArray, FloatArray]:
        """Directions (..., 3) -> (directions (..., 3), joints (..., 2)): the
        reachable direction at the smallest angle from v3 (v3 itself,
        normalised, where ik_from_direction accepts v3; else a point of the
        workspace's edge, within 1e-9 rad of the nearest) and its joints as
        ik_from_direction gives them for `near` (..., 2). Right at the edge
        of acceptance, where ik_from_direction refuses the normalised v3
        though it accepts v3, the joints are those it gives v3. NaN for a
        direction of norm below 1e-12 or with a NaN or infinite component,
        and, for an arm whose tip rings cross (|cos arm_arc| below
        sqrt(1/2)), for one out of reach."""
        batch, directions, near_pairs = _directions_and_near(v3, near)
        reached = np.empty(batch + VECTOR)
        joints = np.empty(batch + JOINT_PAIR)
        _kernels.arm_nearest_reachable(*self._geometry(), directions, near_pairs, reached, joints)
        return reached, joints

    def __repr__(self) -> str:
        return (
            f"Arm(arm_arc={_float_source(self._arm_arc)}, "
            f"coupler_arc={_float_source(self._coupler_arc)}, "
            f"mirror={self._mirror!r}, branch={self._branch!r})"
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
        )

    def __hash__(self) -> int:
        return hash(self._geometry())

    def __setattr__(self, name: str, value: object) -> None:
        raise AttributeError(f"Arm is immutable: cannot set {name!r}")

    def __delattr__(self, name: str) -> None:
        raise AttributeError(f"Arm is immutable: cannot delete {name!r}")

    def __reduce__(self) -> Tuple[type, Tuple[float, float, bool, str]]:
        return (Arm, self._geometry())
