// Tests of the arms.json reader: accepted documents, and for every kind of
// problem a table of text -> exact description, line and column.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <variant>
#include <vector>

#include <quorbel/arm/arms_json.hpp>

using quorbel::Branch;
using quorbel::JsonError;
using quorbel::SphericalLinkGeometry;

namespace {

int passed = 0;
int failed = 0;

void report(bool ok, const std::string& what) {
    if (ok) {
        ++passed;
    } else {
        ++failed;
        std::printf("FAIL %s\n", what.c_str());
    }
}

bool same_bits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

std::string show(const std::variant<SphericalLinkGeometry, JsonError>& r) {
    if (const auto* e = std::get_if<JsonError>(&r)) {
        return e->description + " at line " + std::to_string(e->line) + " column " +
               std::to_string(e->column);
    }
    const auto& g = std::get<SphericalLinkGeometry>(r);
    char buf[128];
    std::snprintf(buf, sizeof buf, "{%.17g, %.17g, %s, %s}", g.arm_arc, g.coupler_arc,
                  g.branch == Branch::positive ? "positive" : "negative",
                  g.mirror ? "true" : "false");
    return buf;
}

// --------------------------------------------------------------- accepted

struct Accepted {
    std::string text;
    SphericalLinkGeometry expected;
};

void test_accepted() {
    const SphericalLinkGeometry right_negative{0.7, 0.5, Branch::negative, true};
    const Accepted table[] = {
        {R"({"arm_arc": 0.7, "coupler_arc": 0.5})", {0.7, 0.5, Branch::positive, false}},
        {R"({"arm_arc": 0.7, "coupler_arc": 0.5, "branch": "negative", "mirror": true})",
         right_negative},
        {R"([0.7, 0.5, "negative", true])", right_negative},
        {R"({"arm_arc": 0.7, "coupler_arc": 0.5, "branch": {"negative": null}, "mirror": true})",
         right_negative},
        {" [0.7,0.5,{ \"negative\" :\tnull } ,true]\r\n", right_negative},
        {R"({"mirror": true, "branch": "negative", "coupler_arc": 0.5, "arm_arc": 0.7})",
         right_negative},
        {"[1, 2]", {1.0, 2.0, Branch::positive, false}},
        {R"([1, 2, "positive"])", {1.0, 2.0, Branch::positive, false}},
        {R"([1, 2, {"positive": null}, false])", {1.0, 2.0, Branch::positive, false}},
        {R"({"arm\u005farc": 1, "coupler_arc": 2})", {1.0, 2.0, Branch::positive, false}},
        {R"({"arm_arc": 1, "coupler_arc": 2, "branch": "\u006eegative"})",
         {1.0, 2.0, Branch::negative, false}},
        // Other keys are skipped with any value, repeated or not, and the
        // look-alike keys are other keys.
        {R"({"name": "left", "Arm_Arc": 9, "arm_arc ": 9, "arm_arc": 1, "coupler_arc": 2,
             "name": {"a": [1, {"b": [[], {}]}, "x\"y", -0.5e+3, true, false, null]}})",
         {1.0, 2.0, Branch::positive, false}},
        {R"({"x": 1e400, "y": -1e-999, "arm_arc": 1, "coupler_arc": 2})",
         {1.0, 2.0, Branch::positive, false}},
        {" \t\r\n{\"arm_arc\":1,\"coupler_arc\":2} \t\r\n\n", {1.0, 2.0, Branch::positive, false}},
        {"[-0, 0]", {-0.0, 0.0, Branch::positive, false}},
        {"[-3, 0.25]", {-3.0, 0.25, Branch::positive, false}},
    };
    for (const Accepted& row : table) {
        const auto r = quorbel::read_arm_geometry_json(row.text);
        const auto* g = std::get_if<SphericalLinkGeometry>(&r);
        const bool ok = g && same_bits(g->arm_arc, row.expected.arm_arc) &&
                        same_bits(g->coupler_arc, row.expected.coupler_arc) &&
                        g->branch == row.expected.branch && g->mirror == row.expected.mirror;
        report(ok, "accepted " + row.text + " -> " + show(r));
    }
}

