// Checks that the costs measured on this machine are of the order the plan can use, whatever the
// machine: a confirmation takes more than a set-up, both take more than a nanosecond's fraction
// and less than a millisecond, and the top of the range confirms about as dearly or more.
#include "search/cost_measurement.hpp"

#include <gtest/gtest.h>

namespace zorvanteli {

TEST(cost_measurement, plausible_on_any_machine) {
    const plan_costs costs = measure_costs();
    EXPECT_GT(costs.set_up, 0.1);
    EXPECT_LT(costs.set_up, 1e6);
    EXPECT_GT(costs.confirmation, costs.set_up);
    EXPECT_LT(costs.confirmation, 1e6);
    EXPECT_GT(costs.confirmation_top, 0.5 * costs.confirmation);
    const plan_costs assumed;  // what is not measured stays
    EXPECT_EQ(costs.line, assumed.line);
    EXPECT_EQ(costs.sieve_number, assumed.sieve_number);
}

}  // namespace zorvanteli
