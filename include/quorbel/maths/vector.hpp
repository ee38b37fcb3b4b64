// Small value types for the unit-sphere geometry: a 3-vector and a row-major
// 3x3 matrix applied to column vectors (v' = R v), and the primitives the
// kinematics is written in.
//
// Only declarations here: every operation is compiled in the library, with
// the library's flags (no FMA contraction, no fast-math), so a program gets
// the library's doubles whatever flags it is compiled with. Summation orders
// are fixed and stated with each function.
#pragma once

#include <array>
#include <cstddef>

#include <quorbel/export.hpp>

namespace quorbel {

struct Vec3 {
    double x;
    double y;
    double z;
};

// m[i][j] is row i, column j. An aggregate: Mat3{{{1, 0, 0}, {0, 1, 0},
// {0, 0, 1}}} lists the rows; m[i] is row i as a std::array, and a range
// for visits the rows in order. A class of this namespace (not an alias of
// std::array) so that its operators are found by argument-dependent lookup.
struct Mat3 {
    using Row = std::array<double, 3>;

    Row rows[3];

    constexpr Row& operator[](std::size_t i) noexcept { return rows[i]; }
    constexpr const Row& operator[](std::size_t i) const noexcept { return rows[i]; }
    constexpr Row* begin() noexcept { return rows; }
    constexpr Row* end() noexcept { return rows + 3; }
    constexpr const Row* begin() const noexcept { return rows; }
    constexpr const Row* end() const noexcept { return rows + 3; }
};

inline constexpr Mat3 IDENTITY = {{{1.0, 0.0, 0.0}, {0.0, 1.0, 0.0}, {0.0, 0.0, 1.0}}};

// (a.x b.x + a.y b.y) + a.z b.z, summed in that order.
QUORBEL_API double dot(Vec3 a, Vec3 b) noexcept;
// (a.y b.z - a.z b.y, a.z b.x - a.x b.z, a.x b.y - a.y b.x).
QUORBEL_API Vec3 cross(Vec3 a, Vec3 b) noexcept;
// sqrt(dot(a, a)).
QUORBEL_API double norm(Vec3 a) noexcept;
// a / norm(a). No guard: a zero vector gives NaN components; callers that can
// meet a vanishing length test it first.
QUORBEL_API Vec3 normalise(Vec3 a) noexcept;

QUORBEL_API Vec3 operator+(Vec3 a, Vec3 b) noexcept;
QUORBEL_API Vec3 operator-(Vec3 a, Vec3 b) noexcept;
QUORBEL_API Vec3 operator*(double s, Vec3 a) noexcept;
QUORBEL_API Vec3 operator/(Vec3 a, double s) noexcept;

// R v, each row summed as dot() sums.
QUORBEL_API Vec3 operator*(const Mat3& r, Vec3 v) noexcept;
// A B, each entry summed over k = 0, 1, 2 in that order.
QUORBEL_API Mat3 operator*(const Mat3& a, const Mat3& b) noexcept;

// The matrix whose columns are x, y, z.
QUORBEL_API Mat3 from_columns(Vec3 x, Vec3 y, Vec3 z) noexcept;
// Column j (0, 1 or 2) of m.
QUORBEL_API Vec3 column(const Mat3& m, int j) noexcept;

}  // namespace quorbel
