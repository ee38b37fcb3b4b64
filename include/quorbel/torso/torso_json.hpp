// torso.json: the torso's description as a versioned JSON document, read
// with the arms.json reader's exact errors and written back exactly.
//
//   {"format": "quorbel-torso", "version": 1,
//    "left_arm": ARM, "right_arm": ARM, "neck": NECK}
//   ARM   = {"geometry": <an arms.json record>, "mount": MOUNT,
//            "limits": {"theta_a": [lower, upper], "theta_b": [lower, upper]}}
//   NECK  = {"mount": MOUNT, "gaze_axis": [x, y, z],
//            "limits": {"yaw": [l, u], "pitch": [l, u], "roll": [l, u]}}
//   MOUNT = {"rotation": [[r00, r01, r02], [r10, r11, r12], [r20, r21, r22]],
//            "offset": [x, y, z]}
// Angles in radians, offsets in metres. "limits", "gaze_axis" (default
// [1, 0, 0]) and each of the neck's three intervals may be left out; every
// other member is required. docs/file_formats.md has the rest.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include <quorbel/arm/arms_json.hpp>
#include <quorbel/torso/torso.hpp>
#include <quorbel/export.hpp>

namespace quorbel {

inline constexpr int TORSO_JSON_VERSION = 1;

// Reads UTF-8 text; the first problem comes back with its line and column as
// in read_arm_geometry_json. Never throws except std::bad_alloc.
QUORBEL_API std::variant<Torso, JsonError> read_torso_json(std::string_view text);

// The document, two-space indented, every number in the shortest digits that
// read back to the same double, so that read_torso_json gives back an equal
// torso bit for bit. Empty when a number is NaN or infinite (JSON has no
// word for them). Allocates the text; never throws except std::bad_alloc.
QUORBEL_API std::optional<std::string> write_torso_json(const Torso& torso);

// "Invalid torso.json: {description} at line {line} column {column}".
QUORBEL_API std::string torso_error_message(const JsonError& error);

}  // namespace quorbel
