// Baillie-PSW: a strong probable-prime test to base 2, then an extra strong Lucas test with
// Baillie's parameters (the first P = 3, 4, ... with Jacobi(P^2 - 4, n) = -1, Q = 1). Checked
// against every base-2 strong pseudoprime below 2^64, it has no counterexample there; it costs
// about three modular exponentiations where the seven-base Miller-Rabin costs seven.
//
// A single exponentiation is one long chain of dependent multiplications. Running several
// numbers side by side, in lanes, fills the multiplier's pipeline instead of waiting on it.
// Where the processor has AVX-512 IFMA, both tests run in its vector registers instead, 64
// and 32 numbers at a time (baillie_psw_ifma); the lanes here serve every other processor.
#include "primality/baillie_psw.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <memory>
#include <utility>

#include "primality/baillie_psw_ifma.hpp"
#include "primality/integer_sqrt.hpp"
#include "primality/montgomery.hpp"

namespace zorvanteli {
namespace {

using u64 = std::uint64_t;
// Measured best on a current x86-64: more lanes spill registers, fewer leave the multiplier idle.
constexpr std::size_t base_2_lanes = 8;
constexpr std::size_t lucas_lanes = 4;

// Jacobi symbol (a/n) for odd n.
constexpr int jacobi(u64 a, u64 n) {
    int result = 1;
    a %= n;
    while (a != 0) {
        const int twos = std::countr_zero(a);
        a >>= twos;
        if ((twos & 1) && (n % 8 == 3 || n % 8 == 5)) result = -result;
        if (a % 4 == 3 && n % 4 == 3) result = -result;
        std::swap(a, n);
        a %= n;
    }
    return n == 1 ? result : 0;
}

// Strong probable prime to base 2, for `lanes` numbers at once. Multiplying by 2 is a doubling,
// so only the squarings cost multiplications.
template <typename arithmetic, std::size_t lanes>
std::array<bool, lanes> base_2_test(const std::array<arithmetic, lanes>& m) {
    std::array<u64, lanes> odd_part{};
    std::array<int, lanes> twos{};
    std::array<u64, lanes> x{};
    int top = 0;
    for (std::size_t i = 0; i < lanes; ++i) {
        const u64 n_minus_1 = m[i].modulus() - 1;
        twos[i] = std::countr_zero(n_minus_1);
        odd_part[i] = n_minus_1 >> twos[i];
        x[i] = m[i].one();
        top = std::max(top, 63 - std::countl_zero(odd_part[i]));
    }
    // Leading zero bits square the one, which leaves it one.
    for (int bit = top; bit >= 0; --bit) {
        for (std::size_t i = 0; i < lanes; ++i) {
            const u64 square = m[i].multiply(x[i], x[i]);
            const u64 doubled = m[i].add(square, square);
            x[i] = montgomery::select((odd_part[i] >> bit) & 1, doubled, square);
        }
    }
    std::array<bool, lanes> probable{};
    for (std::size_t i = 0; i < lanes; ++i) {
        u64 y = m[i].normalize(x[i]);
        bool passed = y == m[i].one() || y == m[i].minus_one();
        for (int s = 1; s < twos[i] && !passed; ++s) {
            y = m[i].normalize(m[i].multiply(y, y));
            if (y == m[i].one()) break;
            passed = y == m[i].minus_one();
        }
        probable[i] = passed;
    }
    return probable;
}

// For P = 3 to 8, the symbol (P^2 - 4 / n) of an odd n depends only on n mod 2520: by
// reciprocity on n mod the odd part of P^2 - 4 (5, 3, 21, 1, 45, 15) and on n mod 8. So one
// table, built here at compile time by the same Jacobi function, gives the first of these P
// with symbol -1, or 0 where the first symbol other than 1 is 0, for one division by a
// constant, which is a multiplication.
constexpr std::size_t symbol_period = 2520;
constexpr std::uint8_t none_of_the_first = 0xFF;
constexpr auto first_parameters = [] {
    std::array<std::uint8_t, symbol_period> table{};
    for (std::size_t r = 1; r < symbol_period; r += 2) {
        table[r] = none_of_the_first;
        for (u64 p = 3; p <= 8; ++p) {
            const int symbol = jacobi(p * p - 4, r);
            if (symbol == 1) continue;
            table[r] = symbol == 0 ? 0 : static_cast<std::uint8_t>(p);
            break;
        }
    }
    return table;
}();

// P for the Lucas test, or 0 when n is shown composite on the way (it shares a factor with
// the small P^2 - 4). P = 3 to 8 settle 63 numbers in 64, from the table without a branch on
// which of them it is, which would be a coin toss on fresh numbers.
u64 lucas_parameter(u64 n) {
    const std::uint8_t first = first_parameters[static_cast<std::size_t>(n % symbol_period)];
    if (first != none_of_the_first) return first;
    for (u64 p = 9;; ++p) {
        const int j = jacobi(p * p - 4, n);
        if (j == -1) return p;
        if (j == 0) return 0;
        // No P works for a square; the search would never end.
        if (p == 20 && integer_sqrt(n) * integer_sqrt(n) == n) return 0;
    }
}

// Extra strong Lucas probable prime with Q = 1, for `lanes` numbers at once, from the ladder
// of V alone: n + 1 = d * 2^s; U_d = 0 exactly when 2 V_(d+1) = P V_d.
template <typename arithmetic, std::size_t lanes>
std::array<bool, lanes> lucas_test(const std::array<arithmetic, lanes>& m,
                                   const std::array<u64, lanes>& parameter) {
    std::array<u64, lanes> d{};
    std::array<int, lanes> twos{};
    std::array<u64, lanes> p_form{};
    std::array<u64, lanes> two_form{};
    std::array<u64, lanes> v{};       // V_k
    std::array<u64, lanes> v_next{};  // V_(k+1)
    int top = 0;
    for (std::size_t i = 0; i < lanes; ++i) {
        const u64 n_plus_1 = m[i].modulus() + 1;
        twos[i] = std::countr_zero(n_plus_1);
        d[i] = n_plus_1 >> twos[i];
        two_form[i] = m[i].normalize(m[i].add(m[i].one(), m[i].one()));
        // P * 2^64 mod n by doubling and adding: P is small, and a 128-bit division is dear.
        p_form[i] = 0;
        for (int b = 63 - std::countl_zero(parameter[i] | 1); b >= 0; --b) {
            p_form[i] = m[i].add(p_form[i], p_form[i]);
            if ((parameter[i] >> b) & 1) p_form[i] = m[i].add(p_form[i], m[i].one());
        }
        v[i] = two_form[i];     // V_0 = 2
        v_next[i] = p_form[i];  // V_1 = P
        top = std::max(top, 63 - std::countl_zero(d[i]));
    }
    // k -> 2k: V_2k = V_k^2 - 2, V_2k+1 = V_k V_k+1 - P; k -> 2k + 1 likewise one step on.
    // Leading zero bits keep (V_0, V_1) as they are.
    for (int bit = top; bit >= 0; --bit) {
        for (std::size_t i = 0; i < lanes; ++i) {
            const bool set = (d[i] >> bit) & 1;
            const u64 mixed = m[i].subtract(m[i].multiply(v[i], v_next[i]), p_form[i]);
            const u64 base = montgomery::select(set, v_next[i], v[i]);
            const u64 doubled = m[i].subtract(m[i].multiply(base, base), two_form[i]);
            v[i] = montgomery::select(set, mixed, doubled);
            v_next[i] = montgomery::select(set, doubled, mixed);
        }
    }
    std::array<bool, lanes> probable{};
    for (std::size_t i = 0; i < lanes; ++i) {
        const u64 minus_two = m[i].modulus() - two_form[i];
        const u64 v_d = m[i].normalize(v[i]);
        const bool u_is_zero = m[i].normalize(m[i].add(v_next[i], v_next[i])) ==
                               m[i].normalize(m[i].multiply(p_form[i], v[i]));
        bool passed = u_is_zero && (v_d == two_form[i] || v_d == minus_two);
        u64 w = v_d;
        for (int r = 0; r < twos[i] - 1 && !passed; ++r) {
            passed = w == 0;
            w = m[i].normalize(m[i].subtract(m[i].multiply(w, w), two_form[i]));
        }
        probable[i] = passed;
    }
    return probable;
}

// Runs `test` on the numbers in groups of `lanes` and moves those it passes to the front;
// a short last group is padded with copies of its first number.
template <std::size_t lanes, typename lane_test>
std::size_t keep_passing(std::span<u64> numbers, lane_test test) {
    std::size_t kept = 0;
    for (std::size_t at = 0; at < numbers.size(); at += lanes) {
        const std::size_t count = std::min(lanes, numbers.size() - at);
        std::array<u64, lanes> group{};
        for (std::size_t i = 0; i < lanes; ++i) group[i] = numbers[at + (i < count ? i : 0)];
        const std::array<bool, lanes> passed = test(group);
        for (std::size_t i = 0; i < count; ++i)
            if (passed[i]) numbers[kept++] = group[i];
    }
    return kept;
}

template <typename arithmetic, std::size_t lanes, std::size_t... lane>
std::array<arithmetic, lanes> forms(const std::array<u64, lanes>& n, std::index_sequence<lane...>) {
    return {arithmetic{n[lane]}...};
}
template <typename arithmetic, std::size_t lanes>
std::array<arithmetic, lanes> forms(const std::array<u64, lanes>& n) {
    return forms<arithmetic, lanes>(n, std::make_index_sequence<lanes>{});
}

template <typename arithmetic>
std::size_t keep_probable_primes(std::span<u64> numbers) {
    // Base 2 first for all of them: it rejects nearly every composite, and what passes fills
    // the lanes of the dearer Lucas test.
    const std::size_t probable = keep_passing<base_2_lanes>(
        numbers,
        [](const std::array<u64, base_2_lanes>& n) { return base_2_test(forms<arithmetic>(n)); });
    return keep_passing<lucas_lanes>(
        numbers.first(probable), [](const std::array<u64, lucas_lanes>& n) {
            std::array<u64, lucas_lanes> parameter{};
            for (std::size_t i = 0; i < lucas_lanes; ++i) parameter[i] = lucas_parameter(n[i]);
            std::array<bool, lucas_lanes> passed = lucas_test(forms<arithmetic>(n), parameter);
            for (std::size_t i = 0; i < lucas_lanes; ++i)
                passed[i] = passed[i] && parameter[i] != 0;
            return passed;
        });
}

std::size_t keep_probable_primes_lazy(std::span<u64> numbers) {
    const bool all_small =
        std::ranges::all_of(numbers, [](u64 n) { return n < lazy_montgomery::limit; });
    return all_small ? keep_probable_primes<lazy_montgomery>(numbers)
                     : keep_probable_primes<montgomery>(numbers);
}

bool probable_prime_portable(u64 n) {
    return keep_probable_primes<montgomery>({&n, 1}) == 1;
}

// A chunk's lists for the vector lanes: 18 KiB, too much for a stack that may be as small as
// 40 KiB, so each thread keeps one on the heap, made at its first use.
struct ifma_chunk {
    static constexpr std::size_t size = 512;
    std::array<ifma::verdict, size> verdicts;
    std::array<u64, size> one;
    std::array<bool, size> prime;
    std::array<std::uint16_t, size> lucas_index;
    std::array<u64, size> lucas_numbers;
    std::array<u64, size> lucas_parameters;
    std::array<u64, size> lucas_one;
};

ifma_chunk& this_threads_chunk() {
    thread_local const std::unique_ptr<ifma_chunk> chunk = std::make_unique<ifma_chunk>();
    return *chunk;
}

// The vector lanes run both tests; the Lucas parameter and what the lanes leave undecided
// (numbers of rare shapes) are settled here, one number at a time. A batch goes in chunks, so
// that their verdicts need no more room whatever its size. The lists are compacted without a
// branch on each verdict: on fresh numbers it would be a coin toss the processor mispredicts.
std::size_t keep_probable_primes_ifma(std::span<u64> numbers) {
    constexpr std::size_t chunk = ifma_chunk::size;
    auto& [verdicts, one, prime, lucas_index, lucas_numbers, lucas_parameters, lucas_one] =
        this_threads_chunk();
    std::size_t kept = 0;
    for (std::size_t at = 0; at < numbers.size(); at += chunk) {
        const std::span<u64> part = numbers.subspan(at, std::min(chunk, numbers.size() - at));
        const std::size_t count = part.size();
        ifma::base_2_test(part, std::span{verdicts}.first(count), std::span{one}.first(count));
        std::size_t probable = 0;
        bool any_undecided = false;
        for (std::size_t i = 0; i < count; ++i) {
            prime[i] = false;
            lucas_index[probable] = static_cast<std::uint16_t>(i);
            probable += verdicts[i] == ifma::verdict::probable_prime;
            any_undecided |= verdicts[i] == ifma::verdict::undecided;
        }
        if (any_undecided)
            for (std::size_t i = 0; i < count; ++i)
                if (verdicts[i] == ifma::verdict::undecided)
                    prime[i] = probable_prime_portable(part[i]);
        std::size_t lucas_count = 0;
        for (std::size_t k = 0; k < probable; ++k) {
            const std::size_t i = lucas_index[k];
            const u64 p = lucas_parameter(part[i]);
            // No P this large is known below 2^64, but the lanes' bounds rest on it.
            if (p >= ifma::max_parameter) {
                prime[i] = probable_prime_portable(part[i]);
                continue;
            }
            lucas_index[lucas_count] = static_cast<std::uint16_t>(i);
            lucas_numbers[lucas_count] = part[i];
            lucas_parameters[lucas_count] = p;
            lucas_one[lucas_count] = one[i];
            lucas_count += p != 0;
        }
        ifma::lucas_test(std::span{lucas_numbers}.first(lucas_count),
                         std::span{lucas_parameters}.first(lucas_count),
                         std::span{lucas_one}.first(lucas_count),
                         std::span{verdicts}.first(lucas_count));
        for (std::size_t k = 0; k < lucas_count; ++k)
            prime[lucas_index[k]] = verdicts[k] == ifma::verdict::probable_prime;
        // Written no further than read: kept <= at + i.
        for (std::size_t i = 0; i < count; ++i) {
            numbers[kept] = part[i];
            kept += prime[i];
        }
    }
    return kept;
}

}  // namespace

bool available(arithmetic kind) {
    return kind != arithmetic::ifma || ifma::supported();
}

std::size_t keep_primes(std::span<u64> numbers, arithmetic kind) {
    switch (kind) {
        case arithmetic::portable:
            return keep_probable_primes<montgomery>(numbers);
        case arithmetic::lazy:
            return keep_probable_primes_lazy(numbers);
        case arithmetic::ifma:
            return keep_probable_primes_ifma(numbers);
    }
    return 0;
}

std::size_t keep_primes(std::span<u64> numbers) {
    // Asked each time: the program may have been kept below what the processor runs.
    return keep_primes(numbers, available(arithmetic::ifma) ? arithmetic::ifma : arithmetic::lazy);
}

}  // namespace zorvanteli
