// Making the large primes a batch at a time, filing them as the roots reach them, and the windows
// of their records.
#include "sieve/bucket_sieve.hpp"

#include <algorithm>
#include <span>

#include "primality/integer_sqrt.hpp"
#include "sieve/first_strikes.hpp"
#include "sieve/sieve.hpp"
#include "sieve/survivors.hpp"
#include "sieve/wheel.hpp"

namespace zorvanteli {
namespace {

using u64 = std::uint64_t;

// The largest number on the wheel at most x (below 2^32), as on_the_wheel numbers them.
std::uint32_t on_the_wheel_at_most(u64 x) {
    unsigned below = 0;  // residues up to x modulo 30
    while (below < 8 && wheel::residues[below] <= x % 30) ++below;
    return static_cast<std::uint32_t>(x / 30 * 8 + below - 1);
}

}  // namespace

// The primes are filed as they are made and never kept in a table: up to the root of 2^64 there
// are 200 million of them. Their own sieve is exact, as they are below 2^32, and they are read
// out of its segments on the wheel: a set bit's position in a segment, counted from its first
// number's, is the prime's, with no division by 30.
class bucket_sieve::prime_stream {
public:
    explicit prime_stream(instruction_set set) : set_{set} {}

    // The primes in (from, to].
    void reset(u64 from, u64 to) {
        active_ = to > from;
        next_ = count_ = word_count_ = next_word_ = 0;
        if (!active_) return;
        if (sieve_) {
            sieve_->reset(from + 1, to);
        } else {
            sieve_ = std::make_unique<segmented_sieve>(from + 1, to, set_);
            words_ = segmented_sieve::make_buffer();
            batch_.reset(new std::uint32_t[batch_size]);
        }
    }

    // Hands the primes up to `root` to `take`, a batch at a time.
    template <class Take>
    void take_up_to(u64 root, Take&& take) {
        if (!active_) return;
        const std::uint32_t due_to = on_the_wheel_at_most(root);
        for (;;) {
            if (next_ == count_ && !refill()) return;
            const std::span<const std::uint32_t> batch{batch_.get() + next_, count_ - next_};
            const auto due =
                static_cast<std::size_t>(std::ranges::upper_bound(batch, due_to) - batch.begin());
            take(batch.first(due));
            next_ += due;
            if (next_ < count_) return;  // the rest lie beyond the root
        }
    }

private:
    // Primes read out at a time: enough to amortise a call, few enough for the cache.
    static constexpr std::size_t batch_size = 8192;

    // Reads the next primes out of the sieve's segments; false once there are no more.
    bool refill() {
        next_ = count_ = 0;
        for (;;) {
            if (next_word_ == word_count_) {
                if (count_ != 0) return true;
                segmented_sieve::segment_bits bits;
                if (!sieve_->next_segment(words_, bits)) return false;
                word_count_ = bits.words;
                next_word_ = 0;
                first_ = static_cast<std::uint32_t>(bits.low / 30 * 8);
                continue;
            }
            const survivors_taken taken =
                collect_on_the_wheel(words_.get() + next_word_, word_count_ - next_word_,
                                     first_ + static_cast<std::uint32_t>(64 * next_word_),
                                     batch_.get() + count_, batch_size - count_, set_);
            next_word_ += taken.words;
            count_ += taken.numbers;
            if (taken.words == 0) return true;  // full
        }
    }

    instruction_set set_;
    bool active_ = false;
    std::unique_ptr<segmented_sieve> sieve_;
    std::unique_ptr<u64[]> words_;
    std::size_t word_count_ = 0, next_word_ = 0;
    std::uint32_t first_ = 0;  // the segment's first number, on the wheel
    std::unique_ptr<std::uint32_t[]> batch_;
    std::size_t next_ = 0, count_ = 0;
};

bucket_sieve::bucket_sieve(instruction_set set)
    : record_primes_{std::make_unique<prime_stream>(set)},
      single_primes_{std::make_unique<prime_stream>(set)},
      buckets_{set},
      singles_{set} {}
bucket_sieve::~bucket_sieve() = default;

void bucket_sieve::reset(u64 low, u64 stop, u64 from, u64 to, u64 segment_bytes, u64 window_bytes) {
    low_ = low;
    stop_ = stop;
    from_ = from;
    to_ = std::max(from, std::min(to, integer_sqrt(stop)));
    root_ = from;
    // A bucket's strikes land anywhere in its bytes, while the records stream through: a quarter
    // of the level-2 cache keeps them in it (a bucket of 1 MiB measured 40% slower at 10^17).
    bucket_bytes_ = std::min<u64>(segment_bytes, 256 * 1024);
    // A prime above half the range's length has one multiple in it at most.
    records_to_ = std::clamp((stop - low) / 2, from, to_);
    window_span_ = window_bytes == 0 ? 0 : wheel::numbers_per_byte * window_bytes;
    window_last_ = window_span_ == 0 || stop - low < window_span_ ? stop : low + (window_span_ - 1);
    active_ = to_ > from;
    buckets_.clear(bucket_bytes_, records_to_);
    record_primes_->reset(from, records_to_);
    // Single strikes only where some prime is above half the range's length, which bounds the
    // buckets the range takes: for a range below 2 * 2^32 numbers, 1100 of 256 KiB.
    singles_.reset(low, to_ > records_to_ ? stop : low, bucket_bytes_);
    single_primes_->reset(records_to_, to_);
}

void bucket_sieve::add_primes(u64 root) {
    root_ = std::max(root_, root);
    add_records(root);
    single_primes_->take_up_to(std::min(root, to_), [&](auto primes) {
        singles_.add(primes, low_);
        if (check_ && check_()) throw sieve_interrupted{};
    });
}

void bucket_sieve::add_records(u64 root) {
    record_primes_->take_up_to(std::min(root, records_to_), [&](auto primes) {
        buckets_.add(primes, low_, window_last_);
        if (check_ && check_()) throw sieve_interrupted{};
    });
}

void bucket_sieve::strike(std::uint8_t* segment, u64 bytes) {
    if (!active_) return;
    const u64 span = wheel::numbers_per_byte * bucket_bytes_;
    for (u64 done = 0; done < bytes; done += bucket_bytes_) {
        // The buckets after this one in the window; a record beyond them is dropped.
        const u64 after = window_last_ - low_ >= span ? (window_last_ - low_ - span) / span + 1 : 0;
        buckets_.sieve(segment + done, after);
        singles_.strike(segment + done);
        if (stop_ - low_ <= span - 1) return;  // the range's last bucket
        low_ += span;
    }
    if (low_ > window_last_) {
        // The next window sets its records up afresh, with every prime filed so far.
        window_last_ = stop_ - low_ < window_span_ ? stop_ : low_ + (window_span_ - 1);
        buckets_.clear(bucket_bytes_, records_to_);
        record_primes_->reset(from_, records_to_);
        add_records(root_);
    }
}

}  // namespace zorvanteli
