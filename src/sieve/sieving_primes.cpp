// The sieving primes' own sieve: pre-sieving, then striking with the base primes from 167 to the
// root of the piece's end, then reading the survivors out, on a buffer of one piece.
#include "sieve/sieving_primes.hpp"

#include <algorithm>
#include <cstring>

#include "sieve/presieve.hpp"
#include "sieve/small_primes.hpp"
#include "sieve/survivors.hpp"
#include "sieve/wheel.hpp"

namespace zorvanteli {
namespace {

using u64 = std::uint64_t;
using u8 = std::uint8_t;

constexpr u64 piece_bytes = small_sieving_primes::piece_bytes;
constexpr u64 numbers_per_word = 8 * wheel::numbers_per_byte;

// The primes from 167 to 2^16, the roots of all sieving primes: made once by a plain sieve of
// Eratosthenes over 64 KiB, a fraction of a millisecond.
const std::vector<std::uint32_t>& base_primes() {
    static const std::vector<std::uint32_t> primes = [] {
        constexpr std::size_t size = std::size_t{1} << 16;
        std::vector<bool> composite(size);
        std::vector<std::uint32_t> found;
        for (std::size_t n = 2; n < size; ++n) {
            if (composite[n]) continue;
            if (n > presieve_limit) found.push_back(static_cast<std::uint32_t>(n));
            for (std::size_t m = n * n; m < size; m += n) composite[m] = true;
        }
        return found;
    }();
    return primes;
}

void clear_bit(u8* s, u64 byte, unsigned k) {
    s[byte] = static_cast<u8>(s[byte] & ~(1u << k));
}

}  // namespace

sieving_prime_generator::sieving_prime_generator(instruction_set set)
    : set_{set}, piece_(piece_bytes / 8 + 1), found_(4096) {
    restart(presieve_limit);
}

void sieving_prime_generator::restart(u64 from) {
    made_to_ = from;
    low_ = (from + 1) - (from + 1) % wheel::numbers_per_byte;
    base_.clear();
    base_count_ = 0;
    pending_.clear();
    pending_next_ = 0;
}

void sieving_prime_generator::make_piece(u64 upto, std::vector<std::uint32_t>& out) {
    upto = std::min(upto, limit - 1);
    if (upto <= made_to_) return;
    if (pending_next_ == pending_.size() && low_ <= upto) sieve_piece(upto);
    for (; pending_next_ < pending_.size() && pending_[pending_next_] <= upto; ++pending_next_)
        out.push_back(static_cast<std::uint32_t>(pending_[pending_next_]));
    // Every prime up to here is out: those sieved and kept, or, with none kept, all sieved.
    made_to_ = pending_next_ < pending_.size() ? upto : std::min(upto, low_ - 1);
}

// Sieves the bytes from low_ on as far as `upto` reaches, one piece at most, and keeps their
// primes above made_to_ for make_piece.
void sieving_prime_generator::sieve_piece(u64 upto) {
    const auto bytes = static_cast<std::size_t>(
        std::min(piece_bytes, (upto - low_) / wheel::numbers_per_byte + 1));
    const u64 last = low_ + wheel::numbers_per_byte * bytes - 1;
    // Base primes join once their square lies in a piece; their first strike is at least there.
    const std::vector<std::uint32_t>& base = base_primes();
    for (; base_count_ < base.size() && u64{base[base_count_]} * base[base_count_] <= last;
         ++base_count_) {
        wheel::position at;
        if (wheel::first_strike(base[base_count_], low_, ~u64{0}, at))
            base_.add(base[base_count_], at);
    }
    u8* const s = reinterpret_cast<u8*>(piece_.data());
    presieve(s, bytes, low_ / wheel::numbers_per_byte, set_);
    base_.strike(s, bytes);
    base_.advance(bytes);
    // Pre-sieving struck the primes to 163 too; after a restart the first byte may hold some of
    // the primes already handed out.
    for (unsigned k = 0; k < 8; ++k)
        if (low_ + wheel::residues[k] <= made_to_) clear_bit(s, 0, k);
    std::memset(s + bytes, 0, (8 - bytes % 8) % 8);
    pending_.clear();
    pending_next_ = 0;
    for (std::size_t word = 0, words = (bytes + 7) / 8; word < words;) {
        const survivors_taken taken =
            collect_survivors(piece_.data() + word, words - word, low_ + numbers_per_word * word,
                              found_.data(), found_.size(), set_);
        pending_.insert(pending_.end(), found_.begin(),
                        found_.begin() + static_cast<std::ptrdiff_t>(taken.numbers));
        word += taken.words;
    }
    low_ = last + 1;
}

}  // namespace zorvanteli
