"""Kinematics of a robot torso: two spherical five-bar arms and a yaw-pitch-roll neck.

All angles are radians. Matrices are given and returned as three rows of
three numbers (``r[i][j]`` is row ``i``, column ``j``), applied to column
vectors. Frames, sign conventions and the arms.json format: docs/concepts.md
and docs/file_formats.md.
"""

from typing import (
    Any,
    Literal,
    Protocol,
    SupportsFloat,
    SupportsIndex,
    TypeVar,
    Union,
    final,
    overload,
)

from typing_extensions import TypeAlias

__all__ = ["QuorbelArmKinematics", "QuorbelNeckKinematics"]
__version__: str

_T_co = TypeVar("_T_co", covariant=True)

# A real number: float, int, bool, or anything with __float__ or __index__
# (NumPy scalars included).
_Real: TypeAlias = Union[SupportsFloat, SupportsIndex]

class _SequenceOf(Protocol[_T_co]):
    # Anything with a length, integer indexing and slicing: lists, tuples,
    # ranges, NumPy arrays. The module reads items by index only; slicing is
    # asked for so that mappings such as {0: x, 1: y, 2: z}, which the module
    # refuses, are refused here too. The length is checked at run time
    # (ValueError).
    def __len__(self) -> int: ...
    @overload
    def __getitem__(self, index: int, /) -> _T_co: ...
    @overload
    def __getitem__(self, index: slice, /) -> Any: ...

# Three numbers, such as [x, y, z].
_Vector3: TypeAlias = _SequenceOf[_Real]
# Three rows of three numbers.
_Matrix3: TypeAlias = _SequenceOf[_SequenceOf[_Real]]

class _NumpyBool(Protocol):
    # NumPy's boolean scalar (numpy.bool_), described by shape so that the
    # stubs need no NumPy: a scalar (ndim 0, which arrays do not promise)
    # whose item is a bool, which NumPy's integer and float scalars are not.
    @property
    def ndim(self) -> Literal[0]: ...
    def item(self) -> bool: ...
    def __bool__(self) -> bool: ...

# True or False, as a bool or a NumPy boolean; an int is refused.
_Bool: TypeAlias = Union[bool, _NumpyBool]

@final
class QuorbelArmKinematics:
    """One spherical five-bar arm, holding its geometry (immutable)."""

    def __new__(
        cls, arm_arc: _Real = 0.7, coupler_arc: _Real = 0.5, mirror: _Bool = False
    ) -> QuorbelArmKinematics:
        """Create an arm with explicit geometry parameters.

        - ``arm_arc``: arc length (radians) of each input arm.
        - ``coupler_arc``: arc length (radians) of each coupler segment.
        - ``mirror``: when true, mirror the arm across the YZ plane (right arm).

        The closure branch is always ``positive``; use ``from_json`` for the
        ``negative`` branch. Raises ``TypeError`` for an argument that is not a
        number (``mirror``: not a ``bool`` or a NumPy boolean).
        """

    @staticmethod
    def default_left() -> QuorbelArmKinematics:
        """Build the default left-arm geometry (0.7, 0.5, positive branch, not mirrored)."""

    @staticmethod
    def default_right() -> QuorbelArmKinematics:
        """Build the default right-arm geometry (mirror of left)."""

    @staticmethod
    def from_json(json: str) -> QuorbelArmKinematics:
        """Build the arm from arms.json text (not a file name).

        Raises ``ValueError`` ``"Invalid arms.json: <problem> at line L column C"``.
        """

    def fk(self, theta_a: _Real, theta_b: _Real) -> list[list[float]]:
        """Forward kinematics: ``(θ_A, θ_B)`` → 3×3 rotation of the end-effector.

        Its columns are the frame axes x, y, z; z is the pointing direction.
        Raises ``RuntimeError`` when the loop fails to close, as it does for a
        NaN or infinite angle.
        """

    def ik(self, r_target: _Matrix3) -> tuple[float, float]:
        """Inverse kinematics: 3×3 rotation → ``(θ_A, θ_B)``.

        Raises ``RuntimeError`` when the target orientation isn't reachable
        (within 1e-6, Frobenius norm).
        """

    def ik_from_direction(
        self, v3: _Vector3, near: tuple[_Real, _Real] | None = None
    ) -> tuple[float, float]:
        """Inverse kinematics from the pointing direction (normalised here).

        Among the solutions, the one closest to ``near`` (a tuple, no
        wrap-around) or, without it, the one of smallest norm.
        Raises ``RuntimeError`` when the direction isn't reachable.
        """

    def direction(self, theta_a: _Real, theta_b: _Real) -> list[float]:
        """The pointing direction ``v_3``: the third column of ``fk``.

        Raises ``RuntimeError`` when the loop fails to close.
        """

    def is_reachable_joints(self, theta_a: _Real, theta_b: _Real) -> bool:
        """Whether the loop closes at ``(θ_A, θ_B)`` (``fk`` would succeed).

        ``False`` for a NaN or infinite angle.
        """

    def is_reachable_orientation(self, r_target: _Matrix3) -> bool:
        """Whether ``ik(r_target)`` would succeed."""

    def is_reachable_direction(self, v3: _Vector3) -> bool:
        """Whether ``ik_from_direction(v3)`` would succeed."""

    def arm_arc(self) -> float:
        """Arc length (radians) of each input arm."""

    def coupler_arc(self) -> float:
        """Arc length (radians) of each coupler segment."""

    def mirror(self) -> bool:
        """Whether this is the mirrored (right) arm."""

@final
class QuorbelNeckKinematics:
    """The neck: intrinsic yaw (Z), pitch (Y), roll (X). Holds no state."""

    def __new__(cls) -> QuorbelNeckKinematics: ...
    def fk(self, joints: _Vector3) -> list[list[float]]:
        """Forward kinematics. ``joints = [yaw, pitch, roll]`` in radians.

        Returns the 3×3 rotation of the head frame in the body frame.
        """

    def ik(self, r: _Matrix3) -> tuple[float, float, float]:
        """Inverse kinematics: 3×3 rotation → ``(yaw, pitch, roll)`` in radians.

        Raises ``ValueError`` ``"Gimbal lock: pitch is too close to ±π/2."``
        when ``1 - |r[2][0]| < 1e-6``.
        """
