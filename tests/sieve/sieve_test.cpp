// Compares the segmented sieve with the single-number test: on windows across its segment
// boundaries at heights where it is exact and where it confirms, for starts and stops at every
// residue modulo 210, and for ranges after resets. Both sets of instructions are tested.
#include "sieve/sieve.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "primality/integer_sqrt.hpp"
#include "primality/primality.hpp"
#include "sieve/bucket_sieve.hpp"
#include "sieve/survivors.hpp"

namespace zorvanteli {

using u64 = std::uint64_t;
constexpr u64 top = ~u64{0};
constexpr u64 p32 = u64{1} << 32, p42 = u64{1} << 42, p44 = u64{1} << 44, p62 = u64{1} << 62,
              p63 = u64{1} << 63;

static u64 saturating_add(u64 a, u64 b) {
    return a > top - b ? top : a + b;
}

static std::vector<u64> primes_between(u64 low, u64 high) {
    std::vector<u64> primes;
    for (u64 n = low; n <= high && n >= low; ++n)  // the second test stops at the wrap
        if (is_prime_candidate(n)) primes.push_back(n);
    return primes;
}

// Pulls the primes of [start, stop] out of the sieve, in requests of every size and in both
// forms, until it has passed every window [b - 2000, b + 2000] (b in `boundaries`, and the
// range's start) or the range ends, and compares the primes in each window with the
// single-number test. The primes must come in ascending order.
static void expect_windows_match(segmented_sieve& sieve, u64 start, u64 stop,
                                 std::vector<u64> boundaries) {
    constexpr u64 half = 2000;
    boundaries.push_back(start);
    std::vector<std::pair<u64, u64>> windows;
    for (u64 b : boundaries)
        if (b >= start && b <= stop)
            windows.emplace_back(std::max(start, b < half ? 0 : b - half),
                                 std::min(stop, saturating_add(b, half)));
    u64 last_window = 0;
    for (const auto& window : windows) last_window = std::max(last_window, window.second);
    std::vector<std::vector<u64>> found(windows.size());
    std::vector<u64> batch;
    u64 previous = 0;
    bool first = true;
    for (std::size_t call = 0; !sieve.finished() && (first || previous < last_window); ++call) {
        const std::size_t wanted = std::array<std::size_t, 5>{1, 3, 64, 700, 8192}[call % 5];
        batch.clear();
        if (call % 2 == 0) {
            batch.resize(wanted);
            batch.resize(sieve.next_primes(std::span{batch}));
        } else {
            ASSERT_TRUE(sieve.next_primes(batch, wanted));
        }
        ASSERT_LE(batch.size(), wanted);
        for (u64 p : batch) {
            ASSERT_TRUE(first || p > previous) << p << " after " << previous;
            first = false;
            previous = p;
            for (std::size_t w = 0; w < windows.size(); ++w)
                if (p >= windows[w].first && p <= windows[w].second) found[w].push_back(p);
        }
    }
    for (std::size_t w = 0; w < windows.size(); ++w)
        EXPECT_EQ(found[w], primes_between(windows[w].first, windows[w].second))
            << "window " << windows[w].first << ".." << windows[w].second;
}

// A search of unknown length ramps its segments up from first_segment_bytes; a range of known
// length has full segments from its start. Heights: where the sieve is exact, around the square
// of its bound (the largest prime below 2^22 squared, and the product of the next two primes,
// which it must leave to the confirmation), and up to the end of the 64-bit range.
TEST(sieve, windows_across_segment_boundaries_match_the_single_number_test) {
    constexpr u64 first_span = segmented_sieve::first_segment_bytes * 30;
    const u64 starts[] = {0,
                          1000003,
                          p32 - 3000,
                          p42 - first_span - 7,
                          p44 - 90001,
                          u64{4194301} * 4194301 - 1000,
                          u64{4194319} * 4194329 - 2 * first_span + 999,
                          p62 + 1,
                          p63 - 2 * first_span + 17,
                          top - 3 * first_span - 29};
    std::vector<u64> heights(std::begin(starts), std::end(starts));
    std::mt19937_64 random{4242};
    for (int i = 0; i < 4; ++i) heights.push_back(random() >> (random() % 64) >> 2);
    for (instruction_set set : available_instruction_sets()) {
        for (u64 start : heights) {
            SCOPED_TRACE(testing::Message() << start << " set " << static_cast<int>(set));
            // Segments of 1, 2 and 4 first spans, each from a multiple of 30; the last start
            // runs into the end of the range.
            const u64 low = start - start % 30;
            segmented_sieve unbounded{start, top, set};
            expect_windows_match(
                unbounded, start, top,
                {low + first_span, low + 3 * first_span, saturating_add(low, 7 * first_span)});
            if (start == starts[std::size(starts) - 1]) {
                EXPECT_TRUE(unbounded.finished());
            }
        }
    }
    // Full segments, where confirming a segment's survivors costs little.
    for (u64 start : {u64{0}, p32 + 17, p44 - 30 * segmented_sieve::segment_bytes - 5}) {
        SCOPED_TRACE(start);
        const u64 span = 30 * segmented_sieve::full_segment_bytes(start);
        segmented_sieve bounded{start, start + 2 * span + 100};
        const u64 low = start - start % 30;
        expect_windows_match(bounded, start, start + 2 * span + 100,
                             {low + span, low + 2 * span, start + 2 * span + 100});
        EXPECT_TRUE(bounded.finished());
    }
}

// Short ranges that start and stop at every residue modulo 210, so that every bit of the first
// and the last byte, and the primes 2, 3 and 5 outside the wheel, are where a range can start or
// end; one sieve reset from range to range.
TEST(sieve, ranges_start_and_stop_at_every_residue) {
    for (instruction_set set : available_instruction_sets()) {
        segmented_sieve sieve{0, 0, set};
        for (u64 base : {u64{0}, p32 - 420, p44 - 210, p62, top - 1000}) {
            for (u64 r = 0; r < 210; ++r) {
                const u64 start = base + r, stop = base + 420 + (r * 11) % 210;
                SCOPED_TRACE(testing::Message() << start << ".." << stop);
                sieve.reset(start, stop);
                std::vector<u64> found;
                while (!sieve.finished()) ASSERT_TRUE(sieve.next_primes(found, 100));
                EXPECT_EQ(found, primes_between(start, stop));
            }
        }
    }
}

// One sieve reset from range to range, as a worker thread uses it: each range gives exactly the
// primes between its ends, including ranges of one number, empty ones and the top of the range.
TEST(sieve, ranges_after_reset_hold_exactly_their_primes) {
    const std::pair<u64, u64> ranges[] = {{0, 2},
                                          {2, 2},
                                          {3, 3},
                                          {4, 4},
                                          {9, 4},
                                          {1000, 1100},
                                          {segmented_sieve::segment_span - 50, 100},
                                          {0, 1000000},
                                          {top - 200, top},
                                          {top - 59, 1},
                                          {1ull << 42, 1000},
                                          {999999999989, 0},
                                          {5, 60}};
    segmented_sieve sieve{0, 0};
    for (const auto& [low, length] : ranges) {
        const u64 high = low > top - length ? top : low + length;
        SCOPED_TRACE(testing::Message() << low << ".." << high);
        sieve.reset(low, high);
        std::vector<u64> found;
        while (!sieve.finished()) ASSERT_TRUE(sieve.next_primes(found, 1000));
        EXPECT_EQ(found, primes_between(low, high));
    }
    sieve.reset(10, 9);  // stop below start: empty
    EXPECT_TRUE(sieve.finished());
}

}  // namespace zorvanteli

