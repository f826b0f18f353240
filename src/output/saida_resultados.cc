#include "output/saida_resultados.h"

#include "output/plot_data.h"
#include "output/tables.h"

namespace morvantide {

Status saida_resultados(const Analysis& a, OutputFile& listing, Files& files) {
  listing.write(tabelas_pU_psi(a));
  listing.write(tabela_T(a));
  listing.write(tabela_U(a));
  return write_plot_data(a, files);
}

}  // namespace morvantide
