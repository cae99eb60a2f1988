// The interrupt flag and the console control handler's logic.
#include "platform/interrupt_flag.hpp"

namespace zorvanteli {

bool interrupt_flag::record(int interrupt) noexcept {
    int state = none;
    if (state_.compare_exchange_strong(state, interrupt, std::memory_order_acq_rel)) return true;
    return state != closed;
}

int interrupt_flag::pending() const noexcept {
    const int state = state_.load(std::memory_order_acquire);
    return state == closed ? none : state;
}

void interrupt_flag::reset() noexcept {
    saved_.store(false, std::memory_order_release);
    state_.store(none, std::memory_order_release);
}

void interrupt_flag::close() noexcept {
    int state = none;
    state_.compare_exchange_strong(state, closed, std::memory_order_acq_rel);
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
            return flag.record(interrupt_of_console_event(event));
        case console_event::close:
        case console_event::logoff:
        case console_event::shutdown:
            if (!flag.record(interrupt_of_console_event(event))) return false;
            flag.wait_until_saved();
            return true;
        default:
            return false;
    }
}

}  // namespace zorvanteli
