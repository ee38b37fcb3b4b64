// The arms.json reader: a SphericalLinkGeometry from an object with named
// members or from an array of two to four elements.
//
// Each read_* function reads one value at the scanner's offset (whitespace
// first) and returns false after recording the first problem. Problems found
// by looking at the next byte point at that byte; problems found once a value
// has been read (a wrong type, an unknown word, a missing or repeated field)
// point at the end of what was read.
#include <quorbel/arm/arms_json.hpp>

#include <charconv>
#include <cstdint>
#include <system_error>

#include "arms_json/geometry_json_reader.hpp"
#include "arms_json/json_members.hpp"
#include "arms_json/json_scanner.hpp"

namespace quorbel {

namespace {

using json::END_OF_TEXT;
using json::is_digit;
using json::NumberToken;
using json::Scanner;
using json::Syntax;

constexpr const char* STRUCT_NAME = "struct SphericalLinkGeometry";
constexpr const char* EXPECTED_F64 = "f64";
constexpr const char* EXPECTED_BOOL = "a boolean";
constexpr const char* EXPECTED_VARIANT = "variant identifier";
constexpr const char* EXPECTED_UNIT = "unit";

void append_hex_escape(std::string* out, std::uint32_t cp) {
    char digits[8];
    const auto end = std::to_chars(digits, digits + sizeof digits, cp, 16).ptr;
    out->append("\\u{");
    out->append(digits, end);
    out->push_back('}');
}

// Characters written as \u{...} when a found string is quoted: controls,
// line and paragraph separators, invisible format characters, combining
// marks and noncharacters. Everything else printable is copied.
bool is_non_printing(std::uint32_t cp) {
    struct Range {
        std::uint32_t first, last;
    };
    static constexpr Range ranges[] = {
        {0x0000, 0x001F}, {0x007F, 0x009F}, {0x00AD, 0x00AD}, {0x0300, 0x036F},
        {0x0600, 0x0605}, {0x061C, 0x061C}, {0x06DD, 0x06DD}, {0x070F, 0x070F},
        {0x180E, 0x180E}, {0x200B, 0x200F}, {0x2028, 0x202E}, {0x2060, 0x206F},
        {0xFEFF, 0xFEFF}, {0xFFF9, 0xFFFB}, {0xFFFE, 0xFFFF},
    };
    for (const Range& r : ranges) {
        if (cp >= r.first && cp <= r.last) return true;
    }
    return false;
}

// The string in double quotes, with \" \\ \n \r \t \0 and \u{hex} escapes.
// `s` is well-formed UTF-8 (the scanner checked it).
std::string quote_string(const std::string& s) {
    std::string out = "\"";
    for (std::size_t i = 0; i < s.size();) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        std::size_t length = 1;
        std::uint32_t cp = c;
        if (c >= 0xF0) {
            length = 4;
            cp = c & 0x07;
        } else if (c >= 0xE0) {
            length = 3;
            cp = c & 0x0F;
        } else if (c >= 0xC0) {
            length = 2;
            cp = c & 0x1F;
        }
        for (std::size_t k = 1; k < length && i + k < s.size(); ++k) {
            cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
        }
        switch (cp) {
            case '"': out.append("\\\""); break;
            case '\\': out.append("\\\\"); break;
            case '\n': out.append("\\n"); break;
            case '\r': out.append("\\r"); break;
            case '\t': out.append("\\t"); break;
            case 0: out.append("\\0"); break;
            default:
                if (is_non_printing(cp)) {
                    append_hex_escape(&out, cp);
                } else {
                    out.append(s, i, length);
                }
        }
        i += length;
    }
    out.push_back('"');
    return out;
}

}  // namespace

namespace json {

namespace {

// ------------------------------------------------------------ wrong types

// The shortest digits that read back to `value`, written out in plain
// decimal notation (never an exponent) with ".0" on whole numbers, so that a
// float never reads as an integer: 1e23 is "100000000000000000000000.0",
// 2.5e-7 is "0.00000025".
void append_plain_decimal(double value, std::string* out) {
    char buffer[32];
    const auto end =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific).ptr;
    const std::string_view text(buffer, static_cast<std::size_t>(end - buffer));
    const std::size_t e = text.find('e');
    std::string_view mantissa = text.substr(0, e);
    if (!mantissa.empty() && mantissa[0] == '-') {
        out->push_back('-');
        mantissa.remove_prefix(1);
    }
    std::string digits;
    for (const char c : mantissa) {
        if (c != '.') digits.push_back(c);
    }
    int exponent = 0;
    const std::string_view exponent_text = text.substr(e + 1);
    std::from_chars(exponent_text.data() + (exponent_text[0] == '+' ? 1 : 0),
                    exponent_text.data() + exponent_text.size(), exponent);
    const int count = static_cast<int>(digits.size());
    if (exponent < 0) {
        out->append("0.");
        out->append(static_cast<std::size_t>(-exponent - 1), '0');
        out->append(digits);
    } else if (exponent + 1 >= count) {
        out->append(digits);
        out->append(static_cast<std::size_t>(exponent + 1 - count), '0');
        out->append(".0");
    } else {
        out->append(digits, 0, static_cast<std::size_t>(exponent + 1));
        out->push_back('.');
        out->append(digits, static_cast<std::size_t>(exponent + 1), std::string::npos);
    }
}

}  // namespace

