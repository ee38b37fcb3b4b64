// Rotation about an axis from the angle's sine and cosine, computed already
// (rotation_about_axis computes them; the neck pairs two of them in lanes).
#pragma once

#include <quorbel/maths/elementary.hpp>
#include <quorbel/maths/rotation.hpp>

namespace quorbel::detail {

// Written out so that a constant axis folds where IEEE arithmetic allows
// where the call is inlined, as in neck_forward_kinematics (c * 1.0 is c;
// c * 0.0 stays, it may be NaN): c I[i][j] is c on the diagonal and c * 0.0
// elsewhere, s K[i][j] is s times (0, -kz, ky; kz, 0, -kx; -ky, kx, 0).
// An angle of zero gives the identity exactly.
inline Mat3 rotation_about_axis_from(Vec3 axis, double angle, elementary::SinCos sc) noexcept {
    if (angle == 0.0) {
        return IDENTITY;
    }
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

}  // namespace quorbel::detail
