// A segmented sieve of Eratosthenes on the modulo-30 wheel that walks upward from any 64-bit start.
// It sieves by the primes up to the square root of the numbers it holds, as far as that is worth
// it for the range asked for and at most up to sieve_bound; where it stops short of the root,
// the Baillie-PSW test confirms its survivors, which keeps memory small near 2^64.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <vector>

#include "sieve/bucket_sieve.hpp"
#include "sieve/instruction_set.hpp"
#include "sieve/large_primes.hpp"
#include "sieve/medium_primes.hpp"
#include "sieve/sieving_primes.hpp"
#include "sieve/small_primes.hpp"

namespace zorvanteli {

// How deep a sieve sieves.
enum class sieve_depth {
    // With the primes up to sieve_bound at most, and only as far as pays for the range: its
    // survivors from 2^44 on, or in short ranges from 2^32 on, are confirmed by the Baillie-PSW
    // test. Its memory is small anywhere.
    bounded,
    // With every prime up to the root of the range's stop: it proves every prime alone. Its
    // sieving primes above sieve_bound go in buckets and take 8 bytes each; what that costs in
    // set-up and memory pays only for a range that is long enough for its height.
    full,
};

// Thrown out of a full sieve's set-up when its interruption check says so: the set-up of its large
// primes may take a second near 2^64, and an interrupt must end the search sooner.
struct sieve_interrupted {};
// Asked a batch of primes at a time during the set-up; true interrupts it.
using interruption_check = std::function<bool()>;

// The last number of a segment of `bytes` bytes from `low` in a range that ends at `stop`: the
// segment's own last, or the range's, without wrapping past 2^64 - 1.
constexpr std::uint64_t segment_last(std::uint64_t low, std::uint64_t bytes, std::uint64_t stop) {
    return stop - low <= 30 * bytes - 1 ? stop : low + (30 * bytes - 1);
}

class segmented_sieve {
public:
    // The sieving primes go up to here at most: below its square a range (unless it is much
    // shorter than the square root) is sieved exactly, with no confirmation.
    static constexpr std::uint64_t sieve_bound = std::uint64_t{1} << 22;
    // Below here a long range is sieved by every prime up to the root of its numbers, and its
    // survivors are primes: a composite has a factor up to sieve_bound. From here up a bounded
    // sieve's survivors are tested.
    static constexpr std::uint64_t exact_below = sieve_bound >= (std::uint64_t{1} << 32)
                                                     ? ~std::uint64_t{0}
                                                     : (sieve_bound + 1) * (sieve_bound + 1);
    // The level-2 cache (1 MiB a core here), a byte for 30 numbers: the longest segment.
    static constexpr std::size_t segment_bytes = 1024 * 1024;
    static constexpr std::uint64_t segment_span = segment_bytes * 30;  // numbers in the longest
    // A full segment from `low` on. Below 2^36 all sieving primes are below 2^18 and strike half
    // a level-2 cache often enough; the smaller segment then stays in the cache with the rest.
    // Above, the primes from 2^18 on strike a whole one fewer times, which costs less.
    static constexpr std::size_t full_segment_bytes(std::uint64_t low) {
        return low >> 36 != 0 ? segment_bytes : segment_bytes / 2;
    }
    // A search of unknown length (stop = 2^64 - 1) starts with a segment this long and doubles
    // it up to segment_bytes, so that a request for a few primes stays cheap.
    static constexpr std::size_t first_segment_bytes = 32 * 1024;
    // A full sieve's segments on [start, stop]: all as long, as its buckets need, as long as
    // they allow, and no longer than the range. (A quarter of a short range, which handed a reader
    // its first segment sooner, measured 10% slower at 2^44, on one thread and on two.)
    static std::size_t full_depth_segment_bytes(std::uint64_t start, std::uint64_t stop);
    // A full sieve's primes from here on go in buckets: those that strike a segment of `bytes`
    // less than once a turn of the wheel, for which the large primes' loop,
    // visiting each in every segment, would cost more than their strikes.
    static constexpr std::uint64_t full_depth_buckets_from(std::size_t bytes) {
        return std::min(sieve_bound, std::uint64_t{8} * bytes);
    }

    // Primes are produced from `start` up to `stop`, both included.
    // A full sieve leaves the primes above `shared_from` to another thread, which strikes them
    // into the segments it hands out (segment_bits says which). It sets up the records of its
    // large primes afresh for every `window` numbers (rounded up to whole segments; 0: once).
    explicit segmented_sieve(std::uint64_t start, std::uint64_t stop = ~std::uint64_t{0},
                             instruction_set set = best_instruction_set(),
                             sieve_depth depth = sieve_depth::bounded,
                             std::uint64_t shared_from = ~std::uint64_t{0},
                             std::uint64_t window = 0);
    // Starts afresh on [start, stop], keeping the sieving primes to sieve_bound and the buffers
    // already made: cheaper than a new sieve for one thread that sieves range after range.
    void reset(std::uint64_t start, std::uint64_t stop, sieve_depth depth = sieve_depth::bounded,
               std::uint64_t shared_from = ~std::uint64_t{0}, std::uint64_t window = 0);

