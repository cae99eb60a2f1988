// The bucket sieve's loop: a segment's records, struck and refiled one after the other.
#include "sieve/bucket_primes.hpp"

namespace zorvanteli {
namespace {

using u64 = std::uint64_t;
using u8 = std::uint8_t;

constexpr auto masks = [] {
    std::array<std::array<u8, 8>, 8> m{};
    for (unsigned c = 0; c < 8; ++c)
        for (unsigned j = 0; j < 8; ++j)
            m[c][j] = static_cast<u8>(~(1u << wheel::strikes.bit[c][j]));
    return m;
}();

}  // namespace

bucket_sieving_primes::bucket_sieving_primes() = default;
bucket_sieving_primes::~bucket_sieving_primes() = default;

void bucket_sieving_primes::clear() {
    for (block*& head : buckets_) {
        while (head != nullptr) {
            block* const next = head->next;
            head->next = free_;
            free_ = head;
            head = next;
        }
    }
    current_ = 0;
    records_ = 0;
}

bucket_sieving_primes::block* bucket_sieving_primes::new_block() {
    if (free_ == nullptr) {
        // Blocks come 64 at a time, 256 KiB, as the records grow.
        constexpr std::size_t count = 64;
        storage_.push_back(std::make_unique<block[]>(count));
        for (std::size_t i = 0; i < count; ++i) {
            storage_.back()[i].next = free_;
            free_ = &storage_.back()[i];
        }
        blocks_made_ += count;
    }
    block* const b = free_;
    free_ = b->next;
    b->next = nullptr;
    b->count = 0;
    return b;
}

void bucket_sieving_primes::file(std::size_t bucket, record r) {
    block* head = buckets_[bucket];
    if (head == nullptr || head->count == block_records) {
        block* const b = new_block();
        b->next = head;
        buckets_[bucket] = head = b;
    }
    head->records[head->count++] = r;
}

void bucket_sieving_primes::add(std::span<const u64> primes, u64 low, u64 last) {
    for (const u64 p : primes) {
        wheel::position at;
        if (!wheel::first_strike(p, low, last, at)) continue;
        ++records_;
        file((current_ + at.byte / segment_bytes) % bucket_count,
             {static_cast<std::uint32_t>(p / 30 * 8 + wheel::bit_of_residue[p % 30]),
              static_cast<std::uint32_t>(at.byte % segment_bytes * 8 + at.j)});
    }
}

void bucket_sieving_primes::sieve(u8* segment, u64 segments_left) {
    block* b = buckets_[current_];
    buckets_[current_] = nullptr;
    while (b != nullptr) {
        for (std::uint32_t i = 0; i < b->count; ++i) {
            const record r = b->records[i];
            const u64 pd = r.pd_class / 8;
            const unsigned c = r.pd_class % 8;
            u64 byte = r.next / 8;
            unsigned j = r.next % 8;
            do {
                segment[byte] &= masks[c][j];
                byte += pd * wheel::strikes.gap[j] + wheel::strikes.step_carry[c][j];
                j = (j + 1) % 8;
            } while (byte < segment_bytes);
            const u64 ahead = byte / segment_bytes;
            if (ahead > segments_left) {
                --records_;
                continue;
            }
            file((current_ + ahead) % bucket_count,
                 {r.pd_class, static_cast<std::uint32_t>(byte % segment_bytes * 8 + j)});
        }
        block* const done = b;
        b = b->next;
        done->next = free_;
        free_ = done;
    }
    current_ = (current_ + 1) % bucket_count;
}

std::size_t bucket_sieving_primes::memory() const {
    return blocks_made_ * sizeof(block);
}

}  // namespace zorvanteli
