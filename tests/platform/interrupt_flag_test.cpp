// Checks the interrupt flag and the console control handler's logic: when interrupts are taken,
// which one is kept, which events are handled, and which handler calls wait for the save.
#include "platform/interrupt_flag.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace zorvanteli {

// The handler with the main thread outside console writes: it must never take the run over.
static bool handle_event(interrupt_flag& flag, unsigned long event) {
    console_writes writes;
    return handle_console_event(flag, event, writes, [](int) { ADD_FAILURE() << "taken over"; });
}

TEST(interrupt_flag, takes_the_first_interrupt_between_reset_and_close) {
    interrupt_flag flag;
    EXPECT_FALSE(flag.record(2));  // before the search: left to the system
    EXPECT_EQ(flag.pending(), 0);
    flag.reset();
    EXPECT_TRUE(flag.record(15));
    EXPECT_TRUE(flag.record(2));  // taken, but the first one ends the process
    EXPECT_EQ(flag.pending(), 15);
    flag.close();
    EXPECT_EQ(flag.pending(), 15);  // still to be honoured
    EXPECT_TRUE(flag.record(1));

    flag.reset();
    EXPECT_EQ(flag.pending(), 0);
    flag.close();
    EXPECT_FALSE(flag.record(1));  // after the search
    EXPECT_EQ(flag.pending(), 0);
}

TEST(interrupt_flag, console_events) {
    // Windows' numbers: Ctrl+C 0, Ctrl+Break 1, close 2, log-off 5, shut-down 6; 3 and 4 are
    // not used and must be left to the next handler.
    interrupt_flag flag;
    flag.reset();
    for (const unsigned long event : {3ul, 4ul, 7ul}) {
        EXPECT_FALSE(handle_event(flag, event)) << event;
        EXPECT_EQ(flag.pending(), 0) << event;
    }
    EXPECT_TRUE(handle_event(flag, 1));  // returns at once
    EXPECT_EQ(flag.pending(), 2);
    EXPECT_TRUE(handle_event(flag, 0));  // a second one is taken and changes nothing
    EXPECT_EQ(flag.pending(), 2);
    EXPECT_EQ(control_c_exit_status, 3221225786ul);
    EXPECT_EQ(control_c_exit_status & 0xff, 58u);  // what Wine tells a Linux parent

    // Outside the search every event goes on to Windows' default handling, without waiting.
    interrupt_flag outside;
    for (const unsigned long event : {0ul, 1ul, 2ul, 5ul, 6ul})
        EXPECT_FALSE(handle_event(outside, event)) << event;
    EXPECT_EQ(outside.pending(), 0);
}

TEST(interrupt_flag, session_ending_events_wait_until_saved) {
    for (const unsigned long event : {2ul, 5ul, 6ul}) {
        interrupt_flag flag;
        flag.reset();
        std::atomic<bool> returned{false};
        std::thread handler{[&] {
            EXPECT_TRUE(handle_event(flag, event));
            returned = true;
        }};
        while (flag.pending() == 0 && !returned) std::this_thread::yield();
        EXPECT_EQ(flag.pending(), static_cast<int>(event) + 1);
        // A Ctrl+C meanwhile, and the search's end, leave the first handler waiting.
        EXPECT_TRUE(handle_event(flag, 0));
        flag.close();
        std::this_thread::sleep_for(std::chrono::milliseconds{50});
        EXPECT_FALSE(returned) << event;
        flag.mark_saved();
        handler.join();
        EXPECT_TRUE(returned);
        EXPECT_EQ(flag.pending(), static_cast<int>(event) + 1);
    }
}

TEST(interrupt_flag, handler_takes_the_run_over_from_a_console_write) {
    struct step {
        const char* what;
        bool search = true;       // between reset() and close()
        bool inside = true;       // the main thread is inside a console write
        bool with_save = true;    // catch_interrupts() was given a save
        int earlier = 0;          // an interrupt recorded before
        unsigned long event = 0;  // Ctrl+C
        bool handled = true;
        int saved_with = 1;  // 0: not taken over; else the interrupt the save gets
    };
    const step steps[] = {
        {"Ctrl+C in a write"},
        {"Ctrl+Break in a write", true, true, true, 0, 1, true, 2},
        {"window closed in a write, no wait for a save", true, true, true, 0, 2, true, 3},
        {"shut-down in a write", true, true, true, 0, 6, true, 7},
        {"outside a write", true, false, true, 0, 0, true, 0},
        {"no save given", true, true, false, 0, 0, true, 0},
        {"before the search", false, true, true, 0, 0, false, 0},
        {"an unknown event", true, true, true, 0, 3, false, 0},
        {"the first interrupt ends the run", true, true, true, 15, 1, true, 15},
    };
    for (const step& s : steps) {
        SCOPED_TRACE(s.what);
        interrupt_flag flag;
        if (s.search) flag.reset();
        if (s.earlier != 0) flag.record(s.earlier);
        console_writes writes;
        if (s.inside) writes.enter();
        int saved_with = 0;
        const std::function<void(int)> save = [&](int interrupt) { saved_with = interrupt; };
        EXPECT_EQ(handle_console_event(flag, s.event, writes, s.with_save ? save : nullptr),
                  s.handled);
        EXPECT_EQ(saved_with, s.saved_with);
        // Taken over, the main thread must not return from its write; else it goes on.
        if (s.inside) {
            EXPECT_EQ(writes.leave(), s.saved_with == 0);
        }
        if (s.saved_with == 0) continue;
        EXPECT_TRUE(handle_console_event(flag, 0, writes, save));  // no second save
        EXPECT_EQ(saved_with, s.saved_with);
    }
}

}  // namespace zorvanteli
