// The search between the questions or arguments and the end of a run.
#include "dialogue/search_run.hpp"

#include <algorithm>
#include <new>

namespace zorvanteli {

void failure_report::operator()(const result_file& file) {
    if (reported_) return;
    reported_ = true;
    if (before_) before_();
    err_ << write_failure_message(file) << std::flush;
}

void file_lines::write(std::string_view bytes, std::uint64_t lines) {
    if (!file_.write(bytes, lines)) report_(file_);
}

std::string end_of_range_message(const search_outcome& outcome, std::uint64_t quota) {
    return "Reached 18446744073709551615, the largest number that can be searched; found " +
           std::to_string(outcome.found) + " of " + std::to_string(quota) + " primes.\n";
}

unsigned threads_to_use(const run_settings& settings, system_seam& system) {
    const unsigned processors = system.processors();
    return settings.threads == 0 ? processors : std::min(settings.threads, processors);
}

search_run run_search(std::uint64_t start, std::uint64_t quota, line_sink& file, line_sink& console,
                      system_seam& system, const run_settings& settings,
                      std::function<void(int)> save, const std::function<bool()>& stop) {
    // Where this thread can be stuck in a console write for good, the interrupt's thread ends
    // the run; the file already holds all that the console shows.
    system.catch_interrupts(std::move(save));
    search_run run;
    try {
        run.outcome = list_primes(
            start, quota, file, console,
            {.threads = threads_to_use(settings, system),
             .memory_limit = system.memory_limit(),
             .worker_started = [&system] { system.keep_interrupts_off_this_thread(); },
             .stop_requested =
                 [&system, &stop] { return system.pending_interrupt() != 0 || (stop && stop()); },
             .costs = settings.costs});
    } catch (const std::bad_alloc&) {
        // The search has freed its memory and handed on whole lines; the run ends as after a
        // file failure.
        run.out_of_memory = true;
    }
    system.release_interrupts();
    // An interrupt that came as the search ended is honoured after the file is complete.
    run.interrupt = system.pending_interrupt();
    return run;
}

}  // namespace zorvanteli
