// The repeated extrapolation with the true orders pV and its most
// extrapolated value Tm1, with the ratio, order and error of Tm1.
//
// The table Tm(i,j) (level j at grid i, from grids i-j to i) is kept one
// level at a time: level j needs only level j-1, and of each level only
// Tm(j+1,j) = Tm1(j+1) leaves the stage, so memory grows with nm.

#include <cstring>
#include <utility>
#include <vector>

#include "core/estimation.h"
#include "core/primitives.h"

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

void extrapolacao_repetida(const Study& s, Estimates& e) {
  const int32_t nm = s.nm;
  if (nm < 2) return;

  // Level 1 is Ti_pL; level j removes the term of order pV(j).
  // previous[i] = Tm(i, j-1), current[i] = Tm(i, j).
  std::vector<real> previous(static_cast<size_t>(nm) + 1);
  std::vector<real> current(static_cast<size_t>(nm) + 1);
  for (int32_t i = 2; i <= nm; ++i) previous[i] = e.Ti_pL(i);
  e.Tm1(2) = previous[2];
  for (int32_t j = 2; j <= nm - 1; ++j) {
    // The power r21^pV(j) is reused while the ratio stays bit for bit the
    // same (every grid of a constant-ratio sequence): the same arguments
    // give the same power, so the table is unchanged and costs one power
    // per level instead of one per entry.
    PowerCache power(e.pV(j));
    for (int32_t i = j + 1; i <= nm; ++i) {
      current[i] = extrapola_with_power(previous[i], previous[i - 1], power(ratio_r21(s.h, i)));
    }
    e.Tm1(j + 1) = current[j + 1];
    std::swap(previous, current);
  }

  // Ratio, order and error of the sequence Tm1.  The error of Tm1(i-1) comes
  // from the ratio at grid i; the finest grid's from the ratio extrapolated
  // one grid on, psi(nm)^2 / psi(nm-1).
  for (int32_t i = kFirstRatioTm1; i <= nm; ++i) {
    const real a = e.Tm1(i - 1) - e.Tm1(i - 2);
    const real b = e.Tm1(i) - e.Tm1(i - 1);
    const real psi = convergence_ratio(e.Tm1, i, kSentinel);
    e.psi_Tm1(i) = psi;
    if (b != 0 && psi != 0) e.pUs_Tm1(i) = order_from_abs(psi, ratio_r21(s.h, i));
    if (q_abs(psi) > 1 && psi != kSentinel) {
      e.Um_Tm1(i - 1) = a / (psi - 1);
      if (i == nm) {
        // psi_Tm1(nm-1) as it stands, the sentinel included.
        const real psi_e = e.psi_Tm1(nm) * e.psi_Tm1(nm) / e.psi_Tm1(nm - 1);
        e.Um_Tm1(nm) = b / (psi_e - 1);
      }
    }
  }
}

}  // namespace morvantide
