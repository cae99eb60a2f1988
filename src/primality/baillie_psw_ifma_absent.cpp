// What stands in for the vector lanes where the compiler does not target x86-64: no processor
// there has AVX-512 IFMA, so supported() is false and the confirmation never calls the tests.
#include <algorithm>

#include "primality/baillie_psw_ifma.hpp"

namespace zorvanteli::ifma {

bool supported() {
    return false;
}

void base_2_test(std::span<const std::uint64_t>, std::span<verdict> verdicts,
                 std::span<std::uint64_t>) {
    std::fill(verdicts.begin(), verdicts.end(), verdict::undecided);
}

void lucas_test(std::span<const std::uint64_t>, std::span<const std::uint64_t>,
                std::span<const std::uint64_t>, std::span<verdict> verdicts) {
    std::fill(verdicts.begin(), verdicts.end(), verdict::undecided);
}

}  // namespace zorvanteli::ifma
