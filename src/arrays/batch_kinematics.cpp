// The arm of batch_kinematics.hpp.
#include "arrays/batch_kinematics.hpp"

namespace quorbel::arrays {

Arm prepare_arm(double arm_arc, double coupler_arc, bool mirror, bool negative_branch) noexcept {
    return SphericalLinkGeometry{arm_arc, coupler_arc,
                                 negative_branch ? Branch::negative : Branch::positive, mirror};
}

}  // namespace quorbel::arrays
