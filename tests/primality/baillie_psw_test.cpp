// Checks the sieve's bulk confirmation on each arithmetic it runs on: against numbers whose
// nature PARI/GP settled, and against the single-number test on runs of survivors. The hard
// composites are strong pseudoprimes to base 2 and Carmichael numbers on both sides of 2^62,
// where the lazy arithmetic stops, and of 2^63; the numbers of rare shapes are those the
// vector lanes hand back to the portable arithmetic.
#include "primality/baillie_psw.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <string>
#include <vector>

#include "platform/joining_thread.hpp"
#include "primality/primality.hpp"

namespace zorvanteli {

const char* name(arithmetic kind) {
    switch (kind) {
        case arithmetic::portable:
            return "portable";
        case arithmetic::lazy:
            return "lazy";
        case arithmetic::ifma:
            return "ifma";
    }
    return "unknown";
}
// Names the arithmetic in failure messages.
void PrintTo(arithmetic kind, std::ostream* out) {
    *out << name(kind);
}

namespace {

using u64 = std::uint64_t;

// All odd, above 2^32 and free of prime factors up to 61, as the sieve hands numbers over.
const std::vector<u64> known_primes = {
    4294967311, 4294967357,                        // just above 2^32
    4611686018427387817, 4611686018427387847,      // the largest two below 2^62
    4611686018427388039, 4611686018427388073,      // the smallest two above 2^62
    9223372036854775643, 9223372036854775783,      // below 2^63
    9223372036854775837u, 9223372036854775907u,    // above 2^63
    18446744073709551533u, 18446744073709551557u,  // the largest two below 2^64
    // d 2^s + 1 with d < 32: 3 2^36, 5 2^55, 29 2^57, 27 2^59; then d of six bits: 35 2^31,
    // 35 2^55
    206158430209, 180143985094819841, 4179340454199820289, 15564440312192434177u, 75161927681,
    1261007895663738881, 2305843009213693951, 108086391056891903,
    90071992547409919,                            // 2^61, 3 2^55, 5 2^54, - 1
    1000000000000002961, 18446744073709550591u};  // Lucas parameter 11 and 9
const std::vector<u64> known_composites = {
    // Strong pseudoprimes to base 2 (k + 1)(2k + 1): below and above 2^62 and 2^63, below 2^64
    4611683945747516653, 4611697721588976481, 9223367129855292781, 9223378056252423253u,
    18446743208455367653u,
    // Carmichael numbers (6k + 1)(12k + 1)(18k + 1) that are strong pseudoprimes to base 2,
    // likewise placed
    4362646347800775721, 4662697838094976681, 9182420305610034169, 9275096661522257161u,
    17641878857973672121u,
    // and some that are not
    4589144619845069521, 4624098664067171209, 9215447790472998049, 9237750053364305929u,
    18404023255395111361u,
    // d 2^s + 1 with d < 32: 2^32 + 1 (a strong pseudoprime to base 2), 2^40, 3 2^60, 15 2^60
    4294967297, 1099511627777, 3458764513820540929, 17293822569102704641u,
    // Strong pseudoprimes to base 2 from the tables of Jaeschke and others
    4759123141, 2152302898747, 3474749660383, 341550071728321, 3825123056546413051};

class bulk_confirmation : public testing::TestWithParam<arithmetic> {
protected:
    void SetUp() override {
        if (!available(GetParam()))
            GTEST_SKIP()
                << "this processor has no AVX-512 IFMA, so its arithmetic is untested here";
    }
    std::vector<u64> kept(std::vector<u64> numbers) const {
        numbers.resize(keep_primes(numbers, GetParam()));
        return numbers;
    }
};

std::vector<u64> primes_among(const std::vector<u64>& numbers) {
    std::vector<u64> primes;
    std::ranges::copy_if(numbers, std::back_inserter(primes), is_prime_candidate);
    return primes;
}

// `count` survivors from `start` up, the pseudoprimes and Carmichael numbers mixed in.
std::vector<u64> survivors_from(u64 start, std::size_t count) {
    std::vector<u64> numbers;
    for (u64 n = start | 1; numbers.size() < count; n += 2) {
        bool free = true;
        for (u64 p = 3; p <= 61 && free; p += 2) free = n % p != 0;
        if (free) numbers.push_back(n);
        if (numbers.size() % 40 == 39)
            numbers.push_back(known_composites[numbers.size() / 40 % known_composites.size()]);
    }
    return numbers;
}

TEST_P(bulk_confirmation, keeps_known_primes_in_order_and_drops_known_composites) {
    std::vector<u64> mixed;
    for (std::size_t i = 0; i < std::max(known_primes.size(), known_composites.size()); ++i) {
        if (i < known_composites.size()) mixed.push_back(known_composites[i]);
        if (i < known_primes.size()) mixed.push_back(known_primes[i]);
    }
    EXPECT_EQ(kept(mixed), known_primes);
    // Alone, each fills one lane of a batch padded with copies of itself.
    for (u64 n : known_primes) EXPECT_EQ(kept({n}), std::vector<u64>{n});
    for (u64 n : known_composites) EXPECT_EQ(kept({n}), std::vector<u64>{}) << n;
    // Wholly below 2^62, a batch runs on the lazy arithmetic where that is asked for.
    std::vector<u64> small;
    std::ranges::copy_if(mixed, std::back_inserter(small), [](u64 n) { return n >> 62 == 0; });
    std::vector<u64> small_primes;
    std::ranges::copy_if(known_primes, std::back_inserter(small_primes),
                         [](u64 n) { return n >> 62 == 0; });
    EXPECT_EQ(kept(small), small_primes);
}

// The lanes of one group may hold numbers of different lengths: the shorter wait their turn.
TEST_P(bulk_confirmation, agrees_with_single_number_test_on_survivors) {
    std::vector<u64> all;
    for (u64 start :
         {u64{1} << 32, u64{1'000'000'000'000}, (u64{1} << 62) - 4000, (u64{1} << 62) + 2,
          (u64{1} << 63) - 4000, (u64{1} << 63) + 2, ~u64{0} - 8000}) {
        const std::vector<u64> numbers = survivors_from(start, 300);
        const std::vector<u64> expected = primes_among(numbers);
        EXPECT_EQ(kept(numbers), expected) << "from " << start;
        EXPECT_GT(expected.size(), 10u) << "from " << start;
        all.insert(all.end(), numbers.begin(), numbers.begin() + 37);
    }
    EXPECT_EQ(kept(all), primes_among(all));
}

// Every short group the lanes fill: all sizes up to several full groups of either test.
TEST_P(bulk_confirmation, batches_of_every_size) {
    // Two primes to a composite survivor, so that the Lucas test gets groups of all sizes too.
    std::vector<u64> numbers;
    for (u64 n : survivors_from(10'000'000'000'000'000'000u, 2000))
        if (is_prime_candidate(n) || numbers.size() % 3 == 2) numbers.push_back(n);
    numbers.resize(200);
    for (std::size_t size = 0; size <= numbers.size(); ++size) {
        const std::vector<u64> batch(numbers.begin(), numbers.begin() + static_cast<long>(size));
        ASSERT_EQ(kept(batch), primes_among(batch)) << "batch of " << size;
    }
}

// Threads of a parallel search confirm at the same time; nothing may be shared between them.
TEST_P(bulk_confirmation, threads_confirm_side_by_side) {
    const std::vector<u64> numbers = survivors_from(1'000'000'000'000'000'000, 2000);
    const std::vector<u64> expected = primes_among(numbers);
    std::vector<std::vector<u64>> results(4);
    {
        std::vector<joining_thread> threads;
        for (auto& result : results)
            threads.emplace_back([&] {
                for (int round = 0; round < 3; ++round) result = kept(numbers);
            });
    }
    for (const auto& result : results) EXPECT_EQ(result, expected);
}

INSTANTIATE_TEST_SUITE_P(every_arithmetic, bulk_confirmation,
                         testing::Values(arithmetic::portable, arithmetic::lazy, arithmetic::ifma),
                         [](const testing::TestParamInfo<arithmetic>& kind) {
                             return std::string{name(kind.param)};
                         });

}  // namespace
}  // namespace zorvanteli
