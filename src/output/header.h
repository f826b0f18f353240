// The top of the listing: the header naming the program, the title and the
// moment of the run, the echo of every parameter, the refinement block and
// the grid table (spacings, their logarithms, refinement ratios, files).
#ifndef MORVANTIDE_OUTPUT_HEADER_H_
#define MORVANTIDE_OUTPUT_HEADER_H_

#include <string>

#include "model/state.h"

namespace morvantide {

// Returns the lines to append to the listing.
// Reads: titulo, dia, hora, nv, arq_dados_n, the study's pL, dp, nm, tipo_r,
// itmax, tol, pU_min, pU_max and h, modo, arq; the grid table g of the
// study's h (log10_h, r21).
std::string listing_header(const State& s, const GridTable& g);

}  // namespace morvantide

#endif  // MORVANTIDE_OUTPUT_HEADER_H_
