// The lanes the batch functions use (quorbel/batch.hpp), decided once per
// process by the CPU and changed only by use_lanes().
#pragma once

#include <quorbel/batch.hpp>

namespace quorbel::batch::detail {

Lanes chosen_lanes() noexcept;

}  // namespace quorbel::batch::detail
