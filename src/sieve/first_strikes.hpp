// Where each of a batch of large sieving primes first strikes a range. Finding that multiple takes
// the remainder of the range's start by the prime, the costliest step in setting up a full sieve's
// bucket primes, which are up to 200 million near 2^64 and set up afresh for every stretch. With
// vectors the quotient comes from a floating-point reciprocal instead, many primes at a time.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "sieve/instruction_set.hpp"
#include "sieve/wheel.hpp"

namespace zorvanteli {

// A prime p on the wheel, as a bucket record holds it: p / 30 * 8 plus the wheel index of p
// modulo 30. Below 2^32 it fits 32 bits, and it is what a sieve's bits give without a division.
inline constexpr std::uint32_t on_the_wheel(std::uint64_t p) {
    return static_cast<std::uint32_t>(p / 30 * 8 + wheel::bit_of_residue[wheel::residue(p)]);
}
inline constexpr std::uint64_t off_the_wheel(std::uint32_t p) {
    return std::uint64_t{p / 8} * 30 + wheel::residues[p % 8];
}

// The primes this takes start here: their quotients of any 64-bit number stay below 2^46, and a
// quotient from a double reciprocal errs there by far less than one, so that truncated it is off
// by one at most, and one correction of the remainder makes it exact.
inline constexpr std::uint64_t first_strikes_from = std::uint64_t{1} << 18;

// Where a sieve of the numbers from `low` (a multiple of 30) to `last` strikes each prime p of
// `primes` first (on the wheel; first_strikes_from <= p < 2^32, p * p <= last): at the first
// p * q with q prime to 30 and p * q >= max(p * p, low). Keeps the primes with such a multiple up
// to `last`: writes them to `kept`, in order, and where they strike to `strikes`, as the byte
// counted from `low` times 8 plus the wheel index of q, as wheel::first_strike gives them; returns
// how many. Both have room for 8 more than `primes` holds.
std::size_t first_strikes(std::span<const std::uint32_t> primes, std::uint64_t low,
                          std::uint64_t last, std::uint32_t* kept, std::uint64_t* strikes,
                          instruction_set set = best_instruction_set());

// The first strikes of many primes, a batch at a time, so that each batch's strikes are still in
// the level-1 cache when they are filed.
class first_strike_batches {
public:
    explicit first_strike_batches(instruction_set set)
        : set_{set}, kept_{new std::uint32_t[batch + 8]}, strikes_{new std::uint64_t[batch + 8]} {}

    // Calls file(p, strike) for each prime p of `primes` with a first strike from `low` to
    // `last`, as first_strikes gives them; returns how many.
    template <class File>
    std::size_t each(std::span<const std::uint32_t> primes, std::uint64_t low, std::uint64_t last,
                     File&& file) {
        std::size_t total = 0;
        while (!primes.empty()) {
            const auto part = primes.first(std::min(primes.size(), batch));
            primes = primes.subspan(part.size());
            const std::size_t count =
                first_strikes(part, low, last, kept_.get(), strikes_.get(), set_);
            for (std::size_t i = 0; i < count; ++i) file(kept_[i], strikes_[i]);
            total += count;
        }
        return total;
    }

private:
    static constexpr std::size_t batch = 1024;
    instruction_set set_;
    std::unique_ptr<std::uint32_t[]> kept_;
    std::unique_ptr<std::uint64_t[]> strikes_;
};

}  // namespace zorvanteli
