// Rotation about an axis, written out entry by entry.
#include <quorbel/maths/rotation.hpp>

#include <quorbel/maths/elementary.hpp>

#include "maths/axis_rotation.hpp"

namespace quorbel {

Mat3 rotation_about_axis(Vec3 axis, double angle) noexcept {
    if (angle == 0.0) {
        return IDENTITY;
    }
    return detail::rotation_about_axis_from(axis, angle, elementary::sincos(angle));
}

}  // namespace quorbel
