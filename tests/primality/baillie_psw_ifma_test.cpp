// Checks the IFMA lanes' own contract, below the bulk confirmation that uses them: the base-2
// verdicts, the numbers of rare shapes handed back undecided, the one of the lanes' Montgomery
// form passed on to the Lucas test, and the Lucas verdicts. Values from PARI/GP.
#include "primality/baillie_psw_ifma.hpp"

#include <gtest/gtest.h>

#include <vector>

namespace zorvanteli::ifma {
namespace {

using u64 = std::uint64_t;

struct probable_prime {
    u64 n;
    u64 parameter;  // the first P = 3, 4, ... with Jacobi(P^2 - 4, n) = -1
    u64 one;        // 2^104 mod n
};

const std::vector<probable_prime> primes = {
    {4294967311, 4, 4294103311},
    {4611686018427387847, 3, 250688651132928},
    {4611686018427388039, 4, 4611092282148388999},
    {9223372036854775783u, 3, 54975581388800},
    {9223372036854775837u, 3, 9223308265180364829u},
    {18446744073709551557u, 3, 64871186038784},
    {1000000000000002961, 11, 610367732414875405},
    {18446744073709550591u, 9, 1126999418470400},
    {2305843009213693951, 4, 8796093022208},       // 2^61 - 1
    {1261007895663738881, 4, 72041509753544470}};  // 35 2^55 + 1
// Strong pseudoprimes to base 2: (k + 1)(2k + 1), Carmichael numbers and two from the tables.
const std::vector<probable_prime> pseudoprimes = {{4611683945747516653, 3, 2064821770699518818},
                                                  {4611697721588976481, 11, 3208079548847922929},
                                                  {9223367129855292781u, 5, 4305597710377168384},
                                                  {9223378056252423253u, 3, 6478991323862752768},
                                                  {18446743208455367653u, 3, 3148759484008588119},
                                                  {4362646347800775721, 11, 1574699259628301561},
                                                  {4662697838094976681, 29, 927883758595686278},
                                                  {9182420305610034169, 11, 7363396865101362256},
                                                  {9275096661522257161u, 9, 2628816425698995919},
                                                  {17641878857973672121u, 9, 4116713355629219569},
                                                  {4759123141, 5, 2469738881},
                                                  {3825123056546413051, 4, 3063532323394333199}};
// Composites that base 2 rejects: Carmichael numbers and a product of two primes near 2^32.
const std::vector<u64> rejected = {4589144619845069521, 9237750053364305929u, 18404023255395111361u,
                                   18446743979220271189u};
// n - 1 = d 2^s with d below 32: 2^32 + 1, 2^40 + 1 and the prime 3 2^36 + 1.
const std::vector<u64> rare_shapes = {4294967297, 1099511627777, 206158430209};

class ifma_lanes : public testing::Test {
protected:
    void SetUp() override {
        if (!supported())
            GTEST_SKIP() << "this processor has no AVX-512 IFMA, so its lanes are untested here";
    }
};

TEST_F(ifma_lanes, base_2_test_passes_on_the_form_s_one) {
    std::vector<u64> numbers;
    std::vector<verdict> expected;
    for (const auto& [n, parameter, one] : primes) numbers.push_back(n);
    for (const auto& [n, parameter, one] : pseudoprimes) numbers.push_back(n);
    expected.assign(numbers.size(), verdict::probable_prime);
    numbers.insert(numbers.end(), rejected.begin(), rejected.end());
    expected.resize(numbers.size(), verdict::composite);
    numbers.insert(numbers.end(), rare_shapes.begin(), rare_shapes.end());
    expected.resize(numbers.size(), verdict::undecided);
    std::vector<verdict> verdicts(numbers.size());
    std::vector<u64> one(numbers.size());
    base_2_test(numbers, verdicts, one);
    EXPECT_EQ(verdicts, expected);
    for (std::size_t i = 0; i < primes.size(); ++i) EXPECT_EQ(one[i], primes[i].one);
    for (std::size_t i = 0; i < pseudoprimes.size(); ++i)
        EXPECT_EQ(one[primes.size() + i], pseudoprimes[i].one);
}

TEST_F(ifma_lanes, lucas_test_keeps_primes_and_rejects_strong_pseudoprimes) {
    std::vector<u64> numbers;
    std::vector<u64> parameters;
    std::vector<u64> ones;
    for (const auto& list : {primes, pseudoprimes}) {
        for (const auto& [n, parameter, one] : list) {
            numbers.push_back(n);
            parameters.push_back(parameter);
            ones.push_back(one);
        }
    }
    std::vector<verdict> expected(primes.size(), verdict::probable_prime);
    expected.resize(numbers.size(), verdict::composite);
    std::vector<verdict> verdicts(numbers.size());
    lucas_test(numbers, parameters, ones, verdicts);
    EXPECT_EQ(verdicts, expected);
}

}  // namespace
}  // namespace zorvanteli::ifma
