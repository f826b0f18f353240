// The repeated extrapolation with the true orders pV and its most
// extrapolated value Tm1, with the ratio, order and error of Tm1.
//
// Reads:  nm, h, pV, Ti_pL.
// Writes: Tm1, psi_Tm1, pUs_Tm1, Um_Tm1 and the working scalar r21.
//
// The table Tm(i,j) (level j at grid i, from grids i-j to i) is kept one
// level at a time: level j needs only level j-1, and of each level only
// Tm(j+1,j) = Tm1(j+1) leaves the stage, so memory grows with nm.

#include <cstring>
#include <utility>
#include <vector>

#include "core/estimation.h"

namespace morvantide {
namespace {

class PowerCache {
 public:
  explicit PowerCache(real exponent) : exponent_(exponent) {}
  real operator()(real base) {
    if (!valid_ || std::memcmp(&base, &base_, sizeof base) != 0) {
      base_ = base;
      power_ = q_pow(base, exponent_);
      valid_ = true;
    }
    return power_;
  }

 private:
  real exponent_;
  real base_ = 0;
  real power_ = 0;
  bool valid_ = false;
};

}  // namespace

void extrapolacao_repetida(State& s) {
  const int32_t nm = s.nm;
  if (nm < 2) return;

  // Step A: level 1 is Ti_pL; level j removes the term of order pV(j).
  // previous[i] = Tm(i, j-1), current[i] = Tm(i, j).
  std::vector<real> previous(static_cast<size_t>(nm) + 1);
  std::vector<real> current(static_cast<size_t>(nm) + 1);
  for (int32_t i = 2; i <= nm; ++i) previous[i] = s.Ti_pL(i);
  s.Tm1(2) = previous[2];
  for (int32_t j = 2; j <= nm - 1; ++j) {
    // The power r21^pV(j) is reused while the ratio stays bit for bit the
    // same (every grid of a constant-ratio sequence): the same arguments
    // give the same power, so the table is unchanged and costs one power
    // per level instead of one per entry.
    PowerCache power(s.pV(j));
    for (int32_t i = j + 1; i <= nm; ++i) {
      s.r21 = s.h(i - 1) / s.h(i);
      current[i] = extrapola_with_power(previous[i], previous[i - 1], power(s.r21));
    }
    s.Tm1(j + 1) = current[j + 1];
    std::swap(previous, current);
  }

  // Step B: ratio, order and error of the sequence Tm1.
  for (int32_t i = 2; i <= nm; ++i) {
    s.r21 = s.h(i - 1) / s.h(i);
    if (i < 4) continue;
    const real a = s.Tm1(i - 1) - s.Tm1(i - 2);
    const real b = s.Tm1(i) - s.Tm1(i - 1);
    real psi;
    if (b != 0) {
      psi = a / b;
      s.psi_Tm1(i) = psi;
      if (psi != 0) s.pUs_Tm1(i) = q_log10(q_abs(psi)) / q_log10(s.r21);
    } else {
      psi = kSentinel;
      s.psi_Tm1(i) = kSentinel;
    }
    if (q_abs(psi) > 1 && psi != kSentinel) {
      s.Um_Tm1(i - 1) = a / (psi - 1);
      if (i == nm) {
        // psi_Tm1(nm-1) as it stands, the sentinel included.
        const real psi_e = s.psi_Tm1(nm) * s.psi_Tm1(nm) / s.psi_Tm1(nm - 1);
        s.Um_Tm1(nm) = b / (psi_e - 1);
      }
    }
  }
}

}  // namespace morvantide
