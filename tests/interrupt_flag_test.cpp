// Checks the interrupt flag and the console control handler's logic: which events are taken,
// which interrupt is kept, and which handler calls wait for the save.
#include "platform/interrupt_flag.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace zorvanteli {

TEST(interrupt_flag, keeps_the_first_interrupt_until_reset) {
    interrupt_flag flag;
    EXPECT_EQ(flag.pending(), 0);
    flag.record(15);
    flag.record(2);
    EXPECT_EQ(flag.pending(), 15);
    flag.reset();
    EXPECT_EQ(flag.pending(), 0);
    flag.record(1);
    EXPECT_EQ(flag.pending(), 1);
}

TEST(interrupt_flag, console_events) {
    // Windows' numbers: Ctrl+C 0, Ctrl+Break 1, close 2, log-off 5, shut-down 6; 3 and 4 are
    // not used and must be left to the next handler.
    for (const unsigned long event : {3ul, 4ul, 7ul}) {
        interrupt_flag flag;
        EXPECT_FALSE(handle_console_event(flag, event)) << event;
        EXPECT_EQ(flag.pending(), 0) << event;
    }
    interrupt_flag flag;
    EXPECT_TRUE(handle_console_event(flag, 1));  // returns at once
    EXPECT_EQ(flag.pending(), 2);
    EXPECT_TRUE(handle_console_event(flag, 0));  // a second one changes nothing
    EXPECT_EQ(flag.pending(), 2);
    EXPECT_EQ(control_c_exit_status, 3221225786ul);
    EXPECT_EQ(control_c_exit_status & 0xff, 58u);  // what Wine tells a Linux parent
}

TEST(interrupt_flag, session_ending_events_wait_until_saved) {
    for (const unsigned long event : {2ul, 5ul, 6ul}) {
        interrupt_flag flag;
        std::atomic<bool> returned{false};
        std::thread handler{[&] {
            EXPECT_TRUE(handle_console_event(flag, event));
            returned = true;
        }};
        while (flag.pending() == 0) std::this_thread::yield();
        EXPECT_EQ(flag.pending(), static_cast<int>(event) + 1);
        // A Ctrl+C meanwhile returns, and the first handler still waits.
        EXPECT_TRUE(handle_console_event(flag, 0));
        std::this_thread::sleep_for(std::chrono::milliseconds{50});
        EXPECT_FALSE(returned) << event;
        flag.mark_saved();
        handler.join();
        EXPECT_TRUE(returned);
        EXPECT_EQ(flag.pending(), static_cast<int>(event) + 1);
    }
}

}  // namespace zorvanteli