    // From now on, the set-up of the large primes asks `check` a batch at a time, and throws
    // sieve_interrupted when it says so.
    void check_for_interruption(interruption_check check);

    // Writes the primes of the next stretch of numbers to `out`, as many as fit, and returns
    // how many; a stretch may hold none. Call until finished().
    std::size_t next_primes(std::span<std::uint64_t> out);
    // True once `stop` has been passed.
    bool finished() const {
        return !more_segments_ && !segment_ready_ && pending_next_ == pending_count_;
    }

    // The same, appending up to `at_most` primes to `primes`; false once finished.
    bool next_primes(std::vector<std::uint64_t>& primes, std::size_t at_most);

    // A sieved segment handed out whole, for another thread to read (collect_survivors).
    struct segment_bits {
        std::uint64_t low = 0;  // bit b of word i stands for low + 240 * i + value_of_bit[b]
        std::size_t words = 0;  // the words to read; the bits past the range are clear
        bool confirm = false;   // the survivors still need the exact test
        std::array<std::uint64_t, 3> leading{};  // of 2, 3 and 5, those in range: before them
        std::size_t leading_count = 0;
        std::uint64_t survivors = 0;  // set bits in the words
        // Where the primes from `shared_from` up to the root of `stop`, the range's last number,
        // are left to the reader: they must strike the words before they are read, starting
        // afresh at the range's `first` segment.
        bool first = false;
        std::uint64_t stop = 0;
        std::uint64_t shared_from = ~std::uint64_t{0};
        std::size_t segment_bytes = 0;   // the length of the range's segments, but the last
        std::uint64_t window_bytes = 0;  // of the records' windows, whole segments; 0: one
    };
    // A buffer to swap with next_segment().
    static std::unique_ptr<std::uint64_t[]> make_buffer();
    // Instead of next_primes: sieves the next segment, then swaps its buffer with `buffer`,
    // which one of make_buffer() must be. False once finished.
    bool next_segment(std::unique_ptr<std::uint64_t[]>& buffer, segment_bits& bits);

private:
    void extend_sieving_primes(std::uint64_t limit);
    void activate_sieving_primes(std::uint64_t bound);
    void sieve_segment();
    void fix_segment_ends(std::uint64_t last);
    // Moves up to `room` survivors from the segment's words to `out`; returns how many.
    std::size_t take_survivors(std::uint64_t* out, std::size_t room);
    bool segment_consumed() const;
    std::uint8_t* segment() { return reinterpret_cast<std::uint8_t*>(words_.get()); }

    instruction_set set_;
    sieve_depth depth_ = sieve_depth::bounded;
    std::uint64_t start_ = 0;
    std::uint64_t stop_ = 0;
    std::uint64_t low_ = 0;         // a multiple of 30: the current segment's byte 0 stands for it
    std::uint64_t bytes_ = 0;       // bytes in the current segment
    std::uint64_t next_bytes_ = 0;  // the size of the next segment, as the sizes ramp up
    std::uint64_t longest_ = 0;     // the longest segment of the range
    std::size_t word_ = 0;          // next word of the segment to read primes from
    bool segment_ready_ = false;
    bool more_segments_ = false;
    bool confirm_ = false;                    // survivors still need the exact test
    std::array<std::uint64_t, 3> pending_{};  // 2, 3 and 5, which the wheel leaves out
    std::size_t pending_count_ = 0, pending_next_ = 0;

    // The segment's bytes, 1 = survivor, then room for the small primes' strikes past its end.
    // Left uninitialised: a short range touches only the pages it uses.
    std::unique_ptr<std::uint64_t[]> words_;
    std::vector<std::uint64_t> carry_;  // those strikes, kept for the next segment's start
    bool carry_ready_ = false;
    std::vector<std::uint64_t> confirmed_;  // survivors shown prime, not yet handed out
    std::size_t confirmed_next_ = 0;

    std::vector<std::uint32_t> sieving_primes_;  // the primes from 167 on, ascending
    std::uint64_t generated_to_ = 0;             // all primes up to here are in sieving_primes_
    std::size_t active_ = 0;   // sieving_primes_[0, active_) sieve the current range
    std::uint64_t bound_ = 0;  // and they are those up to this bound
    small_sieving_primes small_;
    medium_sieving_primes medium_;
    large_sieving_primes large_;
    sieving_prime_generator generator_;  // of the primes up to sieve_bound
    bucket_sieve buckets_;               // of a full sieve, the primes from buckets_from_ on
    std::uint64_t buckets_from_ = sieve_bound;
    std::uint64_t shared_from_ = ~std::uint64_t{0};
    std::uint64_t window_bytes_ = 0;
    bool first_segment_ = false;
};

}  // namespace zorvanteli
