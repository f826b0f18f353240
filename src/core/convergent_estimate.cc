// The convergent estimate Tc and the error estimators of Th.
//
// Reads:  nm, h, Th, pL, pV, psi_Th, pUs_Th, pU_Th, Tm1.
// Writes: Upl, Tpl, Ups, Tps, Tc, psi_Tc, pUs_Tc, Uc_Tc, UGCI_Th, Umc_Th and
//         the working scalars r21 and pGCI.

#include "core/estimation.h"

namespace morvantide {
namespace {

// Safety factors of the grid convergence index: two grids, three or more.
constexpr real kSafetyTwoGrids = 3;
constexpr real kSafetyThreeGrids = 1.25Q;

}  // namespace

void estimativa_convergente(State& s) {
  for (int32_t i = 2; i <= s.nm; ++i) {
    s.r21 = s.h(i - 1) / s.h(i);
    const real d = s.Th(i) - s.Th(i - 1);
    s.Upl(i) = d / (q_pow(s.r21, s.pV(1)) - 1);
    s.Tpl(i) = s.Th(i) + s.Upl(i);

    if (i == 2) {
      s.UGCI_Th(2) = kSafetyTwoGrids * q_abs(s.Upl(2));
    } else if (q_abs(s.psi_Th(i)) > 1 && s.psi_Th(i) != kSentinel) {
      // Th converges at grid i.
      s.Ups(i) = d / (q_pow(s.r21, s.pUs_Th(i)) - 1);
      s.Tps(i) = s.Th(i) + s.Ups(i);
      s.Tc(i) = (s.Tpl(i) + s.Tps(i)) / 2;
      if (i >= 5) {
        // Tc(i-1) and Tc(i-2) enter as they stand, sentinels included.
        const real b = s.Tc(i) - s.Tc(i - 1);
        real psi = kSentinel;
        if (b != 0) {
          psi = (s.Tc(i - 1) - s.Tc(i - 2)) / b;
          s.psi_Tc(i) = psi;
        }
        if (psi != 0 && psi != kSentinel) {
          s.pUs_Tc(i) = q_log10(q_abs(psi)) / q_log10(s.r21);
        } else {
          s.pUs_Tc(i) = kSentinel;
        }
      }
      s.Uc_Tc(i) = q_abs(s.Upl(i) - s.Ups(i)) / 2;

      // The order of the index: the observed one, capped at pL.
      const real pU = s.pU_Th(i);
      s.pGCI = (pU > 0 && pU < kSentinel) ? q_min(pU, s.pL) : s.pL;
      s.UGCI_Th(i) = kSafetyThreeGrids * q_abs(d / (q_pow(s.r21, s.pGCI) - 1));
    }

    s.Umc_Th(i) = s.Tm1(i) - s.Th(i);
  }
}

}  // namespace morvantide
