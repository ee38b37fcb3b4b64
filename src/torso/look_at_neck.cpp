// The neck aimed at a torso point: the yaw and pitch, within their limits,
// whose gaze lies nearest to the target's direction.
//
// With the roll fixed, b = Rx(roll) a (a the gaze axis) is fixed too and the
// gaze is g(yaw, pitch) = Rz(yaw) w(pitch), w = Ry(pitch) b. Along a line of
// fixed pitch, u.g = A cos yaw + B sin yaw + C, and along a line of fixed
// yaw, u.g = A' cos pitch + B' sin pitch + C': each has its maximum in closed
// form. Over the rectangle of allowed (yaw, pitch), the nearest gaze is
// therefore one of:
// - a pose that hits u exactly (pitch from w_z = u_z, two solutions, then
//   yaw from the horizontal parts), when it lies within the limits;
// - a pose where the map (yaw, pitch) -> g folds (w_x = 0: the gaze at its
//   highest or lowest), best yaw along that pitch; off those two lines the
//   map is a local diffeomorphism, and a local maximum of u.g on the sphere
//   is u itself;
// - the maximum along each edge of the rectangle, or a corner.
// All are listed and the nearest wins (atan2 of the cross and dot products,
// so near 0 the angle keeps its digits); poses within 1e-12 rad of the best
// are told apart by their distance to the previous yaw and pitch.
#include <quorbel/torso/look_at.hpp>

#include <quorbel/maths/elementary.hpp>

#include <cmath>
#include <limits>

#include <quorbel/arm/joint_limits.hpp>
#include <quorbel/maths/rotation.hpp>

namespace quorbel {

// Named, as the core is compiled as one unit.
namespace neck_gaze {
namespace {

constexpr double PI = 3.141592653589793;
constexpr double INFINITE = std::numeric_limits<double>::infinity();
// Poses whose gazes are this close in angle to the best count as equal.
constexpr double TIE = 1e-12;

struct Pose {
    double yaw;
    double pitch;
};

// A yaw without limits turns freely; a pitch without them stays within
// [-pi/2, pi/2], as neck_inverse_kinematics gives it (past that the head
// would look back upside down, the same gaze as a yaw of half a turn).
constexpr AngleInterval FREE_YAW = {-INFINITE, INFINITE};
constexpr AngleInterval FREE_PITCH = {-PI / 2, PI / 2};

// The representative of `angle` that the interval admits, nearest
// `reference`, by the arm's rule for joint limits; for a free yaw, the one
// within pi of the reference.
std::optional<double> representative(double angle, const AngleInterval& interval,
                                     double reference) {
    if (!std::isfinite(interval.lower) && !std::isfinite(interval.upper)) {
        const double a = angle_next_to(angle, reference);
        return std::isfinite(a) ? std::optional<double>(a) : std::nullopt;
    }
    return angle_within(interval, angle, reference);
}

Vec3 pitched(Vec3 b, double pitch) {
    const double c = elementary::cos(pitch), s = elementary::sin(pitch);
    return {c * b.x + s * b.z, b.y, c * b.z - s * b.x};
}

Vec3 gaze_of(Vec3 b, Pose pose) {
    const Vec3 w = pitched(b, pose.pitch);
    const double c = elementary::cos(pose.yaw), s = elementary::sin(pose.yaw);
    return {c * w.x - s * w.y, s * w.x + c * w.y, w.z};
}

// The yaw that brings Rz(yaw) w nearest u.
double best_yaw(Vec3 u, Vec3 w) {
    return elementary::atan2(u.y * w.x - u.x * w.y, u.x * w.x + u.y * w.y);
}

// The pitch that brings Rz(yaw) Ry(pitch) b nearest u.
double best_pitch(Vec3 u, Vec3 b, double yaw) {
    const double c = elementary::cos(yaw), s = elementary::sin(yaw);
    const Vec3 v = {c * u.x + s * u.y, c * u.y - s * u.x, u.z};  // Rz(-yaw) u
    return elementary::atan2(v.x * b.z - v.z * b.x, v.x * b.x + v.z * b.z);
}

class Candidates {
public:
    Candidates(Vec3 u, Vec3 b, const NeckLimits& limits, Pose reference)
        : u_(u), b_(b), reference_(reference),
          yaw_(limits.yaw.value_or(FREE_YAW)), pitch_(limits.pitch.value_or(FREE_PITCH)) {}

    // Each angle is taken modulo 2 pi and placed within its limits.
    void consider(double yaw, double pitch, bool exact) {
        const std::optional<double> y = representative(yaw, yaw_, reference_.yaw);
        const std::optional<double> p = representative(pitch, pitch_, reference_.pitch);
        if (!y || !p) {
            return;
        }
        const Pose pose{*y, *p};
        const double angle = angle_between(u_, gaze_of(b_, pose));
        const double dy = pose.yaw - reference_.yaw, dp = pose.pitch - reference_.pitch;
        const double distance = dy * dy + dp * dp;
        const bool better = !found_ || angle < best_angle_ - TIE ||
                            (angle <= best_angle_ + TIE && distance < best_distance_);
        if (better) {
            found_ = true;
            best_ = pose;
            best_angle_ = angle;
            best_distance_ = distance;
            best_exact_ = exact;
        }
    }

