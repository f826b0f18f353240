// The input stage: the control file, the parameter file it names and the
// result files, read into the analysis state.  (The run starts the editor on
// the control file and on the parameter file before each is read.)
//
// Every bad input ends the stage with one message naming the file, the line,
// the item and what was found; nothing has been written at that point.  An
// item is named with what it is:
//   param1.txt:6: expected an integer for itmax (the most iterations of the
//   order search), found "1.5"
// and a file named in another that cannot be opened, with where it is named:
//   Morvantide_4p0.in:3: param1.txt: cannot open (No such file or directory)
#ifndef MORVANTIDE_INPUT_INPUT_H_
#define MORVANTIDE_INPUT_INPUT_H_

#include <string>

#include "common/files.h"
#include "common/status.h"
#include "model/run_files.h"
#include "model/state.h"

namespace morvantide {


// Reads the control file: modo, arq_dados_n, arq_dados_1.
Status read_control_file(State& s, Files& files);

// Reads the parameter file that the layout names: nv, arq_listagem, the
// settings, nm, arq and titulo; creates the per-grid lists.
// REQUIRES: read_control_file succeeded.
Status read_parameter_file(State& s, Files& files);

class ResultFiles;

// Reads h and Th of every grid from the result files, in the layout of
// s.modo: the column list {nv} of the one reader (variables.h), so that a
// report's column nv holds the same bits.  Through `results`, the reads of
// the report that follow open no file again.
Status read_result_files(State& s, ResultFiles& results);
Status read_result_files(State& s, Files& files);

// The parameter file used: arq_dados_n or arq_dados_1 by the layout, trimmed.
std::string parameter_file_name(const State& s);

}  // namespace morvantide

#endif  // MORVANTIDE_INPUT_INPUT_H_
