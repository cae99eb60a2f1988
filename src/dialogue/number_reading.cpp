// The guarded read of one number.
#include "dialogue/number_reading.hpp"

#include <limits>

namespace zorvanteli {

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
        in.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
    }
    return 1;
}

}  // namespace zorvanteli