// Numbers: the nearest double, zero of the right sign on underflow.
void test_number_values() {
    struct Row {
        const char* number;
        double expected;
    };
    const Row table[] = {
        {"0.7", 0.7},
        {"7e-1", 0.7},
        {"70E-2", 0.7},
        {"0.07e+1", 0.7},
        {"1e-400", 0.0},
        {"-1e-400", -0.0},
        {"0e999999999999999999999", 0.0},
        {"4.9e-324", 4.9e-324},
        {"2.2250738585072011e-308", 2.2250738585072011e-308},
        {"1.7976931348623157e308", 1.7976931348623157e308},
        // Just below the halfway point to the next power of two: still finite.
        {"1.7976931348623158e308", 1.7976931348623157e308},
        {"9007199254740993", 9007199254740992.0},
        {"18446744073709551616", 18446744073709551616.0},
        {"0.1000000000000000055511151231257827021181583404541015625", 0.1},
        {"123456789012345678901234567890e-20", 1234567890.1234567890123456789},
    };
    for (const Row& row : table) {
        const std::string text = std::string("[") + row.number + ", 1]";
        const auto r = quorbel::read_arm_geometry_json(text);
        const auto* g = std::get_if<SphericalLinkGeometry>(&r);
        report(g && same_bits(g->arm_arc, row.expected), std::string("number ") + row.number +
                                                             " -> " + show(r));
    }
}

// --------------------------------------------------------------- refused

struct Refused {
    std::string text;
    std::string description;
    std::size_t line;
    std::size_t column;
};

void check_table(const char* kind, const std::vector<Refused>& table) {
    for (const Refused& row : table) {
        const auto r = quorbel::read_arm_geometry_json(row.text);
        const auto* e = std::get_if<JsonError>(&r);
        const bool ok = e && e->description == row.description && e->line == row.line &&
                        e->column == row.column;
        report(ok, std::string(kind) + ": " + row.text + "\n   got      " + show(r) +
                       "\n   expected " + row.description + " at line " +
                       std::to_string(row.line) + " column " + std::to_string(row.column));
    }
}

const std::string STRUCT_LENGTH = ", expected struct SphericalLinkGeometry with 4 elements";
const std::string UNKNOWN = "`, expected `positive` or `negative`";

void test_fields() {
    check_table("fields", {
        {R"({"coupler_arc": 0.5})", "missing field `arm_arc`", 1, 20},
        {"{}", "missing field `arm_arc`", 1, 2},
        {R"({"arm_arc": 1})", "missing field `coupler_arc`", 1, 14},
        {R"({"arm_arc": 1, "arm_arc": 2, "coupler_arc": 1})", "duplicate field `arm_arc`", 1, 24},
        // Refused at the key, before the colon or the value is looked at.
        {R"({"arm_arc": 1, "arm_arc" 2})", "duplicate field `arm_arc`", 1, 24},
        {R"({"arm_arc": 1, "arm_\u0061rc")", "duplicate field `arm_arc`", 1, 29},
        {R"({"coupler_arc": 1, "coupler_arc": [})", "duplicate field `coupler_arc`", 1, 32},
        {R"({"branch": "positive", "branch": "negative"})", "duplicate field `branch`", 1, 31},
        {R"({"mirror": true, "mirror": true})", "duplicate field `mirror`", 1, 25},
        {"[]", "invalid length 0" + STRUCT_LENGTH, 1, 2},
        {"[0.7]", "invalid length 1" + STRUCT_LENGTH, 1, 5},
        {"[ 0.7 \n ]", "invalid length 1" + STRUCT_LENGTH, 2, 2},
    });
}

