// The guarded read of one number.
#include "dialogue/number_reading.hpp"

#include <string>

namespace zorvanteli {
namespace {

// Most of one rejected line that is dropped at once; more is read as the next number.
constexpr std::size_t max_discard = 64 * 1024;

// Drops the rest of a rejected line, but not its line break: that is the Enter which the closing
// prompt's discard expects, as after a good number. Stops after max_discard bytes, so that input
// without any line break (a device of endless zeros) cannot hold the program here.
void discard_rest_of_line(std::istream& in) {
    std::streambuf& buffer = *in.rdbuf();
    for (std::size_t i = 0; i < max_discard; ++i) {
        const auto c = buffer.sgetc();
        if (std::char_traits<char>::eq_int_type(c, std::char_traits<char>::eof())) {
            in.setstate(std::ios::eofbit);
            return;
        }
        if (std::char_traits<char>::to_char_type(c) == '\n') return;
        buffer.sbumpc();
    }
}

}  // namespace

std::uint64_t read_number(std::istream& in, std::ostream& out,
                          std::string_view conversion_message) {
    out.flush();  // the prompt is on the screen before the read waits
    std::uint64_t value = 0;
    bool converted = false;
    in >> std::ws;
    // The unsigned extraction would wrap "-5" to 2^64 - 5: a typo must not start a search there.
    if (in.peek() != '-') {
        in >> value;
        converted = !in.fail();
    }
    if (converted) return value;

    out << conversion_message;
    // Once input has ended the stream stays failed, so no later read waits for more.
    if (!in.eof()) {
        in.clear();
        discard_rest_of_line(in);
    }
    return 1;
}

}  // namespace zorvanteli