// "integer `N`" for an integer token that fits 64 bits (unsigned, or signed
// when negative); "floating point `X`" for everything else, X being the
// shortest decimal digits that read back to the same double.
bool GeometryReader::describe_number(const NumberToken& token, std::string* found) {
    const std::string_view t = scanner_.text().substr(token.begin, token.end - token.begin);
    if (token.integer) {
        const bool negative = t[0] == '-';
        const std::string_view digits = t.substr(negative ? 1 : 0);
        std::uint64_t magnitude = 0;
        const auto r = std::from_chars(digits.data(), digits.data() + digits.size(), magnitude);
        const bool fits = r.ec == std::errc() &&
                          (!negative || (magnitude != 0 && magnitude <= (std::uint64_t{1} << 63)));
        if (fits) {
            *found = "integer `";
            found->append(t);
            found->push_back('`');
            return true;
        }
    }
    double value = 0.0;
    if (!scanner_.number_value(token, &value)) return false;
    *found = "floating point `";
    append_plain_decimal(value, found);
    found->push_back('`');
    return true;
}

// Reads the value at the offset only to describe it, then fails with
// "invalid type: <found>, expected <expected>" at the end of the value, or,
// for an array or object, just before its bracket. A value that cannot be
// read reports its own syntax problem instead.
bool GeometryReader::fail_invalid_type(const char* expected) {
    std::string found;
    const int c = scanner_.peek();
    switch (c) {
        case 'n':
            scanner_.advance();
            if (!scanner_.read_literal_rest("ull")) return false;
            found = "null";
            break;
        case 't':
            scanner_.advance();
            if (!scanner_.read_literal_rest("rue")) return false;
            found = "boolean `true`";
            break;
        case 'f':
            scanner_.advance();
            if (!scanner_.read_literal_rest("alse")) return false;
            found = "boolean `false`";
            break;
        case '"': {
            std::string content;
            if (!scanner_.read_string(&content)) return false;
            found = "string " + quote_string(content);
            break;
        }
        case '[': found = "sequence"; break;
        case '{': found = "map"; break;
        default: {
            if (c != '-' && !is_digit(c)) {
                return scanner_.fail_peeked(c, Syntax::eof_value, Syntax::expected_value);
            }
            NumberToken token{};
            if (!scanner_.scan_number(&token) || !describe_number(token, &found)) return false;
        }
    }
    return scanner_.fail_here("invalid type: " + found + ", expected " + expected);
}

// ------------------------------------------------------------ field values

bool GeometryReader::read_f64(double* out) {
    const int c = scanner_.peek_after_whitespace();
    if (c == END_OF_TEXT) return scanner_.fail_here(Syntax::eof_value);
    if (c != '-' && !is_digit(c)) return fail_invalid_type(EXPECTED_F64);
    NumberToken token{};
    return scanner_.scan_number(&token) && scanner_.number_value(token, out);
}

bool GeometryReader::read_bool(bool* out) {
    const int c = scanner_.peek_after_whitespace();
    if (c == END_OF_TEXT) return scanner_.fail_here(Syntax::eof_value);
    if (c == 't') {
        scanner_.advance();
        *out = true;
        return scanner_.read_literal_rest("rue");
    }
    if (c == 'f') {
        scanner_.advance();
        *out = false;
        return scanner_.read_literal_rest("alse");
    }
    return fail_invalid_type(EXPECTED_BOOL);
}

// A string naming a variant; any other word is an unknown variant, reported
// at the end of the string with the word as unescaped.
bool GeometryReader::read_branch_word(Branch* out) {
    std::string word;
    if (!scanner_.read_string(&word)) return false;
    if (word == "positive") {
        *out = Branch::positive;
    } else if (word == "negative") {
        *out = Branch::negative;
    } else {
        return scanner_.fail_here("unknown variant `" + word +
                                  "`, expected `positive` or `negative`");
    }
    return true;
}

bool GeometryReader::read_unit() {
    const int c = scanner_.peek_after_whitespace();
    if (c == END_OF_TEXT) return scanner_.fail_here(Syntax::eof_value);
    if (c != 'n') return fail_invalid_type(EXPECTED_UNIT);
    scanner_.advance();
    return scanner_.read_literal_rest("ull");
}

