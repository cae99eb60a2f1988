// What the dialogue and the run without one share once the numbers are known: the listing's way
// into the result file, the report of the file's failure, and the search itself with interrupts
// caught and a shortage of memory taken in stride.
#pragma once

#include <cstdint>
#include <functional>
#include <ostream>
#include <string>

#include "dialogue/options.hpp"
#include "listing/listing.hpp"
#include "platform/system.hpp"
#include "result_file/result_file.hpp"

namespace zorvanteli {

// Tells the user once, on standard error, that the result file is incomplete; `before` first
// clears the way (flushes the console, takes a progress line off the terminal).
class failure_report {
public:
    failure_report(std::function<void()> before, std::ostream& err)
        : before_{std::move(before)}, err_{err} {}
    void operator()(const result_file& file);

private:
    std::function<void()> before_;
    std::ostream& err_;
    bool reported_ = false;
};

class file_lines final : public line_sink {
public:
    file_lines(result_file& file, failure_report& report) : file_{file}, report_{report} {}
    void write(std::string_view bytes, std::uint64_t lines) override;

private:
    result_file& file_;
    failure_report& report_;
};

// Where the primes go with --quiet: nowhere.
class quiet_lines final : public line_sink {
public:
    void write(std::string_view, std::uint64_t) override {}
};

// The threads the search may use: every processor, or fewer where --threads says so.
unsigned threads_to_use(const run_settings& settings, system_seam& system);

struct search_run {
    search_outcome outcome = {};
    bool out_of_memory = false;
    int interrupt = 0;  // the interrupt that came as the search ended, or 0
};

// What a search that ran into the end of the range tells: how many of the `quota` it found.
std::string end_of_range_message(const search_outcome& outcome, std::uint64_t quota);

// Lists the primes with interrupts caught. An interrupt stops the search, and one that comes while
// the console holds the main thread (Windows) has `save` save the run and end the process; one
// that came by the end is returned, for the caller to save. `stop` may stop the search too.
search_run run_search(std::uint64_t start, std::uint64_t quota, line_sink& file, line_sink& console,
                      system_seam& system, const run_settings& settings,
                      std::function<void(int)> save, const std::function<bool()>& stop = {});

}  // namespace zorvanteli
