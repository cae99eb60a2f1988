// The dialogue's text on its way to the console.
#include "dialogue/console_buffer.hpp"

#include <string_view>

namespace zorvanteli {

console_buffer::console_buffer(system_seam& system) : system_{system} {
    setp(text_.data(), text_.data() + text_.size());
}

console_buffer::~console_buffer() {
    hand_on();
}

console_buffer::int_type console_buffer::overflow(int_type c) {
    hand_on();
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    *pptr() = traits_type::to_char_type(c);
    pbump(1);
    return c;
}

int console_buffer::sync() {
    hand_on();
    return 0;
}

void console_buffer::hand_on() {
    if (pptr() != pbase())
        system_.write_console({pbase(), static_cast<std::size_t>(pptr() - pbase())});
    setp(text_.data(), text_.data() + text_.size());
}

}  // namespace zorvanteli
