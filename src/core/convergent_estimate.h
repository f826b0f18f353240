// The convergent estimate and the error estimators of Th.
#ifndef MORVANTIDE_CORE_CONVERGENT_ESTIMATE_H_
#define MORVANTIDE_CORE_CONVERGENT_ESTIMATE_H_

#include "model/state.h"

namespace morvantide {

// The convergent estimate Tc and the error estimators of Th.
// Reads: h, Th, pL, pV; psi_Th, pUs_Th, pU_Th, Tm1.
// Writes: Upl, Tpl, Ups, Tps, Tc, psi_Tc, pUs_Tc, Uc_Tc, UGCI_Th, Umc_Th, pGCI.
void estimativa_convergente(const Study& study, Estimates& e);

}  // namespace morvantide

#endif  // MORVANTIDE_CORE_CONVERGENT_ESTIMATE_H_
