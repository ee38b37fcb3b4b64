// torso.json: each kind of problem -> its exact message, line and column;
// the writer's text read back to the same torso bit for bit.
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <variant>

#include <quorbel/torso/torso_json.hpp>

#include "check.hpp"

using namespace quorbel;

namespace {

std::string message_of(const std::string& text) {
    const std::variant<Torso, JsonError> r = read_torso_json(text);
    const JsonError* e = std::get_if<JsonError>(&r);
    return e ? torso_error_message(*e) : "accepted";
}

// A document with one part replaced: `arm` and `neck` stand for the left
// arm's and the neck's members.
std::string document(const std::string& head, const std::string& arm, const std::string& neck) {
    const std::string mount = R"({"rotation": [[1, 0, 0], [0, 1, 0], [0, 0, 1]], "offset": [0, 0, 0]})";
    return "{" + head + R"("left_arm": {"geometry": [0.7, 0.5], "mount": )" + mount + arm +
           R"(}, "right_arm": {"geometry": [0.7, 0.5, "positive", true], "mount": )" + mount +
           R"(}, "neck": {"mount": )" + mount + neck + "}}";
}

const std::string HEAD = R"("format": "quorbel-torso", "version": 1, )";

void refused_documents_report_their_place() {
    struct Case {
        std::string text;
        const char* message;
    };
    const Case cases[] = {
        {"", "Invalid torso.json: EOF while parsing a value at line 1 column 0"},
        {"[]", "Invalid torso.json: invalid type: sequence, expected struct Torso at line 1 column 0"},
        {document(R"("format": "quorbel-arm", "version": 1, )", "", ""),
         "Invalid torso.json: unknown format `quorbel-arm`, expected `quorbel-torso` at line 1 column 24"},
        {document(R"("format": "quorbel-torso", "version": 2, )", "", ""),
         "Invalid torso.json: unsupported version `2`, expected 1 at line 1 column 40"},
        {document(R"("format": "quorbel-torso", "version": "1", )", "", ""),
         "Invalid torso.json: invalid type: string \"1\", expected an integer at line 1 column 42"},
        {document(R"("format": "quorbel-torso", )", "", ""),
         "Invalid torso.json: missing field `version` at line 1 column 369"},
        {document(HEAD + R"("version": 1, )", "", ""),
         "Invalid torso.json: duplicate field `version` at line 1 column 51"},
        {document(HEAD, R"(, "limits": {"theta_a": [1, 0], "theta_b": [0, 1]})", ""),
         "Invalid torso.json: invalid interval: lower bound above upper bound at line 1 column 186"},
        {document(HEAD, R"(, "limits": {"theta_a": [0, 1]})", ""),
         "Invalid torso.json: missing field `theta_b` at line 1 column 187"},
        {document(HEAD, R"(, "limits": {"theta_a": [0, 1, 2], "theta_b": [0, 1]})", ""),
         "Invalid torso.json: invalid length 3, expected an array of 2 numbers [lower, upper] at line 1 column 189"},
        {document(HEAD, "", R"(, "gaze_axis": [1, 1, 0])"),
         "Invalid torso.json: gaze_axis is not a unit vector (to within 1e-9) at line 1 column 405"},
        {document(HEAD, "", R"(, "gaze_axis": [1, 0, null])"),
         "Invalid torso.json: invalid type: null, expected f64 at line 1 column 407"},
        {document(HEAD, "", R"(, "limits": {"yaw": [-1, 1], "yaw": [0, 1]})"),
         "Invalid torso.json: duplicate field `yaw` at line 1 column 415"},
        {document(HEAD, "", R"(, "limits": {"pitch": [-1, 1],})"),
         "Invalid torso.json: trailing comma at line 1 column 412"},
        {std::string(R"({"format": "quorbel-torso", "version": 1, "left_arm": {"geometry": {"arm_arc": 0.7},)"),
         "Invalid torso.json: missing field `coupler_arc` at line 1 column 83"},
        {std::string("{\n  \"left_arm\": {\"mount\": {\"rotation\": [[1, 0, 0], [0, 1, 0], [0, 0, -1]]"),
         "Invalid torso.json: rotation is not a proper rotation (orthonormal, determinant +1, to within 1e-9) at line 2 column 71"},
        {std::string("{\n  \"neck\": {\"mount\": {\"rotation\": [[1, 0], [0, 1]]"),
         "Invalid torso.json: invalid length 2, expected an array of 3 numbers at line 2 column 40"},
        {std::string("{\n  \"neck\": {\"mount\": 7}"),
         "Invalid torso.json: invalid type: integer `7`, expected struct Mount at line 2 column 21"},
        {document(HEAD, "", "") + " x", "Invalid torso.json: trailing characters at line 1 column 385"},
    };
    for (const Case& c : cases) {
        const std::string got = message_of(c.text);
        CHECK(got == c.message || (std::printf("  got: %s\n", got.c_str()), false));
    }
    CHECK(message_of(document(HEAD, "", "")) == "accepted");
}

void written_torsos_read_back_bit_for_bit() {
    // The example, then variants with awkward doubles: subnormals, -0, the
    // largest, values with 17 significant digits, limits present and absent.
    std::uint64_t state = 12345;
    const auto awkward = [&]() {
        state = state * 6364136223846793005u + 1442695040888963407u;
        const double picks[] = {-0.0, 5e-324, 1.7976931348623157e308, 0.1, 1.0 / 3.0,
                                2.2250738585072014e-308, -123456.78901234567};
        const std::uint64_t k = state >> 60;
        if (k < 7) return picks[k];
        double v;
        std::uint64_t bits = (state >> 2) & 0x7FEFFFFFFFFFFFFFu;
        std::memcpy(&v, &bits, sizeof v);
        return v;
    };
    for (int k = 0; k < 40; ++k) {
        Torso torso = example_torso();
        if (k > 0) {
            torso.left_arm.geometry.arm_arc = awkward();
            torso.right_arm.geometry.coupler_arc = awkward();
            torso.left_arm.mount.offset = {awkward(), awkward(), awkward()};
            torso.neck.mount.offset.z = awkward();
            torso.right_arm.limits = k % 2 ? std::nullopt
                                           : std::optional<JointLimits>({{-awkward(), awkward()},
                                                                         {0.0, 0.0}});
            torso.neck.limits.pitch =
                k % 3 ? std::nullopt : std::optional<AngleInterval>({-1.0, awkward()});
            torso.right_arm.geometry.branch = k % 4 ? Branch::positive : Branch::negative;
        }
        const std::optional<std::string> text = write_torso_json(torso);
        CHECK(text.has_value());
        if (!text) continue;
        const std::variant<Torso, JsonError> back = read_torso_json(*text);
        const Torso* read = std::get_if<Torso>(&back);
        // An interval written with lower > upper is refused, as it should be.
        const bool ordered = !torso.right_arm.limits ||
                             torso.right_arm.limits->theta_a.lower <= torso.right_arm.limits->theta_a.upper;
        const bool pitch_ordered = !torso.neck.limits.pitch ||
                                   torso.neck.limits.pitch->lower <= torso.neck.limits.pitch->upper;
        if (!ordered || !pitch_ordered) {
            CHECK(read == nullptr);
            continue;
        }
        // Shortest round-trip digits tell every two doubles apart (-0 and 0
        // too), so the same text written back means the same bits.
        CHECK(read != nullptr && write_torso_json(*read) == text);
    }
    Torso broken = example_torso();
    broken.neck.mount.offset.y = std::numeric_limits<double>::quiet_NaN();
    CHECK(!write_torso_json(broken));
}

}  // namespace

void torso_json_tests() {
    refused_documents_report_their_place();
    written_torsos_read_back_bit_for_bit();
}
