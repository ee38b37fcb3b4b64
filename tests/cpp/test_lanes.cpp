// The lanes against one double at a time, bit for bit: the elementary
// functions on lanes (src/maths/lanes/lane_elementary.hpp) against the scalar
// ones on hard arguments, and the public batch functions (quorbel/batch.hpp)
// on every lane width this machine runs against the per-pose functions.
#include <cmath>
#include <cstdio>
#include <memory>
#include <random>
#include <vector>

#include <quorbel/batch.hpp>
#include <quorbel/torso_kinematics.hpp>

#include "check.hpp"
#include "maths/lanes/lane_elementary.hpp"

namespace {

using namespace quorbel;
namespace lanes = quorbel::elementary::detail;

#if QTK_LANES
// Arguments where the fast paths are tested hardest: signed zeros,
// subnormals, the tiny-argument thresholds, |x| = 1/2 and 1 (asin's
// switch and domain edge), near multiples of pi/2048 (the table points),
// the Cody-Waite limit, huge values, NaN and the infinities; then random
// doubles over many binades.
std::vector<double> hard_arguments() {
    std::vector<double> x = {0.0, -0.0, 4.9e-324, -4.9e-324, 0x1p-1022, 0x1p-26, 0x1p-27,
                             0x1.6a09e667f3bcdp-27, 0.5, -0.5, 1.0, -1.0, 0x1.fffffffffffffp-1,
                             0x1p16, -0x1p16, 0x1.fffffffffffffp15, 1e300, -1e300, INFINITY,
                             -INFINITY, NAN};
    for (int n = -4096; n <= 4096; n += 7) {
        const double point = n * (3.141592653589793 / 2048.0);
        x.push_back(point);
        x.push_back(std::nextafter(point, 1e9));
        x.push_back(std::nextafter(point, -1e9));
    }
    std::mt19937_64 rng(20);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    std::uniform_int_distribution<int> binade(-40, 20);
    while (x.size() % 4 != 0 || x.size() < 400000) {
        x.push_back(std::ldexp(unit(rng), binade(rng)));
    }
    return x;
}

// sin, cos, asin, acos, atan2(x, y) and atan2(y, x) of each argument
// on lanes V; y = the argument reversed. With `steps`, from the functions
// that interleave several fast paths step by step (sincos and atan2 of two
// arguments, two atan2 and an asin).
template <class V, bool steps = false>
inline void lane_values_body(const std::vector<double>& x, std::vector<double>& out) {
    constexpr int W = lanes::LaneWidth<V>::count;
    const std::size_t n = x.size();
    for (std::size_t i = 0; i + W <= n; i += W) {
        V a;
        V b;
        for (int k = 0; k < W; ++k) {
            a[k] = x[i + k];
            b[k] = x[n - 1 - i - k];
        }
        V results[6];
        if constexpr (steps) {
            using Index = typename lanes::LaneWidth<V>::Index;
            lanes::SinCosLanes<V> sc[2];
            lanes::sincos_lanes<2>({b, a}, sc);
            V angle[1];
            V sine[1];
            lanes::atan2_asin_lanes<1, 1>({b}, {a}, {a}, angle, sine);
            V pair[2];
            lanes::atan2_lanes<2>({a, b}, {b, a}, pair);
            results[0] = sc[1].sin;
            results[1] = sc[1].cos;
            results[2] = sine[0];
            results[3] = lanes::acos_lanes(a);
            results[4] = pair[0];
            // atan2(b, a) both ways, 7 (no atan2) where their bits differ.
            results[5] = lanes::select((Index)pair[1] == (Index)angle[0], angle[0], V{} + 7.0);
        } else {
            const auto sc = lanes::sincos_lanes(a);
            const V single[6] = {sc.sin, sc.cos, lanes::asin_lanes(a), lanes::acos_lanes(a),
                                 lanes::atan2_lanes(a, b), lanes::atan2_lanes(b, a)};
            for (int f = 0; f < 6; ++f) results[f] = single[f];
        }
        for (int f = 0; f < 6; ++f) {
            for (int k = 0; k < W; ++k) out[6 * (i + k) + f] = results[f][k];
        }
    }
}

template <bool steps>
[[gnu::flatten]] void lane_values_two(const std::vector<double>& x, std::vector<double>& out) {
    lane_values_body<lanes::Lanes2, steps>(x, out);
}
#if QTK_LANES4
template <bool steps>
QTK_AVX2_ENTRY void lane_values_four(const std::vector<double>& x, std::vector<double>& out) {
    lane_values_body<lanes::Lanes4, steps>(x, out);
}
#endif

int count_differences(const std::vector<double>& x, const std::vector<double>& out) {
    const std::size_t n = x.size();
    int differences = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const double y = x[n - 1 - i];
        const double expected[6] = {elementary::sin(x[i]),     elementary::cos(x[i]),
                                    elementary::asin(x[i]),    elementary::acos(x[i]),
                                    elementary::atan2(x[i], y), elementary::atan2(y, x[i])};
        for (int f = 0; f < 6; ++f) {
            if (!check::same_bits(out[6 * i + f], expected[f])) {
                if (differences++ < 5) {
                    std::printf("function %d of %a: %a on lanes, %a scalar\n", f, x[i],
                                out[6 * i + f], expected[f]);
                }
            }
        }
    }
    return differences;
}

