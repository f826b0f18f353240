// The first stages of the estimation: the observed orders of Th, the single
// extrapolations and the bi-extrapolation.
#ifndef MORVANTIDE_CORE_ORDER_EXTRAPOLATION_H_
#define MORVANTIDE_CORE_ORDER_EXTRAPOLATION_H_

#include "model/state.h"

namespace morvantide {

// Convergence ratio and observed orders of Th.
// Reads: h, Th, tipo_r and the search settings.
// Writes: pU_Th (refilled with the sentinel first), psi_Th, pUs_Th.
void ordens_Th(const Study& study, Estimates& e);

// Single extrapolations with pL and with the observed orders, then their
// ratio and orders.
// Reads: h, Th, pL, tipo_r, search settings; pU_Th, pUs_Th.
// Writes: Ti_pL, Ti_pU, Ti_pUs; pU_Ti and pUs_Ti (both refilled with the
//         sentinel first) and psi_Ti.
void extrapolacao_simples(const Study& study, Estimates& e);

// Ti_pUs extrapolated again with its own order, then its ratio and order.
// Reads: h; Ti_pUs, pU_Ti, pUs_Ti.
// Writes: Tbi_pUs; pUs_Tbi (refilled with the sentinel first) and psi_Tbi.
void biextrapolacao(const Study& study, Estimates& e);

// The three stages above, in that order.
void ordem_extrapolacao(const Study& study, Estimates& e);

}  // namespace morvantide

#endif  // MORVANTIDE_CORE_ORDER_EXTRAPOLATION_H_
