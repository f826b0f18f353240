// The estimation core: every estimate of a run, computed in binary128 in the
// order the stages are listed here, each reading the analysis state and
// adding its own lists.
#ifndef MORVANTIDE_CORE_ESTIMATION_H_
#define MORVANTIDE_CORE_ESTIMATION_H_

#include <cstdint>

#include "common/quad.h"
#include "run/state.h"

namespace morvantide {

// The estimation driver: the order-and-extrapolation routine (ratios and
// observed orders of Th, single extrapolations, bi-extrapolation), then the
// repeated extrapolation, then the convergent estimate and error estimators.
void estimativa(State& s);

// Stage 1: ratio and observed orders of Th, single extrapolations,
// bi-extrapolation.
void ordem_extrapolacao(State& s);
// Stage 2: table of repeated extrapolations with the true orders; Tm1 and
// its ratio, order and error.
void extrapolacao_repetida(State& s);
// Stage 3: Tc, Uc_Tc, UGCI_Th, Umc_Th and the ratio and order of Tc.
void estimativa_convergente(State& s);

// The observed order, by bisection on [a0, b0], of a sequence with
// convergence ratio psi on grids with ratios r21 and r32.  Returns the
// sentinel when the search does not settle within itmax iterations.  With
// itmax < 0 nothing is computed and `unchanged` is returned.
real obter_pU(real a0, real b0, real r21, real r32, real psi, int32_t itmax, real tol,
              real unchanged);

}  // namespace morvantide

#endif  // MORVANTIDE_CORE_ESTIMATION_H_
