// The interrupt flag and the console control handler's logic.
#include "platform/interrupt_flag.hpp"

namespace zorvanteli {

void interrupt_flag::record(int interrupt) noexcept {
    int none = 0;
    interrupt_.compare_exchange_strong(none, interrupt, std::memory_order_acq_rel);
}

void interrupt_flag::reset() noexcept {
    saved_.store(false, std::memory_order_release);
    interrupt_.store(0, std::memory_order_release);
}

void interrupt_flag::mark_saved() noexcept {
    saved_.store(true, std::memory_order_release);
    saved_.notify_all();
}

void interrupt_flag::wait_until_saved() const noexcept {
    saved_.wait(false, std::memory_order_acquire);
}

bool handle_console_event(interrupt_flag& flag, unsigned long event) {
    switch (event) {
        case console_event::ctrl_c:
        case console_event::ctrl_break:
            flag.record(interrupt_of_console_event(event));
            return true;
        case console_event::close:
        case console_event::logoff:
        case console_event::shutdown:
            flag.record(interrupt_of_console_event(event));
            flag.wait_until_saved();
            return true;
        default:
            return false;
    }
}

}  // namespace zorvanteli
