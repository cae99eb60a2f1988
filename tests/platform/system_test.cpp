// Checks the real system's processor count against the affinity of the asking thread, that a
// worker thread keeps the interrupts off itself, that a file takes another's place whole, and
// which standard streams are terminals.
#include "platform/system.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

#ifndef _WIN32
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>
#endif
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

namespace fs = std::filesystem;

std::string contents(const fs::path& path) {
    std::ifstream in{path, std::ios::binary};
    return {std::istreambuf_iterator<char>{in}, {}};
}

TEST(system, renamed_file_takes_the_place_of_another) {
    const fs::path folder =
        fs::temp_directory_path() / ("zorvanteli-rename-" + std::to_string(std::random_device{}()));
    fs::create_directories(folder / "taken");
    const std::string old_file = (folder / "p.txt").string(),
                      new_file = (folder / "n.txt").string();
    std::ofstream{old_file} << "old\n";
    std::ofstream{new_file} << "2\n3\n";
    system_seam& system = real_system();
    EXPECT_EQ(system.rename_file(new_file, old_file), std::error_code{});
    EXPECT_EQ(contents(old_file), "2\n3\n");
    EXPECT_FALSE(fs::exists(new_file));
    // A folder of that name stays; so does the file.
    EXPECT_EQ(system.rename_file(old_file, (folder / "taken").string()), std::errc::is_a_directory);
    EXPECT_EQ(system.rename_file(new_file, old_file), std::errc::no_such_file_or_directory);
    EXPECT_EQ(system.remove_file(old_file), std::error_code{});
    EXPECT_EQ(system.remove_file(old_file), std::errc::no_such_file_or_directory);
    fs::remove_all(folder);
}

TEST(system, terminals_are_told_from_pipes) {
#ifdef _WIN32
    GTEST_SKIP() << "a console is not made here";
#else
    const int saved = ::dup(2);
    ASSERT_GE(saved, 0);
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_TRUE(master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0);
    const int terminal = ::open(::ptsname(master), O_RDWR | O_NOCTTY);
    int pipe_ends[2];
    ASSERT_TRUE(terminal >= 0 && ::pipe(pipe_ends) == 0);
    ::dup2(terminal, 2);
    const bool on_terminal = real_system().is_terminal(standard_stream::error);
    ::dup2(pipe_ends[1], 2);
    const bool on_pipe = real_system().is_terminal(standard_stream::error);
    ::dup2(saved, 2);
    for (const int fd : {saved, master, terminal, pipe_ends[0], pipe_ends[1]}) ::close(fd);
    EXPECT_TRUE(on_terminal);
    EXPECT_FALSE(on_pipe);
#endif
}

}  // namespace zorvanteli
