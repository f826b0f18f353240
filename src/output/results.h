// The output step: the four result tables of the listing, the twelve plot
// data files and the two plot scripts.  Every function only reads the state.
#ifndef MORVANTIDE_OUTPUT_RESULTS_H_
#define MORVANTIDE_OUTPUT_RESULTS_H_

#include <string>

#include "common/files.h"
#include "common/status.h"
#include "model/state.h"

namespace morvantide {

// Table 1 (observed orders) then table 2 (convergence ratios).
std::string tabelas_pU_psi(const State& s);
// Table 3: Th, Tm1 and Tc.
std::string tabela_T(const State& s);
// Table 4: UGCI, Umc, Um and Uc.
std::string tabela_U(const State& s);

// The twelve plot data files of kPlotFiles, in their order.
Status write_plot_data(const State& s, Files& files);

// The plot scripts: name, number of lines kept, default template.
struct PlotScript {
  const char* name;
  int kept_lines;
  const char* default_template;
};
extern const PlotScript kScriptPU;  // Morvantide_4p0_pU.gnu, 15 lines
extern const PlotScript kScriptU;   // Morvantide_4p0_U.gnu, 10 lines

// Checks, before any output exists, that each template is either missing
// (its default will be written) or holds at least its kept lines.
Status check_templates(Files& files);

// Keeps the first lines of the script (the default template when the file
// is missing) and appends the title line and "replot".
Status roteiro(const State& s, const PlotScript& script, Files& files);

// The plot scripts in the order the run completes them.
inline const PlotScript* const kPlotScripts[] = {&kScriptPU, &kScriptU};

// The tables appended to `listing`, then the plot data files.
Status saida_resultados(const State& s, OutputFile& listing, Files& files);

}  // namespace morvantide

#endif  // MORVANTIDE_OUTPUT_RESULTS_H_
