// The batch functions of quorbel/batch.hpp: each written once over a lane
// type (arm_lanes.hpp, neck_lanes.hpp) and compiled three times, for one
// double (the per-pose functions in a loop), two lanes (SSE2 or NEON) and,
// on x86-64, four lanes in AVX2 bodies; the lanes chosen once per process
// (lane_choice.cpp) pick the body. A block of poses as wide as the lanes
// runs on the lanes; the poses left over, and any pose whose lane took a
// rare branch, go through the per-pose function.
#include <quorbel/batch.hpp>

#include <cstdint>

#include "batch/arm_ik_lanes.hpp"
#include "batch/arm_lanes.hpp"
#include "batch/arm_velocity_lanes.hpp"
#include "batch/lane_choice.hpp"
#include "batch/neck_lanes.hpp"
#include "batch/pose_results.hpp"


namespace quorbel::batch {

namespace detail {

namespace {

#if QTK_LANES
// Poses [0, count) in blocks of W through block(first), the rest one by one
// through single(i).
// For a block's lambda that the four-lane entry's flattening left out of
// line (GCC reported it "not inlinable" at that point), passing the lane
// vectors through memory: forced in.
#define QTK_LAMBDA_INLINE __attribute__((always_inline))

// The poses PREFETCH_BLOCKS blocks of W after pose i of an array of poses of
// `width` doubles, asked into the cache (for writing, with `write`): on
// arrays that are not in the cache already the lanes outrun the hardware's
// prefetcher, which starts again at each 4 KiB page. The addresses may lie
// past the array's end, where a prefetch does nothing (it never faults);
// they are formed as integers, not as pointers beyond the array.
inline constexpr std::size_t PREFETCH_BLOCKS = 16;

template <int W, std::size_t width, bool write = false>
QTK_FORCE_INLINE void prefetch_ahead(const double* poses, std::size_t i) {
    constexpr std::size_t LINE = 64;
    const std::uintptr_t ahead = reinterpret_cast<std::uintptr_t>(poses) +
                                 (i + PREFETCH_BLOCKS * W) * width * sizeof(double);
    for (std::size_t b = 0; b < width * W * sizeof(double); b += LINE) {
        __builtin_prefetch(reinterpret_cast<const void*>(ahead + b), write ? 1 : 0);
    }
}

template <int W, class Block, class Single>
QTK_FORCE_INLINE void in_blocks(std::size_t count, Block block, Single single) {
    std::size_t i = 0;
    for (; i + W <= count; i += W) block(i);
    for (; i < count; ++i) single(i);
}

template <class V>
QTK_FORCE_INLINE void store_rotations(const Mat3Lanes<V>& r, double* out) {
    store_poses<9>({r.m[0][0], r.m[0][1], r.m[0][2], r.m[1][0], r.m[1][1], r.m[1][2], r.m[2][0],
                    r.m[2][1], r.m[2][2]},
                   out);
}

template <class V>
QTK_FORCE_INLINE void arm_fk_on(const Arm& arm, const double* theta_a, const double* theta_b,
                                std::size_t count, double* rotations) {
    constexpr int W = LaneWidth<V>::count;
    const LaneArm lane_arm(arm);
    in_blocks<W>(
        count,
        [&](std::size_t i) {
            prefetch_ahead<W, 1>(theta_a, i);
            prefetch_ahead<W, 1>(theta_b, i);
            prefetch_ahead<W, 9, true>(rotations, i);
            const FrameLanes<V> f =
                fk_lanes(lane_arm, load_lanes<V>(theta_a + i), load_lanes<V>(theta_b + i));
            store_rotations(f.rotation, rotations + 9 * i);
            if (!elementary::detail::all_lanes(f.common)) {
                for (int k = 0; k < W; ++k) {
                    if (f.common[k] == 0) {
                        fk_pose(arm, theta_a[i + k], theta_b[i + k], rotations + 9 * (i + k));
                    }
                }
            }
        },
        [&](std::size_t i) { fk_pose(arm, theta_a[i], theta_b[i], rotations + 9 * i); });
}

template <class V>
QTK_FORCE_INLINE void arm_direction_on(const Arm& arm, const double* theta_a,
                                       const double* theta_b, std::size_t count,
                                       double* directions) {
    constexpr int W = LaneWidth<V>::count;
    const LaneArm lane_arm(arm);
    in_blocks<W>(
        count,
        [&](std::size_t i) {
            prefetch_ahead<W, 1>(theta_a, i);
            prefetch_ahead<W, 1>(theta_b, i);
            prefetch_ahead<W, 3, true>(directions, i);
            const ApexLanes<V> a =
                apex_lanes(lane_arm, load_lanes<V>(theta_a + i), load_lanes<V>(theta_b + i));
            store_poses<3>({a.apex.x, a.apex.y, a.apex.z}, directions + 3 * i);
            if (!elementary::detail::all_lanes(a.closed)) {
                for (int k = 0; k < W; ++k) {
                    if (a.closed[k] == 0) {
                        direction_pose(arm, theta_a[i + k], theta_b[i + k],
                                       directions + 3 * (i + k));
                    }
                }
            }
        },
        [&](std::size_t i) { direction_pose(arm, theta_a[i], theta_b[i], directions + 3 * i); });
}

template <class V>
QTK_FORCE_INLINE void arm_reachable_joints_on(const Arm& arm, const double* theta_a,
                                              const double* theta_b, std::size_t count,
                                              bool* reachable) {
    constexpr int W = LaneWidth<V>::count;
    const LaneArm lane_arm(arm);
    in_blocks<W>(
        count,
        [&](std::size_t i) {
            prefetch_ahead<W, 1>(theta_a, i);
            prefetch_ahead<W, 1>(theta_b, i);
            const ApexLanes<V> a =
                apex_lanes(lane_arm, load_lanes<V>(theta_a + i), load_lanes<V>(theta_b + i));
            for (int k = 0; k < W; ++k) reachable[i + k] = a.closed[k] != 0;
        },
        [&](std::size_t i) { reachable[i] = reachable_joints_pose(arm, theta_a[i], theta_b[i]); });
}

// Lanes flagged for the scalar function: the pose computed again one at a
// time by single(pose index).
template <class V, class Single>
QTK_FORCE_INLINE void redo_flagged(IndexLanes<V> flagged, std::size_t first, Single single) {
    if (!elementary::detail::any_lane(flagged)) return;
    for (int k = 0; k < LaneWidth<V>::count; ++k) {
        if (flagged[k] != 0) single(first + k);
    }
}

template <class V>
QTK_FORCE_INLINE Vec3Lanes<V> load_directions(const double* directions) {
    return load_triples<V>(directions);
}

template <class V>
QTK_FORCE_INLINE Mat3Lanes<V> load_rotations(const double* rotations) {
    V first[4];
    V middle[4];
    load_four_components(rotations, 9, first);
    load_four_components(rotations + 4, 9, middle);
    return {{{first[0], first[1], first[2]},
             {first[3], middle[0], middle[1]},
             {middle[2], middle[3], load_strided<V>(rotations + 8, 9)}}};
}

template <class V>
QTK_FORCE_INLINE V found_or_nan(IndexLanes<V> found, V value) {
    return select(found, value, V{} + std::numeric_limits<double>::quiet_NaN());
}

template <class V>
QTK_FORCE_INLINE void arm_ik_from_direction_on(const Arm& arm, const double* directions,
                                               const double* near, std::size_t count,
                                               double* joints) {
    constexpr int W = LaneWidth<V>::count;
    const LaneArm lane_arm(arm);
    const auto single = [&](std::size_t i) {
        ik_from_direction_pose(arm, directions + 3 * i, near_of(near, i), joints + 2 * i);
    };
    in_blocks<W>(
        count,
        [&](std::size_t i) {
            prefetch_ahead<W, 3>(directions, i);
            prefetch_ahead<W, 2, true>(joints, i);
            const SolutionLanes<V> s = solution_lanes(lane_arm, load_directions<V>(directions + 3 * i));
            ChoiceLanes<V> best;
            if (near != nullptr) {
                const V near_a = load_strided<V>(near + 2 * i, 2);
                const V near_b = load_strided<V>(near + 2 * i + 1, 2);
                best = ik_from_direction_lanes(s, &near_a, &near_b);
            } else {
                best = ik_from_direction_lanes<V>(s, nullptr, nullptr);
            }
            store_poses<2>({found_or_nan(best.found, best.theta_a),
                            found_or_nan(best.found, best.theta_b)},
                           joints + 2 * i);
            redo_flagged<V>(s.scalar, i, single);
        },
        single);
}

template <class V>
QTK_FORCE_INLINE void arm_reachable_direction_on(const Arm& arm, const double* directions,
                                                 std::size_t count, bool* reachable) {
    constexpr int W = LaneWidth<V>::count;
    const LaneArm lane_arm(arm);
    const auto single = [&](std::size_t i) {
        reachable[i] = reachable_direction_pose(arm, directions + 3 * i);
    };
    in_blocks<W>(
        count,
        [&](std::size_t i) {
            prefetch_ahead<W, 3>(directions, i);
            const SolutionLanes<V> s = solution_lanes(lane_arm, load_directions<V>(directions + 3 * i));
            const IndexLanes<V> any = s.lands[0] | s.lands[1] | s.lands[2] | s.lands[3];
            for (int k = 0; k < W; ++k) reachable[i + k] = any[k] != 0;
            redo_flagged<V>(s.scalar, i, single);
        },
        single);
}

template <class V>
QTK_FORCE_INLINE void arm_ik_solutions_on(const Arm& arm, const double* directions,
                                          std::size_t count, double* joints) {
    constexpr int W = LaneWidth<V>::count;
    const LaneArm lane_arm(arm);
    const auto single = [&](std::size_t i) {
        ik_solutions_pose(arm, directions + 3 * i, joints + 8 * i);
    };
    in_blocks<W>(
        count,
        [&](std::size_t i) {
            prefetch_ahead<W, 3>(directions, i);
            prefetch_ahead<W, 8, true>(joints, i);
            const SolutionLanes<V> s = solution_lanes(lane_arm, load_directions<V>(directions + 3 * i));
            V slots[8];
            for (int slot = 0; slot < 4; ++slot) {
                slots[2 * slot] = found_or_nan(s.lands[slot], s.theta_a[slot]);
                slots[2 * slot + 1] = found_or_nan(s.lands[slot], s.theta_b[slot]);
            }
            store_poses<8>(slots, joints + 8 * i);
            redo_flagged<V>(s.scalar, i, single);
        },
        single);
}

template <class V>
QTK_FORCE_INLINE void arm_ik_on(const Arm& arm, const double* rotations, std::size_t count,
                                double* joints) {
    constexpr int W = LaneWidth<V>::count;
    const LaneArm lane_arm(arm);
    const auto single = [&](std::size_t i) { ik_pose(arm, rotations + 9 * i, joints + 2 * i); };
    in_blocks<W>(
        count,
        [&](std::size_t i) {
            prefetch_ahead<W, 9>(rotations, i);
            prefetch_ahead<W, 2, true>(joints, i);
            const OrientationChoiceLanes<V> r = ik_lanes(lane_arm, load_rotations<V>(rotations + 9 * i));
            store_poses<2>({found_or_nan(r.choice.found, r.choice.theta_a),
                            found_or_nan(r.choice.found, r.choice.theta_b)},
                           joints + 2 * i);
            redo_flagged<V>(r.scalar, i, single);
        },
        single);
}

template <class V>
QTK_FORCE_INLINE void arm_reachable_orientation_on(const Arm& arm, const double* rotations,
                                                   std::size_t count, bool* reachable) {
    constexpr int W = LaneWidth<V>::count;
    const LaneArm lane_arm(arm);
    const auto single = [&](std::size_t i) {
        reachable[i] = reachable_orientation_pose(arm, rotations + 9 * i);
    };
    in_blocks<W>(
        count,
        [&](std::size_t i) {
            prefetch_ahead<W, 9>(rotations, i);
            const OrientationChoiceLanes<V> r = ik_lanes(lane_arm, load_rotations<V>(rotations + 9 * i));
            for (int k = 0; k < W; ++k) reachable[i + k] = r.choice.found[k] != 0;
            redo_flagged<V>(r.scalar, i, single);
        },
        single);
}

template <class V>
QTK_FORCE_INLINE void arm_direction_jacobian_on(const Arm& arm, const double* theta_a,
                                                const double* theta_b, std::size_t count,
                                                double* jacobians) {
    constexpr int W = LaneWidth<V>::count;
    const LaneArm lane_arm(arm);
    in_blocks<W>(
        count,
        [&](std::size_t i) {
            prefetch_ahead<W, 1>(theta_a, i);
            prefetch_ahead<W, 1>(theta_b, i);
            prefetch_ahead<W, 6, true>(jacobians, i);
            const ApexRateLanes<V> r =
                apex_rate_lanes(lane_arm, load_lanes<V>(theta_a + i), load_lanes<V>(theta_b + i));
            store_poses<6>({found_or_nan(r.valid, r.apex_a.x), found_or_nan(r.valid, r.apex_b.x),
                            found_or_nan(r.valid, r.apex_a.y), found_or_nan(r.valid, r.apex_b.y),
                            found_or_nan(r.valid, r.apex_a.z), found_or_nan(r.valid, r.apex_b.z)},
                           jacobians + 6 * i);
        },
        [&](std::size_t i) {
            direction_jacobian_pose(arm, theta_a[i], theta_b[i], jacobians + 6 * i);
        });
}

template <class V>
QTK_FORCE_INLINE void arm_singular_values_on(const Arm& arm, const double* theta_a,
                                             const double* theta_b, std::size_t count,
                                             double* values) {
    constexpr int W = LaneWidth<V>::count;
    const LaneArm lane_arm(arm);
    in_blocks<W>(
        count,
        [&](std::size_t i) {
            prefetch_ahead<W, 1>(theta_a, i);
            prefetch_ahead<W, 1>(theta_b, i);
            prefetch_ahead<W, 2, true>(values, i);
            const ApexRateLanes<V> r =
                apex_rate_lanes(lane_arm, load_lanes<V>(theta_a + i), load_lanes<V>(theta_b + i));
            const SingularValueLanes<V> s = singular_value_lanes(r);
            store_poses<2>({found_or_nan(r.valid, s.largest), found_or_nan(r.valid, s.smallest)},
                           values + 2 * i);
        },
        [&](std::size_t i) { singular_values_pose(arm, theta_a[i], theta_b[i], values + 2 * i); });
}

template <class V>
QTK_FORCE_INLINE void arm_joint_rates_on(const Arm& arm, const double* theta_a,
                                         const double* theta_b, const double* direction_rates,
                                         double damping, std::size_t count, double* rates) {
    constexpr int W = LaneWidth<V>::count;
    const LaneArm lane_arm(arm);
    const auto single = [&](std::size_t i) {
        joint_rates_pose(arm, theta_a[i], theta_b[i], direction_rates + 3 * i, damping,
                         rates + 2 * i);
    };
    in_blocks<W>(
        count,
        [&](std::size_t i) {
            prefetch_ahead<W, 1>(theta_a, i);
            prefetch_ahead<W, 1>(theta_b, i);
            prefetch_ahead<W, 3>(direction_rates, i);
            prefetch_ahead<W, 2, true>(rates, i);
            const ApexRateLanes<V> r =
                apex_rate_lanes(lane_arm, load_lanes<V>(theta_a + i), load_lanes<V>(theta_b + i));
            const JointRateLanes<V> q =
                joint_rate_lanes(r, load_directions<V>(direction_rates + 3 * i), damping);
            store_poses<2>({found_or_nan(r.valid, q.rate_a), found_or_nan(r.valid, q.rate_b)},
                           rates + 2 * i);
            redo_flagged<V>(r.valid & ~q.common, i, single);
        },
        single);
}

template <class V>
QTK_FORCE_INLINE void neck_fk_on(const double* joints, std::size_t count, double* rotations) {
    constexpr int W = LaneWidth<V>::count;
    const auto single = [&](std::size_t i) { neck_fk_pose(joints + 3 * i, rotations + 9 * i); };
    in_blocks<W>(
        count,
        [&](std::size_t i) {
            prefetch_ahead<W, 3>(joints, i);
            prefetch_ahead<W, 9, true>(rotations, i);
            const double* pose = joints + 3 * i;
            const Vec3Lanes<V> angles = load_triples<V>(pose);
            const NeckFrameLanes<V> r = neck_fk_lanes(angles.x, angles.y, angles.z);
            store_rotations(r.rotation, rotations + 9 * i);
            redo_flagged<V>(~r.common, i, single);
        },
        single);
}

template <class V>
QTK_FORCE_INLINE void neck_angular_jacobian_on(const double* joints, std::size_t count,
                                               double* jacobians) {
    constexpr int W = LaneWidth<V>::count;
    in_blocks<W>(
        count,
        [&](std::size_t i) QTK_LAMBDA_INLINE {
            prefetch_ahead<W, 3>(joints, i);
            prefetch_ahead<W, 9, true>(jacobians, i);
            const double* pose = joints + 3 * i;
            const Vec3Lanes<V> angles = load_triples<V>(pose);
            store_rotations(neck_jacobian_lanes(angles.x, angles.y),
                            jacobians + 9 * i);
        },
        [&](std::size_t i) QTK_LAMBDA_INLINE { neck_jacobian_pose(joints + 3 * i, jacobians + 9 * i); });
}

template <class V>
QTK_FORCE_INLINE void neck_joint_rates_on(const double* joints, const double* omega,
                                          std::size_t count, double* rates) {
    constexpr int W = LaneWidth<V>::count;
    const auto single = [&](std::size_t i) QTK_LAMBDA_INLINE {
        neck_rates_pose(joints + 3 * i, omega + 3 * i, rates + 3 * i);
    };
    in_blocks<W>(
        count,
        [&](std::size_t i) QTK_LAMBDA_INLINE {
            prefetch_ahead<W, 3>(joints, i);
            prefetch_ahead<W, 3>(omega, i);
            prefetch_ahead<W, 3, true>(rates, i);
            const Vec3Lanes<V> angles = load_triples<V>(joints + 3 * i);
            const NeckRateLanes<V> r =
                neck_rate_lanes(angles.x, angles.y, angles.z, load_directions<V>(omega + 3 * i));
            const IndexLanes<V> free = ~r.locked;
            store_poses<3>({found_or_nan(free, r.yaw_rate), found_or_nan(free, r.pitch_rate),
                            found_or_nan(free, r.roll_rate)},
                           rates + 3 * i);
            redo_flagged<V>(~r.common, i, single);
        },
        single);
}

// Entries 0 to 3 and 5 to 8 of each rotation, of which the inverse reads
// r00, r10 and r20 to r22: two whole rows' worth of loads per pose.
template <class V>
QTK_FORCE_INLINE NeckIkEntries<V> load_neck_ik_entries(const double* rotations) {
    V first[4];
    V last[4];
    load_four_components(rotations, 9, first);
    load_four_components(rotations + 5, 9, last);
    return {first[0], first[3], last[1], last[2], last[3]};
}

template <class V>
QTK_FORCE_INLINE NeckAngleLanes<V> neck_ik_block(const double* rotations) {
    NeckAngleLanes<V> a[1];
    neck_ik_lanes<1>({load_neck_ik_entries<V>(rotations)}, a);
    return a[0];
}

// The neck's inverse over poses [0, count): NECK_IK_BLOCKS blocks of W at a
// time (neck_ik_lanes), then one, each through block(angles, first pose);
// the rest one by one through single(i).
inline constexpr int NECK_IK_BLOCKS = 2;

template <class V, class Block, class Single>
QTK_FORCE_INLINE void neck_ik_blocks(const double* rotations, std::size_t count, Block block,
                                     Single single) {
    constexpr int W = LaneWidth<V>::count;
    constexpr int B = NECK_IK_BLOCKS;
    std::size_t i = 0;
    for (; i + B * W <= count; i += B * W) {
        prefetch_ahead<B * W, 9>(rotations, i);
        NeckIkEntries<V> e[B];
        for (int b = 0; b < B; ++b) e[b] = load_neck_ik_entries<V>(rotations + 9 * (i + b * W));
        NeckAngleLanes<V> a[B];
        neck_ik_lanes<B>(e, a);
        for (int b = 0; b < B; ++b) block(a[b], i + b * W);
    }
    for (; i + W <= count; i += W) block(neck_ik_block<V>(rotations + 9 * i), i);
    for (; i < count; ++i) single(i);
}

template <class V>
QTK_FORCE_INLINE void neck_ik_on(const double* rotations, std::size_t count, double* angles) {
    constexpr int W = LaneWidth<V>::count;
    neck_ik_blocks<V>(
        rotations, count,
        [&](const NeckAngleLanes<V>& a, std::size_t i) {
            prefetch_ahead<W, 3, true>(angles, i);
            store_poses<3>({a.yaw, a.pitch, a.roll}, angles + 3 * i);
            if (!elementary::detail::all_lanes(a.solved)) {
                for (int k = 0; k < W; ++k) {
                    if (a.solved[k] == 0) fill_not_a_number(angles + 3 * (i + k), 3);
                }
            }
        },
        [&](std::size_t i) { neck_ik_pose(rotations + 9 * i, angles + 3 * i); });
}

template <class V>
QTK_FORCE_INLINE void neck_reachable_on(const double* rotations, std::size_t count,
                                        bool* reachable) {
    constexpr int W = LaneWidth<V>::count;
    neck_ik_blocks<V>(
        rotations, count,
        [&](const NeckAngleLanes<V>& a, std::size_t i) {
            const IndexLanes<V> found =
                a.solved & (a.yaw == a.yaw) & (a.pitch == a.pitch) & (a.roll == a.roll);
            for (int k = 0; k < W; ++k) reachable[i + k] = found[k] != 0;
        },
        [&](std::size_t i) { reachable[i] = neck_reachable_pose(rotations + 9 * i); });
}

#endif  // QTK_LANES

// The lane bodies of each function: two lanes compiled for the baseline
// (SSE2 or NEON), four in an AVX2 and FMA body; flattened, so that the lane
// code, written as small inline functions, is one loop.
#if QTK_LANES
#define QTK_LANE_BODIES(name, params, args)                                                \
    [[gnu::flatten]] void name##_two params noexcept { name##_on<elementary::detail::Lanes2> args; }
#else
#define QTK_LANE_BODIES(name, params, args)
#endif
#if QTK_LANES4
#define QTK_WIDE_BODIES(name, params, args) \
    QTK_AVX2_ENTRY void name##_four params noexcept { name##_on<elementary::detail::Lanes4> args; }
#else
#define QTK_WIDE_BODIES(name, params, args)
#endif
#define QTK_BODIES(name, params, args) QTK_LANE_BODIES(name, params, args) QTK_WIDE_BODIES(name, params, args)

QTK_BODIES(arm_fk,
           (const Arm& arm, const double* theta_a, const double* theta_b, std::size_t count,
            double* rotations),
           (arm, theta_a, theta_b, count, rotations))
QTK_BODIES(arm_direction,
           (const Arm& arm, const double* theta_a, const double* theta_b, std::size_t count,
            double* directions),
           (arm, theta_a, theta_b, count, directions))
QTK_BODIES(arm_reachable_joints,
           (const Arm& arm, const double* theta_a, const double* theta_b, std::size_t count,
            bool* reachable),
           (arm, theta_a, theta_b, count, reachable))
QTK_BODIES(arm_ik_from_direction,
           (const Arm& arm, const double* directions, const double* near, std::size_t count,
            double* joints),
           (arm, directions, near, count, joints))
QTK_BODIES(arm_reachable_direction,
           (const Arm& arm, const double* directions, std::size_t count, bool* reachable),
           (arm, directions, count, reachable))
QTK_BODIES(arm_ik_solutions,
           (const Arm& arm, const double* directions, std::size_t count, double* joints),
           (arm, directions, count, joints))
QTK_BODIES(arm_ik, (const Arm& arm, const double* rotations, std::size_t count, double* joints),
           (arm, rotations, count, joints))
QTK_BODIES(arm_reachable_orientation,
           (const Arm& arm, const double* rotations, std::size_t count, bool* reachable),
           (arm, rotations, count, reachable))
QTK_BODIES(arm_direction_jacobian,
           (const Arm& arm, const double* theta_a, const double* theta_b, std::size_t count,
            double* jacobians),
           (arm, theta_a, theta_b, count, jacobians))
QTK_BODIES(arm_singular_values,
           (const Arm& arm, const double* theta_a, const double* theta_b, std::size_t count,
            double* values),
           (arm, theta_a, theta_b, count, values))
QTK_BODIES(arm_joint_rates,
           (const Arm& arm, const double* theta_a, const double* theta_b,
            const double* direction_rates, double damping, std::size_t count, double* rates),
           (arm, theta_a, theta_b, direction_rates, damping, count, rates))
QTK_BODIES(neck_fk, (const double* joints, std::size_t count, double* rotations),
           (joints, count, rotations))
QTK_BODIES(neck_ik, (const double* rotations, std::size_t count, double* angles),
           (rotations, count, angles))
QTK_BODIES(neck_reachable, (const double* rotations, std::size_t count, bool* reachable),
           (rotations, count, reachable))
QTK_BODIES(neck_angular_jacobian, (const double* joints, std::size_t count, double* jacobians),
           (joints, count, jacobians))
QTK_BODIES(neck_joint_rates,
           (const double* joints, const double* omega, std::size_t count, double* rates),
           (joints, omega, count, rates))
#undef QTK_BODIES
#undef QTK_WIDE_BODIES
#undef QTK_LANE_BODIES

}  // namespace

}  // namespace detail

// The chosen lanes' body of name, or the scalar loop. One pose fills no
// lanes: it goes straight to the per-pose function (the loop), as a single
// pose from the arrays' package does, without the lane body's set-up.
#if QTK_LANES4
#define QTK_WIDE_CASE(name, args) \
    case Lanes::avx2:             \
        detail::name##_four args; \
        return;
#else
#define QTK_WIDE_CASE(name, args)
#endif
#if QTK_LANES
#define QTK_LANE_CASE(name, args) \
    case Lanes::sse2:             \
    case Lanes::neon:             \
        detail::name##_two args;  \
        return;
#else
#define QTK_LANE_CASE(name, args)
#endif
#define QTK_DISPATCH(name, args)                           \
    if (count > 1) {                                       \
        switch (detail::chosen_lanes()) {                  \
            QTK_WIDE_CASE(name, args)                      \
            QTK_LANE_CASE(name, args)                      \
            default:                                       \
                break;                                     \
        }                                                  \
    }

void arm_fk(const Arm& arm, const double* theta_a, const double* theta_b, std::size_t count,
            double* rotations) noexcept {
    QTK_DISPATCH(arm_fk, (arm, theta_a, theta_b, count, rotations))
    for (std::size_t i = 0; i < count; ++i) {
        detail::fk_pose(arm, theta_a[i], theta_b[i], rotations + 9 * i);
    }
}

void arm_direction(const Arm& arm, const double* theta_a, const double* theta_b,
                   std::size_t count, double* directions) noexcept {
    QTK_DISPATCH(arm_direction, (arm, theta_a, theta_b, count, directions))
    for (std::size_t i = 0; i < count; ++i) {
        detail::direction_pose(arm, theta_a[i], theta_b[i], directions + 3 * i);
    }
}

void arm_reachable_joints(const Arm& arm, const double* theta_a, const double* theta_b,
                          std::size_t count, bool* reachable) noexcept {
    QTK_DISPATCH(arm_reachable_joints, (arm, theta_a, theta_b, count, reachable))
    for (std::size_t i = 0; i < count; ++i) {
        reachable[i] = detail::reachable_joints_pose(arm, theta_a[i], theta_b[i]);
    }
}

void arm_ik_from_direction(const Arm& arm, const double* directions, const double* near,
                           std::size_t count, double* joints) noexcept {
    QTK_DISPATCH(arm_ik_from_direction, (arm, directions, near, count, joints))
    for (std::size_t i = 0; i < count; ++i) {
        detail::ik_from_direction_pose(arm, directions + 3 * i, detail::near_of(near, i),
                                       joints + 2 * i);
    }
}

void arm_reachable_direction(const Arm& arm, const double* directions, std::size_t count,
                             bool* reachable) noexcept {
    QTK_DISPATCH(arm_reachable_direction, (arm, directions, count, reachable))
    for (std::size_t i = 0; i < count; ++i) {
        reachable[i] = detail::reachable_direction_pose(arm, directions + 3 * i);
    }
}

void arm_ik_solutions(const Arm& arm, const double* directions, std::size_t count,
                      double* joints) noexcept {
    QTK_DISPATCH(arm_ik_solutions, (arm, directions, count, joints))
    for (std::size_t i = 0; i < count; ++i) {
        detail::ik_solutions_pose(arm, directions + 3 * i, joints + 8 * i);
    }
}

void arm_ik(const Arm& arm, const double* rotations, std::size_t count, double* joints) noexcept {
    QTK_DISPATCH(arm_ik, (arm, rotations, count, joints))
    for (std::size_t i = 0; i < count; ++i) {
        detail::ik_pose(arm, rotations + 9 * i, joints + 2 * i);
    }
}

void arm_reachable_orientation(const Arm& arm, const double* rotations, std::size_t count,
                               bool* reachable) noexcept {
    QTK_DISPATCH(arm_reachable_orientation, (arm, rotations, count, reachable))
    for (std::size_t i = 0; i < count; ++i) {
        reachable[i] = detail::reachable_orientation_pose(arm, rotations + 9 * i);
    }
}

void arm_direction_jacobian(const Arm& arm, const double* theta_a, const double* theta_b,
                            std::size_t count, double* jacobians) noexcept {
    QTK_DISPATCH(arm_direction_jacobian, (arm, theta_a, theta_b, count, jacobians))
    for (std::size_t i = 0; i < count; ++i) {
        detail::direction_jacobian_pose(arm, theta_a[i], theta_b[i], jacobians + 6 * i);
    }
}

void arm_singular_values(const Arm& arm, const double* theta_a, const double* theta_b,
                         std::size_t count, double* values) noexcept {
    QTK_DISPATCH(arm_singular_values, (arm, theta_a, theta_b, count, values))
    for (std::size_t i = 0; i < count; ++i) {
        detail::singular_values_pose(arm, theta_a[i], theta_b[i], values + 2 * i);
    }
}

void arm_joint_rates(const Arm& arm, const double* theta_a, const double* theta_b,
                     const double* direction_rates, double damping, std::size_t count,
                     double* rates) noexcept {
    QTK_DISPATCH(arm_joint_rates, (arm, theta_a, theta_b, direction_rates, damping, count, rates))
    for (std::size_t i = 0; i < count; ++i) {
        detail::joint_rates_pose(arm, theta_a[i], theta_b[i], direction_rates + 3 * i, damping,
                                 rates + 2 * i);
    }
}

void neck_fk(const double* joints, std::size_t count, double* rotations) noexcept {
    QTK_DISPATCH(neck_fk, (joints, count, rotations))
    for (std::size_t i = 0; i < count; ++i) {
        detail::neck_fk_pose(joints + 3 * i, rotations + 9 * i);
    }
}

void neck_ik(const double* rotations, std::size_t count, double* angles) noexcept {
    QTK_DISPATCH(neck_ik, (rotations, count, angles))
    for (std::size_t i = 0; i < count; ++i) {
        detail::neck_ik_pose(rotations + 9 * i, angles + 3 * i);
    }
}

void neck_reachable(const double* rotations, std::size_t count, bool* reachable) noexcept {
    QTK_DISPATCH(neck_reachable, (rotations, count, reachable))
    for (std::size_t i = 0; i < count; ++i) {
        reachable[i] = detail::neck_reachable_pose(rotations + 9 * i);
    }
}

void neck_angular_jacobian(const double* joints, std::size_t count, double* jacobians) noexcept {
    QTK_DISPATCH(neck_angular_jacobian, (joints, count, jacobians))
    for (std::size_t i = 0; i < count; ++i) {
        detail::neck_jacobian_pose(joints + 3 * i, jacobians + 9 * i);
    }
}

void neck_joint_rates(const double* joints, const double* omega, std::size_t count,
                      double* rates) noexcept {
    QTK_DISPATCH(neck_joint_rates, (joints, omega, count, rates))
    for (std::size_t i = 0; i < count; ++i) {
        detail::neck_rates_pose(joints + 3 * i, omega + 3 * i, rates + 3 * i);
    }
}

#undef QTK_DISPATCH
#undef QTK_LANE_CASE
#undef QTK_WIDE_CASE

}  // namespace quorbel::batch
