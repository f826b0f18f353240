// The repeated extrapolation with the true orders.
#ifndef MORVANTIDE_CORE_REPEATED_EXTRAPOLATION_H_
#define MORVANTIDE_CORE_REPEATED_EXTRAPOLATION_H_

#include <atomic>
#include <cstdint>
#include <memory>

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

// The same table for many columns of values on the same grids, when only
// the finest grid's Tm1 is wanted: the powers and denominators every column
// shares are formed once, and each column's Tm1(nm) is the bits
// extrapolacao_repetida gives for it (the same operations on the same
// entries).
class FinestRepeatedExtrapolation {
 public:
  // REQUIRES: study.nm >= 2 and h as for the estimation.
  explicit FinestRepeatedExtrapolation(const Study& study);
  ~FinestRepeatedExtrapolation();
  // Tm1(nm) of the column Th(i) = values[i - 1].
  real Tm1(const real* values) const;

 private:
  struct Shared;
  std::unique_ptr<Shared> shared_;
};

}  // namespace morvantide

#endif  // MORVANTIDE_CORE_REPEATED_EXTRAPOLATION_H_
