"""Arguments as the kernels take them: checked real arrays whose leading axes
(the batch) broadcast together and whose trailing axes are one pose's
values, made contiguous, aligned float64 of the broadcast batch shape."""

import sys
from typing import Any, List, Tuple

import numpy as np
import numpy.typing as npt

Shape = Tuple[int, ...]
FloatArray = npt.NDArray[np.float64]
BoolArray = npt.NDArray[np.bool_]

# The trailing shape of one pose of each kind of value, declared here once
# for the package (the kernels hold the same widths: src/arrays/pose_widths.hpp).
ANGLE: Shape = ()
JOINT_PAIR: Shape = (2,)
VECTOR: Shape = (3,)
# The neck's (yaw, pitch, roll), and their rates.
NECK_ANGLES: Shape = (3,)
MATRIX: Shape = (3, 3)
# Joint limits as the kernels take them: theta_a's lower and upper bound,
# then theta_b's.
LIMIT_BOUNDS: Shape = (4,)
# The arm's Jacobians: a vector's rate per joint rate, columns theta_a, theta_b.
JACOBIAN: Shape = VECTOR + JOINT_PAIR
# singular_values: the largest, then the smallest.
SINGULAR_VALUE_PAIR: Shape = (2,)
# Candidates of ik_solutions: tip placements (sA, sB) in this order.
SOLUTION_SLOTS = 4
SOLUTIONS: Shape = (SOLUTION_SLOTS,) + JOINT_PAIR
# A torso's pose: left arm (theta_a, theta_b), right arm (theta_a, theta_b),
# neck (yaw, pitch, roll); and one value per mechanism (left arm, right arm,
# neck).
TORSO_POSE: Shape = (2 * JOINT_PAIR[0] + NECK_ANGLES[0],)
MECHANISMS: Shape = (3,)

# Booleans, signed and unsigned integers, floating point: the kinds whose
# values convert to float64 as the per-call module converts a Python number.
REAL_KINDS = "biuf"

# The numbers an object array may hold (NumPy makes one of Python integers
# beyond int64): each becomes float(number), the double the per-call module
# makes of it, with its OverflowError for an int too large for a float.
REAL_OBJECTS = (int, float, np.bool_, np.integer, np.floating)

# NumPy broadcasts at most this many axes (np.broadcast's limit).
MAX_BATCH_AXES = 32


def _real_objects(array: npt.NDArray[Any], name: str) -> npt.NDArray[Any]:
    if not all(isinstance(item, REAL_OBJECTS) for item in array.flat):
        raise TypeError(f"{name} must hold real numbers, not object")
    converted = np.empty(array.shape)
    try:
        converted.flat[:] = [float(item) for item in array.flat]
    except OverflowError as error:
        raise OverflowError(f"{name}: {error}") from None
    return converted


def real_array(value: npt.ArrayLike, name: str) -> npt.NDArray[Any]:
    """`value` as a NumPy array of a real kind, any shape; TypeError naming
    `name` for another kind, ValueError for a ragged nesting. An object
    array of Python (or NumPy) real numbers is converted element by element.
    A masked array's mask is ignored: its data is read, masked values too."""
    try:
        array = np.asarray(value)
    except ValueError as error:  # a ragged nesting of sequences
        raise ValueError(f"{name} cannot be read as an array: {error}") from error
    if array.dtype.kind == "O":
        return _real_objects(array, name)
    if array.dtype.kind not in REAL_KINDS:
        raise TypeError(f"{name} must hold real numbers, not {array.dtype}")
    return array


def _describe(pose: Shape) -> str:
    return "(..., " + ", ".join(map(str, pose)) + ")" if pose else "any shape"


def _batch_shape(array: npt.NDArray[Any], name: str, pose: Shape) -> Shape:
    batch_axes = array.ndim - len(pose)
    if batch_axes < 0 or array.shape[batch_axes:] != pose:
        raise ValueError(f"{name} must have shape {_describe(pose)}, not {array.shape}")
    if batch_axes > MAX_BATCH_AXES:
        raise ValueError(
            f"{name} has {batch_axes} batch axes, more than the {MAX_BATCH_AXES} "
            f"NumPy broadcasts (shape {array.shape})"
        )
    return array.shape[:batch_axes]


def _broadcast(batches: List[Shape]) -> Shape:
    """NumPy's broadcasting rule on shapes alone, however large the result;
    ValueError where an axis has two sizes other than 1."""
    axes = max(map(len, batches), default=0)
    shape = []
    for axis in range(-axes, 0):
        sizes = {batch[axis] for batch in batches if len(batch) >= -axis} - {1}
        if len(sizes) > 1:
            raise ValueError
        shape.append(sizes.pop() if sizes else 1)
    return tuple(shape)


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

    def described() -> str:
        names = " and ".join(name for _, name, _ in arguments)
        shapes = ", ".join(
            f"{name} {array.shape}" for array, (_, name, _) in zip(arrays, arguments)
        )
        return f"{names} {{}}: shapes {shapes}"

    try:
        # Equal batch shapes (every small batch a caller builds as one) need
        # no broadcasting rule.
        batch = batches[0] if batches.count(batches[0]) == len(batches) else _broadcast(batches)
    except ValueError:
        raise ValueError(described().format("do not broadcast together")) from None
    # The largest pose (a rotation) in float64 items: a broadcast whose
    # arrays could not be addressed is refused before NumPy is asked.
    elements = 1
    for size in batch:
        elements *= size
    if elements * 9 * 8 > sys.maxsize:
        raise ValueError(
            described().format(f"broadcast to the batch shape {batch}, too large for an array")
        )
    # A contiguous float64 view need not be aligned (np.frombuffer or a
    # memmap at an odd offset); the kernels read doubles, so such a view is
    # copied like any other layout they cannot take.
    buffers = [
        array if _kernel_ready(array, batch + pose)
        else np.require(np.broadcast_to(array, batch + pose), np.float64, ("C", "A"))
        for array, (_, _, pose) in zip(arrays, arguments)
    ]
    return batch, buffers


# The dtype of native float64 arrays, one object: compared by identity, any
# other (byte-swapped, say) goes through np.require.
FLOAT64 = np.dtype(np.float64)


def _kernel_ready(array: npt.NDArray[Any], shape: Shape) -> bool:
    """Whether the kernels can read the array as it is: float64 of exactly
    the broadcast shape, C-contiguous and aligned, as np.require(
    np.broadcast_to(...)) would return it, without their cost on a small
    batch."""
    if array.dtype is not FLOAT64 or array.shape != shape:
        return False
    flags = array.flags
    return bool(flags.c_contiguous and flags.aligned)