void elementary_lanes_equal_scalar() {
    const std::vector<double> x = hard_arguments();
    std::vector<double> out(6 * x.size());
    for (const bool steps : {false, true}) {
        (steps ? lane_values_two<true> : lane_values_two<false>)(x, out);
        CHECK(count_differences(x, out) == 0);
#if QTK_LANES4
        if (batch::lanes_available(batch::Lanes::avx2)) {
            (steps ? lane_values_four<true> : lane_values_four<false>)(x, out);
            CHECK(count_differences(x, out) == 0);
        }
#endif
    }
}

// The fast paths on lanes must prove nearly every lane of their common
// ranges: a lane left unproven still gets the right double from the scalar
// function, so equality alone would not notice a fast path that proves
// nothing. sin and cos over [-3.2, 3.2], asin and acos over (-1, 1), both of
// asin's ranges; each fails its rounding test about once in 20,000.
template <class V>
inline int unproven_lanes_body(const std::vector<double>& x) {
    constexpr int W = lanes::LaneWidth<V>::count;
    constexpr bool fused = lanes::LaneProducts<V>::fused;
    int unproven = 0;
    for (std::size_t i = 0; i + W <= x.size(); i += W) {
        V a;
        for (int k = 0; k < W; ++k) a[k] = x[i + k];
        lanes::SinCosCandidate<V> c;
        typename lanes::LaneWidth<V>::Index asin_proven;
        typename lanes::LaneWidth<V>::Index acos_proven;
#if QTK_FMA_VARIANTS
        if constexpr (fused) {
            c = lanes::sin_cos_fused(a * 3.2);
            asin_proven = lanes::asin_acos_fast_lanes<true, lanes::FusedProducts>(a).proven;
            acos_proven = lanes::asin_acos_fast_lanes<false, lanes::FusedProducts>(a).proven;
        } else
#endif
        {
            c = lanes::sin_cos_fast(a * 3.2);
            asin_proven = lanes::asin_acos_fast_lanes<true, lanes::DekkerProducts>(a).proven;
            acos_proven = lanes::asin_acos_fast_lanes<false, lanes::DekkerProducts>(a).proven;
        }
        for (int k = 0; k < W; ++k) {
            unproven += (c.sin.proven[k] == 0) + (c.cos.proven[k] == 0) +
                        (asin_proven[k] == 0) + (acos_proven[k] == 0);
        }
    }
    return unproven;
}

[[gnu::flatten]] int unproven_lanes_two(const std::vector<double>& x) {
    return unproven_lanes_body<lanes::Lanes2>(x);
}
#if QTK_LANES4
QTK_AVX2_ENTRY int unproven_lanes_four(const std::vector<double>& x) {
    return unproven_lanes_body<lanes::Lanes4>(x);
}
#endif

void fast_paths_prove_nearly_every_lane() {
    std::mt19937_64 rng(22);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    std::vector<double> x(1 << 18);
    for (double& v : x) v = unit(rng);
    const int limit = static_cast<int>(4 * x.size() / 1000);
    CHECK(unproven_lanes_two(x) < limit);
#if QTK_LANES4
    if (batch::lanes_available(batch::Lanes::avx2)) CHECK(unproven_lanes_four(x) < limit);
#endif
}

#endif  // QTK_LANES

int differing(const std::vector<double>& a, const std::vector<double>& b) {
    int n = 0;
    for (std::size_t i = 0; i < a.size(); ++i) n += !check::same_bits(a[i], b[i]);
    return n;
}

