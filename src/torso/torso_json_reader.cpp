// The torso.json reader: the arms.json scanner and value readers, so that a
// problem is described and placed exactly as arms.json places it (a wrong
// type, a missing or repeated field at the end of what was read; a syntax
// problem at the byte refused).
#include <quorbel/torso/torso_json.hpp>

#include <cmath>
#include <string>

#include "arms_json/geometry_json_reader.hpp"
#include "arms_json/json_members.hpp"
#include "arms_json/json_scanner.hpp"

namespace quorbel {

// Named, as the core is compiled as one unit.
namespace torso_json {
namespace {

using json::END_OF_TEXT;
using json::Scanner;
using json::Syntax;

constexpr const char* FORMAT_NAME = "quorbel-torso";
constexpr const char* EXPECTED_VECTOR = "an array of 3 numbers";
constexpr const char* EXPECTED_ROTATION = "an array of 3 rows of 3 numbers";
constexpr const char* EXPECTED_INTERVAL = "an array of 2 numbers [lower, upper]";
// A mount's rotation and a gaze axis are checked to this, entry by entry.
constexpr double UNIT_TOLERANCE = 1e-9;

class TorsoReader {
public:
    explicit TorsoReader(Scanner& scanner) : scanner_(scanner), values_(scanner) {}

    bool read_document(Torso* out);

private:
    template <typename ReadField>
    bool read_object(const char* expected, const char* const* names, unsigned count,
                     unsigned required, ReadField read_field);
    template <typename ReadElement>
    bool read_array(unsigned count, const char* expected, ReadElement read_element);
    bool read_vec3(Vec3* out);
    bool read_rotation(Mat3* out);
    bool read_interval(AngleInterval* out);
    bool read_mount(Mount* out);
    bool read_arm(ArmDescription* out);
    bool read_joint_limits(JointLimits* out);
    bool read_neck(NeckDescription* out);
    bool read_neck_limits(NeckLimits* out);
    bool read_format();
    bool read_version();

