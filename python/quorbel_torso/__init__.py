"""The torso's kinematics over NumPy arrays: ``Arm`` and ``Neck`` values whose
methods take arrays of poses (anything ``numpy.asarray`` reads, broadcast
together) and return arrays of results, NaN where a pose has no solution.

Every element is what ``quorbel_torso_kinematics``, the per-call interface
for control loops, gives for the same doubles; the loops run in C++ with the
interpreter lock released.
"""

try:
    import numpy
except ImportError as missing:
    raise ImportError(
        "quorbel_torso needs NumPy: pip install 'quorbel_torso_kinematics[arrays]'"
    ) from missing
del numpy

from quorbel_torso._arm import Arm
from quorbel_torso._kernels import __version__
from quorbel_torso._neck import Neck

__all__ = ["Arm", "Neck"]

# Reprs, pickles and error messages name the public package, not the private
# modules the classes are written in.
Arm.__module__ = Neck.__module__ = __name__
