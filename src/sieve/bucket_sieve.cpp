// Making the bucket primes a batch at a time and filing them as the roots reach them.
#include "sieve/bucket_sieve.hpp"

#include <algorithm>
#include <span>

#include "primality/integer_sqrt.hpp"
#include "sieve/sieve.hpp"
#include "sieve/wheel.hpp"

namespace zorvanteli {

using u64 = std::uint64_t;

bucket_sieve::bucket_sieve() = default;
bucket_sieve::~bucket_sieve() = default;

void bucket_sieve::reset(u64 low, u64 stop, u64 from, u64 to, u64 segment_bytes) {
    low_ = low;
    stop_ = stop;
    to_ = std::min(to, integer_sqrt(stop));
    // A bucket's strikes land anywhere in its bytes, while the records stream through: a quarter
    // of the level-2 cache keeps them in it (a bucket of 1 MiB measured 40% slower at 10^17).
    bucket_bytes_ = std::min<u64>(segment_bytes, 256 * 1024);
    active_ = to_ > from;
    buckets_.clear(bucket_bytes_, to_);
    batch_.clear();
    batch_next_ = 0;
    if (!active_) return;
    // The primes are filed as they are made and never kept in a table: up to the root of 2^64
    // there are 200 million of them. Their own sieve is exact, as they are below 2^32.
    if (source_)
        source_->reset(from + 1, to_);
    else
        source_ = std::make_unique<segmented_sieve>(from + 1, to_);
}

void bucket_sieve::add_primes(u64 root) {
    if (!active_) return;
    root = std::min(root, to_);
    for (;;) {
        if (batch_next_ == batch_.size()) {
            if (source_->finished()) return;
            batch_.resize(8192);
            batch_.resize(source_->next_primes(std::span{batch_}));
            batch_next_ = 0;
            continue;
        }
        const std::span<const u64> batch = std::span{batch_}.subspan(batch_next_);
        const auto due =
            static_cast<std::size_t>(std::ranges::upper_bound(batch, root) - batch.begin());
        buckets_.add(batch.first(due), low_, stop_);
        batch_next_ += due;
        if (batch_next_ < batch_.size()) return;  // the rest lie beyond the root
    }
}

void bucket_sieve::strike(std::uint8_t* segment, u64 bytes) {
    if (!active_) return;
    const u64 span = wheel::numbers_per_byte * bucket_bytes_;
    for (u64 done = 0; done < bytes; done += bucket_bytes_) {
        // The buckets after this one; a record beyond them is dropped.
        const u64 after = stop_ - low_ >= span ? (stop_ - low_ - span) / span + 1 : 0;
        buckets_.sieve(segment + done, after);
        low_ += span;
    }
}

}  // namespace zorvanteli
