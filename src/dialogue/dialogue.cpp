// The dialogue flow, and the two destinations of the listing: result file and console.
#include "dialogue/dialogue.hpp"

#include <new>
#include <string>

#include "dialogue/console_buffer.hpp"
#include "dialogue/number_reading.hpp"
#include "listing/listing.hpp"
#include "result_file/result_file.hpp"
#include "search/search.hpp"

namespace zorvanteli {
namespace {

constexpr std::string_view quota_prompt = "Look for how many prime numbers?\n";
constexpr std::string_view start_failed = "Error in number conversion! Sets start number to 1.";
constexpr std::string_view quota_failed = "Error in number conversion! Sets number to 1.";
constexpr std::string_view closing_prompt = "Done! Press enter to quit program.";

// Tells the user once, on standard error, that the result file is incomplete.
class failure_report {
public:
    failure_report(std::ostream& out, std::ostream& err) : out_{out}, err_{err} {}
    void operator()(const result_file& file) {
        if (reported_) return;
        reported_ = true;
        out_.flush();  // keep the report after what the console already shows
        err_ << write_failure_message(file) << std::flush;
    }

private:
    std::ostream& out_;
    std::ostream& err_;
    bool reported_ = false;
};

class file_lines final : public line_sink {
public:
    file_lines(result_file& file, failure_report& report) : file_{file}, report_{report} {}
    void write(std::string_view bytes, std::uint64_t lines) override {
        if (!file_.write(bytes, lines)) report_(file_);
    }

private:
    result_file& file_;
    failure_report& report_;
};

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

int run_dialogue(std::istream& in, std::ostream& out, std::ostream& err, system_seam& system) {
    const std::string name = result_file_name(system.now());
    print_banner(out);
    const std::uint64_t start = read_number(in, out, start_failed);
    out << quota_prompt;
    const std::uint64_t quota = read_number(in, out, quota_failed);

    failure_report report{out, err};
    result_file file = open_result_file(name, system);
    if (file.failed()) report(file);
    out << '\n';

    file_lines to_file{file, report};
    console_lines to_console{out, system};
    // Where this thread can be stuck in a console write for good, the interrupt's thread ends
    // the run; the file already holds all that the console shows.
    system.catch_interrupts(
        [&file, &system](int signal) { end_interrupted(file, system, signal); });
    search_outcome outcome;
    bool out_of_memory = false;
    try {
        outcome =
            list_primes(start, quota, to_file, to_console,
                        {.threads = system.processors(),
                         .memory_limit = system.memory_limit(),
                         .worker_started = [&system] { system.keep_interrupts_off_this_thread(); },
                         .stop_requested = [&system] { return system.pending_interrupt() != 0; }});
    } catch (const std::bad_alloc&) {
        // The search has freed its memory and handed on whole lines; the run ends as after a
        // file failure.
        out_of_memory = true;
    }
    system.release_interrupts();

    // An interrupt that came as the search ended is honoured here, after the file is complete.
    if (const int signal = system.pending_interrupt(); signal != 0) {
        out.flush();
        end_interrupted(file, system, signal);
        return 128 + signal;  // only if the signal did not end the process
    }
    if (!file.close()) report(file);
    if (out_of_memory) {
        out.flush();  // after what the console shows
        err << out_of_memory_message(file) << std::flush;
    }

    if (outcome.reached_end)
        out << "Reached 18446744073709551615, the largest number that can be searched; found "
            << outcome.found << " of " << quota << " primes.\n";
    out << '\n' << closing_prompt << std::flush;
    in.ignore(1, '\n');
    in.get();
    return file.failed() || out_of_memory ? 1 : 0;
}

int run_dialogue() {
    system_seam& system = real_system();
    // The dialogue's text takes the listing's way to the console; reads still flush it first.
    console_buffer buffer{system};
    std::ostream console{&buffer};
    std::cin.tie(&console);
    const int status = run_dialogue(std::cin, console, std::cerr, system);
    std::cin.tie(&std::cout);
    return status;
}

}  // namespace zorvanteli
