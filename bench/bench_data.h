// Smooth results for the benchmarks: a converging sequence of nm grids with
// a constant or a variable refinement ratio, as the input stage would leave
// it in the state.
#ifndef MORVANTIDE_BENCH_BENCH_DATA_H_
#define MORVANTIDE_BENCH_BENCH_DATA_H_

#include <cstdint>

#include "model/state.h"

namespace morvantide {

// Th = 2 - 0.5 h^2 + 0.3 h^3.5 + 0.1 h^5 on nm grids from h = 1, ratios near
// 1.6 for few grids and near 1.005 for many (so that the differences of Th
// stay far above the rounding).  tipo_r 1: one constant ratio; tipo_r 2:
// a different ratio on every grid, within a quarter of the step from 1.  pL 2, dp 1.5, itmax 50, tol 1e-10,
// bounds 0.5 and 5.
State smooth_state(int32_t nm, int32_t tipo_r);

}  // namespace morvantide

#endif  // MORVANTIDE_BENCH_BENCH_DATA_H_
