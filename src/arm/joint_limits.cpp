// Joint limits and angle-wise nearness: which turn of a candidate angle an
// interval admits, and the turn next to a reference.
#include <quorbel/arm/joint_limits.hpp>

#include <cmath>

namespace quorbel {
namespace {

constexpr double HALF_TURN = 3.141592653589793;
constexpr double FULL_TURN = 2.0 * HALF_TURN;

bool in_interval(const AngleInterval& interval, double theta) noexcept {
    return theta >= interval.lower && theta <= interval.upper;
}

}  // namespace

// The turns k with theta + 2 pi k in the interval run from
// ceil((lower - theta) / 2 pi) to floor((upper - theta) / 2 pi); rounding of
// those quotients is corrected by testing the representatives themselves,
// one turn either side. An infinite bound leaves its end open; without a
// reference and with no lower end, the turn nearest theta itself is taken.
std::optional<double> angle_within(const AngleInterval& interval, double theta,
                                   std::optional<double> reference) noexcept {
    if (!std::isfinite(theta) || !(interval.lower <= interval.upper)) {
        return std::nullopt;
    }
    const auto at = [&](double k) { return k == 0.0 ? theta : theta + k * FULL_TURN; };
    double k_low = -INFINITY;
    double k_high = INFINITY;
    if (std::isfinite(interval.lower)) {
        k_low = std::ceil((interval.lower - theta) / FULL_TURN);
        if (in_interval(interval, at(k_low - 1.0))) {
            k_low -= 1.0;
        } else if (!in_interval(interval, at(k_low))) {
            k_low += 1.0;
        }
    }
    if (std::isfinite(interval.upper)) {
        k_high = std::floor((interval.upper - theta) / FULL_TURN);
        if (in_interval(interval, at(k_high + 1.0))) {
            k_high += 1.0;
        } else if (!in_interval(interval, at(k_high))) {
            k_high -= 1.0;
        }
    }
    if (!(k_low <= k_high)) {
        return std::nullopt;
    }
    const bool by_reference = reference && std::isfinite(*reference);
    double k = by_reference ? std::nearbyint((*reference - theta) / FULL_TURN)
                            : (std::isfinite(k_low) ? k_low : 0.0);
    k = std::fmin(std::fmax(k, k_low), k_high);
    if (by_reference) {
        // The rounded quotient can be one turn off the nearest.
        for (double other : {k - 1.0, k + 1.0}) {
            if (other >= k_low && other <= k_high &&
                std::fabs(at(other) - *reference) < std::fabs(at(k) - *reference)) {
                k = other;
            }
        }
    }
    const double representative = at(k);
    if (!in_interval(interval, representative)) {
        return std::nullopt;
    }
    return representative;
}

double angle_next_to(double theta, double reference) noexcept {
    double difference = std::remainder(theta - reference, FULL_TURN);
    if (difference <= -HALF_TURN) {
        difference += FULL_TURN;
    }
    return reference + difference;
}

std::optional<JointPair> joints_under(JointPair candidate, const IkOptions& options) noexcept {
    const bool angles = options.near_mode == NearMode::angles;
    if (!options.limits) {
        if (!angles) {
            return candidate;
        }
        const JointPair reference = options.near ? *options.near : JointPair{0.0, 0.0};
        return JointPair{angle_next_to(candidate.theta_a, reference.theta_a),
                         angle_next_to(candidate.theta_b, reference.theta_b)};
    }
    std::optional<double> ref_a;
    std::optional<double> ref_b;
    if (angles) {
        ref_a = options.near ? options.near->theta_a : 0.0;
        ref_b = options.near ? options.near->theta_b : 0.0;
    }
    const std::optional<double> a = angle_within(options.limits->theta_a, candidate.theta_a, ref_a);
    const std::optional<double> b = angle_within(options.limits->theta_b, candidate.theta_b, ref_b);
    if (!a || !b) {
        return std::nullopt;
    }
    return JointPair{*a, *b};
}

}  // namespace quorbel
