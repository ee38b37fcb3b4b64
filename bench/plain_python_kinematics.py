"""The module's kinematics written as a user would write it without the
module: the same math, step for step, in plain Python (PlainArm,
plain_neck_fk, plain_neck_ik) and in NumPy with arrays made per call
(NumpyArm, numpy_neck_fk, numpy_neck_ik). The benchmark checks that each
agrees with the module before timing it.

Both versions hold the sines and cosines of the arcs with the arm, as a
careful user would; vectors are tuples (plain) or arrays (NumPy). The NumPy
versions return arrays, not lists.
"""

import math

import numpy as np

VANISHING_SINE = 1e-12
VANISHING_LENGTH = 1e-12
REFERENCE_AXIS_LIMIT = 0.9
MIN_DIRECTION_NORM = 1e-12
IK_MATCH_TOLERANCE = 1e-6
GIMBAL_LOCK_MARGIN = 1e-6


# ---- plain Python -------------------------------------------------------

def dot(a, b):
    return (a[0] * b[0] + a[1] * b[1]) + a[2] * b[2]


def cross(a, b):
    return (a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0])


def norm(a):
    return math.sqrt(dot(a, a))


def close_loop(a, cos_alpha, b, cos_beta, side):
    """The point at arcs alpha from a and beta from b on the given side, or None."""
    c = min(max(dot(a, b), -1.0), 1.0)
    sigma = math.sqrt(1.0 - c * c)
    if sigma < VANISHING_SINE:
        return None
    r = (cos_beta - c * cos_alpha) / sigma
    t = (1.0 - cos_alpha * cos_alpha) - r * r
    if t < 0.0:
        return None
    nx, ny, nz = cross(a, b)
    n = (nx / sigma, ny / sigma, nz / sigma)
    e = cross(n, a)
    h = side * math.sqrt(t)
    return tuple(cos_alpha * a[i] + r * e[i] + h * n[i] for i in range(3))


class PlainArm:
    def __init__(self, arm_arc=0.7, coupler_arc=0.5, mirror=False, negative=False):
        self.sin_arm = math.sin(arm_arc)
        self.cos_arm = math.cos(arm_arc)
        self.cos_coupler = math.cos(coupler_arc)
        self.m = -1.0 if mirror else 1.0
        self.s = -1.0 if negative else 1.0

    def tips(self, theta_a, theta_b):
        m, sa, ca = self.m, self.sin_arm, self.cos_arm
        v_2 = (m * sa * math.cos(theta_a), m * sa * math.sin(theta_a), ca)
        v_4 = (m * ca, -m * sa * math.sin(theta_b), sa * math.cos(theta_b))
        return v_2, v_4

    def frame(self, v_2, v_4):
        """(rotation rows, v_3) of the loop closed on the arm's branch, or None."""
        z = close_loop(v_2, self.cos_coupler, v_4, self.cos_coupler, self.s)
        if z is None:
            return None
        w = tuple(p + q for p, q in zip(v_2, v_4))
        length = norm(w)
        w = tuple(c / length for c in w)
        k = dot(w, z)
        p = tuple(wi - k * zi for wi, zi in zip(w, z))
        rho = norm(p)
        if rho > VANISHING_LENGTH:
            x = tuple(c / rho for c in p)
        else:
            u = (1.0, 0.0, 0.0) if abs(z[0]) < REFERENCE_AXIS_LIMIT else (0.0, 1.0, 0.0)
            k = dot(u, z)
            q = tuple(ui - k * zi for ui, zi in zip(u, z))
            length = norm(q)
            x = tuple(c / length for c in q)
        y = cross(z, x)
        return [[x[0], y[0], z[0]], [x[1], y[1], z[1]], [x[2], y[2], z[2]]], z

    def fk(self, theta_a, theta_b):
        solution = self.frame(*self.tips(theta_a, theta_b))
        if solution is None:
            raise RuntimeError("loop does not close")
        return solution[0]

    def candidates(self, d):
        """[(theta_a, theta_b, rotation, v_3)] in the order (+,+), (+,-), (-,+), (-,-)."""
        m, sa, ca, cc = self.m, self.sin_arm, self.cos_arm, self.cos_coupler
        v_1 = (0.0, 0.0, 1.0)
        v_5 = (m, 0.0, 0.0)
        rest_a = (m * sa, 0.0, 0.0)
        rest_b = (0.0, 0.0, sa)
        angles_a = []
        for side in (1.0, -1.0):
            p = close_loop(v_1, ca, d, cc, side)
            if p is not None:
                q = (p[0], p[1], 0.0)
                angles_a.append(math.atan2(dot(cross(rest_a, q), v_1), dot(rest_a, q)))
        if not angles_a:
            return []
        angles_b = []
        for side in (1.0, -1.0):
            p = close_loop(v_5, ca, d, cc, side)
            if p is not None:
                k = dot(p, v_5)
                q = (p[0] - k * m, p[1], p[2])
                angles_b.append(math.atan2(dot(cross(rest_b, q), v_5), dot(rest_b, q)))
        found = []
        for theta_a in angles_a:
            for theta_b in angles_b:
                solution = self.frame(*self.tips(theta_a, theta_b))
                if solution is not None:
                    found.append((theta_a, theta_b) + solution)
        return found

    def ik_from_direction(self, v3, near=None):
        n = norm(v3)
        if n < MIN_DIRECTION_NORM:
            raise RuntimeError("unreachable")
        d = (v3[0] / n, v3[1] / n, v3[2] / n)
        best = None
        best_cost = 0.0
        for theta_a, theta_b, _, v_3 in self.candidates(d):
            if not math.dist(v_3, d) < IK_MATCH_TOLERANCE:
                continue
            if near is None:
                cost = theta_a * theta_a + theta_b * theta_b
            else:
                cost = (theta_a - near[0]) ** 2 + (theta_b - near[1]) ** 2
            if best is None or cost < best_cost:
                best, best_cost = (theta_a, theta_b), cost
        if best is None:
            raise RuntimeError("unreachable")
        return best

    def ik(self, r_target):
        d = (r_target[0][2], r_target[1][2], r_target[2][2])
        best = None
        best_error = 0.0
        for theta_a, theta_b, rotation, _ in self.candidates(d):
            error = math.sqrt(sum((rotation[i][j] - r_target[i][j]) ** 2
                                  for i in range(3) for j in range(3)))
            if not error < IK_MATCH_TOLERANCE:
                continue
            if best is None or error < best_error:
                best, best_error = (theta_a, theta_b), error
        if best is None:
            raise RuntimeError("unreachable")
        return best


