// The kinematics' FMA bodies, with and without their elementary functions
// paired in lanes, and the baseline bodies give the same doubles: the hot
// entry points over random poses (three arms, constructed each time; angles
// beyond the workspace, so refusals count too, and zeros, NaN and huge
// angles), computed on an FMA machine with the default lanes (paired), with
// scalar lanes (fused, unpaired), then after force_dekker_products() sends
// every call to the baseline bodies, compared bit for bit. Its own program:
// that last switch cannot be undone.
#include <cstdio>
#include <random>
#include <vector>

#include <quorbel/torso_kinematics.hpp>

#include <quorbel/batch.hpp>

#include "check.hpp"
#include "maths/elementary/fma_dispatch.hpp"

namespace {

using namespace quorbel;

// Every double of every result; an empty result as one NaN.
std::vector<double> results(const std::vector<Vec3>& poses) {
    const Arm arms[] = {Arm(default_left_geometry()), Arm(default_right_geometry()),
                        Arm(SphericalLinkGeometry{0.9, 0.6, Branch::negative, false})};
    std::vector<double> out;
    const auto put = [&](auto... v) { (out.push_back(v), ...); };
    const auto put_pair = [&](std::optional<JointPair> p) {
        p ? put(p->theta_a, p->theta_b) : put(NAN);
    };
    const auto put_mat = [&](const Mat3& m) {
        for (int i = 0; i < 9; ++i) put(m[i / 3][i % 3]);
    };
    for (const Vec3& p : poses) {
        for (const Arm& arm : arms) {
            const FkResult fk = forward_kinematics(arm, p.x, p.y);
            const std::optional<Vec3> v = pointing_direction(arm, p.x, p.y);
            v ? put(v->x, v->y, v->z) : put(NAN);
            if (!fk) continue;
            put_mat(fk->rotation);
            put(fk->v_2.x, fk->v_2.y, fk->v_2.z, fk->v_4.x, fk->v_4.y, fk->v_4.z);
            put_pair(ik(arm, fk->rotation));
            put_pair(ik_from_direction(arm, fk->v_3, std::nullopt));
            put_pair(ik_from_direction(arm, fk->v_3, JointPair{p.z, -p.z}));
        }
        const Mat3 r = neck_forward_kinematics({p.x, p.y, p.z});
        put_mat(r);
        const std::optional<NeckAngles> a = neck_inverse_kinematics(r);
        a ? put(a->yaw, a->pitch, a->roll) : put(NAN);
    }
    return out;
}

}  // namespace

int main() {
    if (!elementary::detail::use_fma()) {
        std::printf("SKIPPED: no FMA here, only the baseline bodies exist\n");
        return 77;
    }
    std::mt19937_64 rng(13);
    std::uniform_real_distribution<double> angle(-4.0, 4.0);
    std::vector<Vec3> poses(20000);
    for (Vec3& p : poses) p = {angle(rng), angle(rng), angle(rng)};
    poses.insert(poses.end(), {{0.0, 0.0, 0.0}, {-0.0, 1.0, -0.0}, {NAN, 0.5, 0.5},
                               {0.5, NAN, INFINITY}, {1e300, -1e22, 0x1p-1074}});
    const std::vector<double> paired = results(poses);
    CHECK(batch::use_lanes(batch::Lanes::scalar));
    const std::vector<double> fused = results(poses);
    elementary::detail::force_dekker_products();
    const std::vector<double> baseline = results(poses);
    for (const std::vector<double>* other : {&fused, &baseline}) {
        std::size_t differing = paired.size() == other->size() ? 0 : 1;
        for (std::size_t i = 0; differing == 0 && i < paired.size(); ++i) {
            differing += check::same_bits(paired[i], (*other)[i]) ? 0 : 1;
        }
        CHECK(differing == 0);
    }
    std::printf("%zu results compared; %d passed, %d failed\n", paired.size(), check::passed(),
                check::failed());
    return check::failed() == 0 ? 0 : 1;
}
