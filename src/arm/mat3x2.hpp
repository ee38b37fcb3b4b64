// A 3x2 matrix: how a joint pair's rates map to a vector of the arm's body
// frame (the Jacobians of the arm). J[i][j] is row i, column j; column 0
// belongs to theta_a, column 1 to theta_b.
#pragma once

#include <array>
#include <cstddef>

#include "arm/vector_math.hpp"

namespace quorbel {

class Mat3x2 {
public:
    using Row = std::array<double, 2>;

    constexpr Mat3x2() noexcept : rows_{} {}
    constexpr Mat3x2(Row r0, Row r1, Row r2) noexcept : rows_{r0, r1, r2} {}

    constexpr Row& operator[](std::size_t i) noexcept { return rows_[i]; }
    constexpr const Row& operator[](std::size_t i) const noexcept { return rows_[i]; }

private:
    std::array<Row, 3> rows_;
};

// The matrix whose columns are a (theta_a) and b (theta_b).
inline Mat3x2 from_columns(Vec3 a, Vec3 b) noexcept {
    return {{a.x, b.x}, {a.y, b.y}, {a.z, b.z}};
}

inline Vec3 column(const Mat3x2& m, int j) noexcept { return {m[0][j], m[1][j], m[2][j]}; }

// J q = q_a J[:, 0] + q_b J[:, 1], summed in that order per row.
inline Vec3 apply(const Mat3x2& m, double q_a, double q_b) noexcept {
    return {m[0][0] * q_a + m[0][1] * q_b, m[1][0] * q_a + m[1][1] * q_b,
            m[2][0] * q_a + m[2][1] * q_b};
}

}  // namespace quorbel
