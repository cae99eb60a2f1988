// Checks the interrupt flag and the console control handler's logic: when interrupts are taken,
// which one is kept, which events are handled, and which handler calls wait for the save.
#include "platform/interrupt_flag.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace zorvanteli {

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
        EXPECT_FALSE(handle_console_event(flag, event)) << event;
        EXPECT_EQ(flag.pending(), 0) << event;
    }
    EXPECT_TRUE(handle_console_event(flag, 1));  // returns at once
    EXPECT_EQ(flag.pending(), 2);
    EXPECT_TRUE(handle_console_event(flag, 0));  // a second one is taken and changes nothing
    EXPECT_EQ(flag.pending(), 2);
    EXPECT_EQ(control_c_exit_status, 3221225786ul);
    EXPECT_EQ(control_c_exit_status & 0xff, 58u);  // what Wine tells a Linux parent

    // Outside the search every event goes on to Windows' default handling, without waiting.
    interrupt_flag outside;
    for (const unsigned long event : {0ul, 1ul, 2ul, 5ul, 6ul})
        EXPECT_FALSE(handle_console_event(outside, event)) << event;
    EXPECT_EQ(outside.pending(), 0);
}

TEST(interrupt_flag, session_ending_events_wait_until_saved) {
    for (const unsigned long event : {2ul, 5ul, 6ul}) {
        interrupt_flag flag;
        flag.reset();
        std::atomic<bool> returned{false};
        std::thread handler{[&] {
            EXPECT_TRUE(handle_console_event(flag, event));
            returned = true;
        }};
        while (flag.pending() == 0 && !returned) std::this_thread::yield();
        EXPECT_EQ(flag.pending(), static_cast<int>(event) + 1);
        // A Ctrl+C meanwhile, and the search's end, leave the first handler waiting.
        EXPECT_TRUE(handle_console_event(flag, 0));
        flag.close();
        std::this_thread::sleep_for(std::chrono::milliseconds{50});
        EXPECT_FALSE(returned) << event;
        flag.mark_saved();
        handler.join();
        EXPECT_TRUE(returned);
        EXPECT_EQ(flag.pending(), static_cast<int>(event) + 1);
    }
}

}  // namespace zorvanteli
