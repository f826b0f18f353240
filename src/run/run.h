// The run: one straight pass from the input to the listing shown in the
// editor.
//
//   1. input (control file, parameter file, result files; editor on the first
//      two);
//   2. checks that no output would destroy an input or another output, that
//      every output can be written and that the plot templates are usable:
//      nothing has been written before this point;
//   3. the listing is created, the run is stamped with the local time and the
//      plot title formed;
//   4. header and grid table, estimation, result tables, plot data files,
//      plot scripts and plotter;
//   5. the listing is closed and shown in the editor.
#ifndef MORVANTIDE_RUN_RUN_H_
#define MORVANTIDE_RUN_RUN_H_

#include "common/files.h"
#include "common/status.h"
#include "common/platform.h"
#include "run/clash_check.h"
#include "run/state.h"

namespace morvantide {

Status run(Files& files, Platform& platform);

// As run(), leaving the analysis state in *s for inspection.
Status run(State& s, Files& files, Platform& platform);

// The date and time texts of the run:
//   6 Dec 2026 9:05:03  -> dia "(6/12/2026) ", hora "9:5:3   "
void stamp(State& s, const LocalTime& t);

// titulo_grafico: the title, a blank, the date and a closing apostrophe.
void form_plot_title(State& s);

}  // namespace morvantide

#endif  // MORVANTIDE_RUN_RUN_H_
