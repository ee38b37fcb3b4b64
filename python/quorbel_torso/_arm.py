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
    JACOBIAN,
    JOINT_PAIR,
    LIMIT_BOUNDS,
    MATRIX,
    SINGULAR_VALUE_PAIR,
    SOLUTIONS,
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
    """One spherical five-bar arm as a value.

    Parameters
    ----------
    arm_arc, coupler_arc : float
        The input arms' and the couplers' arcs, radians (not range-checked).
    mirror : bool, default False
        The mirrored layout, the right arm: joint B's axis is -X.
    branch : {"positive", "negative"}, default "positive"
        Which loop-closure point is the apex.
    limits : ((float, float), (float, float)), optional
        Joint limits ``((lower_a, upper_a), (lower_b, upper_b))``, radians,
        lower <= upper, infinite bounds allowed. An angle satisfies an
        interval when some turn of it, angle + 2 pi k, lies inside, and is
        returned as that turn (the one nearest ``near`` with ``wrap=True``,
        else the smallest).

    Raises
    ------
    TypeError
        For an argument of the wrong kind (an ``int`` for ``mirror``).
    ValueError
        For another branch word, or limits with lower > upper.

    Notes
    -----
    Immutable; ``==`` and ``hash`` go by geometry and limits (an arm with a
    NaN arc equals no arm); ``repr`` evaluates back; pickles and copies. With
    limits, ``ik_from_direction``, ``ik_solutions``, ``ik``,
    ``nearest_reachable``, ``ik_nearest_frame`` and the ``reachable_*``
    predicates consider only joint pairs within them.
    """

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
        """The arm an arms.json text describes.

        Parameters
        ----------
        text : str
            The arms.json text (not a file name).

        Returns
        -------
        Arm

        Raises
        ------
        ValueError
            ``Invalid arms.json: <problem> at line L column C``, as the
            per-call module words it.
        TypeError
            For text that is not a ``str``.
        """
        if not isinstance(text, str):
            raise TypeError(f"text must be a str, not {type(text).__name__}")
        arm_arc, coupler_arc, mirror, branch = _kernels.read_arm_json(text)
        return Arm(arm_arc, coupler_arc, mirror, _branch(branch))

    @property
    def arm_arc(self) -> float:
        """The input arms' arc, radians."""
        return self._arm_arc

    @property
    def coupler_arc(self) -> float:
        """The coupler segments' arc, radians."""
        return self._coupler_arc

    @property
    def mirror(self) -> bool:
        """Whether this is the mirrored layout (the right arm)."""
        return self._mirror

    @property
    def branch(self) -> Branch:
        """Which loop-closure point is the apex: ``"positive"`` or ``"negative"``."""
        return self._branch

    @property
    def limits(self) -> Optional[Limits]:
        """The joint limits ``((lower_a, upper_a), (lower_b, upper_b))``, or None."""
        return self._limits

    def to_json(self) -> str:
        """arms.json text that `from_json` reads back to an equal arm.

        Returns
        -------
        str

        Raises
        ------
        ValueError
            For a NaN or infinite arc (JSON numbers are finite), or an arm
            with limits (arms.json holds none).
        """
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
        """The per-call arm with exactly this geometry, branch included.

        Returns
        -------
        quorbel_torso_kinematics.QuorbelArmKinematics
            Without the limits, which the per-call module does not have.

        Raises
        ------
        ValueError
            For a negative-branch arm with a NaN or infinite arc: only
            arms.json sets the per-call arm's branch, and its numbers are
            finite.
        """
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
        """Forward kinematics: the end-effector rotations.

        Parameters
        ----------
        theta_a, theta_b : array_like
            Joint angles in radians, batch shapes ``(...)`` that broadcast
            together.

        Returns
        -------
        numpy.ndarray
            ``(..., 3, 3)`` rotations, NaN where the loop does not close.
        """
        single: Optional[FloatArray] = _kernels.arm_fk_single(self._prepared, theta_a, theta_b)
        if single is not None:
            return single
        batch, (a, b) = pose_arguments((theta_a, "theta_a", ANGLE), (theta_b, "theta_b", ANGLE))
        out = np.empty(batch + MATRIX)
        _kernels.arm_fk(*self._geometry(), a, b, out)
        return out

    def direction(self, theta_a: npt.ArrayLike, theta_b: npt.ArrayLike) -> FloatArray:
        """The pointing directions, the third column of `fk`.

        Parameters
        ----------
        theta_a, theta_b : array_like
            Joint angles in radians, batch shapes ``(...)`` that broadcast
            together.

        Returns
        -------
        numpy.ndarray
            ``(..., 3)`` unit vectors, NaN where the loop does not close.
        """
        single: Optional[FloatArray] = _kernels.arm_direction_single(self._prepared, theta_a, theta_b)
        if single is not None:
            return single
        batch, (a, b) = pose_arguments((theta_a, "theta_a", ANGLE), (theta_b, "theta_b", ANGLE))
        out = np.empty(batch + VECTOR)
        _kernels.arm_direction(*self._geometry(), a, b, out)
        return out

    def reachable_joints(self, theta_a: npt.ArrayLike, theta_b: npt.ArrayLike) -> BoolArray:
        """Whether the loop closes at each joint pair.

        Parameters
        ----------
        theta_a, theta_b : array_like
            Joint angles in radians, batch shapes ``(...)`` that broadcast
            together.

        Returns
        -------
        numpy.ndarray
            ``(...)`` bool; False for a NaN or infinite angle.
        """
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
        """The joint pair that points the arm along each direction.

        Parameters
        ----------
        v3 : array_like
            Directions ``(..., 3)``, normalised here (any finite length).
        near : array_like, optional
            Joint pairs ``(..., 2)``, usually the current joints: the solution
            nearest them wins (plain differences, or modulo 2 pi with
            ``wrap``). Without it, the solution of smallest norm.
        wrap : bool, default False
            Compare with ``near`` as angles, modulo 2 pi, and return each
            joint unwrapped next to near's.

        Returns
        -------
        numpy.ndarray
            ``(..., 2)`` joint pairs within the limits, NaN where there is
            none (a zero, NaN or infinite direction has none).
        """
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
        """Whether `ik_from_direction` solves each direction (within the limits).

        Parameters
        ----------
        v3 : array_like
            Directions ``(..., 3)``, normalised here (any finite length).

        Returns
        -------
        numpy.ndarray
            ``(...)`` bool.
        """
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
        """Every solution of each direction, in its slot.

        Parameters
        ----------
        v3 : array_like
            Directions ``(..., 3)``, normalised here (any finite length).
        near : array_like, optional
            Joint pairs ``(..., 2)`` that place each joint's turn (with
            ``wrap``, next to near's).
        wrap : bool, default False
            Compare with ``near`` as angles, modulo 2 pi, and return each
            joint unwrapped next to near's.

        Returns
        -------
        numpy.ndarray
            ``(..., 4, 2)``: the candidates of the tip placements (+,+),
            (+,-), (-,+), (-,-), each where `ik_from_direction` accepts it,
            NaN where it does not land on the direction or lies outside the
            limits.
        """
        wrap = _flag(wrap, "wrap")
        single: Optional[FloatArray]
        if not self._uses_options(wrap):
            single = _kernels.arm_ik_solutions_single(self._prepared, v3)
            if single is not None:
                return single
            batch, (directions,) = pose_arguments((v3, "v3", VECTOR))
            out = np.empty(batch + SOLUTIONS)
            _kernels.arm_ik_solutions(*self._geometry(), directions, out)
            return out
        single = _kernels.arm_ik_solutions_within_single(self._prepared, v3, near, self._bounds,
                                                         float(wrap))
        if single is not None:
            return single
        batch, directions, near_pairs = _directions_and_near(v3, near)
        out = np.empty(batch + SOLUTIONS)
        _kernels.arm_ik_solutions_within(*self._geometry(), directions, near_pairs,
                                         self._limit_bounds(batch), float(wrap), out)
        return out

    def ik(
        self,
        r_target: npt.ArrayLike,
        near: Optional[npt.ArrayLike] = None,
        wrap: Union[bool, np.bool_] = False,
    ) -> FloatArray:
        """Inverse kinematics of end-effector rotations.

        Parameters
        ----------
        r_target : array_like
            Rotations ``(..., 3, 3)``.
        near : array_like, optional
            Joint pairs ``(..., 2)`` that place each joint's turn (with
            ``wrap``, next to near's).
        wrap : bool, default False
            Compare with ``near`` as angles, modulo 2 pi, and return each
            joint unwrapped next to near's.

        Returns
        -------
        numpy.ndarray
            ``(..., 2)`` joint pairs whose `fk` lies within 1e-6 (Frobenius)
            of the target, within the limits; NaN where there is none.
        """
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
        """The joint pair whose frame is nearest each measured rotation.

        Parameters
        ----------
        r_target : array_like
            Rotations ``(..., 3, 3)``. Measured ones: noisy, rounded, not exactly
            reachable.
        near : array_like, optional
            Joint pairs ``(..., 2)`` that place each joint's turn (with
            ``wrap``, next to near's).
        wrap : bool, default False
            Compare with ``near`` as angles, modulo 2 pi, and return each
            joint unwrapped next to near's.

        Returns
        -------
        joints : numpy.ndarray
            ``(..., 2)`` within the limits.
        angles : numpy.ndarray
            ``(...)`` the rotation angle between each target and the frame
            of its joints.
        reasons : numpy.ndarray
            ``(...)`` int8: 0 where `ik` accepts the rotation (its joints);
            1 where no joint pair points along the z column (out of reach);
            2 where one does but the roll is off by the angle; -1, with NaN
            joints and angle, for a non-finite entry or a z column shorter
            than 1e-12.

        Notes
        -----
        Gauss-Newton on the rotation error with the angular Jacobian,
        from the candidates of the z column and of its nearest reachable
        direction.
        """
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
        """Whether `ik` solves each rotation (within the limits).

        Parameters
        ----------
        r_target : array_like
            Rotations ``(..., 3, 3)``.

        Returns
        -------
        numpy.ndarray
            ``(...)`` bool.
        """
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
        """The derivative of the pointing direction by the joints.

        Parameters
        ----------
        theta_a, theta_b : array_like
            Joint angles in radians, batch shapes ``(...)`` that broadcast
            together.

        Returns
        -------
        numpy.ndarray
            ``(..., 3, 2)``: column 0 is d direction / d theta_a, column 1
            d direction / d theta_b. NaN where the loop does not close, and
            at its closing limit (the couplers on one great circle), where
            the rates grow without bound.
        """
        single: Optional[FloatArray] = _kernels.arm_direction_jacobian_single(self._prepared, theta_a, theta_b)
        if single is not None:
            return single
        batch, (a, b) = pose_arguments((theta_a, "theta_a", ANGLE), (theta_b, "theta_b", ANGLE))
        out = np.empty(batch + JACOBIAN)
        _kernels.arm_direction_jacobian(*self._geometry(), a, b, out)
        return out

    def angular_jacobian(self, theta_a: npt.ArrayLike, theta_b: npt.ArrayLike) -> FloatArray:
        """The angular velocity of `fk`'s frame per joint rate.

        Parameters
        ----------
        theta_a, theta_b : array_like
            Joint angles in radians, batch shapes ``(...)`` that broadcast
            together.

        Returns
        -------
        numpy.ndarray
            ``(..., 3, 2)``: omega = J @ [d theta_a, d theta_b] with
            dR = [omega]x R, in the frame R maps into; NaN where
            `direction_jacobian` is.
        """
        single: Optional[FloatArray] = _kernels.arm_angular_jacobian_single(self._prepared, theta_a, theta_b)
        if single is not None:
            return single
        batch, (a, b) = pose_arguments((theta_a, "theta_a", ANGLE), (theta_b, "theta_b", ANGLE))
        out = np.empty(batch + JACOBIAN)
        _kernels.arm_angular_jacobian(*self._geometry(), a, b, out)
        return out

    def singular_values(self, theta_a: npt.ArrayLike, theta_b: npt.ArrayLike) -> FloatArray:
        """The singular values of `direction_jacobian`.

        Parameters
        ----------
        theta_a, theta_b : array_like
            Joint angles in radians, batch shapes ``(...)`` that broadcast
            together.

        Returns
        -------
        numpy.ndarray
            ``(..., 2)``, largest first, radians of direction per radian of
            joint. The smaller is 0 where an input arm lies in line with its
            coupler; NaN where `direction_jacobian` is.
        """
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
        """The joint rates that produce wanted rates of the pointing direction.

        Parameters
        ----------
        theta_a, theta_b : array_like
            Joint angles in radians, batch shapes ``(...)`` that broadcast
            together.
        direction_rate : array_like
            Wanted direction rates ``(..., 3)``.
        damping : float, default 0.0
            One real number for all poses, finite and >= 0, in radians of
            direction per radian of joint.

        Returns
        -------
        numpy.ndarray
            ``(..., 2)``: the q minimising ``||J q - direction_rate||^2 +
            damping^2 ||q||^2``, J the `direction_jacobian`. NaN where J is,
            and for damping 0 where the computed J has rank 1.

        Raises
        ------
        TypeError
            For a damping that is not a real number.
        ValueError
            For a negative, NaN or infinite damping, or an array.

        Notes
        -----
        With damping 0 these are the least-squares rates; a damping > 0
        keeps them bounded near a singular pose at the cost of a residual
        (each singular value s is inverted as s / (s^2 + damping^2)). At an
        arm in line rounding usually leaves J of rank 2 and rates near 1e16
        times too large, so use a damping there. The part of the wanted rate
        along the direction cannot be produced and stays as residual.
        """
        # A float damping (NumPy's float64 included, which the kernel reads as
        # the same double), as the batch path takes it.
        if isinstance(damping, float) and 0.0 <= damping < math.inf:
            single: Optional[FloatArray] = _kernels.arm_joint_rates_single(
                self._prepared, theta_a, theta_b, direction_rate, damping)
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
        """The reachable direction nearest each target, and its joints.

        Parameters
        ----------
        v3 : array_like
            Directions ``(..., 3)``, normalised here (any finite length).
        near : array_like, optional
            Joint pairs ``(..., 2)``, usually the current joints: the solution
            nearest them wins (plain differences, or modulo 2 pi with
            ``wrap``). Without it, the solution of smallest norm.
        wrap : bool, default False
            Compare with ``near`` as angles, modulo 2 pi, and return each
            joint unwrapped next to near's.

        Returns
        -------
        directions : numpy.ndarray
            ``(..., 3)``: v3 itself, normalised, where `ik_from_direction`
            accepts it; else a point of the reachable set's edge within 1e-9
            rad of the nearest (1e-5 for an arm whose tip rings cross). NaN
            for a direction shorter than 1e-12 or with a NaN or infinite
            component.
        joints : numpy.ndarray
            ``(..., 2)``, as `ik_from_direction` gives them for ``near``;
            right at the edge of acceptance, where it refuses the normalised
            v3 though it accepts v3, those it gives v3.

        Notes
        -----
        With limits, the reachable set is the directions of joint pairs
        within them, and the nearest point of its edge may lie on the image
        of a limit line (sampled, then refined by Brent's method). The
        algorithm and its validation: the documentation's theory page.
        """
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
