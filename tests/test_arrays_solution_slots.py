"""Which slot of Arm.ik_solutions holds which tip placement: slot 2 i + j has
tip A on side (+1, -1)[i] of the great circle from joint A's axis to the
direction (+1: toward v_1 x d) and tip B on side (+1, -1)[j] of the one from
joint B's axis (toward v_5 x d)."""
import itertools
import math

import numpy as np
import pytest

import quorbel_torso as qt
from arm_tips import tips

SIDES = (1.0, -1.0)
ARMS = [qt.Arm(), qt.Arm(mirror=True), qt.Arm(branch="negative"),
        qt.Arm(mirror=True, branch="negative"), qt.Arm(0.5, 0.6)]
GRID = np.linspace(-2.5, 2.5, 11)


@pytest.mark.parametrize("arm", ARMS, ids=repr)
def test_each_slot_holds_its_tip_placement(arm):
    m = -1.0 if arm.mirror else 1.0
    v_1, v_5 = np.array([0.0, 0.0, 1.0]), np.array([m, 0.0, 0.0])
    pairs = np.array(list(itertools.product(GRID, GRID)))
    directions = arm.direction(pairs[:, 0], pairs[:, 1])
    directions = directions[~np.isnan(directions).any(axis=1)]
    solutions = arm.ik_solutions(directions)
    filled = ~np.isnan(solutions).any(axis=2)
    # Each slot is used, and most directions have more than one solution.
    assert filled.any(axis=0).all() and (filled.sum(axis=1) > 1).mean() > 0.5
    for d, candidates, used in zip(directions, solutions, filled):
        for slot in np.flatnonzero(used):
            theta_a, theta_b = candidates[slot]
            v_2, v_4 = tips(arm, theta_a, theta_b)
            side_a, side_b = np.dot(v_2, np.cross(v_1, d)), np.dot(v_4, np.cross(v_5, d))
            assert (math.copysign(1.0, side_a), math.copysign(1.0, side_b)) == (
                SIDES[slot // 2], SIDES[slot % 2]), (d, slot)
            assert min(abs(side_a), abs(side_b)) > 1e-9  # the sides are told apart
