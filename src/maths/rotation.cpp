// Rotation about an axis, written out entry by entry.
#include <quorbel/maths/rotation.hpp>

#include <quorbel/maths/elementary.hpp>
#include <cmath>

namespace quorbel {

// Written out so that a constant axis folds where IEEE arithmetic allows
// where the call is inlined, as in neck_forward_kinematics (c * 1.0 is c;
// c * 0.0 stays, it may be NaN): c I[i][j] is c on the diagonal and c * 0.0
// elsewhere, s K[i][j] is s times (0, -kz, ky; kz, 0, -kx; -ky, kx, 0).
Mat3 rotation_about_axis(Vec3 axis, double angle) noexcept {
    if (angle == 0.0) {
        return IDENTITY;
    }
    const elementary::SinCos sc = elementary::sincos(angle);
    const double c = sc.cos;
    const double s = sc.sin;
    const double t = 1.0 - c;
    const double kx = axis.x;
    const double ky = axis.y;
    const double kz = axis.z;
    return {{{(c + s * 0.0) + (t * kx) * kx, (c * 0.0 + s * -kz) + (t * kx) * ky,
              (c * 0.0 + s * ky) + (t * kx) * kz},
             {(c * 0.0 + s * kz) + (t * ky) * kx, (c + s * 0.0) + (t * ky) * ky,
              (c * 0.0 + s * -kx) + (t * ky) * kz},
             {(c * 0.0 + s * -ky) + (t * kz) * kx, (c * 0.0 + s * kx) + (t * kz) * ky,
              (c + s * 0.0) + (t * kz) * kz}}};
}

}  // namespace quorbel
