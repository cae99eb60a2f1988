// The interrupt flag and the console control handler's logic.
#include "platform/interrupt_flag.hpp"

namespace zorvanteli {

bool interrupt_flag::record(int interrupt) noexcept {
    int state = none;
    if (state_.compare_exchange_strong(state, interrupt)) return true;
    return state != closed;
}

int interrupt_flag::pending() const noexcept {
    const int state = state_.load();
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

void console_writes::enter() noexcept {
    int state = outside;
    state_.compare_exchange_strong(state, inside);
}

bool console_writes::leave() noexcept {
    int state = inside;
    return state_.compare_exchange_strong(state, outside);
}

bool console_writes::take_over() noexcept {
    int state = inside;
    return state_.compare_exchange_strong(state, taken_over);
}

bool handle_console_event(interrupt_flag& flag, unsigned long event, console_writes& writes,
                          const std::function<void(int)>& save) {
    const bool ends_session = event == console_event::close || event == console_event::logoff ||
                              event == console_event::shutdown;
    if (!ends_session && event != console_event::ctrl_c && event != console_event::ctrl_break)
        return false;
    if (!flag.record(interrupt_of_console_event(event))) return false;
    if (save && writes.take_over()) {
        // The interrupt that ends the process: the first one, which may have come before.
        save(flag.pending());
        return true;
    }
    if (ends_session) flag.wait_until_saved();
    return true;
}

}  // namespace zorvanteli