// Joint angles mostly in the workspace, some beyond it (refusals), some NaN,
// infinite, -0 or huge; an odd count, so that a tail is left over. The
// neck's inverse is given the forward results with some entries moved to
// gimbal lock and beyond.
void batch_functions_equal_per_pose() {
    std::mt19937_64 rng(21);
    std::uniform_real_distribution<double> angle(-3.5, 3.5);
    const std::size_t count = 4003;
    std::vector<double> joints(3 * count);
    for (double& v : joints) v = angle(rng);
    const double specials[] = {NAN, INFINITY, -INFINITY, -0.0, 0.0, 1e-300, 1e6};
    for (std::size_t i = 0; i < 70; ++i) joints[97 * i] = specials[i % 7];
    std::vector<double> theta_a(count);
    std::vector<double> theta_b(count);
    for (std::size_t i = 0; i < count; ++i) {
        theta_a[i] = joints[3 * i];
        theta_b[i] = joints[3 * i + 1];
    }
    const Arm arms[] = {Arm(default_left_geometry()), Arm(default_right_geometry()),
                        Arm(SphericalLinkGeometry{0.9, 0.6, Branch::negative, false})};
    std::unique_ptr<bool[]> reachable(new bool[count]);
    std::vector<double> got(9 * count);
    std::vector<double> expected(9 * count);
    for (const batch::Lanes l : {batch::Lanes::scalar, batch::Lanes::sse2, batch::Lanes::avx2,
                                 batch::Lanes::neon}) {
        if (!batch::use_lanes(l)) continue;
        for (const Arm& arm : arms) {
            batch::arm_fk(arm, theta_a.data(), theta_b.data(), count, got.data());
            for (std::size_t i = 0; i < count; ++i) {
                const FkResult f = forward_kinematics(arm, theta_a[i], theta_b[i]);
                for (int k = 0; k < 9; ++k) expected[9 * i + k] = f ? f->rotation[k / 3][k % 3] : NAN;
            }
            CHECK(differing(got, expected) == 0);
            batch::arm_direction(arm, theta_a.data(), theta_b.data(), count, got.data());
            batch::arm_reachable_joints(arm, theta_a.data(), theta_b.data(), count,
                                        reachable.get());
            int wrong = 0;
            for (std::size_t i = 0; i < count; ++i) {
                const std::optional<Vec3> v = pointing_direction(arm, theta_a[i], theta_b[i]);
                wrong += !check::same_bits(got[3 * i], v ? v->x : NAN);
                wrong += !check::same_bits(got[3 * i + 1], v ? v->y : NAN);
                wrong += !check::same_bits(got[3 * i + 2], v ? v->z : NAN);
                wrong += reachable[i] != v.has_value();
            }
            CHECK(wrong == 0);
        }
        batch::neck_fk(joints.data(), count, got.data());
        for (std::size_t i = 0; i < count; ++i) {
            const Mat3 r = neck_forward_kinematics({joints[3 * i], joints[3 * i + 1], joints[3 * i + 2]});
            for (int k = 0; k < 9; ++k) expected[9 * i + k] = r[k / 3][k % 3];
        }
        CHECK(differing(got, expected) == 0);
        const double edges[] = {1.0 - 1e-6, 1.0 - 0x1p-20, -1.0, 1.5, NAN};
        for (std::size_t i = 0; i < count; i += 40) got[9 * i + 6] = edges[(i / 40) % 5];
        std::vector<double> angles(3 * count);
        batch::neck_ik(got.data(), count, angles.data());
        batch::neck_reachable(got.data(), count, reachable.get());
        int wrong = 0;
        for (std::size_t i = 0; i < count; ++i) {
            Mat3 given;
            for (int k = 0; k < 9; ++k) given[k / 3][k % 3] = got[9 * i + k];
            const std::optional<NeckAngles> a = neck_inverse_kinematics(given);
            wrong += !check::same_bits(angles[3 * i], a ? a->yaw : NAN);
            wrong += !check::same_bits(angles[3 * i + 1], a ? a->pitch : NAN);
            wrong += !check::same_bits(angles[3 * i + 2], a ? a->roll : NAN);
            wrong += reachable[i] != (a && !std::isnan(a->yaw) && !std::isnan(a->pitch) &&
                                      !std::isnan(a->roll));
        }
        // The neck's velocity: the joints above, and pitches a few ulps
        // either side of gimbal lock's margin and of its slack.
        const double lock = std::asin(1.0 - 1e-6);
        for (std::size_t i = 0; i < count; i += 30) {
            joints[3 * i + 1] = (i % 60 == 0 ? -1.0 : 1.0) *
                                (lock + (static_cast<double>(i % 7) - 3.0) * (i % 4 == 0 ? 1e-16 : 2e-9));
        }
        std::vector<double> omega(joints.rbegin(), joints.rend());
        batch::neck_angular_jacobian(joints.data(), count, got.data());
        batch::neck_joint_rates(joints.data(), omega.data(), count, angles.data());
        for (std::size_t i = 0; i < count; ++i) {
            const NeckAngles j = {joints[3 * i], joints[3 * i + 1], joints[3 * i + 2]};
            const Mat3 jacobian = neck_angular_jacobian(j);
            for (int k = 0; k < 9; ++k) wrong += !check::same_bits(got[9 * i + k], jacobian[k / 3][k % 3]);
            const std::optional<NeckRates> r =
                neck_joint_rates(j, {omega[3 * i], omega[3 * i + 1], omega[3 * i + 2]});
            wrong += !check::same_bits(angles[3 * i], r ? r->yaw : NAN);
            wrong += !check::same_bits(angles[3 * i + 1], r ? r->pitch : NAN);
            wrong += !check::same_bits(angles[3 * i + 2], r ? r->roll : NAN);
        }
        CHECK(wrong == 0);
    }
}