void test_wrong_types() {
    check_table("types", {
        {R"({"arm_arc": 1, "coupler_arc": 1, "mirror": 1})",
         "invalid type: integer `1`, expected a boolean", 1, 44},
        {R"({"arm_arc": null, "coupler_arc": 1})", "invalid type: null, expected f64", 1, 16},
        {"null", "invalid type: null, expected struct SphericalLinkGeometry", 1, 4},
        {"5", "invalid type: integer `5`, expected struct SphericalLinkGeometry", 1, 1},
        {" -5 ", "invalid type: integer `-5`, expected struct SphericalLinkGeometry", 1, 3},
        {"1.5", "invalid type: floating point `1.5`, expected struct SphericalLinkGeometry", 1, 3},
        {"true", "invalid type: boolean `true`, expected struct SphericalLinkGeometry", 1, 4},
        {"[1, 2, false, false]", "expected value", 1, 8},
        {"[1, 2, \"positive\", 0]", "invalid type: integer `0`, expected a boolean", 1, 20},
        {"[1, 2, \"positive\", \"true\"]",
         "invalid type: string \"true\", expected a boolean", 1, 25},
        {"[true, 2]", "invalid type: boolean `true`, expected f64", 1, 5},
        {"[\"0.7\", 2]", "invalid type: string \"0.7\", expected f64", 1, 6},
        {"[1, [2]]", "invalid type: sequence, expected f64", 1, 4},
        {"[1, {}]", "invalid type: map, expected f64", 1, 4},
        {"[1, 2, \"positive\", {}]", "invalid type: map, expected a boolean", 1, 19},
        {"[1, 2, \"positive\", null]", "invalid type: null, expected a boolean", 1, 23},
        {"[1, 2, \"positive\", -0]", "invalid type: floating point `-0.0`, expected a boolean", 1, 21},
        {"[1, 2, \"positive\", 2.5e-7]",
         "invalid type: floating point `0.00000025`, expected a boolean", 1, 25},
        {"[1, 2, \"positive\", 1e400]", "number out of range", 1, 24},
        {"18446744073709551615",
         "invalid type: integer `18446744073709551615`, expected struct SphericalLinkGeometry", 1,
         20},
        {"-9223372036854775808",
         "invalid type: integer `-9223372036854775808`, expected struct SphericalLinkGeometry", 1,
         20},
        {"-9223372036854775809",
         "invalid type: floating point `-9223372036854776000.0`, expected struct "
         "SphericalLinkGeometry",
         1, 20},
        {"100000000000000000000000",
         "invalid type: floating point `100000000000000000000000.0`, expected struct SphericalLinkGeometry", 1, 24},
        // Found strings are quoted with escapes.
        {R"("a\"b\\c\n\t\u0000\u001b\u00e9")",
         R"(invalid type: string "a\"b\\c\n\t\0\u{1b}é", expected struct SphericalLinkGeometry)",
         1, 31},
    });
}

void test_branch() {
    const std::string doc = R"({"arm_arc": 1, "coupler_arc": 1, "branch": )";  // 43 bytes
    check_table("branch", {
        {doc + "\"Positive\"}", "unknown variant `Positive" + UNKNOWN, 1, 53},
        {doc + "\"\"}", "unknown variant `" + UNKNOWN, 1, 45},
        // The word is shown as unescaped.
        {doc + R"("neg\u0041tive"})", "unknown variant `negAtive" + UNKNOWN, 1, 58},
        {doc + R"({"Negative": null}})", "unknown variant `Negative" + UNKNOWN, 1, 54},
        {doc + "1}", "expected value", 1, 44},
        {doc + "null}", "expected value", 1, 44},
        {doc + "[\"negative\"]}", "expected value", 1, 44},
        {doc + "{}}", "expected value", 1, 45},
        {doc + "{1: null}}", "invalid type: integer `1`, expected variant identifier", 1, 45},
        {doc + "{[]: null}}", "invalid type: sequence, expected variant identifier", 1, 44},
        {doc + R"({"negative": 0}})", "invalid type: integer `0`, expected unit", 1, 57},
        {doc + R"({"negative": {}}})", "invalid type: map, expected unit", 1, 56},
        {doc + R"({"negative" null}})", "expected `:`", 1, 56},
        {doc + R"({"negative": null, "positive": null}})", "expected value", 1, 61},
        {doc + R"({"negative": null)", "EOF while parsing an object", 1, 60},
        {doc + "{", "EOF while parsing a value", 1, 44},
        {doc, "EOF while parsing a value", 1, 43},
    });
}

void test_syntax() {
    check_table("syntax", {
        {"", "EOF while parsing a value", 1, 0},
        {" \n\t", "EOF while parsing a value", 2, 1},
        {"\xEF\xBB\xBF{}", "expected value", 1, 1},
        {"x", "expected value", 1, 1},
        {"nul", "EOF while parsing a value", 1, 3},
        {"nulL", "expected ident", 1, 4},
        {"{", "EOF while parsing an object", 1, 1},
        {"[", "EOF while parsing a list", 1, 1},
        {"[1", "EOF while parsing a list", 1, 2},
        {"[1,", "EOF while parsing a value", 1, 3},
        {"{\"arm_arc\": 1,", "EOF while parsing a value", 1, 14},
        {"{\"arm_arc\"", "EOF while parsing an object", 1, 10},
        {"{\"arm_arc\":", "EOF while parsing a value", 1, 11},
        {"{\"arm_arc\": 1", "EOF while parsing an object", 1, 13},
        {"{\"arm_arc\" 1}", "expected `:`", 1, 12},
        {"{\"arm_arc\": 1 \"coupler_arc\": 1}", "expected `,` or `}`", 1, 15},
        {"{1: 2}", "key must be a string", 1, 2},
        {"{\"arm_arc\": 1, 2: 3}", "key must be a string", 1, 16},
        {"{\"arm_arc\": 1, \"coupler_arc\": 1,}", "trailing comma", 1, 33},
        {"[0.7, 0.5,]", "trailing comma", 1, 11},
        {"[0.7, 0.5 0.2]", "expected `,` or `]`", 1, 11},
        {"[0.7, 0.5, \"positive\", false, 0]", "trailing characters", 1, 31},
        {"[0.7, 0.5, \"positive\", false,]", "trailing comma", 1, 30},
        {"[0.7, 0.5, \"positive\", false,", "trailing characters", 1, 29},
        {"[0.7, 0.5, \"positive\", false x", "trailing characters", 1, 30},
        {"[0.7, 0.5, \"positive\", false", "EOF while parsing a list", 1, 28},
        {"{\"arm_arc\": 1, \"coupler_arc\": 1} x", "trailing characters", 1, 34},
        {"[1, 2] [", "trailing characters", 1, 8},
    });
}

