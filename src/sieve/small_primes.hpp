// Small sieving primes: those that strike a level-1-sized piece of a segment many times over. They
// strike one piece after the other, so that nearly all their strikes land in the level-1 cache.
#pragma once

#include <cstdint>

#include "sieve/wheel_turns.hpp"

namespace zorvanteli {

class small_sieving_primes {
public:
    // The segment's pieces, sized to stay in the level-1 cache (48 KiB here) with the primes'
    // table and the pre-sieve patterns streaming through.
    static constexpr std::uint64_t piece_bytes = 32 * 1024;
    // A prime below this strikes a piece at least 16 times. Above, entering its unrolled loop
    // once per piece costs about as much as striking in the level-2 cache instead saves: such a
    // prime is a medium one. (Limits from 8 to 32 KiB measured within a few per cent.)
    static constexpr std::uint64_t limit = 16 * 1024;

    void clear() { primes_.clear(); }
    void add(std::uint64_t p, wheel::position at) { primes_.add(p, at); }
    // Strikes the multiples in the segment's bytes below `end`, the end of the piece that follows
    // the last call's, and some up to `limit` bytes past it, which must be pre-sieved already.
    void strike_piece(std::uint8_t* segment, std::uint64_t end) {
        primes_.strike_whole_turns(segment, end);
    }
    // Moves on to the next segment, which starts `bytes` bytes after the current one.
    void advance(std::uint64_t bytes) { primes_.advance(bytes); }

private:
    wheel_turn_primes primes_;
};

}  // namespace zorvanteli
