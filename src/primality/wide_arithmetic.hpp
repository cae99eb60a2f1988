// The one choice of how 128-bit products and remainders are made, by what the compiler offers:
// its 128-bit integers, Microsoft's intrinsics, or else 32-bit halves. The Montgomery
// arithmetic reaches them as wide::multiply_wide and wide::reduce_wide.
#pragma once

#include "primality/wide_halves.hpp"

#if defined(__SIZEOF_INT128__)
#include "primality/wide_int128.hpp"
namespace zorvanteli {
namespace wide = int128;
}
#elif defined(_MSC_VER) && defined(_M_X64)
#include "primality/wide_msvc.hpp"
namespace zorvanteli {
namespace wide = msvc;
}
#else
namespace zorvanteli {
namespace wide = halves;
}
#endif
