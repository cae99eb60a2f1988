// Where an interrupt during the search is recorded, and what the Windows console control
// handler does with an event, up to taking the run over from a main thread stuck in a console
// write; kept apart from the system calls so that all of it can be tested anywhere.
#pragma once

#include <atomic>
#include <functional>

namespace zorvanteli {

// Set by a POSIX signal handler, or by the thread on which Windows runs a console control handler;
// read by any thread of the search. Nothing but lock-free atomics may be touched in a signal
// handler, hence the assertions. It takes interrupts only between reset() and close().
class interrupt_flag {
public:
    static_assert(std::atomic<int>::is_always_lock_free);
    static_assert(std::atomic<bool>::is_always_lock_free);

    // Records `interrupt` unless one is recorded already (the first one ends the process) or the
    // flag is closed. Returns false only when closed: the interrupt is then left to the system's
    // default handling.
    bool record(int interrupt) noexcept;
    // The interrupt recorded since reset(), or 0.
    int pending() const noexcept;
    // Takes interrupts from now on, with none recorded.
    void reset() noexcept;
    // Takes no more interrupts; one recorded before stays pending. A single atomic step, so that
    // an interrupt is either recorded before it or refused after it, never lost in between.
    void close() noexcept;

    // The main thread's word that the file is complete and closed and the message written.
    void mark_saved() noexcept;
    // Blocks until mark_saved() or the end of the process. Not for signal handlers: for a
    // handler thread that must not return before the save is done.
    void wait_until_saved() const noexcept;

private:
    static constexpr int none = 0, closed = -1;  // other states: the interrupt recorded
    std::atomic<int> state_{closed};
    std::atomic<bool> saved_{false};
};

// Whether the main thread is inside a console write, for the thread of a console control
// handler: Windows cannot cut such a write short, and a console nobody reads holds it for good.
// The handler's thread may then take the run over, as the file already holds every line the
// write shows; the main thread touches the file only outside console writes, and never again
// once taken over. All steps are sequentially consistent with the interrupt flag's: a main thread
// that enters and then finds no interrupt, and a handler that records one and then finds the
// main thread outside, cannot both be.
class console_writes {
public:
    static_assert(std::atomic<int>::is_always_lock_free);

    // The main thread, around each console write. leave() returns false once the run has been
    // taken over: the caller must then wait for the end of the process and touch nothing.
    void enter() noexcept;
    bool leave() noexcept;
    // The handler's thread: takes the run over if the main thread is inside a console write.
    bool take_over() noexcept;

private:
    static constexpr int outside = 0, inside = 1, taken_over = 2;
    std::atomic<int> state_{outside};
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

// What the Windows console control handler does: during the search it records the event and
// returns true (handled) for the five events above; outside it, and for any other event, it
// returns false, which leaves the event to Windows' default handling (the process ends at once).
// Windows ends the process as soon as the handler returns from a window close, log-off or
// shut-down, so for those it returns only once the main thread has saved; Ctrl+C and Ctrl+Break
// return at once and the main thread ends the process itself. An event while the save runs is
// taken as well, so it cannot cut the save short. But when the main thread is inside a console
// write, which may never return, the handler takes the run over and calls `save` with the
// interrupt, which saves and ends the process; with no `save`, it leaves the run to the main
// thread.
bool handle_console_event(interrupt_flag& flag, unsigned long event, console_writes& writes,
                          const std::function<void(int)>& save);

}  // namespace zorvanteli
