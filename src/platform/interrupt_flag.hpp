// Where an interrupt during the search is recorded, and what the Windows console control
// handler does with an event; kept apart from the system calls so that both can be tested anywhere.
#pragma once

#include <atomic>

namespace zorvanteli {

// Set by a POSIX signal handler, or by the thread on which Windows runs a console control handler;
// read by any thread of the search. Nothing but lock-free atomics may be touched in a signal
// handler, hence the assertions.
class interrupt_flag {
public:
    static_assert(std::atomic<int>::is_always_lock_free);
    static_assert(std::atomic<bool>::is_always_lock_free);

    // Keeps the first interrupt: that one ends the process, however many follow it.
    void record(int interrupt) noexcept;
    // The interrupt recorded since the last reset(), or 0.
    int pending() const noexcept { return interrupt_.load(std::memory_order_acquire); }
    void reset() noexcept;

    // The main thread's word that the file is complete and closed and the message written.
    void mark_saved() noexcept;
    // Blocks until mark_saved(). Not for signal handlers: for a handler thread that must not
    // return before the save is done.
    void wait_until_saved() const noexcept;

private:
    std::atomic<int> interrupt_{0};
    std::atomic<bool> saved_{false};
};

// Windows' console control events, numbered as Windows numbers them.
namespace console_event {
constexpr unsigned long ctrl_c = 0, ctrl_break = 1, close = 2, logoff = 5, shutdown = 6;
}

// Windows' exit status for a console program ended by Ctrl+C (STATUS_CONTROL_C_EXIT); Wine
// reports its low byte, 58, to Linux.
constexpr unsigned long control_c_exit_status = 0xC000013A;

// The interrupt code that a console control event is recorded as: never 0, which means none.
constexpr int interrupt_of_console_event(unsigned long event) {
    return static_cast<int>(event) + 1;
}

// What the Windows console control handler does during the search: records the event and returns
// true (handled) for the five events above, false for any other. Windows ends the process as soon
// as the handler returns from a window close, log-off or shut-down, so for those it returns only
// once the main thread has saved; Ctrl+C and Ctrl+Break return at once and the main thread ends
// the process itself. A second event while the save runs only waits as well.
bool handle_console_event(interrupt_flag& flag, unsigned long event);

}  // namespace zorvanteli
