// libFuzzer target for the arms.json reader. Besides the sanitizers, it
// aborts when a result breaks what the reader promises:
// - an accepted document gives finite arcs, a known branch, and reads back to
//   the same record when written out again in either shape;
// - a refused one has a description from the known set, a line that exists
//   and a column within that line;
// - the same text always gives the same answer;
// - it agrees with a small independent JSON validator: text that is not JSON
//   is never accepted, and JSON text is never refused with a syntax
//   description other than the few that the format also uses for values it
//   does not want.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <variant>

#include <quorbel/arm/arms_json.hpp>

namespace {

using quorbel::Branch;
using quorbel::JsonError;
using quorbel::SphericalLinkGeometry;

[[noreturn]] void violated(const char* what, std::string_view text) {
    std::fprintf(stderr, "invariant violated: %s\ninput (%zu bytes): %.*s\n", what, text.size(),
                 static_cast<int>(std::min<std::size_t>(text.size(), 512)), text.data());
    std::abort();
}

bool known_description(const std::string& d) {
    static const char* const fixed[] = {
        "EOF while parsing a value",
        "EOF while parsing an object",
        "EOF while parsing a list",
        "EOF while parsing a string",
        "expected `:`",
        "expected `,` or `}`",
        "expected `,` or `]`",
        "expected value",
        "expected ident",
        "key must be a string",
        "trailing comma",
        "trailing characters",
        "invalid number",
        "number out of range",
        "invalid escape",
        "invalid unicode code point",
        "control character (\\u0000-\\u001F) found while parsing a string",
        "lone leading surrogate in hex escape",
        "unexpected end of hex escape",
        "missing field `arm_arc`",
        "missing field `coupler_arc`",
        "duplicate field `arm_arc`",
        "duplicate field `coupler_arc`",
        "duplicate field `branch`",
        "duplicate field `mirror`",
        "invalid length 0, expected struct SphericalLinkGeometry with 4 elements",
        "invalid length 1, expected struct SphericalLinkGeometry with 4 elements",
    };
    for (const char* f : fixed) {
        if (d == f) return true;
    }
    static const char* const expectations[] = {
        ", expected f64", ", expected a boolean", ", expected struct SphericalLinkGeometry",
        ", expected variant identifier", ", expected unit"};
    const auto starts = [&](std::string_view p) { return d.compare(0, p.size(), p) == 0; };
    const auto ends = [&](std::string_view s) {
        return d.size() >= s.size() && d.compare(d.size() - s.size(), s.size(), s) == 0;
    };
    if (starts("invalid type: ")) {
        for (const char* e : expectations) {
            if (ends(e)) return true;
        }
        return false;
    }
    return starts("unknown variant `") && ends("`, expected `positive` or `negative`");
}

void check_position(const JsonError& e, std::string_view text) {
    if (e.description.empty() || !known_description(e.description)) {
        violated("unknown description", text);
    }
    if (e.line < 1) violated("line below 1", text);
    // Find the line: its bytes, the terminating line feed included.
    std::size_t start = 0;
    for (std::size_t line = 1; line < e.line; ++line) {
        const std::size_t lf = text.find('\n', start);
        if (lf == std::string_view::npos) violated("line beyond the text", text);
        start = lf + 1;
    }
    const std::size_t lf = text.find('\n', start);
    const std::size_t length = (lf == std::string_view::npos ? text.size() : lf + 1) - start;
    if (e.column > length) violated("column beyond the line", text);
    if (text.empty() && e.column != 0) violated("empty text with a nonzero column", text);
}

// An independent recursive-descent check of RFC 8259 text (UTF-8 in strings;
// a \u escape is any four hex digits, paired as UTF-16 surrogates or not).
// Recursion is fine here: inputs are at most a few kilobytes, and deeper
// nesting is reported as unknown.
class Validator {
public:
    explicit Validator(std::string_view t) : t_(t) {}
    // 1: JSON, 0: not JSON, -1: too deep to tell.
    int check() {
        ws();
        if (!value(0)) return too_deep_ ? -1 : 0;
        ws();
        return i_ == t_.size() ? 1 : 0;
    }

private:
    int at() const { return i_ < t_.size() ? static_cast<unsigned char>(t_[i_]) : -1; }
    bool eat(int c) {
        if (at() != c) return false;
        ++i_;
        return true;
    }
    void ws() {
        while (at() == ' ' || at() == '\t' || at() == '\n' || at() == '\r') ++i_;
    }
    bool word(const char* w) {
        for (; *w; ++w) {
            if (!eat(static_cast<unsigned char>(*w))) return false;
        }
        return true;
    }
    bool digits() {
        if (!(at() >= '0' && at() <= '9')) return false;
        while (at() >= '0' && at() <= '9') ++i_;
        return true;
    }
    bool number() {
        eat('-');
        if (!eat('0') && !digits()) return false;
        if (eat('.') && !digits()) return false;
        if (eat('e') || eat('E')) {
            if (!eat('+')) eat('-');
            if (!digits()) return false;
        }
        return true;
    }
    bool hex4(unsigned* u) {
        *u = 0;
        for (int k = 0; k < 4; ++k) {
            const int c = at();
            int d = -1;
            if (c >= '0' && c <= '9') d = c - '0';
            if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
            if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
            if (d < 0) return false;
            *u = *u * 16 + static_cast<unsigned>(d);
            ++i_;
        }
        return true;
    }
    bool string() {
        if (!eat('"')) return false;
        for (;;) {
            const int c = at();
            if (c < 0x20) return false;  // also the end of the text
            ++i_;
            if (c == '"') return true;
            if (c == '\\') {
                const int e = at();
                ++i_;
                if (e == 'u') {
                    unsigned u = 0;
                    if (!hex4(&u)) return false;
                } else if (!std::strchr("\"\\/bfnrt", e) || e == 0) {
                    return false;
                }
            } else if (c >= 0x80) {
                unsigned cp = 0;
                int more = 0;
                if (c >= 0xC2 && c <= 0xDF) {
                    cp = c & 0x1F, more = 1;
                } else if (c >= 0xE0 && c <= 0xEF) {
                    cp = c & 0x0F, more = 2;
                } else if (c >= 0xF0 && c <= 0xF4) {
                    cp = c & 0x07, more = 3;
                } else {
                    return false;
                }
                for (int k = 0; k < more; ++k) {
                    const int d = at();
                    if (d < 0x80 || d > 0xBF) return false;
                    cp = (cp << 6) | (d & 0x3F);
                    ++i_;
                }
                const unsigned shortest = more == 1 ? 0x80 : more == 2 ? 0x800 : 0x10000;
                if (cp < shortest || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
            }
        }
    }
    bool value(int depth) {
        if (depth > 2000) {
            too_deep_ = true;
            return false;
        }
        ws();
        switch (at()) {
            case '"': return string();
            case 't': return word("true");
            case 'f': return word("false");
            case 'n': return word("null");
            case '[':
                ++i_;
                ws();
                if (eat(']')) return true;
                do {
                    if (!value(depth + 1)) return false;
                    ws();
                } while (eat(','));
                return eat(']');
            case '{':
                ++i_;
                ws();
                if (eat('}')) return true;
                do {
                    ws();
                    if (!string()) return false;
                    ws();
                    if (!eat(':') || !value(depth + 1)) return false;
                    ws();
                } while (eat(','));
                return eat('}');
            default: return number();
        }
    }

    std::string_view t_;
    std::size_t i_ = 0;
    bool too_deep_ = false;
};

// Descriptions of the format that JSON text can still get: an out-of-range
// number, a fifth array element, a branch that is neither string nor object,
// a string that is read (a key, a branch word, a wrong-typed value) whose \u
// escapes do not pair into characters.
bool allowed_for_json(const std::string& d) {
    static const char* const syntax[] = {
        "EOF while parsing", "expected `:`", "expected `,` or `}`", "expected `,` or `]`",
        "expected value", "expected ident", "key must be a string", "trailing comma",
        "trailing characters", "invalid number", "invalid escape", "invalid unicode code point",
        "control character"};
    if (d == "number out of range" || d == "trailing characters" || d == "expected value") {
        return true;
    }
    for (const char* s : syntax) {
        if (d.compare(0, std::strlen(s), s) == 0) return false;
    }
    return true;
}

void append_double(std::string* out, double value) {
    char buffer[32];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
    out->append(buffer, end);
}

void check_round_trip(const SphericalLinkGeometry& g, std::string_view text) {
    const char* branch = g.branch == Branch::positive ? "positive" : "negative";
    std::string object = "{\"mirror\": ";
    object += g.mirror ? "true" : "false";
    object += ", \"branch\": {\"";
    object += branch;
    object += "\": null}, \"coupler_arc\": ";
    append_double(&object, g.coupler_arc);
    object += ", \"arm_arc\": ";
    append_double(&object, g.arm_arc);
    object += "}";
    std::string array = "[";
    append_double(&array, g.arm_arc);
    array += ", ";
    append_double(&array, g.coupler_arc);
    array += ", \"";
    array += branch;
    array += g.mirror ? "\", true]" : "\", false]";

    for (const std::string* written : {&object, &array}) {
        const auto again = quorbel::read_arm_geometry_json(*written);
        const auto* h = std::get_if<SphericalLinkGeometry>(&again);
        if (!h) violated("a written record is refused", text);
        if (std::memcmp(&h->arm_arc, &g.arm_arc, sizeof(double)) != 0 ||
            std::memcmp(&h->coupler_arc, &g.coupler_arc, sizeof(double)) != 0 ||
            h->branch != g.branch || h->mirror != g.mirror) {
            violated("a written record reads back differently", text);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto result = quorbel::read_arm_geometry_json(text);
    const auto again = quorbel::read_arm_geometry_json(text);
    if (result.index() != again.index()) violated("two readings disagree", text);
    const int json = Validator(text).check();

    if (const auto* e = std::get_if<JsonError>(&result)) {
        const auto& f = std::get<JsonError>(again);
        if (f.description != e->description || f.line != e->line || f.column != e->column) {
            violated("two readings disagree", text);
        }
        check_position(*e, text);
        if (json == 1 && !allowed_for_json(e->description)) {
            violated("JSON text refused with a syntax description", text);
        }
        return 0;
    }

    if (json == 0) violated("text that is not JSON accepted", text);
    const auto& g = std::get<SphericalLinkGeometry>(result);
    if (!std::isfinite(g.arm_arc) || !std::isfinite(g.coupler_arc)) {
        violated("an accepted number is not finite", text);
    }
    if (g.branch != Branch::positive && g.branch != Branch::negative) {
        violated("unknown branch", text);
    }
    check_round_trip(g, text);

    // Anything but whitespace after an accepted document is refused.
    const std::string extended = std::string(text) + "\n0";
    const auto trailing = quorbel::read_arm_geometry_json(extended);
    const auto* t = std::get_if<JsonError>(&trailing);
    if (!t || t->description != "trailing characters") {
        violated("trailing text accepted", text);
    }
    return 0;
}
