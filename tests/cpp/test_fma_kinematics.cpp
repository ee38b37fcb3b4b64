// The kinematics' bodies compiled for FMA and for the baseline give the same
// doubles: every result of the hot entry points over random poses (three arm
// geometries, angles well beyond the workspace, so that refusals are covered
// too) is computed on an FMA machine, then again after
// force_dekker_products(), which sends every later call to the baseline
// bodies, and the two are compared bit for bit. Its own program, since that
// switch cannot be undone. Skipped (77) on a machine without FMA, where only
// the baseline bodies exist.
#include <cstdio>
#include <random>
#include <vector>

#include <quorbel/torso_kinematics.hpp>

#include "check.hpp"
#include "maths/elementary/fma_dispatch.hpp"

namespace {

using namespace quorbel;

// Every double a pose's calls give, refusals as NaN (their own bit pattern).
std::vector<double> results(const std::vector<Vec3>& poses) {
    const Arm arms[] = {Arm(default_left_geometry()), Arm(default_right_geometry()),
                        Arm(SphericalLinkGeometry{0.9, 0.6, Branch::negative, false})};
    std::vector<double> out;
    const auto put = [&](const auto& optional, auto&& write) {
        if (optional) {
            write(*optional);
        } else {
            out.push_back(NAN);
        }
    };
    const auto put_pair = [&](const std::optional<JointPair>& p) {
        put(p, [&](JointPair j) { out.insert(out.end(), {j.theta_a, j.theta_b}); });
    };
    const auto put_vec = [&](Vec3 v) { out.insert(out.end(), {v.x, v.y, v.z}); };
    const auto put_mat = [&](const Mat3& m) {
        for (int i = 0; i < 3; ++i) put_vec({m[i][0], m[i][1], m[i][2]});
    };
    for (const Vec3& p : poses) {
        for (const Arm& arm : arms) {
            const FkResult fk = forward_kinematics(arm, p.x, p.y);
            put(fk, [&](const FkSolution& s) {
                put_mat(s.rotation);
                put_vec(s.v_2);
                put_vec(s.v_4);
            });
            put(pointing_direction(arm, p.x, p.y), put_vec);
            if (fk) {
                put_pair(ik(arm, fk->rotation));
                put_pair(ik_from_direction(arm, fk->v_3, std::nullopt));
                put_pair(ik_from_direction(arm, fk->v_3, JointPair{p.z, -p.z}));
            }
        }
        const Mat3 r = neck_forward_kinematics(p.x, p.y, p.z);
        put_mat(r);
        put(neck_inverse_kinematics(r), [&](NeckAngles a) { put_vec({a.yaw, a.pitch, a.roll}); });
    }
    return out;
}

}  // namespace

int main() {
    if (!elementary::detail::use_fma()) {
        std::printf("SKIPPED: no FMA on this machine, only the baseline bodies exist\n");
        return 77;
    }
    std::mt19937_64 rng(13);
    std::uniform_real_distribution<double> angle(-4.0, 4.0);
    std::vector<Vec3> poses(20000);
    for (Vec3& p : poses) p = {angle(rng), angle(rng), angle(rng)};
    const std::vector<double> fused = results(poses);
    elementary::detail::force_dekker_products();
    const std::vector<double> baseline = results(poses);
    CHECK(fused.size() == baseline.size());
    std::size_t differing = 0;
    for (std::size_t i = 0; i < fused.size() && i < baseline.size(); ++i) {
        differing += check::same_bits(fused[i], baseline[i]) ? 0 : 1;
    }
    CHECK(differing == 0);
    std::printf("%zu results compared, %zu differ\n", fused.size(), differing);
    std::printf("%d passed, %d failed\n", check::passed(), check::failed());
    return check::failed() == 0 ? 0 : 1;
}