def plain_neck_fk(joints):
    """(Rz(yaw) Ry(pitch)) Rx(roll), multiplied out: the closed form a user writes."""
    yaw, pitch, roll = joints
    cy, sy = math.cos(yaw), math.sin(yaw)
    cp, sp = math.cos(pitch), math.sin(pitch)
    cr, sr = math.cos(roll), math.sin(roll)
    return [[cy * cp, (-sy) * cr + (cy * sp) * sr, (-sy) * (-sr) + (cy * sp) * cr],
            [sy * cp, cy * cr + (sy * sp) * sr, cy * (-sr) + (sy * sp) * cr],
            [-sp, cp * sr, cp * cr]]


def plain_neck_ik(r):
    x = r[2][0]
    if 1.0 - abs(x) < GIMBAL_LOCK_MARGIN:
        raise ValueError("gimbal lock")
    return (math.atan2(r[1][0], r[0][0]), math.asin(-x), math.atan2(r[2][1], r[2][2]))


# ---- NumPy, arrays made per call ----------------------------------------

def np_close_loop(a, cos_alpha, b, cos_beta, side):
    c = np.clip(np.dot(a, b), -1.0, 1.0)
    sigma = np.sqrt(1.0 - c * c)
    if sigma < VANISHING_SINE:
        return None
    r = (cos_beta - c * cos_alpha) / sigma
    t = (1.0 - cos_alpha * cos_alpha) - r * r
    if t < 0.0:
        return None
    n = np.cross(a, b) / sigma
    e = np.cross(n, a)
    return cos_alpha * a + r * e + (side * np.sqrt(t)) * n