    Scanner& scanner_;
    json::GeometryReader values_;
};

// An object whose members named in `names` are read by read_field(index)
// after their colon, each at most once; other members are skipped. The
// fields whose bit is set in `required` must be present.
template <typename ReadField>
bool TorsoReader::read_object(const char* expected, const char* const* names, unsigned count,
                              unsigned required, ReadField read_field) {
    int c = scanner_.peek_after_whitespace();
    if (c == END_OF_TEXT) return scanner_.fail_here(Syntax::eof_value);
    if (c != '{') return values_.fail_invalid_type(expected);
    scanner_.advance();
    return json::read_members(scanner_, names, count, required, read_field);
}

// An array of exactly `count` elements, each read by read_element(k); a
// wrong count is reported after the closing bracket, as arms.json does.
template <typename ReadElement>
bool TorsoReader::read_array(unsigned count, const char* expected, ReadElement read_element) {
    int c = scanner_.peek_after_whitespace();
    if (c == END_OF_TEXT) return scanner_.fail_here(Syntax::eof_value);
    if (c != '[') return values_.fail_invalid_type(expected);
    scanner_.advance();
    unsigned found = 0;
    for (;; ++found) {
        c = scanner_.peek_after_whitespace();
        if (c == END_OF_TEXT) return scanner_.fail_here(Syntax::eof_list);
        if (c == ']') break;
        if (found > 0) {
            if (c != ',') return scanner_.fail_at_byte(Syntax::expected_comma_or_bracket);
            scanner_.advance();
            c = scanner_.peek_after_whitespace();
            if (c == ']') return scanner_.fail_at_byte(Syntax::trailing_comma);
            if (c == END_OF_TEXT) return scanner_.fail_here(Syntax::eof_value);
        }
        if (!(found < count ? read_element(found) : scanner_.skip_value())) return false;
    }
    scanner_.advance();  // ']'
    if (found != count) {
        return scanner_.fail_here("invalid length " + std::to_string(found) + ", expected " +
                                  expected);
    }
    return true;
}

bool TorsoReader::read_vec3(Vec3* out) {
    double v[3] = {0.0, 0.0, 0.0};
    if (!read_array(3, EXPECTED_VECTOR, [&](unsigned k) { return values_.read_f64(&v[k]); })) {
        return false;
    }
    *out = {v[0], v[1], v[2]};
    return true;
}

bool is_proper_rotation(const Mat3& r) {
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            const double product = dot(column(r, i), column(r, j));
            if (!(std::fabs(product - (i == j ? 1.0 : 0.0)) <= UNIT_TOLERANCE)) return false;
        }
    }
    return dot(column(r, 0), cross(column(r, 1), column(r, 2))) > 0.0;
}

bool TorsoReader::read_rotation(Mat3* out) {
    Mat3 r = IDENTITY;
    const bool ok = read_array(3, EXPECTED_ROTATION, [&](unsigned i) {
        return read_array(3, EXPECTED_VECTOR,
                          [&](unsigned j) { return values_.read_f64(&r[i][j]); });
    });
    if (!ok) return false;
    if (!is_proper_rotation(r)) {
        return scanner_.fail_here(
            "rotation is not a proper rotation (orthonormal, determinant +1, to within 1e-9)");
    }
    *out = r;
    return true;
}

bool TorsoReader::read_interval(AngleInterval* out) {
    double bounds[2] = {0.0, 0.0};
    const bool ok = read_array(2, EXPECTED_INTERVAL,
                               [&](unsigned k) { return values_.read_f64(&bounds[k]); });
    if (!ok) return false;
    if (bounds[0] > bounds[1]) {
        return scanner_.fail_here("invalid interval: lower bound above upper bound");
    }
    *out = {bounds[0], bounds[1]};
    return true;
}

bool TorsoReader::read_mount(Mount* out) {
    static constexpr const char* names[] = {"rotation", "offset"};
    return read_object("struct Mount", names, 2, 0b11, [&](unsigned index) {
        return index == 0 ? read_rotation(&out->rotation) : read_vec3(&out->offset);
    });
}

bool TorsoReader::read_joint_limits(JointLimits* out) {
    static constexpr const char* names[] = {"theta_a", "theta_b"};
    return read_object("struct JointLimits", names, 2, 0b11, [&](unsigned index) {
        return read_interval(index == 0 ? &out->theta_a : &out->theta_b);
    });
}

bool TorsoReader::read_arm(ArmDescription* out) {
    static constexpr const char* names[] = {"geometry", "mount", "limits"};
    *out = ArmDescription{default_left_geometry(), IDENTITY_MOUNT, std::nullopt};
    return read_object("struct Arm", names, 3, 0b011, [&](unsigned index) {
        switch (index) {
            case 0: return values_.read_geometry(&out->geometry);
            case 1: return read_mount(&out->mount);
            default: {
                JointLimits limits{};
                if (!read_joint_limits(&limits)) return false;
                out->limits = limits;
                return true;
            }
        }
    });
}

bool TorsoReader::read_neck_limits(NeckLimits* out) {
    static constexpr const char* names[] = {"yaw", "pitch", "roll"};
    std::optional<AngleInterval>* targets[] = {&out->yaw, &out->pitch, &out->roll};
    return read_object("struct NeckLimits", names, 3, 0, [&](unsigned index) {
        AngleInterval interval{};
        if (!read_interval(&interval)) return false;
        *targets[index] = interval;
        return true;
    });
}

bool TorsoReader::read_neck(NeckDescription* out) {
    static constexpr const char* names[] = {"mount", "gaze_axis", "limits"};
    *out = NeckDescription{IDENTITY_MOUNT, DEFAULT_GAZE_AXIS, NeckLimits{}};
    return read_object("struct Neck", names, 3, 0b001, [&](unsigned index) {
        switch (index) {
            case 0: return read_mount(&out->mount);
            case 1: {
                if (!read_vec3(&out->gaze_axis)) return false;
                if (!(std::fabs(norm(out->gaze_axis) - 1.0) <= UNIT_TOLERANCE)) {
                    return scanner_.fail_here("gaze_axis is not a unit vector (to within 1e-9)");
                }
                return true;
            }
            default: return read_neck_limits(&out->limits);
        }
    });
}

bool TorsoReader::read_format() {
    const int c = scanner_.peek_after_whitespace();
    if (c == END_OF_TEXT) return scanner_.fail_here(Syntax::eof_value);
    if (c != '"') return values_.fail_invalid_type("a string");
    std::string word;
    if (!scanner_.read_string(&word)) return false;
    if (word != FORMAT_NAME) {
        return scanner_.fail_here("unknown format `" + word + "`, expected `" + FORMAT_NAME + "`");
    }
    return true;
}

// Only the integer 1 is this reader's version; a later version's document is
// refused rather than half read.
bool TorsoReader::read_version() {
    const int c = scanner_.peek_after_whitespace();
    if (c == END_OF_TEXT) return scanner_.fail_here(Syntax::eof_value);
    if (c != '-' && !json::is_digit(c)) return values_.fail_invalid_type("an integer");
    json::NumberToken token{};
    if (!scanner_.scan_number(&token)) return false;
    const std::string_view text = scanner_.text().substr(token.begin, token.end - token.begin);
    if (text != std::to_string(TORSO_JSON_VERSION)) {
        return scanner_.fail_here("unsupported version `" + std::string(text) + "`, expected " +
                                  std::to_string(TORSO_JSON_VERSION));
    }
    return true;
}

bool TorsoReader::read_document(Torso* out) {
    static constexpr const char* names[] = {"format", "version", "left_arm", "right_arm", "neck"};
    const bool ok = read_object("struct Torso", names, 5, 0b11111, [&](unsigned index) {
        switch (index) {
            case 0: return read_format();
            case 1: return read_version();
            case 2: return read_arm(&out->left_arm);
            case 3: return read_arm(&out->right_arm);
            default: return read_neck(&out->neck);
        }
    });
    if (!ok) return false;
    if (scanner_.peek_after_whitespace() != END_OF_TEXT) {
        return scanner_.fail_at_byte(Syntax::trailing_characters);
    }
    return true;
}

}  // namespace
}  // namespace torso_json

std::variant<Torso, JsonError> read_torso_json(std::string_view text) {
    json::Scanner scanner(text);
    torso_json::TorsoReader reader(scanner);
    Torso torso = example_torso();
    if (reader.read_document(&torso)) return torso;
    const json::Failure& failure = scanner.failure();
    const json::Location where = json::locate(text, failure.offset, failure.at_byte);
    return JsonError{failure.description, where.line, where.column};
}

std::string torso_error_message(const JsonError& error) {
    return "Invalid torso.json: " + error.description + " at line " + std::to_string(error.line) +
           " column " + std::to_string(error.column);
}

}  // namespace quorbel
