// The members of a JSON object, for the arms.json and torso.json readers:
// both refuse a repeated field before its value and a missing one after the
// closing brace, in the same words and at the same places.
#pragma once

#include <string>

#include "arms_json/json_scanner.hpp"

namespace quorbel::json {

// The members after an object's '{' (already consumed) up to and including
// its '}'. A member named names[index], index < count, has its value read by
// read_field(index) after the colon, at most once; other members are
// skipped. The fields whose bit is set in `required` must be present.
template <typename ReadField>
bool read_members(Scanner& scanner, const char* const* names, unsigned count, unsigned required,
                  ReadField&& read_field) {
    unsigned seen = 0;
    for (bool first = true;; first = false) {
        int c = scanner.peek_after_whitespace();
        if (c == '}') break;
        if (c == END_OF_TEXT) return scanner.fail_here(Syntax::eof_object);
        if (!first) {
            if (c != ',') return scanner.fail_at_byte(Syntax::expected_comma_or_brace);
            scanner.advance();
            c = scanner.peek_after_whitespace();
            if (c == '}') return scanner.fail_at_byte(Syntax::trailing_comma);
            if (c == END_OF_TEXT) return scanner.fail_here(Syntax::eof_value);
        }
        if (c != '"') return scanner.fail_at_byte(Syntax::key_must_be_string);
        std::string key;
        if (!scanner.read_string(&key)) return false;
        unsigned index = 0;
        while (index < count && key != names[index]) ++index;
        if (index < count) {
            // A repeated field is refused before its value is looked at.
            if (seen & (1u << index)) {
                return scanner.fail_here(std::string("duplicate field `") + names[index] + "`");
            }
            seen |= 1u << index;
        }
        c = scanner.peek_after_whitespace();
        if (c != ':') return scanner.fail_peeked(c, Syntax::eof_object, Syntax::expected_colon);
        scanner.advance();
        if (!(index < count ? read_field(index) : scanner.skip_value())) return false;
    }
    scanner.advance();  // '}'
    for (unsigned index = 0; index < count; ++index) {
        if ((required & (1u << index)) && !(seen & (1u << index))) {
            return scanner.fail_here(std::string("missing field `") + names[index] + "`");
        }
    }
    return true;
}

}  // namespace quorbel::json
