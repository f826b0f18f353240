// The estimation: every estimate of one variable of a study, computed in
// binary128.  A pure computation: it reads a Study and returns the lists,
// with no files, no clock and no programs.
//
// The stages below run in the order they are listed; each reads the Study
// and the lists that earlier stages left in the Estimates and adds its own.
// They are public so that each can be tested on lists set up by hand.
#ifndef MORVANTIDE_CORE_ESTIMATION_H_
#define MORVANTIDE_CORE_ESTIMATION_H_

#include <cstdint>

#include "common/quad.h"
#include "model/state.h"

namespace morvantide {

// Every per-grid list of the variable in `study`: the lists are created for
// study.nm grids, the true orders pV formed, then the order-and-extrapolation
// stages, the repeated extrapolation and the convergent estimate run.
// REQUIRES: study.h and study.Th hold study.nm entries.
Estimates estimativa(const Study& study);

// log10(h) and r21 of every grid.
GridTable tabela_malhas(const RealList& h);

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

// The table of repeated extrapolations with the true orders; its most
// extrapolated value Tm1 with its ratio, order and error.
// Reads: h, pV, Ti_pL.   Writes: Tm1, psi_Tm1, pUs_Tm1, Um_Tm1.
void extrapolacao_repetida(const Study& study, Estimates& e);

// The convergent estimate Tc and the error estimators of Th.
// Reads: h, Th, pL, pV; psi_Th, pUs_Th, pU_Th, Tm1.
// Writes: Upl, Tpl, Ups, Tps, Tc, psi_Tc, pUs_Tc, Uc_Tc, UGCI_Th, Umc_Th, pGCI.
void estimativa_convergente(const Study& study, Estimates& e);

// The observed order, by halving the bracket [pU_min, pU_max], of a sequence
// with convergence ratio psi on grids with ratios r21 and r32.
//
// Iteration k = 1, 2, ... takes the midpoint m of [a, b] as the order so
// far.  When the residual at m has the sign of the residual at a (their
// product is positive), a moves to m; otherwise the search stops if b - a is
// no wider than tol, and b moves to m if not.  The result:
//   - m, when the search stops at an iteration before itmax;
//   - the sentinel, when it stops at iteration itmax, runs through all
//     itmax iterations (itmax = 0 included), or halving no longer moves
//     either end;
//   - `unchanged`, when itmax < 0 (nothing is computed).
real obter_pU(const SearchSettings& search, real r21, real r32, real psi, real unchanged);

}  // namespace morvantide

#endif  // MORVANTIDE_CORE_ESTIMATION_H_
