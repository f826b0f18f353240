// The order-and-extrapolation stages: convergence ratio and observed orders
// of Th, the single extrapolations and the bi-extrapolation.

#include "core/order_extrapolation.h"

#include "common/parallel.h"
#include "core/obter_pu.h"
#include "core/primitives.h"

namespace morvantide {
namespace {

// Order from a positive ratio for the refinement kind of the study: closed
// form for a constant ratio, bisection for a variable one, none for any
// other kind.  `current` is the caller's entry, kept when nothing is
// computed.
real order_from_positive(const Study& s, int32_t i, real psi, real current) {
  if (s.tipo_r == 1) return order_from_positive_constant(psi, q_log10(ratio_r21(s.h, i)));
  if (s.tipo_r == 2) {
    return obter_pU(s.search(), ratio_r21(s.h, i), ratio_r32(s.h, i), psi, current);
  }
  return current;
}

// Grids per piece of work on a thread: an order search takes some tens of
// microseconds (most of its residuals are settled in double), a
// closed-form order a few; below two pieces the calling thread does all.
int64_t grids_per_piece(const Study& s) { return s.tipo_r == 2 ? 16 : 256; }

}  // namespace

void ordens_Th(const Study& s, Estimates& e) {
  e.pU_Th.fill(kSentinel);
  // The order from a positive ratio is formed first for every grid, then
  // the stored ratio and the order from its absolute value (constant ratio
  // only).
  // Each grid's order is its own search, so the grids are shared among the
  // threads; every one writes only its own entry.
  parallel_for(kFirstRatioTh, int64_t{s.nm} + 1, grids_per_piece(s), [&](int64_t b, int64_t end) {
    for (int32_t i = static_cast<int32_t>(b); i < end; ++i) {
      const real psi = convergence_ratio(s.Th, i, 0);
      if (psi > 0) e.pU_Th(i) = order_from_positive(s, i, psi, e.pU_Th(i));
    }
  });
  for (int32_t i = kFirstRatioTh; i <= s.nm; ++i) {
    e.psi_Th(i) = convergence_ratio(s.Th, i, e.psi_Th(i));
    if (s.tipo_r == 1 && usable_ratio(e.psi_Th(i))) {
      e.pUs_Th(i) = order_from_abs(e.psi_Th(i), ratio_r21(s.h, i));
    }
  }
}

void extrapolacao_simples(const Study& s, Estimates& e) {
  for (int32_t i = kFirstDifference; i <= s.nm; ++i) {
    e.Ti_pL(i) = extrapola(s.Th(i), s.Th(i - 1), ratio_r21(s.h, i), s.pL);
  }

  // With the observed orders, where pU_Th allows: a non-positive pU_Th
  // blocks Ti_pU only; an unusable one blocks both.
  for (int32_t i = kFirstRatioTh; i <= s.nm; ++i) {
    const real r21 = ratio_r21(s.h, i);
    const real pU = e.pU_Th(i);
    if (pU <= 0 || unusable_order(pU)) {
      e.Ti_pU(i) = kSentinel;
      e.Ti_pUs(i) = kSentinel;
    } else {
      e.Ti_pU(i) = extrapola(s.Th(i), s.Th(i - 1), r21, pU);
      e.Ti_pUs(i) = extrapola(s.Th(i), s.Th(i - 1), r21, e.pUs_Th(i));
    }
    if (pU <= 0) e.Ti_pUs(i) = extrapola(s.Th(i), s.Th(i - 1), r21, e.pUs_Th(i));
  }

  // Ratios and orders of the extrapolated sequences, sentinels entering the
  // differences as numbers.  A zero difference of Ti_pU gives the sentinel
  // as its ratio, which counts as positive.
  e.pU_Ti.fill(kSentinel);
  e.pUs_Ti.fill(kSentinel);
  // Grid by grid on the threads, as the orders of Th.
  parallel_for(kFirstRatioTi, int64_t{s.nm} + 1, grids_per_piece(s), [&](int64_t b, int64_t end) {
    for (int32_t i = static_cast<int32_t>(b); i < end; ++i) {
      const real psi1 = convergence_ratio(e.Ti_pU, i, kSentinel);
      const real psi2 = convergence_ratio(e.Ti_pUs, i, kSentinel);
      if (psi1 > 0) e.pU_Ti(i) = order_from_positive(s, i, psi1, e.pU_Ti(i));
      if (usable_ratio(psi2)) {
        e.psi_Ti(i) = psi2;
        e.pUs_Ti(i) = order_from_abs(psi2, ratio_r21(s.h, i));
      }
    }
  });
}

void biextrapolacao(const Study& s, Estimates& e) {
  // Ti_pUs extrapolated again with its own order, gated by pU_Ti.  Unlike
  // the single extrapolation the second test is strict: pU_Ti = 0 leaves
  // the sentinel.
  parallel_for(kFirstRatioTi, int64_t{s.nm} + 1, grids_per_piece(s), [&](int64_t b, int64_t end) {
    for (int32_t i = static_cast<int32_t>(b); i < end; ++i) {
      const real r21 = ratio_r21(s.h, i);
      const real pU = e.pU_Ti(i);
      if (pU <= 0 || unusable_order(pU)) {
        e.Tbi_pUs(i) = kSentinel;
      } else {
        e.Tbi_pUs(i) = extrapola(e.Ti_pUs(i), e.Ti_pUs(i - 1), r21, e.pUs_Ti(i));
      }
      if (pU < 0) e.Tbi_pUs(i) = extrapola(e.Ti_pUs(i), e.Ti_pUs(i - 1), r21, e.pUs_Ti(i));
    }
  });

  // Its ratio, stored also when zero or missing, and order.
  e.pUs_Tbi.fill(kSentinel);
  parallel_for(kFirstRatioTbi, int64_t{s.nm} + 1, grids_per_piece(s), [&](int64_t b, int64_t end) {
    for (int32_t i = static_cast<int32_t>(b); i < end; ++i) {
      const real psi = convergence_ratio(e.Tbi_pUs, i, kSentinel);
      e.psi_Tbi(i) = psi;
      if (usable_ratio(psi)) e.pUs_Tbi(i) = order_from_abs(psi, ratio_r21(s.h, i));
    }
  });
}

void ordem_extrapolacao(const Study& s, Estimates& e) {
  ordens_Th(s, e);
  extrapolacao_simples(s, e);
  biextrapolacao(s, e);
}

}  // namespace morvantide
