// binary128 arithmetic: the one real type of the program and the few
// functions the estimation uses, all evaluated by libquadmath.  No value of
// this type is ever converted to double or long double.
#ifndef MORVANTIDE_COMMON_QUAD_H_
#define MORVANTIDE_COMMON_QUAD_H_

#include <cstdint>
#include <cstring>
#include <string>

extern "C" {
#include <quadmath.h>
}

namespace morvantide {

using real = __float128;

// Marks a per-grid value as not computed.  Tests against it are exact.
inline constexpr real kSentinel = 100000000000.0Q;  // 1.0e11
// Observed orders above this bound are treated as not computed.
inline constexpr real kOrderBound = 10000000000.0Q;  // 1.0e10

inline real q_abs(real x) { return fabsq(x); }
// logq, log10q and powq, remembered: each costs some thousands of
// instructions, and the estimation asks for the same ones again and again
// (the logarithm of a grid's ratio in every stage and in the order searches
// of the two triples it belongs to, the power of a constant ratio on every
// grid).  The last results are kept per thread, keyed by the arguments'
// bits, so a repeated call returns the very bits logq, log10q or powq gives.
real q_log(real x);
real q_log10(real x);
real q_pow(real x, real y);
// expq, remembered in the same way in a larger table per thread: the
// least-squares fits of a report ask for the same powers of the same grids
// for every variable.
real q_exp(real x);
// The smaller of a and b; b when a is not smaller (a NaN in a gives b).
inline real q_min(real a, real b) { return a < b ? a : b; }
inline bool q_isnan(real x) { return isnanq(x) != 0; }
inline bool q_isinf(real x) { return isinfq(x) != 0; }
// Positive infinity (IEEE 754 division by zero, no trap).
inline real q_infinity() {
  const real zero = 0;
  return 1 / zero;
}
inline bool q_signbit(real x) { return signbitq(x) != 0; }

// True when the bits of a and b are the same (so NaN equals the same NaN and
// 0 differs from -0).
inline bool same_bits(real a, real b) { return std::memcmp(&a, &b, sizeof(real)) == 0; }

// Exact integer to binary128 conversion (every int32 is representable).
inline real q_from_int(int32_t i) { return static_cast<real>(i); }

// Decimal text of x with 36 significant digits (for messages and tests).
std::string q_to_string(real x);

}  // namespace morvantide

#endif  // MORVANTIDE_COMMON_QUAD_H_
