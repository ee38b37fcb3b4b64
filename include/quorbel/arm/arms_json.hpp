// Reader of the arms.json text: one SphericalLinkGeometry as a JSON object
// with named members or as an array of two to four elements.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <variant>

#include <quorbel/arm/geometry.hpp>
#include <quorbel/export.hpp>

namespace quorbel {

// The first problem found: what it is, and where (line from 1, column as a
// count of bytes from the start of the line; the empty text gives column 0).
struct JsonError {
    std::string description;
    std::size_t line;
    std::size_t column;
};

// Reads UTF-8 text. Never throws except std::bad_alloc (strings being read,
// the bracket stack of a skipped value, the description). Uses bounded
// stack whatever the nesting depth.
QUORBEL_API std::variant<SphericalLinkGeometry, JsonError> read_arm_geometry_json(
    std::string_view text);

// "Invalid arms.json: {description} at line {line} column {column}": the
// message both Python faces raise for the error, and a plain report for C++
// programs. UTF-8, as the description may quote the document.
QUORBEL_API std::string error_message(const JsonError& error);

}  // namespace quorbel
