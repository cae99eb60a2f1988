// The run without a dialogue: where the listing goes, what ends it early, and what it tells.
#include "dialogue/listing_run.hpp"

#include <algorithm>
#include <iostream>
#include <string>

#include "dialogue/progress.hpp"
#include "dialogue/search_run.hpp"

namespace zorvanteli {
namespace {

// Hands the blocks to standard output and counts the whole lines it took.
class output_lines final : public line_sink {
public:
    explicit output_lines(system_seam& system) : system_{system} {}
    void write(std::string_view bytes, std::uint64_t lines) override {
        const std::size_t written = system_.write_console(bytes);
        listed_ +=
            written == bytes.size()
                ? lines
                : static_cast<std::uint64_t>(std::ranges::count(bytes.substr(0, written), '\n'));
    }
    std::uint64_t listed() const { return listed_; }

private:
    system_seam& system_;
    std::uint64_t listed_ = 0;
};

// What an interrupt, or memory running out, left: "...; K primes were saved in "NAME"." for a
// file, or how many whole lines standard output took.
std::string what_was_kept(bool interrupted, const result_file& file, bool to_file,
                          const output_lines& output) {
    if (to_file) return interrupted ? interrupt_message(file) : out_of_memory_message(file);
    return std::string{interrupted ? "Interrupted" : "Out of memory"} + "; " +
           std::to_string(output.listed()) + " primes were written to standard output.\n";
}

}  // namespace

int run_listing(std::uint64_t start, std::uint64_t count, const run_settings& settings,
                std::ostream& err, system_seam& system) {
    const bool to_file = settings.output.has_value();
    result_file file;
    if (to_file) {
        file = open_replacement(*settings.output, system);
        if (file.failed()) {  // nothing is searched for a file that cannot be
            err << write_failure_message(file) << std::flush;
            return 1;
        }
    }
    output_lines output{system};
    quiet_lines nowhere;
    // Progress on a terminal's standard error, unless the primes go to that terminal.
    const bool shown = system.is_terminal(standard_stream::error) &&
                       (settings.quiet || !system.is_terminal(standard_stream::output));
    progress_line progress{settings.quiet ? static_cast<line_sink&>(nowhere) : output, count,
                           system, shown};
    failure_report report{[&progress] { progress.clear(); }, err};
    file_lines to_file_lines{file, report};

    const auto save = [&](int signal) {
        const std::string failure = file.close() ? "" : write_failure_message(file);
        system.write_error(progress.clearing() + failure +
                           what_was_kept(true, file, to_file, output));
        system.end_by_signal(signal);
    };
    // Without a file, a standard output that is gone leaves nothing to do.
    const auto output_gone = [&] { return !to_file && system.console_failure(); };
    const search_run run =
        run_search(start, count, to_file_lines, progress, system, settings, save, output_gone);
    if (run.interrupt != 0) {
        save(run.interrupt);
        return 128 + run.interrupt;  // only if the signal did not end the process
    }
    if (!file.close()) report(file);
    progress.clear();

    const std::error_code output_failure = system.console_failure();
    // A reader that went away took all it wanted, as with `| head`.
    const bool output_failed = output_failure && output_failure != std::errc::broken_pipe;
    if (output_failure == std::errc::broken_pipe && !to_file) return 0;
    if (output_failed)
        err << "Could not write the listing to standard output: " << output_failure.message()
            << "\n";
    if (run.out_of_memory) err << what_was_kept(false, file, to_file, output);
    if (run.outcome.reached_end) err << end_of_range_message(run.outcome, count);
    err << progress.summary(file.failed() ? "" : file.saved_in()) << std::flush;
    return file.failed() || output_failed || run.out_of_memory || run.outcome.reached_end ? 1 : 0;
}

int run_listing(std::uint64_t start, std::uint64_t count, const run_settings& settings) {
    return run_listing(start, count, settings, std::cerr, real_system());
}

}  // namespace zorvanteli
