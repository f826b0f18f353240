// The repeated extrapolation with the true orders.
#ifndef MORVANTIDE_CORE_REPEATED_EXTRAPOLATION_H_
#define MORVANTIDE_CORE_REPEATED_EXTRAPOLATION_H_

#include <atomic>
#include <cstdint>

#include "model/state.h"

namespace morvantide {

// The table of repeated extrapolations with the true orders; its most
// extrapolated value Tm1 with its ratio, order and error.
// Reads: h, pV, Ti_pL.   Writes: Tm1, psi_Tm1, pUs_Tm1, Um_Tm1.
// `entries`, when given, grows by the number of table entries of each level
// as the level is done, (nm - 1) (nm - 2) / 2 in all (for another thread's
// progress line; the results are the same bits with or without it).
// `stop`, when given and set (by another thread), ends the table at the next
// level: the results are then incomplete, for a caller that drops them.
void extrapolacao_repetida(const Study& study, Estimates& e,
                           std::atomic<int64_t>* entries = nullptr,
                           const std::atomic<bool>* stop = nullptr);

}  // namespace morvantide

#endif  // MORVANTIDE_CORE_REPEATED_EXTRAPOLATION_H_