void test_numbers() {
    check_table("numbers", {
        {"[+1, 2]", "expected value", 1, 2},
        {"[01, 2]", "invalid number", 1, 3},
        {"[-01, 2]", "invalid number", 1, 4},
        {"[.5, 2]", "expected value", 1, 2},
        {"[1., 2]", "invalid number", 1, 4},
        {"[1.e5, 2]", "invalid number", 1, 4},
        {"[1e, 2]", "invalid number", 1, 4},
        {"[1e+, 2]", "invalid number", 1, 5},
        {"[-, 2]", "invalid number", 1, 3},
        {"[-", "EOF while parsing a value", 1, 2},
        {"[1.", "EOF while parsing a value", 1, 3},
        {"[1e-", "EOF while parsing a value", 1, 4},
        {"[NaN, 2]", "expected value", 1, 2},
        {"[-Infinity, 2]", "invalid number", 1, 3},
        {"[1e400, 2]", "number out of range", 1, 6},
        {"[-1e400, 2]", "number out of range", 1, 7},
        {"[1.797693134862315808e308, 2]", "number out of range", 1, 25},
        {"[1e99999999999999999999, 2]", "number out of range", 1, 23},
        {"[1, 0x10]", "expected `,` or `]`", 1, 6},
        // Ignored numbers are checked for grammar only.
        {"{\"x\": 01}", "invalid number", 1, 8},
        {"{\"x\": [1.]}", "invalid number", 1, 10},
    });
}

void test_strings() {
    check_table("strings", {
        {"{\"arm_arc", "EOF while parsing a string", 1, 9},
        {"{\"x\": \"abc", "EOF while parsing a string", 1, 10},
        {"{\"x\": \"a\\", "EOF while parsing a string", 1, 9},
        {"{\"x\": \"a\\q\"}", "invalid escape", 1, 10},
        {"{\"x\": \"\\u12g4\"}", "invalid escape", 1, 12},
        {"{\"x\": \"\\u12", "EOF while parsing a string", 1, 11},
        // A key is read, so its escapes must make characters; a skipped
        // string is held to the grammar only.
        {"{\"\\uDC00\": 1}", "lone leading surrogate in hex escape", 1, 8},
        {"{\"\\uD800\\u0041\": 1}", "lone leading surrogate in hex escape", 1, 14},
        {"{\"\\uD800x\": 1}", "unexpected end of hex escape", 1, 9},
        {"{\"\\uD800\\n\": 1}", "unexpected end of hex escape", 1, 10},
        {"[1, 2, \"\\uDC00\"]", "lone leading surrogate in hex escape", 1, 14},
        {"{\"x\": [\"\\uDC00\", {\"\\uD800\": \"\\uD800x\"}]}",
         "missing field `arm_arc`", 1, 40},
        {"{\"x\": \"\\uD800", "EOF while parsing a string", 1, 13},
        {"{\"x\": \"a\tb\"}", "control character (\\u0000-\\u001F) found while parsing a string", 1,
         9},
        // A refused line feed is counted in the line it ends.
        {"{\"x\": \"a\nb\"}", "control character (\\u0000-\\u001F) found while parsing a string",
         1, 9},
        {"{\"x\": \"\xC3\"}", "invalid unicode code point", 1, 9},
        {"{\"x\": \"\xC0\xAF\"}", "invalid unicode code point", 1, 8},
        {"{\"x\": \"\xED\xA0\x80\"}", "invalid unicode code point", 1, 9},
        {"{\"x\": \"\xF4\x90\x80\x80\"}", "invalid unicode code point", 1, 9},
        {"{\"x\": \"\xE2\x82", "EOF while parsing a string", 1, 9},
        {"{\"x\": \"\xF0\x9F\x98\x80\", \"arm_arc\": 1}", "missing field `coupler_arc`", 1, 27},
    });
}

