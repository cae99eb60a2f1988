// The unrolled strike loop: the bits and the offsets' constant parts are compiled into the loop of
// each residue class, so that a strike is one AND of a byte in memory.
#include "sieve/wheel_turns.hpp"

#include <cstdint>
#include <utility>

namespace zorvanteli {
namespace {

using u64 = std::uint64_t;
using u8 = std::uint8_t;
using wheel::strikes;

template <unsigned c, unsigned j>
constexpr u8 mask = static_cast<u8>(~(1u << strikes.bit[c][j]));

// Strikes the multiples of p = 30 * pd + residues[c] from byte `next / 8` (wheel index next % 8)
// up to, not including, byte `end`; returns the next strike in the same form.
template <unsigned c>
std::uint32_t strike_turns(u8* s, u64 end, u64 pd, std::uint32_t next) {
    constexpr auto& carry = strikes.carry[c];
    const u64 p = 30 * pd + wheel::residues[c];
    const u64 o0 = pd * 1 + carry[0], o1 = pd * 7 + carry[1], o2 = pd * 11 + carry[2],
              o3 = pd * 13 + carry[3], o4 = pd * 17 + carry[4], o5 = pd * 19 + carry[5],
              o6 = pd * 23 + carry[6], o7 = pd * 29 + carry[7];
    const u64 offsets[8] = {o0, o1, o2, o3, o4, o5, o6, o7};
    const unsigned j = next % 8;
    // The byte where the current turn starts; before the segment's start for a turn that
    // began there, which unsigned arithmetic carries through to the right bytes.
    u64 turn = (next / 8) - offsets[j];
    const auto out = [&](u64 offset, unsigned k) {
        return static_cast<std::uint32_t>((turn + offset) * 8 + k);
    };
    // Finish the turn begun, checking each strike against the end.
    switch (j) {
        case 0:
            if (turn + o0 >= end) return out(o0, 0);
            s[turn + o0] &= mask<c, 0>;
            [[fallthrough]];
        case 1:
            if (turn + o1 >= end) return out(o1, 1);
            s[turn + o1] &= mask<c, 1>;
            [[fallthrough]];
        case 2:
            if (turn + o2 >= end) return out(o2, 2);
            s[turn + o2] &= mask<c, 2>;
            [[fallthrough]];
        case 3:
            if (turn + o3 >= end) return out(o3, 3);
            s[turn + o3] &= mask<c, 3>;
            [[fallthrough]];
        case 4:
            if (turn + o4 >= end) return out(o4, 4);
            s[turn + o4] &= mask<c, 4>;
            [[fallthrough]];
        case 5:
            if (turn + o5 >= end) return out(o5, 5);
            s[turn + o5] &= mask<c, 5>;
            [[fallthrough]];
        case 6:
            if (turn + o6 >= end) return out(o6, 6);
            s[turn + o6] &= mask<c, 6>;
            [[fallthrough]];
        default:
            if (turn + o7 >= end) return out(o7, 7);
            s[turn + o7] &= mask<c, 7>;
    }
    turn += p;
    // Whole turns, unchecked: the last strike of a turn is its farthest.
    for (const u64 stop = end > o7 ? end - o7 : 0; turn < stop; turn += p) {
        u8* const t = s + turn;
        t[o0] &= mask<c, 0>;
        t[o1] &= mask<c, 1>;
        t[o2] &= mask<c, 2>;
        t[o3] &= mask<c, 3>;
        t[o4] &= mask<c, 4>;
        t[o5] &= mask<c, 5>;
        t[o6] &= mask<c, 6>;
        t[o7] &= mask<c, 7>;
    }
    // The turn that crosses the end.
    if (turn + o0 >= end) return out(o0, 0);
    s[turn + o0] &= mask<c, 0>;
    if (turn + o1 >= end) return out(o1, 1);
    s[turn + o1] &= mask<c, 1>;
    if (turn + o2 >= end) return out(o2, 2);
    s[turn + o2] &= mask<c, 2>;
    if (turn + o3 >= end) return out(o3, 3);
    s[turn + o3] &= mask<c, 3>;
    if (turn + o4 >= end) return out(o4, 4);
    s[turn + o4] &= mask<c, 4>;
    if (turn + o5 >= end) return out(o5, 5);
    s[turn + o5] &= mask<c, 5>;
    if (turn + o6 >= end) return out(o6, 6);
    s[turn + o6] &= mask<c, 6>;
    return out(o7, 7);
}

// Strikes whole turns of the multiples of p = 30 * pd + residues[c], from the turn of byte
// `next / 8` (wheel index next % 8) on, as long as a turn starts below byte `end`: up to p bytes
// past `end`, but without a check per strike or a mispredicted exit from the middle of a turn.
// Returns the next strike, which starts a turn (wheel index 0).
template <unsigned c>
std::uint32_t strike_whole_turns(u8* s, u64 end, u64 pd, std::uint32_t next) {
    if (next / 8 >= end) return next;
    constexpr auto& carry = strikes.carry[c];
    const u64 p = 30 * pd + wheel::residues[c];
    const u64 o0 = pd * 1 + carry[0], o1 = pd * 7 + carry[1], o2 = pd * 11 + carry[2],
              o3 = pd * 13 + carry[3], o4 = pd * 17 + carry[4], o5 = pd * 19 + carry[5],
              o6 = pd * 23 + carry[6], o7 = pd * 29 + carry[7];
    const unsigned j = next % 8;
    // The byte where the turn starts, which may lie before the segment's start: as a signed
    // number for the comparisons; the sums with the offsets are the bytes struck.
    u64 turn = next / 8;
    if (j != 0) {  // only a prime just added starts inside a turn
        const u64 offsets[8] = {o0, o1, o2, o3, o4, o5, o6, o7};
        turn -= offsets[j];
        switch (j) {
            case 1:
                s[turn + o1] &= mask<c, 1>;
                [[fallthrough]];
            case 2:
                s[turn + o2] &= mask<c, 2>;
                [[fallthrough]];
            case 3:
                s[turn + o3] &= mask<c, 3>;
                [[fallthrough]];
            case 4:
                s[turn + o4] &= mask<c, 4>;
                [[fallthrough]];
            case 5:
                s[turn + o5] &= mask<c, 5>;
                [[fallthrough]];
            case 6:
                s[turn + o6] &= mask<c, 6>;
                [[fallthrough]];
            default:
                s[turn + o7] &= mask<c, 7>;
        }
        turn += p;
    } else {
        turn -= o0;
    }
    const auto signed_end = static_cast<std::int64_t>(end);
    for (; static_cast<std::int64_t>(turn) < signed_end; turn += p) {
        s[turn + o0] &= mask<c, 0>;
        s[turn + o1] &= mask<c, 1>;
        s[turn + o2] &= mask<c, 2>;
        s[turn + o3] &= mask<c, 3>;
        s[turn + o4] &= mask<c, 4>;
        s[turn + o5] &= mask<c, 5>;
        s[turn + o6] &= mask<c, 6>;
        s[turn + o7] &= mask<c, 7>;
    }
    return static_cast<std::uint32_t>((turn + o0) * 8);
}

template <unsigned c, bool whole>
void strike_class(std::vector<wheel_turn_primes::entry>& primes, u8* s, u64 end) {
    for (auto& e : primes)
        e.next = whole ? strike_whole_turns<c>(s, end, e.pd, e.next)
                       : strike_turns<c>(s, end, e.pd, e.next);
}

}  // namespace

void wheel_turn_primes::clear() {
    for (auto& list : classes_) list.clear();
}

void wheel_turn_primes::add(u64 p, wheel::position at) {
    classes_[wheel::bit_of_residue[wheel::residue(p)]].push_back(
        {static_cast<std::uint32_t>(p / 30), static_cast<std::uint32_t>(at.byte * 8 + at.j)});
}

void wheel_turn_primes::strike(u8* segment, u64 end) {
    [&]<unsigned... c>(std::integer_sequence<unsigned, c...>) {
        (strike_class<c, false>(classes_[c], segment, end), ...);
    }
    (std::make_integer_sequence<unsigned, 8>{});
}

void wheel_turn_primes::strike_whole_turns(u8* segment, u64 end) {
    [&]<unsigned... c>(std::integer_sequence<unsigned, c...>) {
        (strike_class<c, true>(classes_[c], segment, end), ...);
    }
    (std::make_integer_sequence<unsigned, 8>{});
}

std::size_t wheel_turn_primes::size() const {
    std::size_t n = 0;
    for (const auto& list : classes_) n += list.size();
    return n;
}

void wheel_turn_primes::advance(u64 bytes) {
    const auto shift = static_cast<std::uint32_t>(bytes * 8);
    for (auto& list : classes_)
        for (auto& e : list) e.next -= shift;
}

}  // namespace zorvanteli
