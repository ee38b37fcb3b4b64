"""Arguments as the kernels take them: checked real arrays whose leading axes
(the batch) broadcast together and whose trailing axes are one pose's
values, made contiguous, aligned float64 of the broadcast batch shape."""

from typing import Any, List, Tuple

import numpy as np
import numpy.typing as npt

Shape = Tuple[int, ...]
FloatArray = npt.NDArray[np.float64]
BoolArray = npt.NDArray[np.bool_]

# One angle, a joint pair, a vector, a matrix: the trailing shape of a pose.
ANGLE: Shape = ()
JOINT_PAIR: Shape = (2,)
VECTOR: Shape = (3,)
MATRIX: Shape = (3, 3)

# Booleans, signed and unsigned integers, floating point: the kinds whose
# values convert to float64 as the per-call module converts a Python number.
REAL_KINDS = "biuf"


def real_array(value: npt.ArrayLike, name: str) -> npt.NDArray[Any]:
    """`value` as a NumPy array of a real kind, any shape; TypeError naming
    `name` for another kind, ValueError for a ragged nesting."""
    try:
        array = np.asarray(value)
    except ValueError as error:  # a ragged nesting of sequences
        raise ValueError(f"{name} cannot be read as an array: {error}") from error
    if array.dtype.kind not in REAL_KINDS:
        raise TypeError(f"{name} must hold real numbers, not {array.dtype}")
    return array


def _describe(pose: Shape) -> str:
    return "(..., " + ", ".join(map(str, pose)) + ")" if pose else "any shape"


def _batch_shape(array: npt.NDArray[Any], name: str, pose: Shape) -> Shape:
    batch_axes = array.ndim - len(pose)
    if batch_axes < 0 or array.shape[batch_axes:] != pose:
        raise ValueError(f"{name} must have shape {_describe(pose)}, not {array.shape}")
    return array.shape[:batch_axes]


def pose_arguments(
    *arguments: Tuple[npt.ArrayLike, str, Shape]
) -> Tuple[Shape, List[FloatArray]]:
    """The broadcast batch shape and each argument as a contiguous, aligned
    float64 array of that batch shape followed by its pose shape. Each
    argument is checked in order (its kind, then its pose shape) before they
    are broadcast, so the first bad argument is the one reported."""
    arrays = []
    batches = []
    for value, name, pose in arguments:
        array = real_array(value, name)
        arrays.append(array)
        batches.append(_batch_shape(array, name, pose))
    try:
        batch = np.broadcast_shapes(*batches)
    except ValueError:
        names = " and ".join(name for _, name, _ in arguments)
        shapes = ", ".join(
            f"{name} {array.shape}" for array, (_, name, _) in zip(arrays, arguments)
        )
        raise ValueError(f"{names} do not broadcast together: shapes {shapes}") from None
    # A contiguous float64 view need not be aligned (np.frombuffer or a
    # memmap at an odd offset); the kernels read doubles, so such a view is
    # copied like any other layout they cannot take.
    buffers = [
        np.require(np.broadcast_to(array, batch + pose), np.float64, ("C", "A"))
        for array, (_, _, pose) in zip(arrays, arguments)
    ]
    return batch, buffers
