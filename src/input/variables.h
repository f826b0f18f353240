// Several variables of the result files in one run.  The classic reading
// (input.h) takes the one variable nv for the listing; this one takes any
// set of variables for the report, by the same free-format rules, from the
// same files.
//
// "All the variables" are those present on grid 1:
// - layout 0: the consecutive lines after h that each read as a number and
//   a real (anything after the value is a comment, as everywhere), up to the
//   first line that does not, or the end of the file;
// - layout 1: the values on the first line of the first row after h (the
//   first line after the header that holds a value).
// Where the layout-1 header line holds exactly one name per column (h and
// each variable on that first line), variable k is named by the header's
// word k + 1; otherwise variables have no name.
//
// A variable missing on some grid is an error naming the file, the line and
// the variable:
//   g3.txt:4: file ends before the number of variable 3 of grid 3 could be read
#ifndef MORVANTIDE_INPUT_VARIABLES_H_
#define MORVANTIDE_INPUT_VARIABLES_H_

#include <cstdint>
#include <string>
#include <vector>

#include "common/files.h"
#include "common/status.h"
#include "model/state.h"

namespace morvantide {

// The most variables one run reads, and the highest number --variables
// may name.
inline constexpr int32_t kMaxVariables = 100000;

// One variable of the result files: its number (its place after h), its
// name from the layout-1 header (empty when none) and its value on every grid.
struct VariableColumn {
  int32_t number = 0;
  std::string name;
  RealList Th;
};

// How many variables grid 1 holds (the rule above), and their names from
// the layout-1 header (empty when the header does not name each column).
// REQUIRES: the control and parameter files were read (modo, nm, arq).
Status count_variables(const State& s, Files& files, int32_t* count,
                       std::vector<std::string>* names);

// Reads the variables `numbers` (each at least 1, in the order given) of
// every grid, or all of them (`all`, the numbers then ignored).
// REQUIRES: the control and parameter files were read (modo, nm, arq).
Status read_variables(const State& s, Files& files, bool all, const std::vector<int32_t>& numbers,
                      std::vector<VariableColumn>* columns);

}  // namespace morvantide

#endif  // MORVANTIDE_INPUT_VARIABLES_H_
