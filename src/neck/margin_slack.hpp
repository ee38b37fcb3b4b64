// How near the gimbal-lock margin the neck's joint rates decide by the
// rotation's entry rather than by the pitch alone: shared by the rates one
// pose at a time (neck_velocity.cpp) and on lanes (src/batch/neck_lanes.hpp).
#pragma once

namespace quorbel::detail {

// Within this of GIMBAL_LOCK_MARGIN, 1 - |sin pitch| may fall on the other
// side of it than 1 - |R[2][0]|: R[2][0] is -sin pitch times two entries
// that are 1 up to an ulp each, so the two differ by about 1e-15 at most.
inline constexpr double MARGIN_SLACK = 1e-12;

}  // namespace quorbel::detail
