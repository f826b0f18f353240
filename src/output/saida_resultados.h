// The output step of the listing's analysis: the result tables, then the
// plot data files.  (The run then completes each plot script and starts the
// plotter.)
#ifndef MORVANTIDE_OUTPUT_SAIDA_RESULTADOS_H_
#define MORVANTIDE_OUTPUT_SAIDA_RESULTADOS_H_

#include "common/files.h"
#include "common/status.h"
#include "core/analysis.h"

namespace morvantide {

// The tables appended to `listing`, then the plot data files.
Status saida_resultados(const Analysis& a, OutputFile& listing, Files& files);

}  // namespace morvantide

#endif  // MORVANTIDE_OUTPUT_SAIDA_RESULTADOS_H_
