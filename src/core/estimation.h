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
// bi-extrapolation; runs the three steps below in this order.
void ordem_extrapolacao(State& s);
// Step 1a: pU_Th (refilled with the sentinel first), psi_Th, pUs_Th.
void ordens_Th(State& s);
// Step 1b: Ti_pL, Ti_pU, Ti_pUs; then pU_Ti and pUs_Ti (both refilled with
// the sentinel first) and psi_Ti.
void extrapolacao_simples(State& s);
// Step 1c: Tbi_pUs; then pUs_Tbi (refilled with the sentinel first) and
// psi_Tbi.
void biextrapolacao(State& s);
// Stage 2: table of repeated extrapolations with the true orders; Tm1 and
// its ratio, order and error.
void extrapolacao_repetida(State& s);
// Stage 3: Tc, Uc_Tc, UGCI_Th, Umc_Th and the ratio and order of Tc.
void estimativa_convergente(State& s);

// The two-grid extrapolation of the finer value tj with the coarser value
// tk, spacing ratio R and order p: tj + (tj - tk) / (R^p - 1), evaluated as
// R^p, then the difference, then the quotient, then the sum.
//   extrapola(1.25, 1.0, 2, 2) -> 1.25 + 0.25 / 3
real extrapola(real tj, real tk, real R, real p);
// The same with the power R^p already formed.
real extrapola_with_power(real tj, real tk, real Rp);

// The observed order, by bisection on [a0, b0], of a sequence with
// convergence ratio psi on grids with ratios r21 and r32.  Returns the
// sentinel when the search does not settle within itmax iterations.  With
// itmax < 0 nothing is computed and `unchanged` is returned.
real obter_pU(real a0, real b0, real r21, real r32, real psi, int32_t itmax, real tol,
              real unchanged);

}  // namespace morvantide

#endif  // MORVANTIDE_CORE_ESTIMATION_H_
