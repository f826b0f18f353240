// The small computations that every stage of the estimation shares: the
// refinement ratios, the convergence ratio of a sequence, the order from a
// ratio and the two-grid extrapolation.  Each is written once here, with the
// order of its operations fixed, so that every stage gets the same bits.
#ifndef MORVANTIDE_CORE_PRIMITIVES_H_
#define MORVANTIDE_CORE_PRIMITIVES_H_

#include <cstdint>

#include "common/quad.h"
#include "model/state.h"

namespace morvantide {

// r21 at grid i: h(i-1) / h(i).   REQUIRES: 2 <= i <= h.size()
inline real ratio_r21(const RealList& h, int32_t i) { return h(i - 1) / h(i); }

// r32 at grid i: h(i-2) / h(i-1).   REQUIRES: 3 <= i <= h.size()
inline real ratio_r32(const RealList& h, int32_t i) { return h(i - 2) / h(i - 1); }

// The convergence ratio of T at grid i, the earlier difference over the
// later one: (T(i-1) - T(i-2)) / (T(i) - T(i-1)).  When the later
// difference is zero the ratio does not exist and `if_equal` is returned.
// Entries enter as they stand, sentinels included.  The first form takes
// the three values T(i-2), T(i-1), T(i) themselves.
//   T = 1, 1.5, 1.75 at i = 3 -> 2
// REQUIRES: 3 <= i <= T.size()
inline real convergence_ratio(real t0, real t1, real t2, real if_equal) {
  const real later = t2 - t1;
  if (later == 0) return if_equal;
  return (t1 - t0) / later;
}
inline real convergence_ratio(const RealList& T, int32_t i, real if_equal) {
  return convergence_ratio(T(i - 2), T(i - 1), T(i), if_equal);
}

// A ratio from which an order can be formed: neither zero nor missing.
inline bool usable_ratio(real psi) { return psi != 0 && psi != kSentinel; }

// An observed order too large to be used (the sentinel among them).
inline bool unusable_order(real p) { return p > kOrderBound; }

// The order from a positive ratio with a constant refinement ratio, the
// logarithm of the ratio r21 formed by the caller as q_log10(r21).
inline real order_from_positive_constant(real psi, real log10_r21) {
  return q_log10(psi) / log10_r21;
}

// The order from the absolute ratio: log10(|psi|) / log10(r21).
//   psi = -4, r21 = 2 -> 2
inline real order_from_abs(real psi, real r21) { return q_log10(q_abs(psi)) / q_log10(r21); }

// The two-grid extrapolation of the finer value tj with the coarser value
// tk and the power Rp = R^p already formed: tj + (tj - tk) / (Rp - 1),
// evaluated as the difference, then the quotient, then the sum.
inline real extrapola_with_power(real tj, real tk, real Rp) {
  const real difference = tj - tk;
  const real correction = difference / (Rp - 1);
  return tj + correction;
}

// The same with spacing ratio R and order p, R^p formed first.
//   extrapola(1.25, 1.0, 2, 2) -> 1.25 + 0.25 / 3
inline real extrapola(real tj, real tk, real R, real p) {
  return extrapola_with_power(tj, tk, q_pow(R, p));
}

}  // namespace morvantide

#endif  // MORVANTIDE_CORE_PRIMITIVES_H_
