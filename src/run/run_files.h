// The table of a run's files: every file it reads or writes, one row each,
// built once from the analysis state and the options.  The clash check, the
// check that every output can be written, the template check, the removal
// of stray temporary files, the write step and --help all loop over it, so
// a new output is one more row (in fixed_files() when its name is fixed).
//
//   name                    role        option                 replaced whole
//   Morvantide_4p0.in       input       (every run)            -
//   lista.txt               listing     (every run)            no
//   p0.dat ... U_15.dat     plot data   (every run)            no
//   Morvantide_4p0_pU.gnu   template + script                  yes
//   Morvantide_4p0_pU.png   picture, when its template draws it
//   U_LS.dat                plot data   --plot-least-squares   no
//   r.json                  report      --json                 yes
//   standard output         standard output, when a report goes there
#ifndef MORVANTIDE_RUN_RUN_FILES_H_
#define MORVANTIDE_RUN_RUN_FILES_H_

#include <cstdint>
#include <string>
#include <vector>

#include "common/files.h"
#include "model/plot_files.h"
#include "model/state.h"
#include "output/scripts.h"
#include "run/options.h"

namespace morvantide {

enum class FileRole {
  // Inputs.
  kControlFile,
  kParameterFile,       // the one of the layout in use
  kOtherParameterFile,  // the one of the other layout
  kResultFile,
  kDataFile,  // the table of a run on a data file
  kTemplate,
  // Outputs.
  kListing,
  kPlotData,
  kScript,          // a template completed with the title
  kPicture,         // drawn by the plotter from a script
  kReport,          // a file of --json or --csv
  kStandardOutput,  // the summary, or a report named "-"
};

bool is_input(FileRole role);

struct RunFile {
  std::string name;
  FileRole role;
  const char* option = "";       // the option that asks for it; "" for every run
  bool replaced_whole = false;   // written to a temporary file and renamed
  const PlotScript* script = nullptr;  // of a template, script or picture
  const PlotFile* plot = nullptr;      // what a plot data file holds
  int32_t number = 0;  // the grid of a layout-0 result file; the layout of a parameter file
};

// The files of a run with fixed names, in the order they are written.
struct FixedFile {
  const char* name;
  FileRole role;
  const char* option;
  bool replaced_whole;
  const PlotScript* script;
  const PlotFile* plot;
};
const std::vector<FixedFile>& fixed_files();

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
