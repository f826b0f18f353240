// The checks of the outputs, made after the input is read and before the
// first byte is written, over the table of the run's files (run_files.h):
// no output lands on an input or on another output (whatever the spelling:
// links, "./", letter case on Windows), standard output carrying a report
// is none of the run's files, no output is a folder, and every output can
// be written.  A plot script is read and rewritten on purpose: it is no
// clash with its own template.
#ifndef MORVANTIDE_RUN_CLASH_CHECK_H_
#define MORVANTIDE_RUN_CLASH_CHECK_H_

#include <string>
#include <vector>

#include "common/files.h"
#include "common/status.h"
#include "model/state.h"
#include "run/run_files.h"

namespace morvantide {

// The names of every file the run writes itself, the listing first, then
// the plot data files and the plot scripts.
std::vector<std::string> output_names(const State& s);

// Refuses a run whose outputs would overwrite one of its inputs or each
// other, or that would write a folder:
//   the listing "param1.txt" would overwrite the parameter file "param1.txt"; rename one of them
//   the listing "U_12.dat" is the same file as the plot file "U_12.dat"; rename the listing
//   the listing "saida" cannot be written: a folder of that name exists
//   standard output would overwrite the listing "lista.txt"; send it elsewhere
Status check_outputs_spare_inputs(const std::vector<RunFile>& table, Files& files);

// Refuses a run with an output that is not a regular file or that the user
// may not write or create (Files::check_writable); the files replaced whole
// need room for their temporary file too.  Standard output, when the run
// writes to it, must not have been closed (Files::check_standard_output).
Status check_outputs_writable(const std::vector<RunFile>& table, Files& files);

// Every check before the first write, over the run's table: the templates
// of its scripts are usable (read into *templates), the pictures they draw
// join the table, no output lands on an input or on another output, every
// output can be written; then stray temporary files of the files replaced
// whole are removed.
Status check_run_files(std::vector<RunFile>* table, Files& files, TemplateTexts* templates);

}  // namespace morvantide

#endif  // MORVANTIDE_RUN_CLASH_CHECK_H_