// Lines end at line feeds; columns count bytes, so a multi-byte character
// before an error widens the column.
void test_positions() {
    check_table("positions", {
        {"{\n  \"arm_arc\": true,\n}", "invalid type: boolean `true`, expected f64", 2, 17},
        {"{\r\n  \"arm_arc\": true,\r\n}", "invalid type: boolean `true`, expected f64", 2, 17},
        {"{\"arm_arc\": 1, \"coupler_arc\": 1,\n\n}", "trailing comma", 3, 1},
        {"{\"arm_arc\": 1,\n\"coupler_arc\": 1\n", "EOF while parsing an object", 3, 0},
        {"{\"é\": 1, \"coupler_arc\": 1}", "missing field `arm_arc`", 1, 27},
        {"{\"x\": [1,\n  2,\n  [3, 4}]}", "expected `,` or `]`", 3, 8},
        {"\n\n\n[0.7]", "invalid length 1" + STRUCT_LENGTH, 4, 5},
    });
}

// Every strict prefix of a valid document fails at the end of the text with
// an EOF description, whatever was being read there.
void test_prefixes() {
    const std::string documents[] = {
        "{\"arm_arc\": 0.7e-1,\n \"coupler_arc\": -5, \"branch\": {\"negative\": null},"
        " \"x\": [{\"y\": \"\\u00e9\\uD834\\uDD1E\"}, true, null, false], \"mirror\": true}",
        "[0.7, 0.5, \"negative\", false]",
    };
    for (const std::string& doc : documents) {
        bool all_ok = true;
        std::string first_bad;
        for (std::size_t n = 0; n < doc.size(); ++n) {
            const std::string prefix = doc.substr(0, n);
            const auto r = quorbel::read_arm_geometry_json(prefix);
            const auto* e = std::get_if<JsonError>(&r);
            const std::size_t last_lf = prefix.rfind('\n');
            const std::size_t line = 1 + static_cast<std::size_t>(
                                             std::count(prefix.begin(), prefix.end(), '\n'));
            const std::size_t column =
                last_lf == std::string::npos ? prefix.size() : prefix.size() - last_lf - 1;
            const bool ok = e && e->description.rfind("EOF while parsing", 0) == 0 &&
                            e->line == line && e->column == column;
            if (!ok && all_ok) {
                all_ok = false;
                first_bad = prefix + " -> " + show(r);
            }
        }
        report(all_ok, "prefix of " + doc + ": " + first_bad);
        report(std::holds_alternative<SphericalLinkGeometry>(quorbel::read_arm_geometry_json(doc)),
               "whole document " + doc);
    }
}

// Ignored values nest to any depth in bounded stack.
void test_deep_nesting() {
    const std::size_t depth = 1000000;
    const std::string arrays = std::string(depth, '[') + std::string(depth, ']');
    std::string objects;
    for (std::size_t i = 0; i < depth; ++i) objects += "{\"a\":";
    objects += "0" + std::string(depth, '}');
    std::string mixed;
    for (std::size_t i = 0; i < depth / 2; ++i) mixed += "[{\"k\": ";
    mixed += "[]";
    for (std::size_t i = 0; i < depth / 2; ++i) mixed += "}]";

    for (const std::string* nested : std::vector<const std::string*>{&arrays, &objects, &mixed}) {
        const std::string doc = "{\"x\": " + *nested + ", \"arm_arc\": 1, \"coupler_arc\": 2}";
        const auto r = quorbel::read_arm_geometry_json(doc);
        const auto* g = std::get_if<SphericalLinkGeometry>(&r);
        report(g && g->arm_arc == 1.0 && g->coupler_arc == 2.0,
               "deep ignored value accepted, got " + show(r).substr(0, 200));
    }
    check_table("deep", {
        {"{\"x\": " + std::string(depth, '['), "EOF while parsing a list", 1, depth + 6},
        {"{\"x\": " + std::string(depth, '[') + "}", "expected value", 1, depth + 7},
        {"{\"x\": " + std::string(depth, '[') + "1}", "expected `,` or `]`", 1, depth + 8},
        {"{\"x\": " + objects.substr(0, objects.size() - 1) + "]",
         "expected `,` or `}`", 1, objects.size() + 6},
    });
}

}  // namespace

int main() {
    test_accepted();
    test_number_values();
    test_fields();
    test_wrong_types();
    test_branch();
    test_syntax();
    test_numbers();
    test_strings();
    test_positions();
    test_prefixes();
    test_deep_nesting();
    std::printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}
