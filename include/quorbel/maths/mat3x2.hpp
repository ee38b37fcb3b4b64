// A 3x2 matrix: how a joint pair's rates map to a vector of the arm's body
// frame (the Jacobians of the arm). J[i][j] is row i, column j; column 0
// belongs to theta_a, column 1 to theta_b. Like Vec3 and Mat3, its
// arithmetic is compiled in the library.
#pragma once

#include <array>
#include <cstddef>

#include <quorbel/export.hpp>
#include <quorbel/maths/vector.hpp>

namespace quorbel {

// An aggregate of three rows: Mat3x2{{{a, b}, {c, d}, {e, f}}}.
struct Mat3x2 {
    using Row = std::array<double, 2>;

    Row rows[3];

    constexpr Row& operator[](std::size_t i) noexcept { return rows[i]; }
    constexpr const Row& operator[](std::size_t i) const noexcept { return rows[i]; }
};

// The matrix whose columns are a (theta_a) and b (theta_b).
QUORBEL_API Mat3x2 from_columns(Vec3 a, Vec3 b) noexcept;
// Column j (0 or 1) of m.
QUORBEL_API Vec3 column(const Mat3x2& m, int j) noexcept;
// J q = q_a J[:, 0] + q_b J[:, 1], each row summed in that order.
QUORBEL_API Vec3 apply(const Mat3x2& m, double q_a, double q_b) noexcept;

}  // namespace quorbel
