"""The neck as a value: no state, its kinematics over arrays of poses."""

from typing import Optional, Tuple, final

import numpy as np
import numpy.typing as npt

from quorbel_torso import _kernels
from quorbel_torso._poses import MATRIX, NECK_ANGLES, VECTOR, BoolArray, FloatArray, pose_arguments


@final
class Neck:
    """The yaw-pitch-roll neck: R = Rz(yaw) Ry(pitch) Rx(roll).

    All necks are equal; the object holds nothing. R maps head-frame vectors
    into the body frame; its columns are the head's axes.
    """

    __slots__ = ()

    def fk(self, joints: npt.ArrayLike) -> FloatArray:
        """Forward kinematics: the head frame's rotations.

        Parameters
        ----------
        joints : array_like
            ``(..., 3)`` yaw, pitch, roll in radians.

        Returns
        -------
        numpy.ndarray
            ``(..., 3, 3)`` rotations; NaN for a NaN or infinite angle.
        """
        single: Optional[FloatArray] = _kernels.neck_fk_single(joints)
        if single is not None:
            return single
        batch, (angles,) = pose_arguments((joints, "joints", NECK_ANGLES))
        out = np.empty(batch + MATRIX)
        _kernels.neck_fk(angles, out)
        return out

    def ik(self, r: npt.ArrayLike) -> FloatArray:
        """Inverse kinematics: yaw, pitch, roll of head rotations.

        Parameters
        ----------
        r : array_like
            ``(..., 3, 3)`` rotations (only r[0][0], r[1][0], r[2][0],
            r[2][1], r[2][2] are read; not checked to be a rotation).

        Returns
        -------
        numpy.ndarray
            ``(..., 3)``: yaw and roll in [-pi, pi], pitch in (-pi/2, pi/2);
            NaN at gimbal lock, ``1 - abs(r[2][0]) < 1e-6``.
        """
        single: Optional[FloatArray] = _kernels.neck_ik_single(r)
        if single is not None:
            return single
        batch, (rotations,) = pose_arguments((r, "r", MATRIX))
        out = np.empty(batch + NECK_ANGLES)
        _kernels.neck_ik(rotations, out)
        return out

    def reachable(self, r: npt.ArrayLike) -> BoolArray:
        """Whether `ik` gives angles for each rotation.

        Parameters
        ----------
        r : array_like
            ``(..., 3, 3)`` rotations.

        Returns
        -------
        numpy.ndarray
            ``(...)`` bool: False at gimbal lock, and where an entry `ik`
            reads is NaN.
        """
        single: Optional[BoolArray] = _kernels.neck_reachable_single(r)
        if single is not None:
            return single
        batch, (rotations,) = pose_arguments((r, "r", MATRIX))
        out = np.empty(batch, dtype=np.bool_)
        _kernels.neck_reachable(rotations, out)
        return out

    def angular_jacobian(self, joints: npt.ArrayLike) -> FloatArray:
        """The head frame's angular velocity per joint rate.

        Parameters
        ----------
        joints : array_like
            ``(..., 3)`` yaw, pitch, roll.

        Returns
        -------
        numpy.ndarray
            ``(..., 3, 3)``: omega = J @ [d yaw, d pitch, d roll] with
            dR = [omega]x R, in the frame R maps into. Its columns are the
            joint axes; its determinant is -cos(pitch).
        """
        single: Optional[FloatArray] = _kernels.neck_angular_jacobian_single(joints)
        if single is not None:
            return single
        batch, (angles,) = pose_arguments((joints, "joints", NECK_ANGLES))
        out = np.empty(batch + MATRIX)
        _kernels.neck_angular_jacobian(angles, out)
        return out

    def joint_rates(self, joints: npt.ArrayLike, omega: npt.ArrayLike) -> FloatArray:
        """The joint rates that give wanted angular velocities of the head.

        Parameters
        ----------
        joints : array_like
            ``(..., 3)`` yaw, pitch, roll.
        omega : array_like
            ``(..., 3)`` angular velocities, in the frame R maps into.

        Returns
        -------
        numpy.ndarray
            ``(..., 3)`` d yaw, d pitch, d roll. NaN at gimbal lock, exactly
            where `ik` refuses ``fk(joints)``, and for a NaN or infinite angle.
        """
        single: Optional[FloatArray] = _kernels.neck_joint_rates_single(joints, omega)
        if single is not None:
            return single
        batch, (angles, rates) = pose_arguments(
            (joints, "joints", NECK_ANGLES), (omega, "omega", VECTOR)
        )
        out = np.empty(batch + NECK_ANGLES)
        _kernels.neck_joint_rates(angles, rates, out)
        return out

    def __repr__(self) -> str:
        return "Neck()"

    def __eq__(self, other: object) -> bool:
        return True if isinstance(other, Neck) else NotImplemented

    def __hash__(self) -> int:
        return hash(Neck.__qualname__)

    def __reduce__(self) -> Tuple[type, Tuple[()]]:
        return (Neck, ())