// The inverse kinematics and the velocity functions in batches on every
// lane width against the per-pose functions: directions the arm reaches
// (its own fk, so every candidate slot is exercised), random ones, and
// degenerate ones (zero, tiny, huge, NaN, infinite); rotations from fk,
// turned slightly and random.
void batch_inverse_equal_per_pose() {
    std::mt19937_64 rng(22);
    std::uniform_real_distribution<double> angle(-3.2, 3.2);
    const std::size_t count = 1203;
    const Arm arms[] = {Arm(default_left_geometry()), Arm(default_right_geometry()),
                        Arm(SphericalLinkGeometry{0.9, 0.6, Branch::negative, false})};
    // Reached directions scaled below the shortest length normalised, past
    // overflow of the squares, to zero, NaN and infinity.
    const double odd[] = {1e-13, 1e300, 0.0, NAN, INFINITY, -1.0};
    std::vector<double> theta_a(count), theta_b(count), near(2 * count);
    std::vector<double> directions(3 * count), rotations(9 * count);
    std::vector<double> got(8 * count), expected(8 * count);
    std::unique_ptr<bool[]> reachable(new bool[count]);
    for (const batch::Lanes l : {batch::Lanes::scalar, batch::Lanes::sse2, batch::Lanes::avx2,
                                 batch::Lanes::neon}) {
        if (!batch::use_lanes(l)) continue;
        for (const Arm& arm : arms) {
            for (std::size_t i = 0; i < count; ++i) {
                theta_a[i] = angle(rng);
                theta_b[i] = angle(rng);
                near[2 * i] = theta_a[i] + 0.1;
                near[2 * i + 1] = -theta_b[i];
                const FkResult f = forward_kinematics(arm, theta_a[i], theta_b[i]);
                const double c = std::cos(1e-7 * (i % 3)), s = std::sin(1e-7 * (i % 3));
                for (int k = 0; k < 9; ++k) {
                    const int r = k / 3, col = k % 3;
                    const double turned = !f ? angle(rng)
                                          : col == 0 ? c * f->rotation[r][0] + s * f->rotation[r][1]
                                          : col == 1 ? c * f->rotation[r][1] - s * f->rotation[r][0]
                                                     : f->rotation[r][2];
                    rotations[9 * i + k] = turned;
                }
                for (int k = 0; k < 3; ++k) {
                    const double scale = i % 50 == 0 ? odd[(i / 50) % 6] : 1.0;
                    directions[3 * i + k] = f ? scale * f->rotation[k][2] : angle(rng);
                }
            }
            int wrong = 0;
            const auto compare = [&](std::size_t width) {
                for (std::size_t i = 0; i < width * count; ++i) {
                    wrong += !check::same_bits(got[i], expected[i]);
                }
            };
            const auto pair_into = [](const std::optional<JointPair>& p, double* out) {
                out[0] = p ? p->theta_a : NAN;
                out[1] = p ? p->theta_b : NAN;
            };
            const double* nears[] = {nullptr, near.data()};
            for (const double* n : nears) {
                batch::arm_ik_from_direction(arm, directions.data(), n, count, got.data());
                for (std::size_t i = 0; i < count; ++i) {
                    const double* d = &directions[3 * i];
                    const auto at = n ? std::optional<JointPair>({n[2 * i], n[2 * i + 1]})
                                      : std::nullopt;
                    pair_into(ik_from_direction(arm, {d[0], d[1], d[2]}, at), &expected[2 * i]);
                }
                compare(2);
            }
            batch::arm_reachable_direction(arm, directions.data(), count, reachable.get());
            batch::arm_ik_solutions(arm, directions.data(), count, got.data());
            for (std::size_t i = 0; i < count; ++i) {
                const double* d = &directions[3 * i];
                const auto slots = ik_solutions(arm, {d[0], d[1], d[2]});
                for (int k = 0; k < 4; ++k) pair_into(slots[k], &expected[8 * i + 2 * k]);
                wrong += reachable[i] !=
                         ik_from_direction(arm, {d[0], d[1], d[2]}, std::nullopt).has_value();
            }
            compare(8);
            batch::arm_ik(arm, rotations.data(), count, got.data());
            batch::arm_reachable_orientation(arm, rotations.data(), count, reachable.get());
            for (std::size_t i = 0; i < count; ++i) {
                Mat3 r;
                for (int k = 0; k < 9; ++k) r[k / 3][k % 3] = rotations[9 * i + k];
                pair_into(ik(arm, r), &expected[2 * i]);
                wrong += reachable[i] != ik(arm, r).has_value();
            }
            compare(2);
            batch::arm_direction_jacobian(arm, theta_a.data(), theta_b.data(), count, got.data());
            for (std::size_t i = 0; i < count; ++i) {
                const std::optional<Mat3x2> j = direction_jacobian(arm, theta_a[i], theta_b[i]);
                for (int k = 0; k < 6; ++k) expected[6 * i + k] = j ? (*j)[k / 2][k % 2] : NAN;
            }
            compare(6);
            batch::arm_singular_values(arm, theta_a.data(), theta_b.data(), count, got.data());
            for (std::size_t i = 0; i < count; ++i) {
                const std::optional<SingularValues> v = singular_values(arm, theta_a[i], theta_b[i]);
                expected[2 * i] = v ? v->largest : NAN;
                expected[2 * i + 1] = v ? v->smallest : NAN;
            }
            compare(2);
            for (const double damping : {0.0, 0.05, 1e-170, 1e170, double{NAN}}) {
                batch::arm_joint_rates(arm, theta_a.data(), theta_b.data(), directions.data(),
                                       damping, count, got.data());
                for (std::size_t i = 0; i < count; ++i) {
                    const double* v = &directions[3 * i];
                    pair_into(joint_rates(arm, theta_a[i], theta_b[i], {v[0], v[1], v[2]}, damping),
                              &expected[2 * i]);
                }
                compare(2);
            }
            CHECK(wrong == 0);
        }
    }
}

}  // namespace

