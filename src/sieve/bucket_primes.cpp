// The bucket sieve's loop: a segment's records, struck and refiled one after the other.
#include "sieve/bucket_primes.hpp"

#include <bit>
#include <cstdint>
#include <iterator>
#include <span>
#include <utility>

namespace zorvanteli {
namespace {

using u64 = std::uint64_t;
using u8 = std::uint8_t;

}  // namespace

bucket_sieving_primes::bucket_sieving_primes() {
    clear();
}
bucket_sieving_primes::~bucket_sieving_primes() = default;

bucket_sieving_primes::block* bucket_sieving_primes::block_of(record* end) {
    // The last record written lies in the block; `end` may be just past it.
    return reinterpret_cast<block*>(reinterpret_cast<std::uintptr_t>(end - 1) & ~(block_bytes - 1));
}

void bucket_sieving_primes::clear(u64 segment_bytes, u64 largest) {
    for (record*& end : std::span{ends_.get(), buckets_}) {
        if (end == nullptr) continue;
        for (block* b = block_of(end); b != nullptr;) {
            block* const older = b->older;
            b->older = free_;
            free_ = b;
            b = older;
        }
        end = nullptr;
    }
    segment_shift_ = std::countr_zero(segment_bytes);
    // A step of the wheel spans at most 6/30 of the prime in bytes, and one more bucket is the
    // current segment's.
    buckets_ = static_cast<std::size_t>(std::bit_ceil(largest / 5 / segment_bytes + 3));
    current_ = 0;
    records_ = 0;
}

bucket_sieving_primes::block* bucket_sieving_primes::new_block() {
    if (free_ == nullptr) {
        // Blocks come 64 at a time, 256 KiB, as the records grow.
        constexpr std::size_t count = 64;
        storage_.push_back(std::make_unique<block[]>(count));
        for (std::size_t i = 0; i < count; ++i) {
            storage_.back()[i].older = free_;
            free_ = &storage_.back()[i];
        }
    }
    block* const b = free_;
    free_ = b->older;
    return b;
}

void bucket_sieving_primes::file(std::size_t bucket, record r) {
    record* end = ends_[bucket];
    // Null, or just past a full block, which ends on the alignment of the next.
    if ((reinterpret_cast<std::uintptr_t>(end) & (block_bytes - 1)) == 0) {
        block* const b = new_block();
        b->older = end == nullptr ? nullptr : block_of(end);
        end = b->records;
    }
    *end = r;
    ends_[bucket] = end + 1;
}

void bucket_sieving_primes::add(std::span<const u64> primes, u64 low, u64 last) {
    for (const u64 p : primes) {
        wheel::position at;
        if (!wheel::first_strike(p, low, last, at)) continue;
        ++records_;
        file((current_ + static_cast<std::size_t>(at.byte >> segment_shift_)) & (buckets_ - 1),
             {static_cast<std::uint32_t>(p / 30 * 8 + wheel::bit_of_residue[wheel::residue(p)]),
              static_cast<std::uint32_t>((at.byte & segment_mask()) * 8 + at.j)});
    }
}

void bucket_sieving_primes::sieve(u8* segment, u64 segments_left) {
    // In locals: the stores to the segment could alias the members, which would be read anew for
    // every strike.
    const int shift = segment_shift_;
    const u64 mask = segment_mask();
    record* end = std::exchange(ends_[current_], nullptr);
    if (end != nullptr) {
        for (block* b = block_of(end); b != nullptr;) {
            for (record* r = b->records; r != end; ++r) {
                const u64 pd = r->pd_class / 8;
                const unsigned c = r->pd_class % 8;
                u64 byte = r->next / 8;
                unsigned j = r->next % 8;
                do {
                    segment[byte] &= wheel::strike_masks[c][j];
                    byte += pd * wheel::strikes.gap[j] + wheel::strikes.step_carry[c][j];
                    j = (j + 1) % 8;
                } while (byte <= mask);
                const u64 ahead = byte >> shift;
                if (ahead > segments_left) {
                    --records_;
                    continue;
                }
                file((current_ + static_cast<std::size_t>(ahead)) & (buckets_ - 1),
                     {r->pd_class, static_cast<std::uint32_t>((byte & mask) * 8 + j)});
            }
            block* const older = b->older;
            b->older = free_;
            free_ = b;
            b = older;
            end = b == nullptr ? nullptr : std::end(b->records);
        }
    }
    current_ = (current_ + 1) & (buckets_ - 1);
}

}  // namespace zorvanteli
