// The dialogue flow, and the two destinations of the listing: result file and console.
#include "dialogue/dialogue.hpp"

#include <string>

#include "dialogue/console_buffer.hpp"
#include "dialogue/number_reading.hpp"
#include "dialogue/search_run.hpp"

namespace zorvanteli {
namespace {

constexpr std::string_view quota_prompt = "Look for how many prime numbers?\n";
constexpr std::string_view start_failed = "Error in number conversion! Sets start number to 1.";
constexpr std::string_view quota_failed = "Error in number conversion! Sets number to 1.";
constexpr std::string_view closing_prompt = "Done! Press enter to quit program.";

// Hands the blocks to the system seam at once, after what the dialogue's stream holds.
class console_lines final : public line_sink {
public:
    console_lines(std::ostream& out, system_seam& system) : out_{out}, system_{system} {}
    void write(std::string_view bytes, std::uint64_t) override {
        out_.flush();  // what the dialogue wrote comes first
        system_.write_console(bytes);
    }

private:
    std::ostream& out_;
    system_seam& system_;
};

// Closes the file after an interrupt, says what it holds, and ends the process as the
// interrupt would have. One write: each may wait a moment for standard error.
void end_interrupted(result_file& file, system_seam& system, int signal) {
    const std::string failure = file.close() ? "" : write_failure_message(file);
    system.write_error(failure + interrupt_message(file));
    system.end_by_signal(signal);
}

}  // namespace

void print_banner(std::ostream& out) {
    out << "          A TOLVEK PRODUCT\n"
           "--------------------------------------\n"
           "             ZORVANTELI!\n"
           "--------------------------------------\n"
           "-----------------V1.1-----------------\n"
           "This program searches for prime numbers\n"
           "and writes them to a textfile, having\n"
           " the current time and date as its filename,\n"
           "into the same catalouge as the program.\n\n"
           "Start the search from which number?\n";
}

int run_dialogue(std::istream& in, std::ostream& out, std::ostream& err, system_seam& system,
                 const run_settings& settings) {
    const std::string name = settings.output.value_or(result_file_name(system.now()));
    print_banner(out);
    const std::uint64_t start = read_number(in, out, start_failed);
    out << quota_prompt;
    const std::uint64_t quota = read_number(in, out, quota_failed);

    failure_report report{[&out] { out.flush(); }, err};  // after what the console shows
    result_file file =
        settings.output ? open_replacement(name, system) : open_result_file(name, system);
    if (file.failed()) report(file);
    out << '\n';

    file_lines to_file{file, report};
    console_lines to_console{out, system};
    quiet_lines nowhere;
    const search_run run = run_search(
        start, quota, to_file,
        settings.quiet ? static_cast<line_sink&>(nowhere) : static_cast<line_sink&>(to_console),
        system, settings, [&file, &system](int signal) { end_interrupted(file, system, signal); });
    if (run.interrupt != 0) {
        out.flush();
        end_interrupted(file, system, run.interrupt);
        return 128 + run.interrupt;  // only if the signal did not end the process
    }
    if (!file.close()) report(file);
    if (run.out_of_memory) {
        out.flush();  // after what the console shows
        err << out_of_memory_message(file) << std::flush;
    }

    if (run.outcome.reached_end) out << end_of_range_message(run.outcome, quota);
    out << '\n' << closing_prompt << std::flush;
    in.ignore(1, '\n');
    in.get();
    return file.failed() || run.out_of_memory ? 1 : 0;
}

int run_dialogue(const run_settings& settings) {
    system_seam& system = real_system();
    // The dialogue's text takes the listing's way to the console; reads still flush it first.
    console_buffer buffer{system};
    std::ostream console{&buffer};
    std::cin.tie(&console);
    const int status = run_dialogue(std::cin, console, std::cerr, system, settings);
    std::cin.tie(&std::cout);
    return status;
}

}  // namespace zorvanteli