    // The best yaw along a line of fixed pitch, and the line's ends.
    void along_pitch(double pitch) {
        consider(best_yaw(u_, pitched(b_, pitch)), pitch, false);
        consider_yaw_ends(pitch);
    }

    // The best pitch along a line of fixed yaw, and the line's ends.
    void along_yaw(double yaw) {
        consider(yaw, best_pitch(u_, b_, yaw), false);
        for (const double end : {pitch_.lower, pitch_.upper}) {
            if (std::isfinite(end)) consider(yaw, end, false);
        }
    }

    void consider_yaw_ends(double pitch) {
        for (const double end : {yaw_.lower, yaw_.upper}) {
            if (std::isfinite(end)) consider(end, pitch, false);
        }
    }

    void exact_hits() {
        const double rho = std::sqrt(b_.x * b_.x + b_.z * b_.z);
        if (!(rho > 0.0)) {
            return;  // the gaze axis along the pitch axis: the gaze never moves off it by pitch
        }
        const double cosine = u_.z / rho;
        if (!(std::fabs(cosine) <= 1.0)) {
            return;
        }
        const double phi = elementary::atan2(b_.x, b_.z);
        const double spread = elementary::acos(cosine);
        for (const double pitch : {spread - phi, -spread - phi}) {
            const Vec3 w = pitched(b_, pitch);
            consider(elementary::atan2(u_.y, u_.x) - elementary::atan2(w.y, w.x), pitch, true);
        }
    }

    void folds() {
        // w_x = 0: cos p b_x + sin p b_z = 0.
        const double fold = elementary::atan2(-b_.x, b_.z);
        along_pitch(fold);
        along_pitch(fold + PI);
    }

    void edges() {
        for (const double pitch : {pitch_.lower, pitch_.upper}) {
            if (std::isfinite(pitch)) along_pitch(pitch);
        }
        for (const double yaw : {yaw_.lower, yaw_.upper}) {
            if (std::isfinite(yaw)) along_yaw(yaw);
        }
    }

    bool found() const { return found_; }
    Pose best() const { return best_; }
    bool best_exact() const { return best_exact_; }

private:
    Vec3 u_;
    Vec3 b_;
    Pose reference_;
    AngleInterval yaw_;
    AngleInterval pitch_;
    bool found_ = false;
    Pose best_{0.0, 0.0};
    double best_angle_ = INFINITE;
    double best_distance_ = INFINITE;
    bool best_exact_ = false;
};

double clamp_to(double value, const std::optional<AngleInterval>& interval) {
    if (!interval) return value;
    return std::fmin(std::fmax(value, interval->lower), interval->upper);
}

// The previous yaw and pitch; a NaN or absent pose leaves 0 and 0.
Pose reference_of(const std::optional<NeckAngles>& previous) {
    if (previous && std::isfinite(previous->yaw) && std::isfinite(previous->pitch)) {
        return {previous->yaw, previous->pitch};
    }
    return {0.0, 0.0};
}

}  // namespace
}  // namespace neck_gaze

std::optional<NeckAim> look_at(const NeckDescription& neck, Vec3 target,
                               std::optional<NeckAngles> previous) noexcept {
    const std::optional<Vec3> u = direction_from_mount(neck.mount, target);
    const double axis_length = norm(neck.gaze_axis);
    if (!u || !(axis_length > 0.0) || !std::isfinite(axis_length)) {
        return std::nullopt;
    }
    const Vec3 axis = neck.gaze_axis / axis_length;
    const double roll = neck_gaze::clamp_to(previous ? previous->roll : 0.0, neck.limits.roll);
    const Vec3 b = rotation_about_axis({1.0, 0.0, 0.0}, roll) * axis;
    neck_gaze::Candidates candidates(*u, b, neck.limits, neck_gaze::reference_of(previous));
    candidates.exact_hits();
    candidates.folds();
    candidates.edges();
    if (!candidates.found() || !std::isfinite(roll)) {
        return std::nullopt;  // a NaN limit or roll leaves no pose
    }
    const neck_gaze::Pose pose = candidates.best();
    const Vec3 gaze = neck_forward_kinematics({pose.yaw, pose.pitch, roll}) * axis;
    return NeckAim{{pose.yaw, pose.pitch, roll},
                   gaze,
                   candidates.best_exact() ? AimStatus::reached : AimStatus::clamped,
                   angle_between(gaze, *u)};
}

}  // namespace quorbel
