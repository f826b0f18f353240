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

#include <atomic>
#include <vector>

#include "common/files.h"
#include "common/platform.h"
#include "common/status.h"
#include "core/analysis.h"
#include "input/variables.h"
#include "model/state.h"
#include "output/scripts.h"
#include "run/clash_check.h"
#include "run/options.h"
#include "run/progress.h"
#include "run/run_files.h"

namespace morvantide {

// The input stage with the editor started on the control file and on the
// parameter file before each is read; the result files are read through
// `results` when given (a report reads them again after).
Status read_input(State& s, Files& files, Platform& platform, ResultFiles* results = nullptr);

// A run with options: --no-edit and --no-plot keep the editor and the
// plotter from starting; --plot-least-squares writes and plots the third
// script after the classic outputs (its files join the check); a report (--summary, --json, --csv) reads its
// variables with the input, joins its files to the check of step 2 and is
// written after the plot scripts, before the listing is shown.  `console`
// takes the summary and a report named "-".  With no options this is the
// classic run.  Variable nv is analysed once (core/analysis.h) and every
// output reads that analysis; each other reported variable once more.
Status run(State& s, Files& files, Platform& platform, const Options& options,
           OutputFile& console);

// Completes the plot script (the template's kept lines, the title line,
// "replot"), then runs the plotter on it.
// `templates`: the templates check_templates read, when it kept them.
Status draw_plot(const State& s, const PlotScript& script, Files& files, Platform& platform,
                 const TemplateTexts* templates = nullptr);

// What a run writes with, once its files passed their checks: the table of
// its files, the templates the check read, its options, the files and the
// programs it starts, where its summary goes (`console`), and, when given,
// the counter of its work for a progress line.
struct RunContext {
  const std::vector<RunFile>& table;
  const TemplateTexts& templates;
  const Options& options;
  Files& files;
  Platform& platform;
  OutputFile& console;
  WorkDone* done = nullptr;
};

// Everything a run writes: the listing (header, then nv's analysis in its
// tables), the plot data files and scripts with the plotter as
// write_outputs() writes them, then the report of the columns `chosen` of
// `report`.
// REQUIRES: run.table has a listing (FileChoice::classic_outputs);
//           report's settings, h and grid table are those of s.study.
Status write_run(State& s, const GridStudy& report, const std::vector<size_t>& chosen,
                 const RunContext& run);

// Everything after the analysis of nv, row by row of `table`: at the
// listing, the result tables appended to `listing`, which is then closed;
// at each plot data file, its content; at each script, draw_plot (the
// least-squares script titled by least_squares_title() when no grid has
// U_LS).  Inputs, pictures and the report are not written here.
Status write_outputs(const State& s, const Analysis& nv, const std::vector<RunFile>& table,
                     OutputFile& listing, Files& files, Platform& platform,
                     const TemplateTexts* templates = nullptr);

// The date and time texts of the run:
//   6 Dec 2026 9:05:03  -> dia "(6/12/2026) ", hora "9:5:3   "
void stamp(State& s, const LocalTime& t);

// titulo_grafico: the title, a blank, the date and a closing apostrophe.
void form_plot_title(State& s);

}  // namespace morvantide

#endif  // MORVANTIDE_RUN_RUN_H_