// Poses built from edge angles, every combination of them in one batch and
// some in batches of every length up to 24 (so that each part of the lanes'
// loops, a two-block step, a single block and the poses left over, sees
// them in every position), against the per-pose
// functions: the neck's forward kinematics and its velocity, whose lanes
// leave zero, tiny (below 2^-300) and non-finite angles to the per-pose
// function; the sines and cosines around the thresholds under which sin x
// rounds to x and cos x to 1; the arm's direction and Jacobian; and the
// neck's inverse of the forward results with some entries at gimbal lock or
// beyond.
void batch_edges_equal_per_pose() {
    const double edges[] = {0.0, -0.0, 0x1p-300, -0x1p-300, std::nextafter(0x1p-300, 0.0),
                            0x1p-1074, 0x1p-26, std::nextafter(0x1p-26, 1.0), -0x1p-27,
                            std::nextafter(0x1p-27, 0.0), 1.5707963267948966, 3.141592653589793,
                            4.71238898038469, 0x1p16, 0x1.fffffffffffffp15, 1e300, -0x1p1023,
                            NAN, INFINITY, -INFINITY, 0.3, -2.1, 1.2};
    constexpr std::size_t EDGES = sizeof edges / sizeof edges[0];
    const Arm arm = default_left_geometry();
    int wrong = 0;
    for (const batch::Lanes l : {batch::Lanes::scalar, batch::Lanes::sse2, batch::Lanes::avx2,
                                 batch::Lanes::neon}) {
        if (!batch::use_lanes(l)) continue;
        for (std::size_t length = 1; length <= 25; ++length) {
            const bool every = length == 25;
            const std::size_t count = every ? EDGES * EDGES * EDGES : length;
            std::vector<double> joints(3 * count), rotations(9 * count), out(9 * count);
            std::vector<double> theta_a(count), theta_b(count);
            for (std::size_t i = 0; i < count; ++i) {
                for (std::size_t k = 0, place = 1; k < 3; ++k, place *= EDGES) {
                    joints[3 * i + k] = edges[(every ? i / place : 7 * (3 * i + k) + count) % EDGES];
                }
            }
            for (std::size_t i = 0; i < count; ++i) {
                theta_a[i] = joints[3 * i];
                theta_b[i] = i % 2 == 0 ? 0.4 : joints[3 * i + 1];
            }
            batch::neck_fk(joints.data(), count, rotations.data());
            batch::neck_angular_jacobian(joints.data(), count, out.data());
            for (std::size_t i = 0; i < count; ++i) {
                const NeckAngles j = {joints[3 * i], joints[3 * i + 1], joints[3 * i + 2]};
                const Mat3 r = neck_forward_kinematics(j);
                const Mat3 jacobian = neck_angular_jacobian(j);
                for (int k = 0; k < 9; ++k) {
                    wrong += !check::same_bits(rotations[9 * i + k], r[k / 3][k % 3]);
                    wrong += !check::same_bits(out[9 * i + k], jacobian[k / 3][k % 3]);
                }
            }
            batch::neck_joint_rates(joints.data(), joints.data(), count, out.data());
            for (std::size_t i = 0; i < count; ++i) {
                const double* j = &joints[3 * i];
                const std::optional<NeckRates> r = neck_joint_rates({j[0], j[1], j[2]}, {j[0], j[1], j[2]});
                wrong += !check::same_bits(out[3 * i], r ? r->yaw : NAN);
                wrong += !check::same_bits(out[3 * i + 1], r ? r->pitch : NAN);
                wrong += !check::same_bits(out[3 * i + 2], r ? r->roll : NAN);
            }
            batch::arm_direction(arm, theta_a.data(), theta_b.data(), count, out.data());
            batch::arm_direction_jacobian(arm, theta_a.data(), theta_b.data(), count,
                                          out.data() + 3 * count);
            for (std::size_t i = 0; i < count; ++i) {
                const std::optional<Vec3> v = pointing_direction(arm, theta_a[i], theta_b[i]);
                const std::optional<Mat3x2> jac = direction_jacobian(arm, theta_a[i], theta_b[i]);
                const double direction[3] = {v ? v->x : NAN, v ? v->y : NAN, v ? v->z : NAN};
                for (int k = 0; k < 3; ++k) {
                    wrong += !check::same_bits(out[3 * i + k], direction[k]);
                    for (int c = 0; c < 2; ++c) {
                        wrong += !check::same_bits(out[3 * count + 6 * i + 2 * k + c],
                                                   jac ? (*jac)[k][c] : NAN);
                    }
                }
            }
            for (std::size_t i = 0; i < count; i += 3) {
                rotations[9 * i + 6] = (i / 3) % 2 == 0 ? 1.0 - 0x1p-21 : -1.0 - 0x1p-52;
            }
            std::unique_ptr<bool[]> reachable(new bool[count]);
            batch::neck_ik(rotations.data(), count, out.data());
            batch::neck_reachable(rotations.data(), count, reachable.get());
            for (std::size_t i = 0; i < count; ++i) {
                Mat3 given;
                for (int k = 0; k < 9; ++k) given[k / 3][k % 3] = rotations[9 * i + k];
                const std::optional<NeckAngles> a = neck_inverse_kinematics(given);
                wrong += !check::same_bits(out[3 * i], a ? a->yaw : NAN);
                wrong += !check::same_bits(out[3 * i + 1], a ? a->pitch : NAN);
                wrong += !check::same_bits(out[3 * i + 2], a ? a->roll : NAN);
                wrong += reachable[i] != (a && !std::isnan(a->yaw) && !std::isnan(a->pitch) &&
                                          !std::isnan(a->roll));
            }
        }
    }
    CHECK(wrong == 0);
}

int main() {
#if QTK_LANES
    elementary_lanes_equal_scalar();
    fast_paths_prove_nearly_every_lane();
#endif
    batch_functions_equal_per_pose();
    batch_inverse_equal_per_pose();
    batch_edges_equal_per_pose();
    std::printf("%d passed, %d failed\n", check::passed(), check::failed());
    return check::failed() == 0 ? 0 : 1;
}
