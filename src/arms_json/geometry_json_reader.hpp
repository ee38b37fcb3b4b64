// The arms.json reader's value readers, over a scanner that another reader
// may share: torso.json holds arm records and reports its problems in the
// same words and at the same places.
//
// Each read_* function reads one value at the scanner's offset (whitespace
// first) and returns false after recording the first problem. Problems found
// by looking at the next byte point at that byte; problems found once a value
// has been read (a wrong type, an unknown word, a missing or repeated field)
// point at the end of what was read.
#pragma once

#include <quorbel/arm/geometry.hpp>
#include "arms_json/json_scanner.hpp"

namespace quorbel::json {

class GeometryReader {
public:
    explicit GeometryReader(Scanner& scanner) : scanner_(scanner) {}

    // A whole arms.json document: one geometry and nothing after it.
    bool read_document(SphericalLinkGeometry* out);
    // One arm record, an object with named members or an array.
    bool read_geometry(SphericalLinkGeometry* out);
    bool read_f64(double* out);
    bool read_bool(bool* out);
    // Describes the value at the offset and fails with "invalid type: <found>,
    // expected <expected>" at its end (before the bracket of an array or object).
    bool fail_invalid_type(const char* expected);

private:
    bool read_object_shape(SphericalLinkGeometry* out);
    bool read_array_shape(SphericalLinkGeometry* out);
    bool read_branch(Branch* out);
    bool read_branch_word(Branch* out);
    bool read_unit();
    bool describe_number(const NumberToken& token, std::string* found);

    Scanner& scanner_;
};

}  // namespace quorbel::json
