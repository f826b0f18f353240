// The table of a run's files: every file it reads or writes, one row each
// (model/run_files.h), built once from the analysis state and the options.
#ifndef MORVANTIDE_RUN_RUN_FILES_H_
#define MORVANTIDE_RUN_RUN_FILES_H_

#include <cstdint>
#include <string>
#include <vector>

#include "common/files.h"
#include "model/plot_files.h"
#include "model/run_files.h"
#include "model/state.h"
#include "output/scripts.h"
#include "run/options.h"

namespace morvantide {

// What of the options decides which files a run touches.
struct FileChoice {
  std::vector<std::string> report_files;  // --json and --csv files, not "-"
  bool least_squares_plot = false;
  bool report_to_standard_output = false;
  // A run on a data file: its one input is the table (`data_file`, empty
  // for standard input), and the classic outputs are written only with
  // --output-dir.
  bool data_run = false;
  std::string data_file;
  bool classic_outputs = true;
  // A field run's per-point file (--output), replaced whole.
  std::string field_output;
  static FileChoice of(const Options& options);
};

// Every file of the run: the inputs (control file, both parameter files,
// result files, templates), then the outputs (listing, plot data, scripts,
// report files, standard output).  Pictures join with add_pictures().
// REQUIRES: the input was read.
std::vector<RunFile> run_files(const State& s, const FileChoice& choice);
// The same for a run that reads no classic input and writes no classic
// output (a data run without --output-dir).
// REQUIRES: choice.data_run and not choice.classic_outputs.
std::vector<RunFile> run_files(const FileChoice& choice);

// The scripts of the table, in order.
std::vector<const PlotScript*> scripts_of(const std::vector<RunFile>& table);

// Adds the picture of each script whose template (as check_templates read
// it) names it: the plotter will write it.
void add_pictures(std::vector<RunFile>* table, const TemplateTexts& templates);

// "the listing "lista.txt"", "the result file of grid 2 "r2.txt"", ...
std::string describe(const RunFile& f);

}  // namespace morvantide

#endif  // MORVANTIDE_RUN_RUN_FILES_H_
