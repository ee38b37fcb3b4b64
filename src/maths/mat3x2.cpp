// The 3x2 matrix of the arm's Jacobians.
#include <quorbel/maths/mat3x2.hpp>

namespace quorbel {

Mat3x2 from_columns(Vec3 a, Vec3 b) noexcept { return {{{a.x, b.x}, {a.y, b.y}, {a.z, b.z}}}; }

Vec3 column(const Mat3x2& m, int j) noexcept { return {m[0][j], m[1][j], m[2][j]}; }

Vec3 apply(const Mat3x2& m, double q_a, double q_b) noexcept {
    return {m[0][0] * q_a + m[0][1] * q_b, m[1][0] * q_a + m[1][1] * q_b,
            m[2][0] * q_a + m[2][1] * q_b};
}

}  // namespace quorbel
