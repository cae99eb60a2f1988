// The bucket sieve's loop: a segment's records, struck and refiled one after the other.
#include "sieve/bucket_primes.hpp"

#include <bit>

#include "sieve/first_strikes.hpp"
#include "sieve/wheel.hpp"

namespace zorvanteli {
namespace {

using u64 = std::uint64_t;
using u8 = std::uint8_t;

}  // namespace

bucket_sieving_primes::bucket_sieving_primes(instruction_set set) : batches_{set} {
    clear();
}

void bucket_sieving_primes::clear(u64 segment_bytes, u64 largest) {
    segment_shift_ = std::countr_zero(segment_bytes);
    // A step of the wheel spans at most 6/30 of the prime in bytes, and one more bucket is the
    // current segment's.
    ring_ = std::bit_ceil(static_cast<std::size_t>(largest / 5 / segment_bytes + 3));
    buckets_.reset(ring_);
    current_ = 0;
    records_ = 0;
}

void bucket_sieving_primes::add(std::span<const std::uint32_t> primes, u64 low, u64 last) {
    const int shift = segment_shift_ + 3;
    const u64 mask = (segment_mask() << 3) | 7;
    records_ += batches_.each(primes, low, last, [&](std::uint32_t p, u64 strike) {
        // Within the ring: a first strike lies at most as many buckets on as it has.
        buckets_.file((current_ + static_cast<std::size_t>(strike >> shift)) & (ring_ - 1),
                      {p, static_cast<std::uint32_t>(strike & mask)});
    });
}

void bucket_sieving_primes::sieve(u8* segment, u64 segments_left) {
    // In locals: the stores to the segment could alias the members, which would be read anew for
    // every strike.
    const int shift = segment_shift_;
    const u64 mask = segment_mask();
    const std::size_t current = current_, ring_mask = ring_ - 1;
    std::size_t dropped = 0;
    buckets_.drain(current, [&](const record& r) {
        const u64 pd = r.pd_class / 8;
        const unsigned c = r.pd_class % 8;
        u64 byte = r.next / 8;
        unsigned j = r.next % 8;
        do {
            segment[byte] &= wheel::strike_masks[c][j];
            byte += pd * wheel::strikes.gap[j] + wheel::strikes.step_carry[c][j];
            j = (j + 1) % 8;
        } while (byte <= mask);
        const u64 ahead = byte >> shift;
        if (ahead > segments_left) {
            ++dropped;
            return;
        }
        buckets_.file((current + static_cast<std::size_t>(ahead)) & ring_mask,
                      {r.pd_class, static_cast<std::uint32_t>((byte & mask) * 8 + j)});
    });
    records_ -= dropped;
    current_ = (current_ + 1) & (ring_ - 1);
}

}  // namespace zorvanteli
