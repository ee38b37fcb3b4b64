// The whole torso aimed at one point: each mechanism on its own.
#include <quorbel/torso/look_at.hpp>

namespace quorbel {

TorsoAim look_at(const Torso& torso, Vec3 target, std::optional<TorsoPose> previous) noexcept {
    TorsoAim aim;
    aim.left_arm = look_at(torso.left_arm, target,
                           previous ? std::optional<JointPair>(previous->left_arm) : std::nullopt);
    aim.right_arm = look_at(torso.right_arm, target,
                            previous ? std::optional<JointPair>(previous->right_arm) : std::nullopt);
    aim.neck = look_at(torso.neck, target,
                       previous ? std::optional<NeckAngles>(previous->neck) : std::nullopt);
    return aim;
}

}  // namespace quorbel
