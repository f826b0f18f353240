// The convergent estimate Tc and the error estimators of Th.

#include "common/parallel.h"
#include "core/convergent_estimate.h"
#include "core/primitives.h"

namespace morvantide {
namespace {

// Safety factors of the grid convergence index: two grids, three or more.
constexpr real kSafetyTwoGrids = 3;
constexpr real kSafetyThreeGrids = 1.25Q;

// Grids per piece of work on a thread: each takes a few powers.
constexpr int64_t kGridsPerPiece = 32;

// Th converges at grid i (three grids or more).
bool converges(const Study& s, const Estimates& e, int32_t i) {
  return i > kFirstDifference && i <= s.nm && converging_ratio(e.psi_Th(i));
}

}  // namespace

real gci_three_grids(real d, real r21, real pGCI) {
  return kSafetyThreeGrids * q_abs(d / (q_pow(r21, pGCI) - 1));
}

void estimativa_convergente(const Study& s, Estimates& e) {
  // Every grid on its own, on the threads; the ratio of Tc needs the Tc of
  // the two grids before, so it follows once every Tc is formed.
  parallel_for(kFirstDifference, int64_t{s.nm} + 1, kGridsPerPiece, [&](int64_t b, int64_t end) {
    for (int32_t i = static_cast<int32_t>(b); i < end; ++i) {
      const real r21 = ratio_r21(s.h, i);
      const real d = s.Th(i) - s.Th(i - 1);
      e.Upl(i) = d / (q_pow(r21, e.pV(1)) - 1);
      e.Tpl(i) = s.Th(i) + e.Upl(i);

      if (i == kFirstDifference) {
        // Two grids: the index of the extrapolation with pL.
        e.pGCI(i) = e.pV(1);
        e.UGCI_Th(i) = kSafetyTwoGrids * q_abs(e.Upl(i));
      } else if (converges(s, e, i)) {
        e.Ups(i) = d / (q_pow(r21, e.pUs_Th(i)) - 1);
        e.Tps(i) = s.Th(i) + e.Ups(i);
        e.Tc(i) = (e.Tpl(i) + e.Tps(i)) / 2;
        e.Uc_Tc(i) = q_abs(e.Upl(i) - e.Ups(i)) / 2;

        // The order of the index: the observed one, capped at pL.
        e.pGCI(i) = gci_order(e.pU_Th(i), s.pL);
        e.UGCI_Th(i) = gci_three_grids(d, r21, e.pGCI(i));
      }

      e.Umc_Th(i) = e.Tm1(i) - s.Th(i);
    }
  });
  parallel_for(kFirstRatioTi, int64_t{s.nm} + 1, kGridsPerPiece, [&](int64_t b, int64_t end) {
    for (int32_t i = static_cast<int32_t>(b); i < end; ++i) {
      if (!converges(s, e, i)) continue;
      // Tc(i-1) and Tc(i-2) enter as they stand, sentinels included.
      const real psi = convergence_ratio(e.Tc, i, kSentinel);
      if (psi != kSentinel) e.psi_Tc(i) = psi;
      e.pUs_Tc(i) = usable_ratio(psi) ? order_from_abs(psi, ratio_r21(s.h, i)) : kSentinel;
    }
  });
}

}  // namespace morvantide
