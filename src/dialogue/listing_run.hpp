// The run without a dialogue, for scripts: the COUNT primes from START on standard output alone,
// and in the file --output names.
#pragma once

#include <cstdint>
#include <ostream>

#include "dialogue/options.hpp"
#include "platform/system.hpp"

namespace zorvanteli {

// Lists the primes and returns the exit status: 0 when all that was asked for is written; 1 when
// the file or standard output could not be, memory ran out, or the range ended before `count`
// primes, each told on `err`. A standard output whose reader went away ends the run at once,
// quietly, unless there is a file to finish.
int run_listing(std::uint64_t start, std::uint64_t count, const run_settings& settings,
                std::ostream& err, system_seam& system);
int run_listing(std::uint64_t start, std::uint64_t count, const run_settings& settings);

}  // namespace zorvanteli
