// Checks what the dialogue and the run without one share: the thread cap, and the one report of
// a failing file.
#include "dialogue/search_run.hpp"

#include <gtest/gtest.h>

#include <sstream>

#include "platform/fake_system.hpp"

namespace zorvanteli {
namespace {

TEST(search_run, threads_are_capped_by_the_processors) {
    // Processors, --threads, the threads to use.
    const std::tuple<unsigned, unsigned, unsigned> cases[] = {
        {1, 0, 1}, {4, 0, 4}, {4, 1, 1}, {4, 3, 3}, {4, 4, 4}, {4, 1000000, 4}, {1, 2, 1}};
    for (const auto& [processors, cap, threads] : cases) {
        fake_system system;
        system.processor_count = processors;
        EXPECT_EQ(threads_to_use({.threads = cap}, system), threads) << processors << " " << cap;
    }
}

TEST(search_run, failing_file_is_reported_once_after_clearing_the_way) {
    fake_system system;
    system.write_limit = 2;
    result_file file = open_result_file("r.txt", system);
    std::ostringstream err;
    int cleared = 0;
    failure_report report{[&cleared] { ++cleared; }, err};
    file_lines lines{file, report};
    lines.write("2\n", 1);
    lines.write("3\n", 1);
    lines.write("5\n", 1);
    EXPECT_EQ(cleared, 1);
    EXPECT_EQ(err.str(), "Could not write the result file \"r.txt\": " +
                             std::make_error_code(std::errc::no_space_on_device).message() + "\n");
    EXPECT_EQ(system.files["r.txt"], "2\n");
}

}  // namespace
}  // namespace zorvanteli
