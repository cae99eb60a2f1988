// Checks the real system's processor count against the affinity of the asking thread, and that
// a worker thread keeps the interrupts off itself.
#include "platform/system.hpp"

#include <gtest/gtest.h>

#include <thread>

#ifdef __linux__
#include <pthread.h>
#include <sched.h>

#include <csignal>
#endif

namespace zorvanteli {

TEST(system, processors_follow_the_affinity_mask) {
    EXPECT_GE(real_system().processors(), 1u);
#ifdef __linux__
    cpu_set_t all;
    ASSERT_EQ(::sched_getaffinity(0, sizeof all, &all), 0);
    EXPECT_EQ(real_system().processors(), static_cast<unsigned>(CPU_COUNT(&all)));
    // What taskset -c does to a process, on a thread of its own.
    std::thread{[&] {
        int first = 0;
        while (!CPU_ISSET(first, &all)) ++first;
        cpu_set_t one;
        CPU_ZERO(&one);
        CPU_SET(first, &one);
        ASSERT_EQ(::sched_setaffinity(0, sizeof one, &one), 0);
        EXPECT_EQ(real_system().processors(), 1u);
    }}.join();
#endif
}

TEST(system, worker_threads_keep_the_interrupts_off) {
#ifdef __linux__
    std::thread{[] {
        real_system().keep_interrupts_off_this_thread();
        sigset_t blocked;
        ASSERT_EQ(::pthread_sigmask(SIG_BLOCK, nullptr, &blocked), 0);
        for (const int signal : {SIGINT, SIGTERM, SIGHUP})
            EXPECT_TRUE(sigismember(&blocked, signal));
        EXPECT_FALSE(sigismember(&blocked, SIGPIPE));
    }}.join();
    sigset_t here;  // the calling thread's own mask is left alone
    ASSERT_EQ(::pthread_sigmask(SIG_BLOCK, nullptr, &here), 0);
    EXPECT_FALSE(sigismember(&here, SIGINT));
#else
    GTEST_SKIP() << "console events come on a thread of their own";
#endif
}

}  // namespace zorvanteli
