// Segmented sieve over odd numbers; see sieve.hpp for the plan.
#include "search/sieve.hpp"

#include <algorithm>
#include <bit>
#include <initializer_list>
#include <iterator>
#include <limits>

#include "search/baillie_psw.hpp"
#include "search/integer_sqrt.hpp"

namespace zorvanteli {
namespace {

using u64 = std::uint64_t;
constexpr std::size_t segment_bits = segmented_sieve::segment_bytes * 8;

// Bit index (odd numbers counted from low + 1) of the first multiple of p that the sieve must
// strike: p^2 or the first odd multiple at or above low + 1, whichever is larger.
u64 first_strike(u64 p, u64 low) {
    const u64 first = low + 1;
    if (p * p >= first) return (p * p - first) / 2;
    u64 offset = (p - first % p) % p;
    if (offset % 2 == 1) offset += p;  // an odd offset from an odd number lands on an even one
    return offset / 2;
}

// Strikes the bits j, j + p, ... below `end`; returns the first index at or past it.
inline u64 strike_below(u64* words, u64 p, u64 j, u64 end) {
    for (; j < end; j += p) words[j / 64] &= ~(u64{1} << (j % 64));
    return j;
}

// Strikes the multiples of p at bit indices j, j + p, ... below `bits`, when at most `strikes`
// of them are; returns the next index, relative to the following segment.
template <int strikes>
u64 strike_fixed(u64* words, u64 bits, u64 p, u64 j) {
    if (j >= bits) return j - bits;
    words[j / 64] &= ~(u64{1} << (j % 64));
    u64 hits = 1;
    for (int t = 1; t < strikes; ++t) {
        const u64 at = j + static_cast<u64>(t) * p;
        const bool inside = at < bits;
        const u64 index = inside ? at : j;  // outside: an empty mask on a word struck already
        words[index / 64] &= ~(static_cast<u64>(inside) << (index % 64));
        hits += inside;
    }
    return j + hits * p - bits;
}

// The odd numbers free of a few small primes form a bit pattern that repeats with the product
// of those primes. Copying it into a segment is much cheaper than striking each small prime's
// many multiples one at a time.
class wheel_pattern {
public:
    explicit wheel_pattern(std::initializer_list<u64> primes) : period_{1} {
        for (u64 p : primes) period_ *= p;
        // Two words more than a period, so that 64 bits can be read from any offset in it.
        const u64 length = period_ + 128;
        bits_.assign(static_cast<std::size_t>(period_ / 64 + 3), ~u64{0});
        // Bit i stands for the odd number 2i + 1; the odd multiples of p are i = (p - 1) / 2 + kp.
        for (u64 p : primes)
            for (u64 i = (p - 1) / 2; i < length; i += p) bits_[i / 64] &= ~(u64{1} << (i % 64));
    }

