"""The torso as a value: both arms and the neck with their mounts, limits and
the neck's gaze axis, as torso.json describes them, and look-at over arrays
of target points."""

import enum
import json
from typing import Any, NamedTuple, Optional, Tuple, Union, final

import numpy as np
import numpy.typing as npt

from quorbel_torso import _kernels
from quorbel_torso._arm import Arm
from quorbel_torso._poses import MECHANISMS, TORSO_POSE, VECTOR, FloatArray, pose_arguments

Int8Array = npt.NDArray[np.int8]


class AimStatus(enum.IntEnum):
    """How a mechanism ended up aimed, per element of ``TorsoAim.status``.

    REACHED (0) points exactly at the target; CLAMPED (1) at the reachable
    direction nearest it, ``leftover`` radians away; NO_DIRECTION (2): the
    target is NaN, infinite or at the mechanism's mount; UNREACHABLE (3): an
    arm with no direction at all within its limits.
    """

    REACHED = 0  # pointing exactly at the target
    CLAMPED = 1  # at the reachable direction nearest to it, ``leftover`` rad away
    NO_DIRECTION = 2  # NaN or infinite target, or one at the mechanism's origin
    UNREACHABLE = 3  # no direction at all within the arm's limits


class TorsoAim(NamedTuple):
    """What `Torso.look_at` gives for targets of batch shape ``...``.

    Attributes
    ----------
    pose : numpy.ndarray
        ``(..., 7)``: left theta_a, theta_b, right theta_a, theta_b, yaw,
        pitch, roll.
    status : numpy.ndarray
        ``(..., 3)`` int8: an `AimStatus` per mechanism (left arm, right
        arm, neck).
    leftover : numpy.ndarray
        ``(..., 3)`` radians between each aim and its target's direction;
        NaN without an aim.
    """

    pose: FloatArray  # (..., 7): left theta_a, theta_b, right theta_a, theta_b, yaw, pitch, roll
    status: Int8Array  # (..., 3): an AimStatus per mechanism (left, right, neck)
    leftover: FloatArray  # (..., 3): radians between each aim and its target; NaN without one

    @property
    def left_arm(self) -> FloatArray:
        """(..., 2) the left arm's joints; NaN where it has no aim."""
        return self.pose[..., 0:2]

    @property
    def right_arm(self) -> FloatArray:
        """(..., 2) the right arm's joints; NaN where it has no aim."""
        return self.pose[..., 2:4]

    @property
    def neck(self) -> FloatArray:
        """(..., 3) the neck's yaw, pitch and roll; NaN where it has no aim."""
        return self.pose[..., 4:7]


def _single_target(targets: object) -> Optional[FloatArray]:
    """One target given as three Python floats or ints, or as a float64 array
    of shape (3,): read straight into the kernel's buffer, around NumPy's
    broadcasting, which costs more than the kinematics of a single pose."""
    if type(targets) in (list, tuple):
        values: Any = targets
        if len(values) == 3 and all(type(v) in (float, int) for v in values):
            return np.array(values, dtype=np.float64)
        return None
    if (
        type(targets) is np.ndarray
        and targets.shape == VECTOR
        and targets.dtype == np.float64
        and targets.flags.c_contiguous
        and targets.flags.aligned
    ):
        return targets
    return None


