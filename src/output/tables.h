// The four result tables of the listing, each preceded by two empty lines
// and its heading, one row per grid.
#ifndef MORVANTIDE_OUTPUT_TABLES_H_
#define MORVANTIDE_OUTPUT_TABLES_H_

#include <string>

#include "core/analysis.h"

namespace morvantide {

// Table 1 (observed orders) then table 2 (convergence ratios).
// Reads: nm, h; pUs_Th, pUs_Tm1, pUs_Tc, pUs_Ti, pUs_Tbi and the psi lists.
std::string tabelas_pU_psi(const Analysis& a);
// Table 3.  Reads: nm, h, Th, Tm1, Tc.
std::string tabela_T(const Analysis& a);
// Table 4.  Reads: nm, h, UGCI_Th, Umc_Th, Um_Tm1, Uc_Tc.
std::string tabela_U(const Analysis& a);

}  // namespace morvantide

#endif  // MORVANTIDE_OUTPUT_TABLES_H_
