// Byte-level JSON scanner used by the arms.json reader: whitespace, literals,
// numbers, strings and the iterative skipping of values nobody asked for.
//
// The scanner keeps only a byte offset into the text. The first failure is
// recorded with the offset it concerns; line and column are worked out from
// the text afterwards (locate()), so the hot path carries no position state.
// Nothing here recurses: a value nested to any depth is skipped with an
// explicit stack of one bit per open bracket.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quorbel::json {

// Fixed descriptions of syntax problems (and the two number problems).
enum class Syntax {
    eof_value,
    eof_object,
    eof_list,
    eof_string,
    expected_colon,
    expected_comma_or_brace,
    expected_comma_or_bracket,
    expected_value,
    expected_ident,
    key_must_be_string,
    trailing_comma,
    trailing_characters,
    invalid_number,
    number_out_of_range,
    invalid_escape,
    invalid_code_point,
    control_character,
    lone_leading_surrogate,
    unexpected_end_of_hex_escape,
};

const char* describe(Syntax syntax);

// Where a failure points. With `at_byte` set, the byte at `offset` is the
// refused one and is counted in the column; otherwise the column counts the
// bytes before `offset` (the end of the text, or the end of the token that
// was read last).
struct Failure {
    std::string description;
    std::size_t offset = 0;
    bool at_byte = false;
};

struct Location {
    std::size_t line;
    std::size_t column;
};

// Line from 1 (a line feed ends its line), column in bytes from the start of
// the line, for a failure in `text`.
Location locate(std::string_view text, std::size_t offset, bool at_byte);

// A number token as written: [begin, end) of the text, and whether it has
// neither a fraction nor an exponent.
struct NumberToken {
    std::size_t begin;
    std::size_t end;
    bool integer;
};

inline constexpr int END_OF_TEXT = -1;

// An ASCII digit; false for END_OF_TEXT.
inline bool is_digit(int c) { return c >= '0' && c <= '9'; }

class Scanner {
public:
    explicit Scanner(std::string_view text) : text_(text) {}

    std::string_view text() const { return text_; }
    std::size_t offset() const { return pos_; }

    // The byte at the offset, or END_OF_TEXT.
    int peek() const {
        return pos_ < text_.size() ? static_cast<unsigned char>(text_[pos_]) : END_OF_TEXT;
    }
    // Skips space, tab, line feed and carriage return, then peeks.
    int peek_after_whitespace();
    void advance() { ++pos_; }

    // Record the first failure; every function returns false after one.
    // fail_at_byte refuses the byte at the offset, fail_here points just
    // before it (a token was read up to here, or the text ended).
    bool fail_at_byte(Syntax syntax);
    bool fail_here(Syntax syntax);
    bool fail_here(std::string description);
    // An end of text is reported at the end; anything else as refused.
    bool fail_peeked(int peeked, Syntax at_end, Syntax otherwise);
    const Failure& failure() const { return failure_; }

    // The rest of a literal whose first byte was already consumed: "ull",
    // "rue" or "alse".
    bool read_literal_rest(std::string_view rest);

    // A string starting at the '"' under the offset. Its unescaped UTF-8
    // content is appended to *out when out is not null; with out null (a
    // skipped string) only the grammar is checked, so a \u escape need not
    // pair into a character.
    bool read_string(std::string* out);

    // The grammar of a number starting at '-' or a digit under the offset.
    bool scan_number(NumberToken* token);
    // The nearest double. Overflow fails with "number out of range" at the
    // end of the token; underflow gives a zero of the token's sign.
    bool number_value(const NumberToken& token, double* value);

    // Reads and discards one value of any shape and depth.
    bool skip_value();

private:
    bool read_hex_escape(std::uint32_t* unit);
    bool read_escape(std::string* out);
    bool read_utf8_sequence(std::string* out);
    // One or more digits; none is "invalid number" (or an end of text).
    bool read_digits();
    bool skip_key_and_colon();

    std::string_view text_;
    std::size_t pos_ = 0;
    Failure failure_;
    bool failed_ = false;
};

}  // namespace quorbel::json