@final
class Torso:
    """Two arms and a neck on one torso, read from torso.json text.
    Immutable; equal when their torso.json texts are."""

    __slots__ = ("_json", "_handle")
    _json: str
    _handle: Any

    def __new__(cls, torso_json: str) -> "Torso":
        if not isinstance(torso_json, str):
            raise TypeError(f"torso_json must be a str, not {type(torso_json).__name__}")
        handle = _kernels.torso_from_json(torso_json)
        self = super().__new__(cls)
        object.__setattr__(self, "_handle", handle)
        # Kept as written back, so that equal torsos have equal texts.
        object.__setattr__(self, "_json", _kernels.torso_to_json(handle))
        return self

    @staticmethod
    def from_json(text: str) -> "Torso":
        """The torso a torso.json text describes; the same as ``Torso(text)``.

        Parameters
        ----------
        text : str
            torso.json text (not a file name).

        Returns
        -------
        Torso

        Raises
        ------
        ValueError
            ``Invalid torso.json: <problem> at line L column C``.
        """
        return Torso(text)

    @staticmethod
    def example() -> "Torso":
        """The example torso of ``examples/torso.json``."""
        return Torso(_kernels.example_torso_json())

    def to_json(self) -> str:
        """torso.json text that `from_json` reads back to an equal torso, bit for bit.

        Returns
        -------
        str
        """
        return self._json

    def _arm(self, name: str) -> Arm:
        description = json.loads(self._json)[name]
        limits = description.get("limits")
        return Arm(
            **description["geometry"],
            limits=None if limits is None else (limits["theta_a"], limits["theta_b"]),
        )

    @property
    def left_arm(self) -> Arm:
        """The left arm's geometry and joint limits (its mount is in `to_json`).

        Returns
        -------
        Arm
        """
        return self._arm("left_arm")

    @property
    def right_arm(self) -> Arm:
        """The right arm's geometry and joint limits (its mount is in `to_json`).

        Returns
        -------
        Arm
        """
        return self._arm("right_arm")

    def look_at(
        self,
        targets: npt.ArrayLike,
        previous: Union[TorsoAim, npt.ArrayLike, None] = None,
    ) -> TorsoAim:
        """Aim both arms and the head at target points.

        Parameters
        ----------
        targets : array_like
            Points ``(..., 3)`` in the torso frame, metres.
        previous : TorsoAim or array_like, optional
            The last call's aim, or poses ``(..., 7)``; a NaN in it leaves
            that mechanism without a previous pose.

        Returns
        -------
        TorsoAim
            Each arm's joints that aim it from its mount at the point within
            its limits (nearest the previous joints, compared as angles), or
            at the nearest direction it can reach; the neck's yaw and pitch
            that aim its gaze axis there within its limits, its roll kept
            from ``previous`` (0 without). Nothing is raised per target: a
            target without a direction gives NaN joints and
            ``AimStatus.NO_DIRECTION``.
        """
        before = previous.pose if isinstance(previous, TorsoAim) else previous
        target = _single_target(targets)
        if target is not None and (
            before is None
            or (
                type(before) is np.ndarray
                and before.shape == TORSO_POSE
                and before.dtype == np.float64
                and before.flags.c_contiguous
            )
        ):
            batch: Tuple[int, ...] = ()
            points, poses = target, before
        elif before is None:
            batch, (points,) = pose_arguments((targets, "targets", VECTOR))
            poses = None
        else:
            batch, (points, poses) = pose_arguments(
                (targets, "targets", VECTOR), (before, "previous", TORSO_POSE)
            )
        pose = np.empty(batch + TORSO_POSE)
        status = np.empty(batch + MECHANISMS)
        leftover = np.empty(batch + MECHANISMS)
        _kernels.torso_look_at(self._handle, points, poses, pose, status, leftover)
        return TorsoAim(pose, status.astype(np.int8), leftover)

    def __repr__(self) -> str:
        return f"Torso({self._json!r})"

    def __eq__(self, other: object) -> bool:
        if not isinstance(other, Torso):
            return NotImplemented
        return self._json == other._json

    def __hash__(self) -> int:
        return hash(self._json)

    def __setattr__(self, name: str, value: object) -> None:
        raise AttributeError(f"Torso is immutable: cannot set {name!r}")

    def __delattr__(self, name: str) -> None:
        raise AttributeError(f"Torso is immutable: cannot delete {name!r}")

    def __reduce__(self) -> Tuple[type, Tuple[str]]:
        return (Torso, (self._json,))
