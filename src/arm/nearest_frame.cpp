// The joint pair whose frame is nearest a measured rotation (the method is
// in the header).
#include <quorbel/arm/nearest_frame.hpp>

namespace quorbel {

std::optional<NearestFrame> ik_nearest_frame(const Arm&, const Mat3&, const IkOptions&) noexcept {
    return std::nullopt;
}

}  // namespace quorbel
