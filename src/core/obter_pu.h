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

}  // namespace morvantide

#endif  // MORVANTIDE_CORE_OBTER_PU_H_
