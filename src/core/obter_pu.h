// The observed order on grids with a variable refinement ratio.
#ifndef MORVANTIDE_CORE_OBTER_PU_H_
#define MORVANTIDE_CORE_OBTER_PU_H_

#include "common/quad.h"
#include "model/state.h"

namespace morvantide {

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

// The order p > 0 of a sequence with convergence ratio psi on grids with
// ratios r21, r32 > 1, over the whole positive line rather than a bracket
// of the caller's: psi(p) = r21^p (r32^p - 1) / (r21^p - 1) grows with p
// from t = ln(r32) / ln(r21) at p -> 0+, so a root exists for every
// psi > t.  The bracket grows outward from [1, 2] (halving its lower end
// down to 2^-60, doubling its upper end while r21^p and r32^p stay
// finite), then the residual of obter_pU is halved to the last bit: the
// result is the upper end of the final bracket, whose ends are adjacent
// binary128 numbers.  Equal ratios (the same bits) give the closed form
// log10(psi) / log10(r21).  The sentinel when psi <= t, a ratio is not
// above 1 or not finite, or the bracket cannot be formed.
//   order_on_positive_line(2, 2, 4)           == 2 (closed form)
//   order_on_positive_line(1.6, 1.25, psi(0.3)) -> 0.3 to the last bits
real order_on_positive_line(real r21, real r32, real psi);

}  // namespace morvantide

#endif  // MORVANTIDE_CORE_OBTER_PU_H_
