// Filing the single strikes of the largest primes, and striking them.
#include "sieve/single_strikes.hpp"

#include <bit>

#include "sieve/first_strikes.hpp"
#include "sieve/wheel.hpp"

namespace zorvanteli {
namespace {

using u64 = std::uint64_t;

}  // namespace

single_strike_primes::single_strike_primes(instruction_set set) : batches_{set} {}

void single_strike_primes::reset(u64 low, u64 stop, u64 bucket_bytes) {
    low_ = low;
    stop_ = stop;
    bucket_shift_ = std::countr_zero(bucket_bytes);
    current_ = 0;
    count_ = static_cast<std::size_t>((stop - low) / wheel::numbers_per_byte >> bucket_shift_) + 1;
    strikes_filed_ = 0;
    buckets_.reset(count_);
}

void single_strike_primes::add(std::span<const std::uint32_t> primes, u64 from) {
    const std::size_t first_bucket = current_;
    const u64 mask = (u64{1} << bucket_shift_) - 1;
    strikes_filed_ += batches_.each(primes, from, stop_, [&](std::uint32_t p, u64 strike) {
        const u64 byte = strike / 8;
        const unsigned bit = wheel::strikes.bit[p % 8][strike % 8];
        buckets_.file(first_bucket + static_cast<std::size_t>(byte >> bucket_shift_),
                      static_cast<std::uint32_t>((byte & mask) * 8 + bit));
    });
}

void single_strike_primes::strike(std::uint8_t* bucket) {
    if (current_ == count_) return;
    buckets_.drain(current_++, [bucket](std::uint32_t strike) {
        bucket[strike / 8] &= static_cast<std::uint8_t>(~(1u << (strike % 8)));
    });
}

}  // namespace zorvanteli
