// The vector and matrix primitives, out of line so that their doubles are
// the library's under any consumer's flags (see quorbel/maths/vector.hpp).
#include <quorbel/maths/vector.hpp>

#include <cmath>

namespace quorbel {

double dot(Vec3 a, Vec3 b) noexcept { return (a.x * b.x + a.y * b.y) + a.z * b.z; }

Vec3 cross(Vec3 a, Vec3 b) noexcept {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

double norm(Vec3 a) noexcept { return std::sqrt(dot(a, a)); }

Vec3 normalise(Vec3 a) noexcept {
    const double n = norm(a);
    return {a.x / n, a.y / n, a.z / n};
}

Vec3 operator+(Vec3 a, Vec3 b) noexcept { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
Vec3 operator-(Vec3 a, Vec3 b) noexcept { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vec3 operator*(double s, Vec3 a) noexcept { return {s * a.x, s * a.y, s * a.z}; }
Vec3 operator/(Vec3 a, double s) noexcept { return {a.x / s, a.y / s, a.z / s}; }

Vec3 operator*(const Mat3& r, Vec3 v) noexcept {
    return {dot({r[0][0], r[0][1], r[0][2]}, v), dot({r[1][0], r[1][1], r[1][2]}, v),
            dot({r[2][0], r[2][1], r[2][2]}, v)};
}

Mat3 operator*(const Mat3& a, const Mat3& b) noexcept {
    Mat3 out{};
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            out[i][j] = (a[i][0] * b[0][j] + a[i][1] * b[1][j]) + a[i][2] * b[2][j];
        }
    }
    return out;
}

Mat3 from_columns(Vec3 x, Vec3 y, Vec3 z) noexcept {
    return {{{x.x, y.x, z.x}, {x.y, y.y, z.y}, {x.z, y.z, z.z}}};
}

Vec3 column(const Mat3& m, int j) noexcept { return {m[0][j], m[1][j], m[2][j]}; }

}  // namespace quorbel
