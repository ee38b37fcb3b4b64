// The module's two classes, as type cells for the module initialisation.
#pragma once

#include "module/heap_types.hpp"

namespace quorbel::module {

extern TypeCell arm_type_cell;
extern TypeCell neck_type_cell;

}  // namespace quorbel::module
