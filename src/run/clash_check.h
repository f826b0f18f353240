// The checks of the outputs, made after the input is read and before the
// first byte is written: no output lands on an input or on another output
// (whatever the spelling: links, "./", letter case on Windows), no output is
// a folder, and every output can be written.
//
// The inputs are every file the control file names (both parameter files,
// whichever layout is in use), the result files and the plot templates; the
// outputs are the listing, the twelve plot data files, the two plot scripts
// (with --plot-least-squares also U_LS.dat and the third script) and, for a
// script made from the program's default template, the picture that
// template draws, and the report files of the options.  A plot script is read and rewritten on purpose: it
// is no clash with its own template.
#ifndef MORVANTIDE_RUN_CLASH_CHECK_H_
#define MORVANTIDE_RUN_CLASH_CHECK_H_

#include <string>
#include <vector>

#include "common/files.h"
#include "common/status.h"
#include "model/state.h"

namespace morvantide {

// The names of every file the run writes itself, the listing first, then
// the plot data files and the plot scripts.
std::vector<std::string> output_names(const State& s);

// Refuses a run whose outputs would overwrite one of its inputs or each
// other, or that would write a folder:
//   the listing "param1.txt" would overwrite the parameter file "param1.txt"; rename one of them
//   the listing "U_12.dat" is the same file as the plot file "U_12.dat"; rename the listing
//   the listing "saida" cannot be written: a folder of that name exists
// `report_files` are the report's own files (--json, --csv), after the rest.
// With `least_squares_plot` (--plot-least-squares) its template is one more
// input, and its data file and script are plot files after the classic ones.
Status check_outputs_spare_inputs(const State& s, Files& files,
                                  const std::vector<std::string>& report_files = {},
                                  bool least_squares_plot = false);

// Refuses a run with an output that is not a regular file or that the user
// may not write (Files::check_writable); the plot scripts are replaced
// whole.
Status check_outputs_writable(const State& s, Files& files,
                              const std::vector<std::string>& report_files = {},
                              bool least_squares_plot = false);

}  // namespace morvantide

#endif  // MORVANTIDE_RUN_CLASH_CHECK_H_
