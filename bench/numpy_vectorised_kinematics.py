"""The arm's forward kinematics and direction inverse kinematics written as a
NumPy user would vectorise them by hand: the same maths, step for step, over
whole arrays of poses at once (no Python loop over poses), NaN where a pose
has no result. The array benchmark checks them against quorbel_torso before
timing them.

Vectors are arrays of shape (3, N): a component per row, so that each step
is a few whole-array operations.
"""

import numpy as np

VANISHING_SINE = 1e-12
VANISHING_LENGTH = 1e-12
REFERENCE_AXIS_LIMIT = 0.9
MIN_DIRECTION_NORM = 1e-12
IK_MATCH_TOLERANCE = 1e-6
SIDES = (1.0, -1.0)


def dot(a, b):
    return (a[0] * b[0] + a[1] * b[1]) + a[2] * b[2]


def cross(a, b):
    return np.stack([a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2],
                     a[0] * b[1] - a[1] * b[0]])


def norm(a):
    return np.sqrt(dot(a, a))


def close_loop(a, cos_alpha, b, cos_beta, side):
    """The crossing of the small circles at cos_alpha from a and cos_beta from
    b on `side`, and where it exists (a NaN passes, as in the module)."""
    c = np.clip(dot(a, b), -1.0, 1.0)
    sigma = np.sqrt(1.0 - c * c)
    r = (cos_beta - c * cos_alpha) / sigma
    t = (1.0 - cos_alpha * cos_alpha) - r * r
    closed = ~(sigma < VANISHING_SINE) & ~(t < 0.0)
    with np.errstate(invalid="ignore"):
        height = side * np.sqrt(t)
    n = cross(a, b) / sigma
    e = cross(n, a)
    return cos_alpha * a + r * e + height * n, closed


class VectorisedArm:
    def __init__(self, arm_arc=0.7, coupler_arc=0.5, mirror=False, negative=False):
        self.sin_arm = np.sin(arm_arc)
        self.cos_arm = np.cos(arm_arc)
        self.cos_coupler = np.cos(coupler_arc)
        self.m = -1.0 if mirror else 1.0
        self.side = -1.0 if negative else 1.0

    def tip_a(self, theta_a):
        radius = self.m * self.sin_arm
        return np.stack([radius * np.cos(theta_a), radius * np.sin(theta_a),
                         np.full(theta_a.shape, self.cos_arm)])

    def tip_b(self, theta_b):
        return np.stack([np.full(theta_b.shape, self.m * self.cos_arm),
                         (-self.m * self.sin_arm) * np.sin(theta_b),
                         self.sin_arm * np.cos(theta_b)])

    def fk(self, theta_a, theta_b):
        """(N,) joint angles -> (N, 3, 3) rotations, NaN where the loop is open."""
        v_2, v_4 = self.tip_a(theta_a), self.tip_b(theta_b)
        with np.errstate(invalid="ignore", divide="ignore"):
            z, closed = close_loop(v_2, self.cos_coupler, v_4, self.cos_coupler, self.side)
            w = v_2 + v_4
            w = w / norm(w)
            p = w - dot(w, z) * z
            rho = norm(p)
            reference = np.where(np.abs(z[0]) < REFERENCE_AXIS_LIMIT, 1.0, 0.0)
            u = np.stack([reference, 1.0 - reference, np.zeros_like(reference)])
            q = u - dot(u, z) * z
            x = np.where(rho > VANISHING_LENGTH, p / rho, q / norm(q))
        y = cross(z, x)
        rotations = np.stack([x, y, z], axis=-1).transpose(1, 0, 2)
        rotations[~closed] = np.nan
        return rotations

    def ik_from_direction(self, v3, near=None):
        """(N, 3) directions -> (N, 2) joint pairs: the landing candidate of
        least cost, the first on ties; NaN where none lands."""
        v = v3.T
        with np.errstate(invalid="ignore", divide="ignore"):
            length = norm(v)
            d = v / length
            refused = length < MIN_DIRECTION_NORM
            one = np.ones(d.shape[1])
            zero = np.zeros(d.shape[1])
            v_1 = np.stack([zero, zero, one])
            v_5 = np.stack([self.m * one, zero, zero])
            rest_a = np.array([self.m * self.sin_arm, 0.0, 0.0])[:, None]
            rest_b = np.array([0.0, 0.0, self.sin_arm])[:, None]
            placements_a = [self.placement(v_1, rest_a, d, side, self.tip_a) for side in SIDES]
            placements_b = [self.placement(v_5, rest_b, d, side, self.tip_b) for side in SIDES]
            best = np.full((2, d.shape[1]), np.nan)
            best_cost = np.full(d.shape[1], np.inf)
            found = np.zeros(d.shape[1], dtype=bool)
            for theta_a, tip_a, closed_a in placements_a:
                for theta_b, tip_b, closed_b in placements_b:
                    apex, closed = close_loop(tip_a, self.cos_coupler, tip_b, self.cos_coupler,
                                              self.side)
                    lands = closed_a & closed_b & closed & (norm(apex - d) < IK_MATCH_TOLERANCE)
                    if near is None:
                        cost = theta_a * theta_a + theta_b * theta_b
                    else:
                        da, db = theta_a - near[:, 0], theta_b - near[:, 1]
                        cost = da * da + db * db
                    better = lands & (~found | (cost < best_cost))
                    best[0] = np.where(better, theta_a, best[0])
                    best[1] = np.where(better, theta_b, best[1])
                    best_cost = np.where(better, cost, best_cost)
                    found |= lands
        best[:, refused] = np.nan
        return best.T

    def placement(self, axis, rest, d, side, place):
        """A tip at arc arm_arc from its axis and coupler_arc from d: its joint
        angle, the tip placed again from that angle, and where it exists."""
        p, closed = close_loop(axis, self.cos_arm, d, self.cos_coupler, side)
        q = p - dot(p, axis) * axis
        theta = np.arctan2(dot(cross(np.broadcast_to(rest, q.shape), q), axis),
                           dot(rest, q))
        return theta, place(theta), closed
