"""The tips of an arm's input links, written out from the formulas of docs/concepts.md
independently of the library, for tests that check which placement a result
has."""
import math

import numpy as np


def tips(arm, theta_a, theta_b):
    """v_2 and v_4 of a quorbel_torso.Arm at (theta_a, theta_b)."""
    m = -1.0 if arm.mirror else 1.0
    sa, ca = math.sin(arm.arm_arc), math.cos(arm.arm_arc)
    return (np.array([m * sa * math.cos(theta_a), m * sa * math.sin(theta_a), ca]),
            np.array([m * ca, -m * sa * math.sin(theta_b), sa * math.cos(theta_b)]))
