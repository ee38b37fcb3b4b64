// Byte-level JSON scanning for the arms.json reader. See json_scanner.hpp.
#include "arms_json/json_scanner.hpp"

#include <charconv>
#include <cmath>
#include <system_error>
#include <utility>

namespace quorbel::json {

const char* describe(Syntax syntax) {
    switch (syntax) {
        case Syntax::eof_value: return "EOF while parsing a value";
        case Syntax::eof_object: return "EOF while parsing an object";
        case Syntax::eof_list: return "EOF while parsing a list";
        case Syntax::eof_string: return "EOF while parsing a string";
        case Syntax::expected_colon: return "expected `:`";
        case Syntax::expected_comma_or_brace: return "expected `,` or `}`";
        case Syntax::expected_comma_or_bracket: return "expected `,` or `]`";
        case Syntax::expected_value: return "expected value";
        case Syntax::expected_ident: return "expected ident";
        case Syntax::key_must_be_string: return "key must be a string";
        case Syntax::trailing_comma: return "trailing comma";
        case Syntax::trailing_characters: return "trailing characters";
        case Syntax::invalid_number: return "invalid number";
        case Syntax::number_out_of_range: return "number out of range";
        case Syntax::invalid_escape: return "invalid escape";
        case Syntax::invalid_code_point: return "invalid unicode code point";
        case Syntax::control_character:
            return "control character (\\u0000-\\u001F) found while parsing a string";
        case Syntax::lone_leading_surrogate: return "lone leading surrogate in hex escape";
        case Syntax::unexpected_end_of_hex_escape: return "unexpected end of hex escape";
    }
    return "expected value";
}

Location locate(std::string_view text, std::size_t offset, bool at_byte) {
    // A refused byte is counted in its own line, so a refused line feed
    // belongs to the line it ends.
    const std::size_t stop = offset < text.size() ? offset : text.size();
    std::size_t line = 1;
    std::size_t line_start = 0;
    for (std::size_t i = 0; i < stop; ++i) {
        if (text[i] == '\n') {
            ++line;
            line_start = i + 1;
        }
    }
    const std::size_t column = stop - line_start + (at_byte && offset < text.size() ? 1 : 0);
    return {line, column};
}

namespace {

int hex_value(int c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

void append_utf8(std::string* out, std::uint32_t cp) {
    if (cp < 0x80) {
        out->push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out->push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out->push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out->push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out->push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

// One bit per open bracket (set for an object), so that a document nested a
// million levels deep costs about 125 kB of heap and no stack.
class BracketStack {
public:
    bool empty() const { return depth_ == 0; }
    void push(bool object) {
        if (depth_ / 64 == words_.size()) words_.push_back(0);
        const std::uint64_t bit = std::uint64_t{1} << (depth_ % 64);
        if (object) {
            words_[depth_ / 64] |= bit;
        } else {
            words_[depth_ / 64] &= ~bit;
        }
        ++depth_;
    }
    void pop() { --depth_; }
    bool top_is_object() const {
        const std::size_t i = depth_ - 1;
        return (words_[i / 64] >> (i % 64)) & 1U;
    }

private:
    std::vector<std::uint64_t> words_;
    std::size_t depth_ = 0;
};

}  // namespace

int Scanner::peek_after_whitespace() {
    while (pos_ < text_.size()) {
        const char c = text_[pos_];
        if (c != ' ' && c != '\t' && c != '\n' && c != '\r') break;
        ++pos_;
    }
    return peek();
}

bool Scanner::fail_at_byte(Syntax syntax) {
    if (!failed_) {
        failed_ = true;
        failure_ = Failure{describe(syntax), pos_, pos_ < text_.size()};
    }
    return false;
}

bool Scanner::fail_here(Syntax syntax) { return fail_here(std::string(describe(syntax))); }

bool Scanner::fail_here(std::string description) {
    if (!failed_) {
        failed_ = true;
        failure_ = Failure{std::move(description), pos_, false};
    }
    return false;
}

bool Scanner::fail_peeked(int peeked, Syntax at_end, Syntax otherwise) {
    return peeked == END_OF_TEXT ? fail_here(at_end) : fail_at_byte(otherwise);
}

bool Scanner::read_literal_rest(std::string_view rest) {
    for (const char expected : rest) {
        const int c = peek();
        if (c != static_cast<unsigned char>(expected)) {
            return fail_peeked(c, Syntax::eof_value, Syntax::expected_ident);
        }
        advance();
    }
    return true;
}

// ---------------------------------------------------------------- strings

bool Scanner::read_hex_escape(std::uint32_t* unit) {
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i) {
        const int c = peek();
        const int digit = hex_value(c);
        if (digit < 0) return fail_peeked(c, Syntax::eof_string, Syntax::invalid_escape);
        value = (value << 4) | static_cast<std::uint32_t>(digit);
        advance();
    }
    *unit = value;
    return true;
}

// After the backslash. A \u escape may be a UTF-16 surrogate pair; a lone
// trailing surrogate, or a leading one not followed by a trailing one, is
// refused in a string that is read. A skipped string (out null) is held to
// the grammar only, where any four hex digits make an escape.
bool Scanner::read_escape(std::string* out) {
    const int c = peek();
    char plain = 0;
    switch (c) {
        case '"': plain = '"'; break;
        case '\\': plain = '\\'; break;
        case '/': plain = '/'; break;
        case 'b': plain = '\b'; break;
        case 'f': plain = '\f'; break;
        case 'n': plain = '\n'; break;
        case 'r': plain = '\r'; break;
        case 't': plain = '\t'; break;
        case 'u': break;
        default: return fail_peeked(c, Syntax::eof_string, Syntax::invalid_escape);
    }
    advance();
    if (c != 'u') {
        if (out) out->push_back(plain);
        return true;
    }
    std::uint32_t first = 0;
    if (!read_hex_escape(&first)) return false;
    if (!out) return true;
    if (first >= 0xDC00 && first <= 0xDFFF) return fail_here(Syntax::lone_leading_surrogate);
    if (first < 0xD800 || first > 0xDBFF) {
        append_utf8(out, first);
        return true;
    }
    for (const int expected : {'\\', 'u'}) {
        const int next = peek();
        if (next != expected) {
            return fail_peeked(next, Syntax::eof_string, Syntax::unexpected_end_of_hex_escape);
        }
        advance();
    }
    std::uint32_t second = 0;
    if (!read_hex_escape(&second)) return false;
    if (second < 0xDC00 || second > 0xDFFF) return fail_here(Syntax::lone_leading_surrogate);
    append_utf8(out, 0x10000 + (((first - 0xD800) << 10) | (second - 0xDC00)));
    return true;
}

// A multi-byte UTF-8 sequence starting at the offset (well-formed by the
// Unicode table of shortest forms, no surrogates, nothing above U+10FFFF).
bool Scanner::read_utf8_sequence(std::string* out) {
    const int lead = peek();
    int count = 0;
    int low = 0x80;
    int high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        count = 1;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        count = 2;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        count = 3;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return fail_at_byte(Syntax::invalid_code_point);
    }
    const std::size_t start = pos_;
    advance();
    for (int i = 0; i < count; ++i) {
        const int c = peek();
        if (c < low || c > high) {
            return fail_peeked(c, Syntax::eof_string, Syntax::invalid_code_point);
        }
        low = 0x80;
        high = 0xBF;
        advance();
    }
    if (out) out->append(text_.substr(start, pos_ - start));
    return true;
}

bool Scanner::read_string(std::string* out) {
    advance();  // the opening quote
    for (;;) {
        const std::size_t run_start = pos_;
        while (pos_ < text_.size()) {
            const unsigned char c = static_cast<unsigned char>(text_[pos_]);
            if (c == '"' || c == '\\' || c < 0x20 || c >= 0x80) break;
            ++pos_;
        }
        if (out) out->append(text_.substr(run_start, pos_ - run_start));
        const int c = peek();
        if (c == END_OF_TEXT) return fail_here(Syntax::eof_string);
        if (c == '"') {
            advance();
            return true;
        }
        if (c == '\\') {
            advance();
            if (!read_escape(out)) return false;
        } else if (c < 0x20) {
            return fail_at_byte(Syntax::control_character);
        } else if (!read_utf8_sequence(out)) {
            return false;
        }
    }
}

// ---------------------------------------------------------------- numbers

bool Scanner::read_digits() {
    const int c = peek();
    if (!is_digit(c)) return fail_peeked(c, Syntax::eof_value, Syntax::invalid_number);
    while (is_digit(peek())) advance();
    return true;
}

bool Scanner::scan_number(NumberToken* token) {
    token->begin = pos_;
    token->integer = true;
    if (peek() == '-') advance();
    const int first = peek();
    if (first == '0') {
        advance();
        if (is_digit(peek())) return fail_at_byte(Syntax::invalid_number);
    } else if (!read_digits()) {
        return false;
    }
    if (peek() == '.') {
        advance();
        token->integer = false;
        if (!read_digits()) return false;
    }
    if (peek() == 'e' || peek() == 'E') {
        advance();
        token->integer = false;
        if (peek() == '+' || peek() == '-') advance();
        if (!read_digits()) return false;
    }
    token->end = pos_;
    return true;
}

namespace {

// Decimal exponent of the leading nonzero digit of a well-formed number
// token (saturated), used to tell an overflow from an underflow.
long long scientific_exponent(std::string_view t) {
    std::size_t i = (!t.empty() && t[0] == '-') ? 1 : 0;
    long long lead = 0;
    bool found = false;
    long long integer_digits = 0;
    std::size_t first_nonzero_integer = t.size();
    for (; i < t.size() && is_digit(t[i]); ++i) {
        if (t[i] != '0' && first_nonzero_integer == t.size()) first_nonzero_integer = i;
        if (first_nonzero_integer != t.size() && integer_digits < (1LL << 40)) ++integer_digits;
    }
    if (first_nonzero_integer != t.size()) {
        lead = integer_digits - 1;
        found = true;
    }
    if (i < t.size() && t[i] == '.') {
        ++i;
        long long position = 0;
        for (; i < t.size() && is_digit(t[i]); ++i) {
            if (position < (1LL << 40)) ++position;
            if (!found && t[i] != '0') {
                lead = -position;
                found = true;
            }
        }
    }
    long long exponent = 0;
    if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
        ++i;
        bool negative = false;
        if (t[i] == '+' || t[i] == '-') negative = t[i++] == '-';
        for (; i < t.size(); ++i) {
            if (exponent < (1LL << 40)) exponent = exponent * 10 + (t[i] - '0');
        }
        if (negative) exponent = -exponent;
    }
    return lead + exponent;
}

}  // namespace

bool Scanner::number_value(const NumberToken& token, double* value) {
    const std::string_view t = text_.substr(token.begin, token.end - token.begin);
    double parsed = 0.0;
    const auto result = std::from_chars(t.data(), t.data() + t.size(), parsed);
    if (result.ec == std::errc::result_out_of_range) {
        if (scientific_exponent(t) >= 0) {
            pos_ = token.end;
            return fail_here(Syntax::number_out_of_range);
        }
        parsed = t[0] == '-' ? -0.0 : 0.0;
    } else if (result.ec != std::errc() || result.ptr != t.data() + t.size()) {
        // Unreachable for a token that passed scan_number.
        pos_ = token.end;
        return fail_here(Syntax::invalid_number);
    }
    *value = parsed;
    return true;
}

// ---------------------------------------------------------------- skipping

bool Scanner::skip_key_and_colon() {
    if (!read_string(nullptr)) return false;
    const int c = peek_after_whitespace();
    if (c != ':') return fail_peeked(c, Syntax::eof_object, Syntax::expected_colon);
    advance();
    return true;
}

// Each turn of the outer loop reads one value; a bracket that opens a
// non-empty container is pushed and the loop goes on with its first member.
// After a complete value, closing brackets and the separator before the next
// member are consumed. The descriptions match those of the arms.json levels.
bool Scanner::skip_value() {
    BracketStack open;
    for (;;) {
        int c = peek_after_whitespace();
        switch (c) {
            case END_OF_TEXT: return fail_here(Syntax::eof_value);
            case '"':
                if (!read_string(nullptr)) return false;
                break;
            case 't':
                advance();
                if (!read_literal_rest("rue")) return false;
                break;
            case 'f':
                advance();
                if (!read_literal_rest("alse")) return false;
                break;
            case 'n':
                advance();
                if (!read_literal_rest("ull")) return false;
                break;
            case '[':
                advance();
                c = peek_after_whitespace();
                if (c == END_OF_TEXT) return fail_here(Syntax::eof_list);
                if (c == ']') {
                    advance();
                    break;
                }
                open.push(false);
                continue;
            case '{':
                advance();
                c = peek_after_whitespace();
                if (c == '}') {
                    advance();
                    break;
                }
                if (c != '"') return fail_peeked(c, Syntax::eof_object, Syntax::key_must_be_string);
                open.push(true);
                if (!skip_key_and_colon()) return false;
                continue;
            default: {
                if (c != '-' && !is_digit(c)) return fail_at_byte(Syntax::expected_value);
                NumberToken token{};
                if (!scan_number(&token)) return false;
                break;
            }
        }
        // A value is complete: close brackets until a separator is found.
        for (;;) {
            if (open.empty()) return true;
            const bool object = open.top_is_object();
            const int close = object ? '}' : ']';
            c = peek_after_whitespace();
            if (c == close) {
                advance();
                open.pop();
                continue;
            }
            if (c != ',') {
                return fail_peeked(c, object ? Syntax::eof_object : Syntax::eof_list,
                                   object ? Syntax::expected_comma_or_brace
                                          : Syntax::expected_comma_or_bracket);
            }
            advance();
            c = peek_after_whitespace();
            if (c == close) return fail_at_byte(Syntax::trailing_comma);
            if (c == END_OF_TEXT) return fail_here(Syntax::eof_value);
            if (object) {
                if (c != '"') return fail_at_byte(Syntax::key_must_be_string);
                if (!skip_key_and_colon()) return false;
            }
            break;
        }
    }
}

}  // namespace quorbel::json