class NumpyArm:
    def __init__(self, arm_arc=0.7, coupler_arc=0.5, mirror=False, negative=False):
        self.sin_arm = np.sin(arm_arc)
        self.cos_arm = np.cos(arm_arc)
        self.cos_coupler = np.cos(coupler_arc)
        self.m = -1.0 if mirror else 1.0
        self.s = -1.0 if negative else 1.0

    def tips(self, theta_a, theta_b):
        m, sa, ca = self.m, self.sin_arm, self.cos_arm
        v_2 = np.array([m * sa * np.cos(theta_a), m * sa * np.sin(theta_a), ca])
        v_4 = np.array([m * ca, -m * sa * np.sin(theta_b), sa * np.cos(theta_b)])
        return v_2, v_4

    def frame(self, v_2, v_4):
        z = np_close_loop(v_2, self.cos_coupler, v_4, self.cos_coupler, self.s)
        if z is None:
            return None
        w = v_2 + v_4
        w = w / np.linalg.norm(w)
        p = w - np.dot(w, z) * z
        rho = np.linalg.norm(p)
        if rho > VANISHING_LENGTH:
            x = p / rho
        else:
            u = np.array([1.0, 0.0, 0.0] if abs(z[0]) < REFERENCE_AXIS_LIMIT else [0.0, 1.0, 0.0])
            q = u - np.dot(u, z) * z
            x = q / np.linalg.norm(q)
        return np.column_stack((x, np.cross(z, x), z)), z

    def fk(self, theta_a, theta_b):
        solution = self.frame(*self.tips(theta_a, theta_b))
        if solution is None:
            raise RuntimeError("loop does not close")
        return solution[0]

    def candidates(self, d):
        m, sa, ca, cc = self.m, self.sin_arm, self.cos_arm, self.cos_coupler
        v_1 = np.array([0.0, 0.0, 1.0])
        v_5 = np.array([m, 0.0, 0.0])
        rest_a = np.array([m * sa, 0.0, 0.0])
        rest_b = np.array([0.0, 0.0, sa])
        angles_a = []
        for side in (1.0, -1.0):
            p = np_close_loop(v_1, ca, d, cc, side)
            if p is not None:
                q = p - np.dot(p, v_1) * v_1
                angles_a.append(np.arctan2(np.dot(np.cross(rest_a, q), v_1), np.dot(rest_a, q)))
        if not angles_a:
            return []
        angles_b = []
        for side in (1.0, -1.0):
            p = np_close_loop(v_5, ca, d, cc, side)
            if p is not None:
                q = p - np.dot(p, v_5) * v_5
                angles_b.append(np.arctan2(np.dot(np.cross(rest_b, q), v_5), np.dot(rest_b, q)))
        found = []
        for theta_a in angles_a:
            for theta_b in angles_b:
                solution = self.frame(*self.tips(theta_a, theta_b))
                if solution is not None:
                    found.append((theta_a, theta_b) + solution)
        return found

    def ik_from_direction(self, v3, near=None):
        v = np.asarray(v3, dtype=float)
        n = np.linalg.norm(v)
        if n < MIN_DIRECTION_NORM:
            raise RuntimeError("unreachable")
        d = v / n
        best = None
        best_cost = 0.0
        for theta_a, theta_b, _, v_3 in self.candidates(d):
            if not np.linalg.norm(v_3 - d) < IK_MATCH_TOLERANCE:
                continue
            pair = np.array([theta_a, theta_b])
            cost = np.dot(pair, pair) if near is None else np.sum((pair - near) ** 2)
            if best is None or cost < best_cost:
                best, best_cost = pair, cost
        if best is None:
            raise RuntimeError("unreachable")
        return best

    def ik(self, r_target):
        r = np.asarray(r_target, dtype=float)
        best = None
        best_error = 0.0
        for theta_a, theta_b, rotation, _ in self.candidates(r[:, 2]):
            error = np.linalg.norm(rotation - r)
            if not error < IK_MATCH_TOLERANCE:
                continue
            if best is None or error < best_error:
                best, best_error = np.array([theta_a, theta_b]), error
        if best is None:
            raise RuntimeError("unreachable")
        return best


def numpy_neck_fk(joints):
    yaw, pitch, roll = np.asarray(joints, dtype=float)
    cy, sy = np.cos(yaw), np.sin(yaw)
    cp, sp = np.cos(pitch), np.sin(pitch)
    cr, sr = np.cos(roll), np.sin(roll)
    rz = np.array([[cy, -sy, 0.0], [sy, cy, 0.0], [0.0, 0.0, 1.0]])
    ry = np.array([[cp, 0.0, sp], [0.0, 1.0, 0.0], [-sp, 0.0, cp]])
    rx = np.array([[1.0, 0.0, 0.0], [0.0, cr, -sr], [0.0, sr, cr]])
    return rz @ ry @ rx


def numpy_neck_ik(r):
    r = np.asarray(r, dtype=float)
    if 1.0 - abs(r[2, 0]) < GIMBAL_LOCK_MARGIN:
        raise ValueError("gimbal lock")
    return np.array([np.arctan2(r[1, 0], r[0, 0]), np.arcsin(-r[2, 0]),
                     np.arctan2(r[2, 1], r[2, 2])])
