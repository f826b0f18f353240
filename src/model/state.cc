#include "model/state.h"

namespace morvantide {

void Estimates::create(int32_t nm) {
  for (RealList* list :
       {&pV, &pU_Th, &psi_Th, &pUs_Th, &Ti_pL, &Ti_pU, &Ti_pUs, &pU_Ti, &psi_Ti, &pUs_Ti,
        &Tbi_pUs, &psi_Tbi, &pUs_Tbi, &Tm1, &psi_Tm1, &pUs_Tm1, &Um_Tm1, &Upl, &Tpl, &Ups, &Tps,
        &Tc, &psi_Tc, &pUs_Tc, &Uc_Tc, &UGCI_Th, &Umc_Th, &pGCI}) {
    list->resize(nm, 0);
  }
  for (RealList* list : {&UGCI_Th, &pUs_Th, &pUs_Ti, &pUs_Tbi, &pUs_Tc, &pUs_Tm1, &Ups, &psi_Th,
                         &psi_Tc, &psi_Ti, &psi_Tbi, &psi_Tm1, &Tc, &Uc_Tc, &Umc_Th, &Um_Tm1,
                         &pGCI}) {
    list->fill(kSentinel);
  }
}

void State::create_lists(int32_t arq_entries) {
  arq.resize(arq_entries, std::string(kLenArq, ' '));
  arq_line.resize(arq_entries, 0);
  study.h.resize(study.nm, 0);
  study.Th.resize(study.nm, 0);
}

}  // namespace morvantide
