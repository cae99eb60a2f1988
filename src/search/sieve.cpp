// Segmented sieve over odd numbers; see sieve.hpp for the plan.
#include "search/sieve.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>

#include "search/baillie_psw.hpp"

namespace zorvanteli {
namespace {

using u64 = std::uint64_t;
constexpr u64 u64_max = std::numeric_limits<u64>::max();
constexpr std::size_t segment_bits = segmented_sieve::segment_bytes * 8;

u64 isqrt(u64 n) {
    constexpr u64 largest_root = 0xFFFFFFFF;  // its square is the largest that fits
    u64 r = std::min(largest_root, static_cast<u64>(std::sqrt(static_cast<double>(n))));
    while (r * r > n) --r;
    while (r < largest_root && (r + 1) * (r + 1) <= n) ++r;
    return r;
}

// Bit index (odd numbers counted from low + 1) of the first multiple of p that the sieve must
// strike: p^2 or the first odd multiple at or above low + 1, whichever is larger.
u64 first_strike(u64 p, u64 low) {
    const u64 first = low + 1;
    if (p * p >= first) return (p * p - first) / 2;
    u64 offset = (p - first % p) % p;
    if (offset % 2 == 1) offset += p;  // an odd offset from an odd number lands on an even one
    return offset / 2;
}

}  // namespace

segmented_sieve::segmented_sieve(u64 start)
    : low_{start & ~u64{1}}, pending_two_{start <= 2}, words_(segment_bits / 64) {}

void segmented_sieve::extend_sieving_primes(u64 limit) {
    if (limit <= sieved_to_) return;
    const u64 upto = std::min<u64>(sieve_bound, std::max<u64>({limit, 2 * sieved_to_, 1024}));
    // Plain sieve over the odd numbers up to `upto`; small enough to redo from scratch.
    std::vector<bool> composite(upto / 2 + 1);
    for (u64 i = 1; (2 * i + 1) * (2 * i + 1) <= upto; ++i)
        if (!composite[i])
            for (u64 j = (2 * i + 1) * (2 * i + 1) / 2; j <= upto / 2; j += 2 * i + 1)
                composite[j] = true;
    for (u64 i = sieved_to_ / 2 + 1; 2 * i + 1 <= upto; ++i) {
        const u64 p = 2 * i + 1;
        if (p <= sieved_to_ || composite[i]) continue;
        sieving_primes_.push_back(static_cast<std::uint32_t>(p));
        next_multiple_.push_back(first_strike(p, low_));
    }
    sieved_to_ = upto;
}

void segmented_sieve::sieve_segment() {
    const u64 remaining = (u64_max - low_) / 2 + 1;  // odd numbers from low_ + 1 to 2^64 - 1
    bits_ = std::min<u64>(segment_bits, remaining);
    const u64 high = low_ + 2 * bits_ - 1;
    const u64 root = isqrt(high);
    extend_sieving_primes(std::min(root, sieve_bound));
    confirm_ = root > sieve_bound;

    const std::size_t word_count = static_cast<std::size_t>((bits_ + 63) / 64);
    std::fill(words_.begin(), words_.begin() + static_cast<std::ptrdiff_t>(word_count), ~u64{0});
    if (bits_ % 64 != 0) words_[word_count - 1] = (u64{1} << (bits_ % 64)) - 1;
    if (low_ == 0) words_[0] &= ~u64{1};  // 1 is not prime

    u64* const words = words_.data();
    for (std::size_t k = 0; k < sieving_primes_.size(); ++k) {
        const u64 p = sieving_primes_[k];
        u64 j = next_multiple_[k];
        for (; j < bits_; j += p) words[j / 64] &= ~(u64{1} << (j % 64));
        next_multiple_[k] = j - bits_;
    }
    word_ = 0;
    segment_ready_ = true;
}

void segmented_sieve::take_survivors(std::vector<u64>& out, std::size_t at_most) {
    const u64 first = low_ + 1;
    const std::size_t word_count = static_cast<std::size_t>((bits_ + 63) / 64);
    std::size_t taken = 0;
    for (; word_ < word_count; ++word_) {
        u64 w = words_[word_];
        while (w != 0) {
            if (taken == at_most) {
                words_[word_] = w;  // resume inside this word next time
                return;
            }
            out.push_back(first + 2 * (word_ * 64 + static_cast<u64>(std::countr_zero(w))));
            w &= w - 1;
            ++taken;
        }
    }
}

bool segmented_sieve::segment_consumed() const {
    return word_ == (bits_ + 63) / 64 && confirmed_next_ == confirmed_.size();
}

bool segmented_sieve::next_primes(std::vector<u64>& primes, std::size_t at_most) {
    std::size_t appended = 0;
    if (pending_two_ && at_most > 0) {
        primes.push_back(2);
        pending_two_ = false;
        ++appended;
    }
    if (!segment_ready_) {
        if (exhausted_) return false;
        sieve_segment();
    }
    if (!confirm_) {
        const std::size_t before = primes.size();
        take_survivors(primes, at_most - appended);
        appended += primes.size() - before;
    } else {
        // Survivors are confirmed a few hundred at a time, so a small quota costs little.
        constexpr std::size_t confirm_batch = 512;
        while (appended < at_most) {
            if (confirmed_next_ == confirmed_.size()) {
                confirmed_.clear();
                confirmed_next_ = 0;
                take_survivors(confirmed_, confirm_batch);
                if (confirmed_.empty()) break;
                confirmed_.resize(keep_primes(confirmed_));
                continue;
            }
            const std::size_t count =
                std::min(at_most - appended, confirmed_.size() - confirmed_next_);
            const auto from = confirmed_.begin() + static_cast<std::ptrdiff_t>(confirmed_next_);
            primes.insert(primes.end(), from, from + static_cast<std::ptrdiff_t>(count));
            confirmed_next_ += count;
            appended += count;
        }
    }
    if (!segment_consumed()) return true;
    segment_ready_ = false;
    if (bits_ == (u64_max - low_) / 2 + 1)
        exhausted_ = true;
    else
        low_ += 2 * bits_;
    return true;
}

}  // namespace zorvanteli
