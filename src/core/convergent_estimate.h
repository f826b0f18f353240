// The convergent estimate and the error estimators of Th.
#ifndef MORVANTIDE_CORE_CONVERGENT_ESTIMATE_H_
#define MORVANTIDE_CORE_CONVERGENT_ESTIMATE_H_

#include "model/state.h"

namespace morvantide {

// The convergent estimate Tc and the error estimators of Th.
// Reads: h, Th, pL, pV; psi_Th, pUs_Th, pU_Th, Tm1.
// Writes: Upl, Tpl, Ups, Tps, Tc, psi_Tc, pUs_Tc, Uc_Tc, UGCI_Th, Umc_Th, pGCI.
void estimativa_convergente(const Study& study, Estimates& e);

// Th converges at a grid of three grids or more by its ratio psi_Th:
// |psi| > 1, the sentinel excluded.
inline bool converging_ratio(real psi) { return q_abs(psi) > 1 && psi != kSentinel; }

// The order of the index from three grids on, pGCI: the observed order
// pU_Th capped at pL, pL where pU_Th is not a positive computed order.
inline real gci_order(real pU, real pL) { return (pU > 0 && pU < kSentinel) ? q_min(pU, pL) : pL; }

// The index from three grids on, UGCI_Th = 1.25 |d / (r21^pGCI - 1)|, with
// d = Th(i) - Th(i-1).
real gci_three_grids(real d, real r21, real pGCI);

}  // namespace morvantide

#endif  // MORVANTIDE_CORE_CONVERGENT_ESTIMATE_H_