namespace zorvanteli {

// A full sieve proves the primes alone: on windows across its segments where the bucket primes
// begin (the root of the numbers crosses 2^22 at 2^44), around the square of the first of them,
// and at 10^15 and 10^17, where the largest primes strike the range once at most; also where the
// reader strikes a share of the bucket primes into each segment it is handed, as the sieve's
// reader does, and where the records are set up afresh for every segment. The primes of each
// whole range are counted too (primesieve's counts): a strike missed anywhere leaves a composite.
TEST(sieve, full_depth_windows_match_the_single_number_test) {
    constexpr u64 span = segmented_sieve::segment_span, half = 2000;
    constexpr u64 square = u64{4194319} * 4194319;  // of the first prime above 2^22
    // start, stop, the reader's share from, the records' windows (1: a segment each), the primes
    // in the range
    const std::tuple<u64, u64, u64, u64, u64> ranges[] = {
        {p44 - span - 7, p44 + span * 3 / 2 + 1000, top, 0, 2579238},
        {square - span / 2, square + span, top, 0, 1547872},
        {square - span / 2, square + span, 4194318, 1, 1547872},
        {1000000000000000 - 3, 1000000000000000 + span * 5 / 2 + 11, top, 0, 2276258},
        {1000000000000000 - 3, 1000000000000000 + span * 5 / 2 + 11, top, 1, 2276258},
        {1000000000000000 - 3, 1000000000000000 + span * 5 / 2 + 11, 10000000, 1, 2276258},
        {100000000000000001, 100000000000000000 + span * 3 / 2 + 5, 100000000, 0, 1204769}};
    for (instruction_set set : available_instruction_sets()) {
        for (const auto& [start, stop, shared_from, window, count] : ranges) {
            SCOPED_TRACE(testing::Message()
                         << start << ".." << stop << " from " << shared_from << " window " << window
                         << " set " << static_cast<int>(set));
            segmented_sieve sieve{start, stop, set, sieve_depth::full, shared_from, window};
            bucket_sieve reader;
            auto buffer = segmented_sieve::make_buffer();
            segmented_sieve::segment_bits bits;
            std::vector<u64> found, expected, out(span / 8 + 64);
            u64 all = 0;
            while (sieve.next_segment(buffer, bits)) {
                if (bits.shared_from != top) {
                    if (bits.first)
                        reader.reset(bits.low, bits.stop, bits.shared_from, bits.stop,
                                     bits.segment_bytes, bits.window_bytes);
                    reader.add_primes(
                        integer_sqrt(std::min(bits.stop, bits.low + 30 * bits.segment_bytes - 1)));
                    reader.strike(
                        reinterpret_cast<std::uint8_t*>(buffer.get()),
                        (std::min(bits.stop, bits.low + 30 * bits.segment_bytes - 1) - bits.low) /
                                30 +
                            1);
                }
                const u64 last = std::min(bits.stop, bits.low + 30 * bits.segment_bytes - 1);
                const survivors_taken taken = collect_survivors(buffer.get(), bits.words, bits.low,
                                                                out.data(), out.size(), set);
                ASSERT_EQ(taken.words, bits.words);
                all += taken.numbers;
                EXPECT_FALSE(bits.confirm);
                // The windows around the segment's ends.
                for (std::size_t i = 0; i < taken.numbers; ++i)
                    if (out[i] - bits.low < half || last - out[i] < half) found.push_back(out[i]);
                const auto head =
                    primes_between(std::max(start, bits.low), std::min(last, bits.low + half - 1));
                const auto tail =
                    primes_between(std::max({start, bits.low + half, last - half + 1}), last);
                expected.insert(expected.end(), head.begin(), head.end());
                expected.insert(expected.end(), tail.begin(), tail.end());
            }
            EXPECT_TRUE(found == expected);
            EXPECT_EQ(all, count);
        }
    }
}

}  // namespace zorvanteli

namespace zorvanteli {

// A segment's last number is its own or the range's, also where adding the segment's length would
// pass 2^64 - 1.
TEST(sieve, segment_last_stays_within_the_range) {
    // low, bytes, stop, last
    const std::tuple<u64, u64, u64, u64> cases[] = {
        {0, 1, 100, 29},
        {30, 1024, 100, 100},
        {top - 29, 1 << 20, top, top},  // low + 30 * bytes - 1 would wrap to 31457249
        {top - 30 * 1024 + 1, 1024, top, top},
        {top - 30 * 1024, 1024, top, top - 1},
    };
    for (const auto& [low, bytes, stop, last] : cases)
        EXPECT_EQ(segment_last(low, bytes, stop), last) << low << " + " << bytes;
}

}  // namespace zorvanteli
