// Checks the result file's name in several time zones, its numbered variants, its exclusive
// creation, the replacement of a named file, and how its failures are kept and reported.
#include "result_file/result_file.hpp"

#include <gtest/gtest.h>

#include "platform/fake_system.hpp"

namespace zorvanteli {

static std::string failure_message(const std::string& name, std::errc reason) {
    return "Could not write the result file \"" + name +
           "\": " + std::make_error_code(reason).message() + "\n";
}

TEST(result_file, names) {
    const std::tuple<const char*, std::time_t, const char*> cases[] = {
        {"UTC0", 0, "0000 01-01-1970.txt"},
        {"UTC0", 1772694480, "0708 05-03-2026.txt"},     // 5 March 2026 07:08
        {"UTC0", 951782400, "0000 29-02-2000.txt"},      // midnight of a leap day
        {"UTC0", 946684799, "2359 31-12-1999.txt"},      // the last minute of a year
        {"EST5", 946684800, "1900 31-12-1999.txt"},      // still the old year in the west
        {"IST-5:30", 946684799, "0529 01-01-2000.txt"},  // already the new one in the east
        {"IST-5:30", 1765202700, "1935 08-12-2025.txt"}};
    for (const auto& [zone, time, name] : cases) {
        const local_time_zone local{zone};
        EXPECT_EQ(result_file_name(time), name) << zone;
    }
    EXPECT_EQ(numbered_name("1405 08-12-2026.txt", 2), "1405 08-12-2026 (2).txt");
    EXPECT_EQ(numbered_name("1405 08-12-2026.txt", 10000), "1405 08-12-2026 (10000).txt");
    EXPECT_EQ(numbered_name("a.b.txt", 3), "a.b (3).txt");
    EXPECT_EQ(numbered_name("results", 3), "results (3)");
}

TEST(result_file, creation_takes_the_first_free_name) {
    fake_system system;
    system.files = {{"x.txt", "old"}, {"x (2).txt", "older"}};
    result_file file = open_result_file("x.txt", system);
    EXPECT_EQ(file.name(), "x (3).txt");
    EXPECT_FALSE(file.failed());
    EXPECT_TRUE(file.write("2\n3\n", 2) && file.close());
    EXPECT_EQ(file.lines_saved(), 2u);
    EXPECT_EQ(system.files,
              (std::map<std::string, std::string>{
                  {"x.txt", "old"}, {"x (2).txt", "older"}, {"x (3).txt", "2\n3\n"}}));

    // Any other error would only repeat for the next names.
    system.create_errors["x (3).txt"] = std::make_error_code(std::errc::permission_denied);
    system.attempts.clear();
    const result_file refused = open_result_file("x.txt", system);
    EXPECT_EQ(refused.name(), "x (3).txt");
    EXPECT_EQ(system.attempts, (std::vector<std::string>{"x.txt", "x (2).txt", "x (3).txt"}));
    EXPECT_EQ(write_failure_message(refused),
              failure_message("x (3).txt", std::errc::permission_denied));
}

TEST(result_file, first_failure_sticks) {
    fake_system system;
    system.write_limit = 5;
    result_file file = open_result_file("r.txt", system);
    EXPECT_TRUE(file.write("2\n3\n", 2));
    EXPECT_FALSE(file.write("5\n", 1));  // the disk is full
    EXPECT_TRUE(file.write("7\n", 1));   // only the failing call says so
    system.close_error = std::make_error_code(std::errc::io_error);
    EXPECT_TRUE(file.close());
    EXPECT_EQ(file.lines_saved(), 2u);
    EXPECT_EQ(system.files["r.txt"], "2\n3\n");
    EXPECT_EQ(write_failure_message(file), failure_message("r.txt", std::errc::no_space_on_device));

    system.files.clear();  // a failing close is a failure of its own
    result_file closed = open_result_file("r.txt", system);
    EXPECT_TRUE(closed.write("2\n", 1));
    EXPECT_FALSE(closed.close());
    EXPECT_EQ(write_failure_message(closed), failure_message("r.txt", std::errc::io_error));
    EXPECT_EQ(closed.lines_saved(), 1u);
}

TEST(result_file, failed_write_keeps_whole_lines) {
    fake_system system;
    system.write_limit = 12;  // room for "2\n3\n" and 8 bytes of the next block
    result_file file = open_result_file("r.txt", system);
    EXPECT_TRUE(file.created());
    EXPECT_TRUE(file.write("2\n3\n", 2));
    EXPECT_FALSE(file.write("5\n7\n11\n13\n", 4));  // 13 would be torn
    EXPECT_EQ(system.files["r.txt"], "2\n3\n5\n7\n11\n");
    EXPECT_EQ(file.lines_saved(), 5u);
    EXPECT_EQ(interrupt_message(file), "Interrupted; 5 primes were saved in \"r.txt\".\n");
    EXPECT_EQ(out_of_memory_message(file), "Out of memory; 5 primes were saved in \"r.txt\".\n");

    system.create_errors["q.txt"] = std::make_error_code(std::errc::read_only_file_system);
    const result_file never = open_result_file("q.txt", system);
    EXPECT_FALSE(never.created());
    EXPECT_EQ(interrupt_message(never), "Interrupted; nothing was saved.\n");
    EXPECT_EQ(out_of_memory_message(never), "Out of memory; nothing was saved.\n");
}

using file_map = std::map<std::string, std::string>;

TEST(result_file, replacement_takes_the_place_of_the_old_file_once_closed) {
    fake_system system;
    system.files = {{"p.txt", "old\n"}, {"p.txt.part", "left by a killed run\n"}};
    result_file file = open_replacement("p.txt", system);
    EXPECT_EQ(file.name(), "p.txt");
    EXPECT_TRUE(file.created() && !file.failed());
    EXPECT_TRUE(file.write("2\n3\n", 2));
    EXPECT_EQ(system.files["p.txt"], "old\n");  // until the listing is complete
    EXPECT_TRUE(file.close());
    EXPECT_EQ(system.files,
              (file_map{{"p.txt", "2\n3\n"}, {"p.txt.part", "left by a killed run\n"}}));
    EXPECT_EQ(system.attempts, (std::vector<std::string>{"p.txt.part", "p.txt (2).part"}));
    EXPECT_EQ(interrupt_message(file), "Interrupted; 2 primes were saved in \"p.txt\".\n");

    fake_system fresh;  // nothing there before
    result_file first = open_replacement("dir/p.txt", fresh);
    EXPECT_TRUE(first.write("5\n", 1) && first.close());
    EXPECT_EQ(fresh.files, (file_map{{"dir/p.txt", "5\n"}}));
}

TEST(result_file, failed_replacement_leaves_the_old_file) {
    // The disk fills: the incomplete listing is removed, and nothing of it is said to be saved.
    fake_system full;
    full.files = {{"p.txt", "old\n"}};
    full.write_limit = 4;
    result_file file = open_replacement("p.txt", full);
    EXPECT_FALSE(file.write("2\n3\n5\n", 3));
    EXPECT_TRUE(file.close());
    EXPECT_EQ(full.files, (file_map{{"p.txt", "old\n"}}));
    EXPECT_EQ(full.removed, (std::vector<std::string>{"p.txt.part"}));
    EXPECT_EQ(write_failure_message(file), failure_message("p.txt", std::errc::no_space_on_device));
    EXPECT_EQ(interrupt_message(file), "Interrupted; nothing was saved.\n");

    // The close fails: the same.
    fake_system unclosable;
    unclosable.close_error = std::make_error_code(std::errc::io_error);
    result_file unclosed = open_replacement("p.txt", unclosable);
    EXPECT_TRUE(unclosed.write("2\n", 1));
    EXPECT_FALSE(unclosed.close());
    EXPECT_TRUE(unclosable.files.empty());
    EXPECT_EQ(write_failure_message(unclosed), failure_message("p.txt", std::errc::io_error));

    // The renaming fails: the complete listing stays where it was written, and says so.
    fake_system taken;
    taken.files = {{"p.txt", "old\n"}};
    taken.rename_errors["p.txt"] = std::make_error_code(std::errc::is_a_directory);
    result_file kept = open_replacement("p.txt", taken);
    EXPECT_TRUE(kept.write("2\n3\n", 2));
    EXPECT_FALSE(kept.close());
    EXPECT_EQ(taken.files, (file_map{{"p.txt", "old\n"}, {"p.txt.part", "2\n3\n"}}));
    EXPECT_EQ(kept.saved_in(), "p.txt.part");
    EXPECT_EQ(write_failure_message(kept),
              "Could not write the result file \"p.txt\": " +
                  std::make_error_code(std::errc::is_a_directory).message() +
                  " (the listing is in \"p.txt.part\")\n");
    EXPECT_EQ(interrupt_message(kept), "Interrupted; 2 primes were saved in \"p.txt.part\".\n");

    // Nothing can be created beside it: the message names the file asked for.
    fake_system read_only;
    read_only.create_errors["p.txt.part"] = std::make_error_code(std::errc::permission_denied);
    const result_file never = open_replacement("p.txt", read_only);
    EXPECT_TRUE(never.failed() && !never.created());
    EXPECT_EQ(write_failure_message(never), failure_message("p.txt", std::errc::permission_denied));
}

}  // namespace zorvanteli