// "positive" / "negative", or {"positive": null} / {"negative": null}.
bool GeometryReader::read_branch(Branch* out) {
    int c = scanner_.peek_after_whitespace();
    if (c == '"') return read_branch_word(out);
    if (c != '{') return scanner_.fail_peeked(c, Syntax::eof_value, Syntax::expected_value);
    scanner_.advance();
    c = scanner_.peek_after_whitespace();
    if (c == END_OF_TEXT) return scanner_.fail_here(Syntax::eof_value);
    if (c != '"') return fail_invalid_type(EXPECTED_VARIANT);
    if (!read_branch_word(out)) return false;
    c = scanner_.peek_after_whitespace();
    if (c != ':') return scanner_.fail_peeked(c, Syntax::eof_object, Syntax::expected_colon);
    scanner_.advance();
    if (!read_unit()) return false;
    c = scanner_.peek_after_whitespace();
    if (c != '}') return scanner_.fail_peeked(c, Syntax::eof_object, Syntax::expected_value);
    scanner_.advance();
    return true;
}

// ------------------------------------------------------------ the two shapes

bool GeometryReader::read_object_shape(SphericalLinkGeometry* out) {
    scanner_.advance();  // '{'
    SphericalLinkGeometry g = default_left_geometry();
    static constexpr const char* names[4] = {"arm_arc", "coupler_arc", "branch", "mirror"};
    const bool ok = read_members(scanner_, names, 4, 0b0011, [&](unsigned index) {
        switch (index) {
            case 0: return read_f64(&g.arm_arc);
            case 1: return read_f64(&g.coupler_arc);
            case 2: return read_branch(&g.branch);
            default: return read_bool(&g.mirror);
        }
    });
    if (!ok) return false;
    *out = g;
    return true;
}

bool GeometryReader::read_array_shape(SphericalLinkGeometry* out) {
    scanner_.advance();  // '['
    SphericalLinkGeometry g = default_left_geometry();
    int count = 0;
    for (; count < 4; ++count) {
        int c = scanner_.peek_after_whitespace();
        if (c == END_OF_TEXT) return scanner_.fail_here(Syntax::eof_list);
        if (c == ']') break;
        if (count > 0) {
            if (c != ',') return scanner_.fail_at_byte(Syntax::expected_comma_or_bracket);
            scanner_.advance();
            c = scanner_.peek_after_whitespace();
            if (c == ']') return scanner_.fail_at_byte(Syntax::trailing_comma);
            if (c == END_OF_TEXT) return scanner_.fail_here(Syntax::eof_value);
        }
        bool ok = false;
        switch (count) {
            case 0: ok = read_f64(&g.arm_arc); break;
            case 1: ok = read_f64(&g.coupler_arc); break;
            case 2: ok = read_branch(&g.branch); break;
            default: ok = read_bool(&g.mirror); break;
        }
        if (!ok) return false;
    }

    // The array must end here.
    int c = scanner_.peek_after_whitespace();
    if (c == ',') {
        scanner_.advance();
        c = scanner_.peek_after_whitespace();
        if (c == ']') return scanner_.fail_at_byte(Syntax::trailing_comma);
        return scanner_.fail_at_byte(Syntax::trailing_characters);
    }
    if (c != ']') return scanner_.fail_peeked(c, Syntax::eof_list, Syntax::trailing_characters);
    scanner_.advance();
    if (count < 2) {
        return scanner_.fail_here("invalid length " + std::to_string(count) + ", expected " +
                                  STRUCT_NAME + " with 4 elements");
    }
    *out = g;
    return true;
}

bool GeometryReader::read_geometry(SphericalLinkGeometry* out) {
    const int c = scanner_.peek_after_whitespace();
    if (c == END_OF_TEXT) return scanner_.fail_here(Syntax::eof_value);
    if (c == '{') return read_object_shape(out);
    if (c == '[') return read_array_shape(out);
    return fail_invalid_type(STRUCT_NAME);
}

bool GeometryReader::read_document(SphericalLinkGeometry* out) {
    if (!read_geometry(out)) return false;
    if (scanner_.peek_after_whitespace() != END_OF_TEXT) {
        return scanner_.fail_at_byte(Syntax::trailing_characters);
    }
    return true;
}

}  // namespace json

std::variant<SphericalLinkGeometry, JsonError> read_arm_geometry_json(std::string_view text) {
    json::Scanner scanner(text);
    json::GeometryReader reader(scanner);
    SphericalLinkGeometry geometry{};
    if (reader.read_document(&geometry)) return geometry;
    const json::Failure& failure = scanner.failure();
    const json::Location where = json::locate(text, failure.offset, failure.at_byte);
    return JsonError{failure.description, where.line, where.column};
}

std::string error_message(const JsonError& error) {
    return "Invalid arms.json: " + error.description + " at line " + std::to_string(error.line) +
           " column " + std::to_string(error.column);
}

}  // namespace quorbel
