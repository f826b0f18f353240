// The exact sum of non-negative binary128 values, whatever their order.
//
// A field's summary adds millions of values (uncertainties, orders, squared
// differences) in pieces on several threads and across chunks and machines;
// rounding each addition would make the mean depend on how the points were
// cut.  ExactSum keeps the sum as one wide fixed-point integer that covers
// every finite binary128 value, from the smallest subnormal 2^-16494 up, so
// adding is exact and merging two sums is adding their integers.  The
// value() is the exact sum rounded once to the nearest binary128 (ties to
// even); infinity when it exceeds the largest finite value.
//
//   ExactSum s; s.add(1); s.add(0x1p-200Q); s.add(1);  s.value() == 2
//   (the 2^-200 is kept: adding 2 - 2^-200... later would show it)
//
// A sum can be written as a few binary128 terms whose exact sum it is
// (terms()), each exactly representable, and read back from them
// (add_terms), which is how a summary travels as text and merges exactly.
#ifndef MORVANTIDE_FIELD_EXACT_SUM_H_
#define MORVANTIDE_FIELD_EXACT_SUM_H_

#include <cstdint>
#include <vector>

#include "common/quad.h"

namespace morvantide {

class ExactSum {
 public:
  ExactSum();
  // Adds x.  REQUIRES: x >= 0 and finite (a NaN, an infinity or a negative
  // value sets the sum to NaN from then on).
  void add(real x);
  void merge(const ExactSum& other);
  // The sum rounded once to binary128; NaN after an invalid add.
  real value() const;
  // Terms t1 > t2 > ... > 0, each exact in binary128, whose exact sum is the
  // sum; empty for 0; a single NaN after an invalid add.
  std::vector<real> terms() const;
  void add_terms(const std::vector<real>& terms);
  bool operator==(const ExactSum& other) const;

 private:
  std::vector<uint64_t> limbs_;  // bit k of the integer: 2^(k - 16494)
  int32_t top_ = -1;             // the highest limb that is not zero
  bool invalid_ = false;
};

}  // namespace morvantide

#endif  // MORVANTIDE_FIELD_EXACT_SUM_H_
