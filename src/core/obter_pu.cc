// The observed order of a sequence on grids with a variable refinement ratio,
// by plain interval halving.  Reads no list: the caller stores the result in
// its own entry (pU_Th or pU_Ti).

#include <cstdint>
#include <cstring>

#include "core/estimation.h"

namespace morvantide {
namespace {

// Residual of the order x: zero where a sequence T + C h^x has the
// convergence ratio psi on grids with ratios r21 and r32.  Evaluated as
// r21^x, r32^x, psi (r21^x - 1) / (r32^x - 1), then x log10(r21) minus the
// logarithm of that.
struct Residual {
  real r21, r32, psi, log10_r21;
  real operator()(real x) const {
    const real t1 = q_pow(r21, x);
    const real t2 = q_pow(r32, x);
    const real q = psi * (t1 - 1) / (t2 - 1);
    return x * log10_r21 - q_log10(q);
  }
};

// Bitwise identity, so that a NaN bound counts as unchanged.
bool same_bits(real x, real y) { return std::memcmp(&x, &y, sizeof(real)) == 0; }

}  // namespace

real obter_pU(const SearchSettings& search, real r21, real r32, real psi, real unchanged) {
  const Residual f{r21, r32, psi, q_log10(r21)};
  real a = search.pU_min;
  real b = search.pU_max;
  real p = unchanged;
  const int64_t last = search.itmax;  // itmax + 1 must not overflow
  int64_t k = 1;
  // The residual is a pure function: f(a) is carried from the iteration
  // that moved a rather than evaluated again.
  real fa = last >= 1 ? f(a) : 0;
  for (; k <= last; ++k) {
    const real m = real(0.5Q) * (a + b);
    p = m;
    const real fm = f(m);
    const real a_before = a;
    const real b_before = b;
    if (fa * fm > 0) {
      a = m;
      fa = fm;
    } else if (b - a <= search.tol) {
      break;
    } else {
      b = m;
    }
    // When halving no longer moves either end, every remaining iteration
    // repeats this one and the loop can only run out: no order.
    if (same_bits(a, a_before) && same_bits(b, b_before)) return kSentinel;
  }
  // Stopped at the last iteration, or ran out of iterations.
  if (k == last || k == last + 1) p = kSentinel;
  return p;
}

}  // namespace morvantide
