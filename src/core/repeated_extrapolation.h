// The repeated extrapolation with the true orders.
#ifndef MORVANTIDE_CORE_REPEATED_EXTRAPOLATION_H_
#define MORVANTIDE_CORE_REPEATED_EXTRAPOLATION_H_

#include "model/state.h"

namespace morvantide {

// The table of repeated extrapolations with the true orders; its most
// extrapolated value Tm1 with its ratio, order and error.
// Reads: h, pV, Ti_pL.   Writes: Tm1, psi_Tm1, pUs_Tm1, Um_Tm1.
void extrapolacao_repetida(const Study& study, Estimates& e);

}  // namespace morvantide

#endif  // MORVANTIDE_CORE_REPEATED_EXTRAPOLATION_H_
