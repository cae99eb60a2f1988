// libFuzzer target for the reading of the two numbers: any bytes a user or a pipe can send go
// through two reads, and each read is checked against a plain model of what it must do.
#include <algorithm>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>
#include <string_view>

#include "dialogue/number_reading.hpp"

namespace {

using u64 = std::uint64_t;

// Distinct messages, so the output tells which of the two reads failed.
constexpr std::string_view first_failed = "<first read failed>";
constexpr std::string_view second_failed = "<second read failed>";

// Trapping rather than asserting: the check must stay in a build with NDEBUG.
void require(bool condition) {
    if (!condition) __builtin_trap();
}

// White space as the "C" locale, the streams' default, sees it.
bool is_space(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}
bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

struct expected_read {
    bool converted;
    u64 value;
    std::size_t next;  // where the following read starts
};

// Most of a rejected line that one read drops.
constexpr std::size_t max_discard = 64 * 1024;

// What one read starting at `at` must give: after white space, an optional '+' and a run of
// decimal digits that fits is the value; anything else fails and costs the rest of its line, up
// to its line break (left in place) or max_discard bytes, counted from where the extraction
// stopped: before a '-', which is never extracted, else after the sign and digits it took.
expected_read expect(std::string_view text, std::size_t at) {
    while (at < text.size() && is_space(text[at])) ++at;
    const bool minus = at < text.size() && text[at] == '-';
    std::size_t digits = at;
    if (digits < text.size() && text[digits] == '+') ++digits;
    std::size_t end = digits;
    while (end < text.size() && is_digit(text[end])) ++end;
    if (!minus && end > digits) {
        u64 value = 0;
        const auto result = std::from_chars(text.data() + digits, text.data() + end, value);
        require(result.ptr == text.data() + end || result.ec == std::errc::result_out_of_range);
        if (result.ec == std::errc{}) return {true, value, end};
    }
    const std::size_t stopped = minus ? at : end;
    const std::size_t line_end = std::min(text.find('\n', stopped), text.size());
    return {false, 1, std::min(line_end, stopped + max_discard)};
}

// A leading '-' after white space, which the unsigned extraction alone would wrap around.
bool starts_with_minus(std::string_view text, std::size_t at) {
    while (at < text.size() && is_space(text[at])) ++at;
    return at < text.size() && text[at] == '-';
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::istringstream in{text};
    std::ostringstream out;

    const u64 first = zorvanteli::read_number(in, out, first_failed);
    const std::string after_first = out.str();
    const u64 second = zorvanteli::read_number(in, out, second_failed);
    const std::string after_both = out.str();

    const expected_read first_expected = expect(text, 0);
    const expected_read second_expected = expect(text, first_expected.next);

    // Each read either converts silently or says so once and gives 1.
    require(first == first_expected.value);
    require(after_first == (first_expected.converted ? "" : first_failed));
    require(second == second_expected.value);
    require(after_both.substr(after_first.size()) ==
            (second_expected.converted ? "" : second_failed));

    // Stated on its own because it is the one mistake that would start a search near 2^64.
    if (starts_with_minus(text, 0)) require(after_first == first_failed && first == 1);
    if (starts_with_minus(text, first_expected.next))
        require(after_both.ends_with(second_failed) && second == 1);
    return 0;
}
