#include "output/saida_resultados.h"

#include "output/tables.h"

namespace morvantide {

void saida_resultados(const Analysis& a, OutputFile& listing) {
  listing.write(tabelas_pU_psi(a));
  listing.write(tabela_T(a));
  listing.write(tabela_U(a));
}

}  // namespace morvantide
