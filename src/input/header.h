// The top of the listing: the header naming the program, the title and the
// moment of the run, the echo of every parameter, the refinement block and
// the grid table (spacings, their logarithms, refinement ratios, files).
#ifndef MORVANTIDE_INPUT_HEADER_H_
#define MORVANTIDE_INPUT_HEADER_H_

#include <string>

#include "run/state.h"

namespace morvantide {

// Returns the lines to append to the listing.  Leaves the last ratio in s.r21.
std::string listing_header(State& s);

}  // namespace morvantide

#endif  // MORVANTIDE_INPUT_HEADER_H_
