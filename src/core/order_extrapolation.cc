// The order-and-extrapolation routine: convergence ratio and observed orders
// of Th, the single extrapolations and the bi-extrapolation.
//
// Reads:  nm, h, Th, pL, tipo_r, itmax, tol, pU_min, pU_max.
// Writes: pU_Th, psi_Th, pUs_Th (ordens_Th);
//         Ti_pL, Ti_pU, Ti_pUs, pU_Ti, psi_Ti, pUs_Ti (extrapolacao_simples);
//         Tbi_pUs, psi_Tbi, pUs_Tbi (biextrapolacao);
//         the working scalars r21 and r32.

#include "core/estimation.h"

namespace morvantide {
namespace {

// An observed order above this is no usable order.
bool unusable_order(real p) { return p > kOrderBound; }

// Order from the absolute ratio: log10(|psi|) / log10(r21).
real order_from_abs(real psi, real r21) { return q_log10(q_abs(psi)) / q_log10(r21); }

// Order from a positive ratio for the refinement kind of the run: closed
// form for a constant ratio, bisection for a variable one, none for any
// other kind.  `current` is the caller's element, kept when nothing is
// computed.
real order_from_positive(const State& s, real psi, real current) {
  if (s.tipo_r == 1) return q_log10(psi) / q_log10(s.r21);
  if (s.tipo_r == 2) {
    return obter_pU(s.pU_min, s.pU_max, s.r21, s.r32, psi, s.itmax, s.tol, current);
  }
  return current;
}

void set_ratios(State& s, int32_t i) {
  s.r21 = s.h(i - 1) / s.h(i);
  s.r32 = s.h(i - 2) / s.h(i - 1);
}

}  // namespace

void ordens_Th(State& s) {
  s.pU_Th.fill(kSentinel);
  if (s.nm < 3) return;

  // Pass A: the order from a positive ratio; the ratio is not kept.
  for (int32_t i = 3; i <= s.nm; ++i) {
    set_ratios(s, i);
    const real d = s.Th(i) - s.Th(i - 1);
    real psi = 0;
    if (d != 0) psi = (s.Th(i - 1) - s.Th(i - 2)) / d;
    if (psi > 0) s.pU_Th(i) = order_from_positive(s, psi, s.pU_Th(i));
  }

  // Pass B: the stored ratio and the order from its absolute value.
  for (int32_t i = 3; i <= s.nm; ++i) {
    set_ratios(s, i);
    const real d = s.Th(i) - s.Th(i - 1);
    if (d != 0) s.psi_Th(i) = (s.Th(i - 1) - s.Th(i - 2)) / d;
    if (s.tipo_r == 1 && s.psi_Th(i) != 0 && s.psi_Th(i) != kSentinel) {
      s.pUs_Th(i) = order_from_abs(s.psi_Th(i), s.r21);
    }
  }
}

void extrapolacao_simples(State& s) {
  // Pass C: with the asymptotic order.
  for (int32_t i = 2; i <= s.nm; ++i) {
    s.r21 = s.h(i - 1) / s.h(i);
    s.Ti_pL(i) = extrapola(s.Th(i), s.Th(i - 1), s.r21, s.pL);
  }

  // Pass D: with the observed orders, where pU_Th allows.  A non-positive
  // pU_Th blocks Ti_pU only; an unusable one blocks both.
  for (int32_t i = 3; i <= s.nm; ++i) {
    set_ratios(s, i);
    const real pU = s.pU_Th(i);
    if (pU <= 0 || unusable_order(pU)) {
      s.Ti_pU(i) = kSentinel;
      s.Ti_pUs(i) = kSentinel;
    } else {
      s.Ti_pU(i) = extrapola(s.Th(i), s.Th(i - 1), s.r21, pU);
      s.Ti_pUs(i) = extrapola(s.Th(i), s.Th(i - 1), s.r21, s.pUs_Th(i));
    }
    if (pU <= 0) s.Ti_pUs(i) = extrapola(s.Th(i), s.Th(i - 1), s.r21, s.pUs_Th(i));
  }

  // Pass E: ratios and orders of the extrapolated sequences, sentinels
  // entering the differences as numbers.
  s.pU_Ti.fill(kSentinel);
  s.pUs_Ti.fill(kSentinel);
  for (int32_t i = 5; i <= s.nm; ++i) {
    set_ratios(s, i);
    const real d1 = s.Ti_pU(i) - s.Ti_pU(i - 1);
    real psi1 = kSentinel;
    if (d1 != 0) psi1 = (s.Ti_pU(i - 1) - s.Ti_pU(i - 2)) / d1;
    const real d2 = s.Ti_pUs(i) - s.Ti_pUs(i - 1);
    real psi2 = kSentinel;
    if (d2 != 0) psi2 = (s.Ti_pUs(i - 1) - s.Ti_pUs(i - 2)) / d2;

    // psi1 = sentinel (a zero difference) counts as a positive ratio.
    if (psi1 > 0) s.pU_Ti(i) = order_from_positive(s, psi1, s.pU_Ti(i));
    if (psi2 != 0 && psi2 != kSentinel) {
      s.psi_Ti(i) = psi2;
      s.pUs_Ti(i) = order_from_abs(psi2, s.r21);
    }
  }
}

void biextrapolacao(State& s) {
  // Pass F: Ti_pUs extrapolated again with its own order, gated by pU_Ti.
  // Unlike pass D the second test is strict: pU_Ti = 0 leaves the sentinel.
  for (int32_t i = 5; i <= s.nm; ++i) {
    s.r21 = s.h(i - 1) / s.h(i);
    const real pU = s.pU_Ti(i);
    if (pU <= 0 || unusable_order(pU)) {
      s.Tbi_pUs(i) = kSentinel;
    } else {
      s.Tbi_pUs(i) = extrapola(s.Ti_pUs(i), s.Ti_pUs(i - 1), s.r21, s.pUs_Ti(i));
    }
    if (pU < 0) s.Tbi_pUs(i) = extrapola(s.Ti_pUs(i), s.Ti_pUs(i - 1), s.r21, s.pUs_Ti(i));
  }

  // Pass G: ratio (stored also when zero or missing) and order.
  s.pUs_Tbi.fill(kSentinel);
  for (int32_t i = 7; i <= s.nm; ++i) {
    s.r21 = s.h(i - 1) / s.h(i);
    const real d = s.Tbi_pUs(i) - s.Tbi_pUs(i - 1);
    real psi = kSentinel;
    if (d != 0) psi = (s.Tbi_pUs(i - 1) - s.Tbi_pUs(i - 2)) / d;
    s.psi_Tbi(i) = psi;
    if (psi != 0 && psi != kSentinel) s.pUs_Tbi(i) = order_from_abs(psi, s.r21);
  }
}

void ordem_extrapolacao(State& s) {
  ordens_Th(s);
  extrapolacao_simples(s);
  biextrapolacao(s);
}

}  // namespace morvantide
