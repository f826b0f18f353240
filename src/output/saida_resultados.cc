// The output step: the result tables of the listing, then the plot data
// files.  (The run then completes each plot script and starts the plotter.)

#include "output/results.h"

namespace morvantide {

Status saida_resultados(const State& s, OutputFile& listing, Files& files) {
  listing.write(tabelas_pU_psi(s));
  listing.write(tabela_T(s));
  listing.write(tabela_U(s));
  return write_plot_data(s, files);
}

}  // namespace morvantide
