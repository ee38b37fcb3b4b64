// Small value types for the unit-sphere geometry: a 3-vector, a row-major
// 3x3 matrix applied to column vectors (v' = R v), and the primitives the
// kinematics is written in. Summation orders are fixed so that results are
// the same doubles on every compiler (the build also turns off FMA contraction).
#pragma once

#include <array>
#include <cmath>

namespace quorbel {

struct Vec3 {
    double x;
    double y;
    double z;
};

// m[i][j] is row i, column j.
using Mat3 = std::array<std::array<double, 3>, 3>;

inline constexpr Mat3 IDENTITY3 = {{{1.0, 0.0, 0.0}, {0.0, 1.0, 0.0}, {0.0, 0.0, 1.0}}};

// (a.x b.x + a.y b.y) + a.z b.z, summed in that order.
inline double dot(Vec3 a, Vec3 b) { return (a.x * b.x + a.y * b.y) + a.z * b.z; }

inline Vec3 cross(Vec3 a, Vec3 b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

inline double norm(Vec3 a) { return std::sqrt(dot(a, a)); }

// No guard: a zero vector gives NaN components. Callers that can meet a
// vanishing length test it first.
inline Vec3 normalise(Vec3 a) {
    const double n = norm(a);
    return {a.x / n, a.y / n, a.z / n};
}

inline Vec3 operator+(Vec3 a, Vec3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline Vec3 operator-(Vec3 a, Vec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline Vec3 operator*(double s, Vec3 a) { return {s * a.x, s * a.y, s * a.z}; }
inline Vec3 operator/(Vec3 a, double s) { return {a.x / s, a.y / s, a.z / s}; }

// R v with each row summed as dot() sums.
inline Vec3 operator*(const Mat3& r, Vec3 v) {
    return {dot({r[0][0], r[0][1], r[0][2]}, v), dot({r[1][0], r[1][1], r[1][2]}, v),
            dot({r[2][0], r[2][1], r[2][2]}, v)};
}

// A B, each entry summed over k = 0, 1, 2 in that order.
inline Mat3 operator*(const Mat3& a, const Mat3& b) {
    Mat3 out{};
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            out[i][j] = (a[i][0] * b[0][j] + a[i][1] * b[1][j]) + a[i][2] * b[2][j];
        }
    }
    return out;
}

// The matrix whose columns are x, y, z.
inline Mat3 from_columns(Vec3 x, Vec3 y, Vec3 z) {
    return {{{x.x, y.x, z.x}, {x.y, y.y, z.y}, {x.z, y.z, z.z}}};
}

inline Vec3 column(const Mat3& m, int j) { return {m[0][j], m[1][j], m[2][j]}; }

}  // namespace quorbel
