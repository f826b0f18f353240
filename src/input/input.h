// The input stage: the control file, the parameter file it names and the
// result files, read into the analysis state.  (The run starts the editor on
// the control file and on the parameter file before each is read.)
//
// Every bad input ends the stage with one message naming the file, the line,
// the item and what was found; nothing has been written at that point.
#ifndef MORVANTIDE_INPUT_INPUT_H_
#define MORVANTIDE_INPUT_INPUT_H_

#include <string>

#include "common/files.h"
#include "common/status.h"
#include "model/state.h"

namespace morvantide {

inline constexpr const char* kControlFile = "Morvantide_4p0.in";

// Reads the control file: modo, arq_dados_n, arq_dados_1.
Status read_control_file(State& s, Files& files);

// Reads the parameter file that the layout names: nv, arq_listagem, the
// settings, nm, arq and titulo; creates the per-grid lists.
// REQUIRES: read_control_file succeeded.
Status read_parameter_file(State& s, Files& files);

// Reads h and Th of every grid from the result files, in the layout of s.modo.
Status read_result_files(State& s, Files& files);

// The parameter file used: arq_dados_n or arq_dados_1 by the layout, trimmed.
std::string parameter_file_name(const State& s);

}  // namespace morvantide

#endif  // MORVANTIDE_INPUT_INPUT_H_
