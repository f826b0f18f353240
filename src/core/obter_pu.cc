// The observed order of a sequence on grids with a variable refinement ratio,
// by halving its bracket.  Reads no list: the caller stores the result in
// its own entry (pU_Th or pU_Ti).

#include <cstdint>
#include <cstring>

#include "kernel/binary128_arith.h"
#include "core/obter_pu.h"
#include "core/order_residual.h"

namespace morvantide {
namespace {

// A residual at least this large times one at least 2^-80 stays far above
// binary128's smallest subnormal, 2^-16494.
constexpr real kNoUnderflow = 0x1p-16000Q;

// The residual at a point of the search: its binary128 value, or only its
// sign where the double guess proves it (then the value is finite, not
// zero and at least OrderResidual::kLeastDecided in magnitude).
struct Residual {
  bool exact;
  real value;                 // when exact
  OrderResidual::Sign sign;   // when not
};

Residual residual_at(const OrderResidual& f, real x) {
  const OrderResidual::Sign sign = f.sign(x);
  if (sign != OrderResidual::kUnknown) return {false, 0, sign};
  return {true, f.exact(x), OrderResidual::kUnknown};
}

// Whether f(xa) * f(xm) > 0 in binary128, as the search defines it,
// forming a binary128 residual only where the signs cannot tell.
bool same_side(const OrderResidual& f, real xa, const Residual& ra, real xm, const Residual& rm) {
  if (ra.exact && rm.exact) return ra.value * rm.value > 0;
  if (!ra.exact && !rm.exact) return ra.sign == rm.sign;  // |product| >= 2^-160
  const Residual& known = ra.exact ? ra : rm;
  const Residual& guessed = ra.exact ? rm : ra;
  const real v = known.value;
  if (q_isnan(v) || v == 0) return false;
  // With |v| >= 2^-16000 the product is at least 2^-16080 in magnitude, far
  // from binary128's underflow to zero (2^-16494), and an infinite v keeps
  // its sign: the product's sign decides.  A smaller v needs the product.
  if (q_abs(v) >= kNoUnderflow) return (v > 0) == (guessed.sign == OrderResidual::kPositive);
  return v * f.exact(ra.exact ? xm : xa) > 0;
}

}  // namespace

real obter_pU(const SearchSettings& search, real r21, real r32, real psi, real unchanged) {
  const OrderResidual f(r21, r32, psi, q_log10(r21));
  real a = search.pU_min;
  real b = search.pU_max;
  real p = unchanged;
  const int64_t last = search.itmax;  // itmax + 1 must not overflow
  int64_t k = 1;
  // The residual is a pure function: f(a) is carried from the iteration
  // that moved a rather than evaluated again.  Where a cheaper evaluation
  // proves its sign, only the sign is kept (order_residual.h): every test
  // below takes the branch the binary128 values would take, so every
  // iterate is the same.
  Residual fa = last >= 1 ? residual_at(f, a) : Residual{true, 0, OrderResidual::kUnknown};
  for (; k <= last; ++k) {
    const real m = binary128::half(a + b);  // the bits of 0.5 * (a + b)
    p = m;
    const Residual fm = residual_at(f, m);
    const real a_before = a;
    const real b_before = b;
    if (same_side(f, a, fa, m, fm)) {
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
