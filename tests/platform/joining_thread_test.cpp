// Checks that a joining thread runs its function and is joined when it goes out of scope, also
// from a vector that moved it, and at an explicit join.
#include "platform/joining_thread.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <vector>

namespace zorvanteli {
namespace {

TEST(joining_thread, runs_and_is_joined_at_the_end_of_its_scope) {
    std::atomic<int> done = 0;
    {
        std::vector<joining_thread> threads;  // grows one at a time: moves the running ones
        for (int i = 0; i < 5; ++i) threads.emplace_back([&] { ++done; });
    }
    EXPECT_EQ(done, 5);
    int value = 0;
    joining_thread writer{[&] { value = 42; }};
    writer.join();
    EXPECT_EQ(value, 42);  // not a race: joined
}

}  // namespace
}  // namespace zorvanteli
