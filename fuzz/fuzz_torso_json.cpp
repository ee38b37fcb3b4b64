// libFuzzer target for the torso.json reader. Besides the sanitizers, it
// aborts when a result breaks what the reader and the writer promise:
// - an accepted document is written back to text that reads back and is
//   written again to the same text (the same doubles), and the torso's
//   numbers are finite, its intervals ordered;
// - a refused one has a line that exists and a column within that line;
// - the same text always gives the same answer.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <variant>

#include <quorbel/torso/torso_json.hpp>

namespace {

[[noreturn]] void violated(const char* what, std::string_view text) {
    std::fprintf(stderr, "invariant violated: %s\ninput (%zu bytes): %.*s\n", what, text.size(),
                 static_cast<int>(std::min<std::size_t>(text.size(), 512)), text.data());
    std::abort();
}

bool ordered(const quorbel::AngleInterval& i) { return i.lower <= i.upper; }

void check_accepted(const quorbel::Torso& torso, std::string_view text) {
    for (const quorbel::ArmDescription* arm : {&torso.left_arm, &torso.right_arm}) {
        if (arm->limits && !(ordered(arm->limits->theta_a) && ordered(arm->limits->theta_b))) {
            violated("an arm's interval is not ordered", text);
        }
    }
    for (const auto* interval : {&torso.neck.limits.yaw, &torso.neck.limits.pitch,
                                 &torso.neck.limits.roll}) {
        if (*interval && !ordered(**interval)) violated("a neck interval is not ordered", text);
    }
    const std::optional<std::string> written = quorbel::write_torso_json(torso);
    if (!written) violated("an accepted torso cannot be written", text);
    const auto again = quorbel::read_torso_json(*written);
    const quorbel::Torso* read = std::get_if<quorbel::Torso>(&again);
    if (read == nullptr) violated("the written text is refused", *written);
    if (quorbel::write_torso_json(*read) != written) violated("the round trip changed", text);
}

void check_refused(const quorbel::JsonError& error, std::string_view text) {
    const std::size_t lines = 1 + static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
    if (error.line < 1 || error.line > lines) violated("the line does not exist", text);
    std::size_t start = 0;
    for (std::size_t line = 1; line < error.line; ++line) start = text.find('\n', start) + 1;
    const std::size_t end = std::min(text.find('\n', start), text.size());
    if (error.column > end - start + 1) violated("the column is past its line", text);
    if (error.description.empty()) violated("an empty description", text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto first = quorbel::read_torso_json(text);
    const auto second = quorbel::read_torso_json(text);
    if (first.index() != second.index()) violated("two answers for one text", text);
    if (const auto* torso = std::get_if<quorbel::Torso>(&first)) {
        check_accepted(*torso, text);
    } else {
        const auto& error = std::get<quorbel::JsonError>(first);
        if (quorbel::torso_error_message(error) !=
            quorbel::torso_error_message(std::get<quorbel::JsonError>(second))) {
            violated("two messages for one text", text);
        }
        check_refused(error, text);
    }
    return 0;
}
