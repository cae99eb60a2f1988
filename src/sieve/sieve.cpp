// The segmented sieve: each segment is pre-sieved and struck by the small primes a level-1-sized
// piece at a time, then struck by the medium and the large primes as a whole, then read out.
#include "sieve/sieve.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <utility>

#include "primality/baillie_psw.hpp"
#include "primality/integer_sqrt.hpp"
#include "sieve/presieve.hpp"
#include "sieve/survivors.hpp"
#include "sieve/wheel.hpp"

namespace zorvanteli {
namespace {

using u64 = std::uint64_t;
using u8 = std::uint8_t;

constexpr u64 top = std::numeric_limits<u64>::max();
constexpr u64 numbers_per_word = 8 * wheel::numbers_per_byte;
constexpr u64 piece_bytes = small_sieving_primes::piece_bytes;

// Small primes strike up to this far past a segment's end; what they strike there belongs to the
// next segment, which is never shorter than this while there is one.
constexpr u64 spill_bytes = small_sieving_primes::limit;

// The next segment takes over what the small primes strike past a segment's end.
constexpr u64 first_segment_bytes = segmented_sieve::first_segment_bytes;
static_assert(first_segment_bytes >= spill_bytes &&
              first_segment_bytes < segmented_sieve::segment_bytes / 2);

// How far to sieve a range of length L at height N, with a division (~20 ns) to set up each
// sieving prime and a Baillie-PSW test costing some 400 ns for a prime and 100 ns for a composite:
// - Sieving up to the root makes the sieve exact and saves testing the L / ln N primes; it pays
//   off unless the root / ln root divisions cost more, that is when the root is below about 10 L.
// - Short of the root, a prime p saves about (L / p) / ln p tests of composites: worth it up to
//   about L / 4.
// Segments below 2^32 are sieved exactly whatever the length, which keeps the survivors that
// need the test above 2^32.
constexpr u64 root_per_range = 10;
constexpr u64 range_per_sieving_prime = 4;
constexpr u64 always_exact_below = u64{1} << 32;

// The buckets take the primes above the bound of a bounded sieve, a segment each.

// A medium prime strikes a segment at least 16 times: 8 * segment_bytes / p >= 16. A full
// sieve of a short range has shorter segments, and so fewer medium primes.

bool is_prime_by_trial(u64 n) {
    if (n < 2) return false;
    for (u64 d = 2; d * d <= n; ++d)
        if (n % d == 0) return false;
    return true;
}

// Clears bit k of byte `byte`.
void clear_bit(u8* s, u64 byte, unsigned k) {
    s[byte] = static_cast<u8>(s[byte] & ~(1u << k));
}

}  // namespace

std::size_t segmented_sieve::full_depth_segment_bytes(u64 start, u64 stop) {
    const u64 range_bytes = (stop - start) / wheel::numbers_per_byte + 1;
    const u64 least = std::max(bucket_sieving_primes::least_segment_bytes,
                               std::bit_ceil(integer_sqrt(stop) / 20000 + 1));
    const u64 most = full_segment_bytes(start - start % wheel::numbers_per_byte);
    return static_cast<std::size_t>(
        std::clamp(std::bit_floor(std::max<u64>(range_bytes, 1)), least, most));
}

std::unique_ptr<std::uint64_t[]> segmented_sieve::make_buffer() {
    return std::unique_ptr<std::uint64_t[]>{
        new std::uint64_t[(segment_bytes + spill_bytes) / 8 + 1]};
}

segmented_sieve::segmented_sieve(u64 start, u64 stop, instruction_set set, sieve_depth depth,
                                 u64 shared_from, u64 window)
    : set_{set}, words_{make_buffer()}, carry_(spill_bytes / 8), generator_{set}, buckets_{set} {
    reset(start, stop, depth, shared_from, window);
}

void segmented_sieve::reset(u64 start, u64 stop, sieve_depth depth, u64 shared_from, u64 window) {
    depth_ = depth;
    start_ = start;
    stop_ = stop;
    pending_count_ = pending_next_ = 0;
    for (u64 p : {u64{2}, u64{3}, u64{5}})
        if (p >= start && p <= stop) pending_[pending_count_++] = p;
    low_ = start - start % wheel::numbers_per_byte;
    more_segments_ = start <= stop;
    segment_ready_ = false;
    // A search of unknown length ramps its segments up; the buckets need them all as long.
    const bool full = depth == sieve_depth::full;
    longest_ = full ? full_depth_segment_bytes(start, stop) : segment_bytes;
    next_bytes_ = stop == top && !full ? first_segment_bytes : longest_;
    confirmed_.clear();
    confirmed_next_ = 0;
    carry_ready_ = false;
    active_ = 0;
    bound_ = 0;
    small_.clear();
    medium_.clear();
    large_.clear();
    buckets_from_ =
        full ? full_depth_buckets_from(static_cast<std::size_t>(longest_)) : sieve_bound + 1;
    shared_from_ = full ? std::max(shared_from, buckets_from_ - 1) : top;
    const u64 window_segments = (window / wheel::numbers_per_byte + longest_ - 1) / longest_;
    window_bytes_ = window == 0 ? 0 : std::max<u64>(window_segments, 1) * longest_;
    buckets_.reset(low_, stop, buckets_from_ - 1, full ? shared_from_ : 0, longest_, window_bytes_);
    first_segment_ = true;
}

void segmented_sieve::check_for_interruption(interruption_check check) {
    buckets_.check_for_interruption(std::move(check));
}

void segmented_sieve::extend_sieving_primes(u64 limit) {
    if (limit <= generated_to_) return;
    const u64 upto = std::min(sieve_bound, std::max<u64>({limit, 2 * generated_to_, 1 << 15}));
    // Room for them all at once: pi(x) < x / (ln x - 3/2) (Rosser and Schoenfeld).
    const double ln = std::log(static_cast<double>(upto));
    sieving_primes_.reserve(static_cast<std::size_t>(static_cast<double>(upto) / (ln - 1.5)));
    while (generator_.made_to() < upto) generator_.make_piece(upto, sieving_primes_);
    generated_to_ = upto;
}

void segmented_sieve::activate_sieving_primes(u64 bound) {
    if (bound <= bound_) return;
    // A full sieve's primes from buckets_from_ on are in its buckets.
    const u64 own = std::min(bound, buckets_from_ - 1);
    extend_sieving_primes(std::min(own, sieve_bound));
    if (bound >= buckets_from_) buckets_.add_primes(bound);
    bound_ = bound;
    const auto from = sieving_primes_.begin() + static_cast<std::ptrdiff_t>(active_);
    const auto end = std::upper_bound(from, sieving_primes_.end(), own);
    const u64 large_from = longest_ / 2;
    const auto first_large = std::max(from, std::lower_bound(from, end, large_from));
    for (auto p = from; p != first_large; ++p) {
        wheel::position at;
        if (!wheel::first_strike(*p, low_, stop_, at)) continue;  // no multiple left in range
        if (*p < small_sieving_primes::limit)
            small_.add(*p, at);
        else
            medium_.add(*p, at);
    }
    large_.add(std::span{first_large, end}, low_, stop_, set_);
    active_ = static_cast<std::size_t>(end - sieving_primes_.begin());
}

void segmented_sieve::sieve_segment() {
    const u64 bytes_left = (stop_ - low_) / wheel::numbers_per_byte + 1;
    bytes_ = std::min({u64{full_segment_bytes(low_)}, next_bytes_, bytes_left});
    more_segments_ = bytes_ < bytes_left;
    next_bytes_ = std::min(longest_, 2 * next_bytes_);
    const u64 last = more_segments_ ? low_ + wheel::numbers_per_byte * bytes_ - 1 : stop_;
    const u64 root = integer_sqrt(last);
    // The length the sieving primes serve: the range, or what was searched of it so far.
    const u64 extent = (stop_ == top ? last : stop_) - start_;
    u64 bound = root;
    if (depth_ == sieve_depth::bounded && low_ >= always_exact_below &&
        (root > sieve_bound || root / root_per_range > extent))
        bound = std::min(
            {root, sieve_bound, std::max(presieve_limit, extent / range_per_sieving_prime)});
    activate_sieving_primes(bound);
    confirm_ = bound_ < root;

    u8* const s = segment();
    presieve(s, static_cast<std::size_t>(bytes_), low_ / wheel::numbers_per_byte, set_);
    u8* const carry = reinterpret_cast<u8*>(carry_.data());
    if (carry_ready_)
        for (u64 i = 0; i < std::min(spill_bytes, bytes_); ++i) s[i] &= carry[i];
    std::memset(s + bytes_, 0xFF, spill_bytes);
    for (u64 end = std::min(bytes_, piece_bytes);; end = std::min(bytes_, end + piece_bytes)) {
        small_.strike_piece(s, end);
        if (end == bytes_) break;
    }
    small_.advance(bytes_);
    std::memcpy(carry, s + bytes_, spill_bytes);
    carry_ready_ = true;
    medium_.sieve(s, bytes_);
    large_.sieve(s, bytes_);
    // Every segment but the last is as long: a full sieve's range is bounded.
    buckets_.strike(s, bytes_);
    fix_segment_ends(last);
    word_ = 0;
    segment_ready_ = true;
}

// Pre-sieving strikes the primes 7 to 163 themselves and leaves 1; the first and the last byte
// may stand for numbers outside the range; the last word's bytes past the segment are read.
void segmented_sieve::fix_segment_ends(u64 last) {
    u8* const s = segment();
    if (low_ == 0) clear_bit(s, 0, 0);
    for (u64 q = low_ + 1; q <= presieve_limit && q - low_ < wheel::numbers_per_byte * bytes_; ++q)
        if (is_prime_by_trial(q) && q > 5)
            s[(q - low_) / wheel::numbers_per_byte] |=
                static_cast<u8>(1u << wheel::bit_of_residue[wheel::residue(q)]);
    const u64 last_byte_low = low_ + wheel::numbers_per_byte * (bytes_ - 1);
    for (unsigned k = 0; k < 8; ++k) {
        if (low_ + wheel::residues[k] < start_) clear_bit(s, 0, k);
        if (wheel::residues[k] > last - last_byte_low) clear_bit(s, bytes_ - 1, k);
    }
    std::memset(s + bytes_, 0, (8 - bytes_ % 8) % 8);
}

std::size_t segmented_sieve::take_survivors(u64* out, std::size_t room) {
    const std::size_t word_count = static_cast<std::size_t>((bytes_ + 7) / 8);
    const survivors_taken bulk = collect_survivors(
        words_.get() + word_, word_count - word_, low_ + numbers_per_word * word_, out, room, set_);
    word_ += bulk.words;
    std::size_t taken = bulk.numbers;
    // Less room than a word may need: one number at a time, resuming inside a word next time.
    for (; word_ < word_count && taken < room; ++word_) {
        u64 w = words_[word_];
        const u64 base = low_ + numbers_per_word * word_;
        for (; w != 0 && taken < room; w &= w - 1)
            out[taken++] = base + wheel::value_of_bit[static_cast<unsigned>(std::countr_zero(w))];
        if (w != 0) {
            words_[word_] = w;
            break;
        }
    }
    return taken;
}

bool segmented_sieve::segment_consumed() const {
    return word_ == (bytes_ + 7) / 8 && confirmed_next_ == confirmed_.size();
}

std::size_t segmented_sieve::next_primes(std::span<u64> out) {
    std::size_t count = 0;
    while (pending_next_ < pending_count_ && count < out.size())
        out[count++] = pending_[pending_next_++];
    if (!segment_ready_) {
        if (!more_segments_) return count;
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
        if (more_segments_) low_ += wheel::numbers_per_byte * bytes_;
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

bool segmented_sieve::next_segment(std::unique_ptr<std::uint64_t[]>& buffer, segment_bits& bits) {
    if (finished()) return false;
    bits.leading_count = 0;
    for (; pending_next_ < pending_count_; ++pending_next_)
        bits.leading[bits.leading_count++] = pending_[pending_next_];
    bits.first = std::exchange(first_segment_, false);
    bits.stop = stop_;
    bits.shared_from = shared_from_;
    bits.segment_bytes = static_cast<std::size_t>(longest_);
    bits.window_bytes = window_bytes_;
    bits.words = 0;
    bits.survivors = 0;
    if (!more_segments_) return true;  // a range of 2, 3 or 5 alone
    sieve_segment();
    bits.low = low_;
    bits.words = static_cast<std::size_t>((bytes_ + 7) / 8);
    bits.confirm = confirm_;
    bits.survivors = count_survivors(words_.get(), bits.words, set_);
    words_.swap(buffer);
    segment_ready_ = false;
    if (more_segments_) low_ += wheel::numbers_per_byte * bytes_;
    return true;
}

}  // namespace zorvanteli
