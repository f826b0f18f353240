// The output step: the four result tables of the listing, the twelve plot
// data files and the two plot scripts.  Every function only reads the state.
#ifndef MORVANTIDE_OUTPUT_RESULTS_H_
#define MORVANTIDE_OUTPUT_RESULTS_H_

#include <string>
#include <utility>
#include <vector>

#include "common/files.h"
#include "common/status.h"
#include "model/state.h"

namespace morvantide {

// Table 1 (observed orders) then table 2 (convergence ratios).
// Reads: nm, h; pUs_Th, pUs_Tm1, pUs_Tc, pUs_Ti, pUs_Tbi and the psi lists.
std::string tabelas_pU_psi(const State& s);
// Table 3.  Reads: nm, h, Th, Tm1, Tc.
std::string tabela_T(const State& s);
// Table 4.  Reads: nm, h, UGCI_Th, Umc_Th, Um_Tm1, Uc_Tc.
std::string tabela_U(const State& s);

// The twelve plot data files of kPlotFiles, in their order.
// Reads: nm, pL, dp, log10_h and the lists the table names.
Status write_plot_data(const State& s, Files& files);

// The plot scripts: name, number of lines kept, default template.
struct PlotScript {
  const char* name;
  int kept_lines;
  const char* default_template;
  const char* default_picture;  // the picture the default template draws
};
extern const PlotScript kScriptPU;  // Morvantide_4p0_pU.gnu, 15 lines
extern const PlotScript kScriptU;   // Morvantide_4p0_U.gnu, 10 lines
// Only with --plot-least-squares: the four estimates of Morvantide_4p0_U.gnu
// and the least-squares uncertainty of kLeastSquaresPlotFile.
extern const PlotScript kScriptULS;  // Morvantide_4p0_U_LS.gnu, 11 lines

// The plot data file of the least-squares uncertainty: log10(h) against
// log10|U_LS| from grid 4 on, an empty line where U_LS is missing, laid out
// as U_12.dat ... U_15.dat are.
inline constexpr const char* kLeastSquaresPlotFile = "U_LS.dat";
// Its content, from U_LS of every grid (entry i-1 for grid i).
// Reads: nm, log10_h.
std::string least_squares_plot_data(const State& s, const RealList& U_LS);

// The templates as check_templates read them, so that completing a script
// does not read its template again (no output of a run is a template of
// another script, so they stay as they were read).
struct TemplateTexts {
  // The text read for `script`, or null when it was not read.
  const std::string* find(const PlotScript& script) const;
  std::vector<std::pair<const PlotScript*, std::string>> texts;
};

// Checks, before any output exists, that each template is either missing
// (its default will be written) or holds at least its kept lines; with
// `least_squares_plot` also the template of kScriptULS.  Keeps what it read
// in *read when given.
Status check_templates(Files& files, bool least_squares_plot = false,
                       TemplateTexts* read = nullptr);
// The same for the scripts given.
Status check_templates(Files& files, const std::vector<const PlotScript*>& scripts,
                       TemplateTexts* read);

// Keeps the first lines of the script (the default template when the file
// is missing) and appends the title line and "replot".  Reads: titulo_grafico.
// The template is taken from `read` when it holds it.
Status roteiro(const State& s, const PlotScript& script, Files& files,
               const TemplateTexts* read = nullptr);

// The plot scripts in the order the run completes them.
inline const PlotScript* const kPlotScripts[] = {&kScriptPU, &kScriptU};

// The tables appended to `listing`, then the plot data files.
Status saida_resultados(const State& s, OutputFile& listing, Files& files);

}  // namespace morvantide

#endif  // MORVANTIDE_OUTPUT_RESULTS_H_
