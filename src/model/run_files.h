// The files a run reads and writes, one row type for all of them, and the
// constant table of those whose names are fixed.  The run's own table
// (run/run_files.h) adds the names the input gives (parameter, result and
// data files, the listing, the report files) to rows of this table; the
// clash check, the check that every output can be written, the template
// check, the removal of stray temporary files, the write step and --help
// all loop over them.
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
#ifndef MORVANTIDE_MODEL_RUN_FILES_H_
#define MORVANTIDE_MODEL_RUN_FILES_H_

#include <cstdint>
#include <string>
#include <vector>

#include "model/plot_files.h"

namespace morvantide {

// The control file of a classic run.
inline constexpr const char* kControlFile = "Morvantide_4p0.in";

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
  kReport,          // a file of --json, --csv or --output
  kStandardOutput,  // the summary, or a report named "-"
};

bool is_input(FileRole role);

// What asks a run for a file.
enum class FileOption {
  kEveryRun,
  kPlotLeastSquares,  // --plot-least-squares
  kReport,            // --json or --csv
  kFieldOutput,       // --output of a field run
  kStandardOutput,    // --summary, or a report named "-"
};

// The option as --help and messages name it: "" for kEveryRun,
// "--plot-least-squares", "--json/--csv", "--output", "--summary/-".
const char* option_name(FileOption option);

struct RunFile {
  std::string name;
  FileRole role;
  FileOption option = FileOption::kEveryRun;
  bool replaced_whole = false;         // written to a temporary file and renamed
  const PlotScript* script = nullptr;  // of a template, script or picture
  const PlotFile* plot = nullptr;      // what a plot data file holds
  int32_t number = 0;  // the grid of a layout-0 result file; the layout of a parameter file
};

// The files of a run with fixed names, in the order they are written: the
// control file, the twelve plot data files, the plot scripts, then what
// --plot-least-squares adds.
const std::vector<RunFile>& fixed_files();

}  // namespace morvantide

#endif  // MORVANTIDE_MODEL_RUN_FILES_H_
