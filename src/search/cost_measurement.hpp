// The plan's costs measured on the machine the program runs on: a few thousand confirmations
// and set-ups of large primes, a millisecond or two, where a search is long enough for the choice
// they decide to matter. The figures in doc/algorithms.md came from two machines; this one may be
// neither.
#pragma once

#include "search/plan.hpp"

namespace zorvanteli {

// Measures once, and gives the same answer from then on. The rest of the costs stay as plan_costs
// has them.
const plan_costs& measured_costs();

// What measured_costs() measures, afresh each time.
plan_costs measure_costs();

}  // namespace zorvanteli
