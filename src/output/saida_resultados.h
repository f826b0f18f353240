// The output step of the listing's analysis: the result tables.  (The run
// then writes the plot data files, completes each plot script and starts
// the plotter, row by row of its table of files.)
#ifndef MORVANTIDE_OUTPUT_SAIDA_RESULTADOS_H_
#define MORVANTIDE_OUTPUT_SAIDA_RESULTADOS_H_

#include "common/files.h"
#include "core/analysis.h"

namespace morvantide {

// The tables appended to `listing`.
void saida_resultados(const Analysis& a, OutputFile& listing);

}  // namespace morvantide

#endif  // MORVANTIDE_OUTPUT_SAIDA_RESULTADOS_H_
