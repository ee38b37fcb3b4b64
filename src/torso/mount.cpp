// Torso points seen from a mechanism's mount.
#include <quorbel/torso/mount.hpp>

#include <quorbel/maths/elementary.hpp>

#include <cmath>

namespace quorbel {

// Named, as the core is compiled as one unit.
namespace mount_frame {
namespace {

bool is_finite(Vec3 v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

double largest_magnitude(Vec3 v) {
    return std::fmax(std::fabs(v.x), std::fmax(std::fabs(v.y), std::fabs(v.z)));
}

// rotation^T v: column j of the rotation dotted with v.
Vec3 transpose_times(const Mat3& r, Vec3 v) {
    return {dot(column(r, 0), v), dot(column(r, 1), v), dot(column(r, 2), v)};
}

}  // namespace
}  // namespace mount_frame

Vec3 to_mechanism_frame(const Mount& mount, Vec3 p_torso) noexcept {
    return mount_frame::transpose_times(mount.rotation, p_torso - mount.offset);
}

std::optional<Vec3> direction_from_mount(const Mount& mount, Vec3 target) noexcept {
    if (!mount_frame::is_finite(target)) {
        return std::nullopt;
    }
    Vec3 difference = target - mount.offset;
    if (!mount_frame::is_finite(difference)) {
        // Both ends near the largest double: halve them first, exactly.
        difference = 0.5 * target - 0.5 * mount.offset;
    }
    const double scale = mount_frame::largest_magnitude(difference);
    if (!(scale > 0.0) || !std::isfinite(scale)) {
        return std::nullopt;
    }
    // Scaled to a largest component of 1, the rotation's sums cannot overflow
    // and the norm is at least 1.
    return normalise(mount_frame::transpose_times(mount.rotation, difference / scale));
}

double angle_between(Vec3 a, Vec3 b) noexcept {
    return elementary::atan2(norm(cross(a, b)), dot(a, b));
}

}  // namespace quorbel
