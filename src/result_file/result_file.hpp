// The result file: its name from the local start time, its exclusive creation beside any
// earlier run's file or its written-beside replacement of a file the user named, and the writes
// that report their first failure.
#pragma once

#include <cstdint>
#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

#include "platform/system.hpp"

namespace zorvanteli {

// "HHMM DD-MM-YYYY.txt" of `time` in the local time zone.
std::string result_file_name(std::time_t time);

// `name` with " (copy)" before its extension: "1405 08-12-2026 (2).txt" for copy 2.
std::string numbered_name(const std::string& name, unsigned copy);

class result_file {
public:
    const std::string& name() const { return name_; }
    // Whether the file exists: false when it could not be created.
    bool created() const { return created_; }
    bool failed() const { return failure_.has_value(); }
    const std::optional<std::error_code>& failure() const { return failure_; }
    // The whole lines in the file.
    std::uint64_t lines_saved() const { return lines_saved_; }
    // Where the lines are: the name, or where a replacement stayed when it could not take the
    // name's place.
    const std::string& saved_in() const { return kept_in_.empty() ? name_ : kept_in_; }

    // Writes `lines` whole lines; after the first failure nothing more is written, and the file
    // keeps the whole lines that reached it. Returns false on the call that fails.
    bool write(std::string_view bytes, std::uint64_t lines);
    // Returns false when the close itself fails (a write failure was reported already). A
    // replacement then takes its name's place; or, after any failure, it is removed and the old
    // file stays as it was. Should only the renaming fail, it stays where it is, under saved_in().
    bool close();

private:
    friend result_file open_result_file(const std::string& name, system_seam& system);
    friend result_file open_replacement(const std::string& name, system_seam& system);
    bool replace();
    std::string name_;
    std::string written_as_;  // a replacement's own name until it takes name_'s place
    std::string kept_in_;     // where a replacement stayed whose renaming failed
    system_seam* system_ = nullptr;
    std::unique_ptr<output_file> file_;
    std::optional<std::error_code> failure_;
    std::uint64_t lines_saved_ = 0;
    bool created_ = false;
};

// Creates the file under `name`, or under the first free numbered name when `name` is taken.
// On failure the result has failed() set and name() is the name it last tried.
result_file open_result_file(const std::string& name, system_seam& system);

// Creates a file beside `name`, named after it, that takes its place when closed: a file of that
// name keeps its old contents until the new one is complete, or the listing cleanly ended.
result_file open_replacement(const std::string& name, system_seam& system);

// The one line that tells the user a result file is incomplete.
std::string write_failure_message(const result_file& file);

// The line that tells the user what an interrupt left in the file.
std::string interrupt_message(const result_file& file);

// The line that tells the user that memory ran out and what the file holds.
std::string out_of_memory_message(const result_file& file);

}  // namespace zorvanteli