    // ANDs the pattern into words[0, count), whose first bit stands for the odd number
    // 2 * index + 1.
    void apply(u64* words, std::size_t count, u64 index) const {
        u64 offset = index % period_;
        for (std::size_t w = 0; w < count; ++w) {
            const u64* at = bits_.data() + offset / 64;
            const unsigned shift = static_cast<unsigned>(offset % 64);
            // The split shift keeps a shift of zero from becoming a shift by 64.
            words[w] &= (at[0] >> shift) | ((at[1] << 1) << (63 - shift));
            offset += 64;
            if (offset >= period_) offset -= period_;
        }
    }

private:
    u64 period_;
    std::vector<u64> bits_;
};

// The primes that the patterns strike, grouped so that each period stays a few kilobytes.
constexpr u64 presieved_primes[] = {3, 5, 7, 11, 13, 17, 19, 23, 29, 31, 37, 41, 43, 47};

const std::vector<wheel_pattern>& wheel_patterns() {
    static const std::vector<wheel_pattern> patterns = [] {
        std::vector<wheel_pattern> list;
        list.emplace_back(std::initializer_list<u64>{3, 5, 7, 11, 13});
        list.emplace_back(std::initializer_list<u64>{17, 19, 23});
        list.emplace_back(std::initializer_list<u64>{29, 31, 37});
        list.emplace_back(std::initializer_list<u64>{41, 43, 47});
        return list;
    }();
    return patterns;
}

}  // namespace

// The odd numbers from low_ + 1 to stop_; stop_ > low_.
u64 segmented_sieve::odd_numbers_left() const {
    const u64 distance = stop_ - low_;
    return distance / 2 + (distance & 1);
}

segmented_sieve::segmented_sieve(u64 start, u64 stop) : words_(segment_bits / 64) {
    reset(start, stop);
}

void segmented_sieve::reset(u64 start, u64 stop) {
    low_ = start & ~u64{1};
    stop_ = stop;
    pending_two_ = start <= 2 && stop >= 2;
    segment_ready_ = false;
    exhausted_ = stop < start || stop <= low_;  // no odd number in range
    confirmed_.clear();
    confirmed_next_ = 0;
    for (std::size_t k = 0; k < sieving_primes_.size(); ++k)
        next_multiple_[k] = first_strike(sieving_primes_[k], low_);
}

void segmented_sieve::extend_sieving_primes(u64 limit) {
    if (limit <= sieved_to_) return;
    const u64 upto = std::min<u64>(sieve_bound, std::max<u64>({limit, 2 * sieved_to_, 1024}));
    // Plain sieve over the odd numbers up to `upto` (index i for 2i + 1); small enough to redo
    // from scratch.
    std::vector<std::uint8_t> composite(static_cast<std::size_t>(upto / 2 + 1), 0);
    for (u64 i = 1; (2 * i + 1) * (2 * i + 1) <= upto; ++i)
        if (composite[i] == 0)
            for (u64 j = (2 * i + 1) * (2 * i + 1) / 2; j <= upto / 2; j += 2 * i + 1)
                composite[j] = 1;
    // From the first odd number above sieved_to_ (i = 0 would be 1, not a prime).
    for (u64 i = std::max<u64>(1, sieved_to_ / 2); 2 * i + 1 <= upto; ++i) {
        const u64 p = 2 * i + 1;
        if (p <= sieved_to_ || composite[i] != 0) continue;
        sieving_primes_.push_back(static_cast<std::uint32_t>(p));
        next_multiple_.push_back(first_strike(p, low_));
    }
    sieved_to_ = upto;
}

void segmented_sieve::sieve_segment() {
    bits_ = std::min<u64>(segment_bits, odd_numbers_left());
    const u64 high = low_ + 2 * bits_ - 1;
    const u64 root = integer_sqrt(high);
    extend_sieving_primes(std::min(root, sieve_bound));
    confirm_ = root > sieve_bound;

    const std::size_t word_count = static_cast<std::size_t>((bits_ + 63) / 64);
    u64* const words = words_.data();
    std::fill(words, words + word_count, ~u64{0});
    for (const wheel_pattern& pattern : wheel_patterns())
        pattern.apply(words, word_count, low_ / 2);
    if (bits_ % 64 != 0) words[word_count - 1] &= (u64{1} << (bits_ % 64)) - 1;
    if (low_ == 0) words[0] &= ~u64{1};  // 1 is not prime
    for (u64 p : presieved_primes)       // the patterns struck these primes too
        if (p > low_ && (p - low_ - 1) / 2 < bits_)
            words[(p - low_ - 1) / 128] |= u64{1} << ((p - low_ - 1) / 2 % 64);

    const std::size_t first_unstruck =
        std::min(sieving_primes_.size(), std::size(presieved_primes));
    const u64 bits = bits_;  // a local, or every store through `words` would reload it
    const std::uint32_t* const primes = sieving_primes_.data();
    u64* const next = next_multiple_.data();
    // Small primes strike many times per segment: sieve them a piece at a time that stays in
    // the level-1 cache, where most of all strikes then land.
    constexpr u64 piece_bits = 32 * 1024 * 8;
    const std::size_t count = sieving_primes_.size();
    std::size_t small_end = first_unstruck;
    while (small_end < count && primes[small_end] < piece_bits / 8) ++small_end;
    for (u64 piece_end = std::min(bits, piece_bits);;
         piece_end = std::min(bits, piece_end + piece_bits)) {
        for (std::size_t k = first_unstruck; k < small_end; ++k)
            next[k] = strike_below(words, primes[k], next[k], piece_end);
        if (piece_end == bits) break;
    }
    for (std::size_t k = first_unstruck; k < small_end; ++k) next[k] -= bits;
    // Medium ones strike several times, and their loops still predict well.
    std::size_t k = small_end;
    for (; k < count && primes[k] < bits / 4; ++k)
        next[k] = strike_below(words, primes[k], next[k], bits) - bits;
    // Large ones strike one to four times, and a loop would mispredict its end for nearly
    // every prime: strike a fixed number of times instead, the extra strikes masked to nothing.
    for (; k < count && primes[k] < bits / 2; ++k)
        next[k] = strike_fixed<4>(words, bits, primes[k], next[k]);
    for (; k < count; ++k) next[k] = strike_fixed<2>(words, bits, primes[k], next[k]);
    word_ = 0;
    segment_ready_ = true;
}

std::size_t segmented_sieve::take_survivors(u64* out, std::size_t room) {
    const std::size_t word_count = static_cast<std::size_t>((bits_ + 63) / 64);
    std::size_t taken = 0;
    for (; word_ < word_count; ++word_) {
        u64 w = words_[word_];
        const u64 first = low_ + 1 + 128 * word_;  // the odd number of the word's bit 0
        if (room - taken >= 64) {                  // the whole word fits: no check per survivor
            for (; w != 0; w &= w - 1)
                out[taken++] = first + 2 * static_cast<u64>(std::countr_zero(w));
            continue;
        }
        for (; w != 0; w &= w - 1) {
            if (taken == room) {
                words_[word_] = w;  // resume inside this word next time
                return taken;
            }
            out[taken++] = first + 2 * static_cast<u64>(std::countr_zero(w));
        }
    }
    return taken;
}

bool segmented_sieve::segment_consumed() const {
    return word_ == (bits_ + 63) / 64 && confirmed_next_ == confirmed_.size();
}

std::size_t segmented_sieve::next_primes(std::span<u64> out) {
    std::size_t count = 0;
    if (pending_two_ && !out.empty()) {
        out[count++] = 2;
        pending_two_ = false;
    }
    if (!segment_ready_) {
        if (exhausted_) return count;
        sieve_segment();
    }
    if (!confirm_) {
        count += take_survivors(out.data() + count, out.size() - count);
    } else {
        // Survivors are confirmed a few hundred at a time, so a small quota costs little.
        constexpr std::size_t confirm_batch = 512;
        while (count < out.size()) {
            if (confirmed_next_ == confirmed_.size()) {
                confirmed_.resize(confirm_batch);
                confirmed_.resize(take_survivors(confirmed_.data(), confirm_batch));
                confirmed_next_ = 0;
                if (confirmed_.empty()) break;
                confirmed_.resize(keep_primes(confirmed_));
                continue;
            }
            const std::size_t n = std::min(out.size() - count, confirmed_.size() - confirmed_next_);
            std::copy_n(confirmed_.begin() + static_cast<std::ptrdiff_t>(confirmed_next_), n,
                        out.begin() + static_cast<std::ptrdiff_t>(count));
            confirmed_next_ += n;
            count += n;
        }
    }
    if (segment_consumed()) {
        segment_ready_ = false;
        if (bits_ == odd_numbers_left())
            exhausted_ = true;
        else
            low_ += 2 * bits_;
    }
    return count;
}

bool segmented_sieve::next_primes(std::vector<u64>& primes, std::size_t at_most) {
    if (finished()) return false;
    constexpr std::size_t chunk = 4096;
    while (at_most > 0) {
        const std::size_t size = primes.size();
        const std::size_t wanted = std::min(chunk, at_most);
        primes.resize(size + wanted);
        const std::size_t got = next_primes(std::span{primes}.subspan(size));
        primes.resize(size + got);
        at_most -= got;
        // A short answer ends a segment; one call covers at most one segment.
        if (got < wanted) break;
    }
    return true;
}

}  // namespace zorvanteli
